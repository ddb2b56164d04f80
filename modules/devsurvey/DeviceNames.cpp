#include "DeviceNames.h"

#include "ModuleKit.h"

#include <cctype>

namespace ostero::modules {

namespace {

// A hexadecimal number of exactly `digits` digits at the start, followed by a blank.
bool HexPrefix(std::string_view text, size_t digits, uint32_t& value) {
    if (text.size() < digits + 1 || (text[digits] != ' ' && text[digits] != '\t'))
        return false;
    value = 0;
    for (size_t i = 0; i < digits; ++i) {
        const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(text[i])));
        if (c >= '0' && c <= '9')
            value = value * 16 + static_cast<uint32_t>(c - '0');
        else if (c >= 'a' && c <= 'f')
            value = value * 16 + static_cast<uint32_t>(c - 'a' + 10);
        else
            return false;
    }
    return true;
}

} // namespace

TIdDatabase::TIdDatabase(std::string_view text) {
    enum { None, Vendor, Class } context = None;
    uint32_t current = 0;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (line.empty() || line[0] == '#')
            continue;
        uint32_t id = 0;
        if (line[0] == '\t') {
            if (line.size() > 1 && line[1] == '\t')
                continue; // subsystems: not shown
            line.remove_prefix(1);
            if (context == Vendor && HexPrefix(line, 4, id))
                Devices_[(current << 16) | id] = Trim(line.substr(4));
            else if (context == Class && HexPrefix(line, 2, id))
                Classes_[(current << 8) | id | 0x10000] = Trim(line.substr(2));
        } else if (line.size() > 2 && line[0] == 'C' && line[1] == ' ' &&
                   HexPrefix(line.substr(2), 2, id)) {
            context = Class;
            current = id;
            Classes_[id] = Trim(line.substr(4));
        } else if (HexPrefix(line, 4, id)) {
            context = Vendor;
            current = id;
            Vendors_[id] = Trim(line.substr(4));
        } else {
            context = None; // another list of usb.ids (HID, languages, ...)
        }
    }
}

TIdDatabase TIdDatabase::Load(std::initializer_list<const char*> paths) {
    for (const char* path : paths) {
        auto result = ReadSysFile(path, 16 << 20);
        if (result.Text)
            return TIdDatabase(*result.Text);
    }
    return {};
}

std::string TIdDatabase::Find(const std::unordered_map<uint32_t, std::string>& map, uint32_t key) {
    const auto it = map.find(key);
    return it == map.end() ? std::string() : it->second;
}

std::string TIdDatabase::Vendor(uint16_t vendor) const {
    return Find(Vendors_, vendor);
}
std::string TIdDatabase::Device(uint16_t vendor, uint16_t device) const {
    return Find(Devices_, (uint32_t{vendor} << 16) | device);
}
std::string TIdDatabase::Class(uint8_t classCode) const {
    return Find(Classes_, classCode);
}
std::string TIdDatabase::Subclass(uint8_t classCode, uint8_t subclass) const {
    return Find(Classes_, (uint32_t{classCode} << 8) | subclass | 0x10000);
}

} // namespace ostero::modules
