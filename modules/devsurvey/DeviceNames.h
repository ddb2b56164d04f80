#pragma once
// Vendor, device and class names from the ID databases (pci.ids, usb.ids) of the machine.

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

namespace ostero::modules {

class TIdDatabase {
public:
    TIdDatabase() = default;
    // The text of a pci.ids or usb.ids file.
    explicit TIdDatabase(std::string_view text);
    // The first of the files (below the root folder) that can be read; empty names otherwise.
    static TIdDatabase Load(std::initializer_list<const char*> paths);

    std::string Vendor(uint16_t vendor) const;
    std::string Device(uint16_t vendor, uint16_t device) const;
    std::string Class(uint8_t classCode) const;
    std::string Subclass(uint8_t classCode, uint8_t subclass) const;

private:
    static std::string Find(const std::unordered_map<uint32_t, std::string>& map, uint32_t key);
    std::unordered_map<uint32_t, std::string> Vendors_;
    std::unordered_map<uint32_t, std::string> Devices_;
    std::unordered_map<uint32_t, std::string> Classes_;
};

} // namespace ostero::modules
