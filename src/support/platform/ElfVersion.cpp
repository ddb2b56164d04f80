#include "support/platform/ElfVersion.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

namespace ostero::platform {

namespace {

// ELF layout constants (written out here so that this reader needs no system header).
constexpr size_t kIdentSize = 16;
constexpr uint8_t kMagic[] = {0x7f, 'E', 'L', 'F'};
constexpr uint8_t kClass32 = 1;
constexpr uint8_t kClass64 = 2;
constexpr uint8_t kDataLittle = 1;
constexpr uint8_t kDataBig = 2;
constexpr size_t kHeaderSize32 = 52;
constexpr size_t kHeaderSize64 = 64;
constexpr size_t kSectionHeaderSize32 = 40;
constexpr size_t kSectionHeaderSize64 = 64;
constexpr uint32_t kSectionNoBits = 8;             // SHT_NOBITS: takes no room in the file
constexpr uint32_t kSectionIndexExtended = 0xffff; // SHN_XINDEX
// Sane files have at most a few hundred thousand section headers and a small name table.
constexpr uint64_t kMaxSectionTableSize = 16 * 1024 * 1024;
constexpr uint64_t kMaxNameTableSize = 4 * 1024 * 1024;

bool InFile(uint64_t offset, uint64_t size, uint64_t fileSize) {
    return size <= fileSize && offset <= fileSize - size;
}

// Reads integers of the file's byte order out of a header held in memory.
class TDecoder {
public:
    explicit TDecoder(bool bigEndian) : BigEndian_(bigEndian) {}
    uint64_t Read(const uint8_t* bytes, size_t width) const {
        uint64_t value = 0;
        for (size_t i = 0; i < width; ++i) {
            const uint8_t byte = bytes[BigEndian_ ? i : width - 1 - i];
            value = (value << 8) | byte;
        }
        return value;
    }

private:
    bool BigEndian_;
};

struct TSectionHeader {
    uint32_t Name = 0;
    uint32_t Type = 0;
    uint64_t Offset = 0;
    uint64_t Size = 0;
    uint32_t Link = 0;
};

class TElfReader {
public:
    TElfReader(const TElfByteReader& read, uint64_t fileSize) : Read_(read), FileSize_(fileSize) {}

    bool Find(std::string_view sectionName, std::string& content, uint64_t maxSize) {
        if (!ReadHeader())
            return false;
        if (ShNum_ == 0)
            return false;
        std::vector<uint8_t> table;
        if (!ReadBytes(ShOff_, ShNum_ * ShEntSize_, table))
            return false;
        if (ShStrNdx_ >= ShNum_)
            return false;
        const TSectionHeader names = Section(table, ShStrNdx_);
        if (names.Type == kSectionNoBits || names.Size > kMaxNameTableSize)
            return false;
        std::vector<uint8_t> nameTable;
        if (!ReadBytes(names.Offset, names.Size, nameTable))
            return false;
        for (uint64_t i = 0; i < ShNum_; ++i) {
            const TSectionHeader section = Section(table, i);
            if (!NameIs(nameTable, section.Name, sectionName))
                continue;
            if (section.Type == kSectionNoBits || section.Size > maxSize)
                return false;
            std::vector<uint8_t> bytes;
            if (!ReadBytes(section.Offset, section.Size, bytes))
                return false;
            content.assign(reinterpret_cast<const char*>(bytes.data()), bytes.size());
            return true;
        }
        return false;
    }

private:
    bool ReadBytes(uint64_t offset, uint64_t size, std::vector<uint8_t>& bytes) {
        if (!InFile(offset, size, FileSize_))
            return false;
        bytes.resize(static_cast<size_t>(size));
        return size == 0 || Read_(offset, bytes.data(), bytes.size());
    }

    bool ReadHeader() {
        uint8_t ident[kIdentSize];
        if (!InFile(0, kIdentSize, FileSize_) || !Read_(0, ident, kIdentSize))
            return false;
        if (std::memcmp(ident, kMagic, sizeof kMagic) != 0)
            return false;
        if (ident[4] != kClass32 && ident[4] != kClass64)
            return false;
        if (ident[5] != kDataLittle && ident[5] != kDataBig)
            return false;
        Is64_ = ident[4] == kClass64;
        Decoder_ = TDecoder(ident[5] == kDataBig);

        uint8_t header[kHeaderSize64];
        const size_t headerSize = Is64_ ? kHeaderSize64 : kHeaderSize32;
        if (!InFile(0, headerSize, FileSize_) || !Read_(0, header, headerSize))
            return false;
        if (Is64_) {
            ShOff_ = Decoder_.Read(header + 40, 8);
            ShEntSize_ = Decoder_.Read(header + 58, 2);
            ShNum_ = Decoder_.Read(header + 60, 2);
            ShStrNdx_ = Decoder_.Read(header + 62, 2);
        } else {
            ShOff_ = Decoder_.Read(header + 32, 4);
            ShEntSize_ = Decoder_.Read(header + 46, 2);
            ShNum_ = Decoder_.Read(header + 48, 2);
            ShStrNdx_ = Decoder_.Read(header + 50, 2);
        }
        if (ShOff_ == 0)
            return false; // no section header table
        if (ShEntSize_ < (Is64_ ? kSectionHeaderSize64 : kSectionHeaderSize32))
            return false;
        // Many sections: the real count and name-table index are kept in section 0.
        if (ShNum_ == 0 || ShStrNdx_ == kSectionIndexExtended) {
            std::vector<uint8_t> first;
            if (!ReadBytes(ShOff_, ShEntSize_, first))
                return false;
            const TSectionHeader zero = Section(first, 0);
            if (ShNum_ == 0)
                ShNum_ = zero.Size;
            if (ShStrNdx_ == kSectionIndexExtended)
                ShStrNdx_ = zero.Link;
        }
        // Checked before multiplying, so the product cannot overflow.
        if (ShNum_ > kMaxSectionTableSize / ShEntSize_)
            return false;
        return true;
    }

    // Section `index` of a table already checked to hold it.
    TSectionHeader Section(const std::vector<uint8_t>& table, uint64_t index) const {
        const uint8_t* p = table.data() + index * ShEntSize_;
        TSectionHeader section;
        section.Name = static_cast<uint32_t>(Decoder_.Read(p, 4));
        section.Type = static_cast<uint32_t>(Decoder_.Read(p + 4, 4));
        if (Is64_) {
            section.Offset = Decoder_.Read(p + 24, 8);
            section.Size = Decoder_.Read(p + 32, 8);
            section.Link = static_cast<uint32_t>(Decoder_.Read(p + 40, 4));
        } else {
            section.Offset = Decoder_.Read(p + 16, 4);
            section.Size = Decoder_.Read(p + 20, 4);
            section.Link = static_cast<uint32_t>(Decoder_.Read(p + 24, 4));
        }
        return section;
    }

    // True when the NUL-terminated name at `offset` of the name table is `wanted`.
    static bool NameIs(const std::vector<uint8_t>& table, uint64_t offset,
                       std::string_view wanted) {
        if (offset >= table.size() || table.size() - offset < wanted.size() + 1)
            return false;
        const char* name = reinterpret_cast<const char*>(table.data() + offset);
        return std::memcmp(name, wanted.data(), wanted.size()) == 0 && name[wanted.size()] == '\0';
    }

    const TElfByteReader& Read_;
    uint64_t FileSize_;
    bool Is64_ = false;
    TDecoder Decoder_{false};
    uint64_t ShOff_ = 0;
    uint64_t ShEntSize_ = 0;
    uint64_t ShNum_ = 0;
    uint64_t ShStrNdx_ = 0;
};

} // namespace

bool ReadElfSection(const TElfByteReader& read, uint64_t fileSize, std::string_view sectionName,
                    std::string& content, uint64_t maxSize) {
    content.clear();
    TElfReader reader(read, fileSize);
    return reader.Find(sectionName, content, maxSize);
}

std::map<std::string, std::string> SplitVersionEntries(std::string_view content) {
    std::map<std::string, std::string> values;
    size_t start = 0;
    while (start < content.size()) {
        size_t end = content.find('\0', start);
        if (end == std::string_view::npos)
            end = content.size();
        const std::string_view entry = content.substr(start, end - start);
        const size_t equals = entry.find('=');
        if (equals != std::string_view::npos && equals > 0)
            values.emplace(std::string(entry.substr(0, equals)),
                           std::string(entry.substr(equals + 1)));
        start = end + 1;
    }
    return values;
}

bool ReadElfVersionSection(const std::string& path, std::map<std::string, std::string>& values) {
    values.clear();
    std::error_code error;
    // Only regular files: opening a FIFO or a device could block or never end.
    if (!std::filesystem::is_regular_file(path, error))
        return false;
    const uintmax_t size = std::filesystem::file_size(path, error);
    if (error)
        return false;
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return false;
    const TElfByteReader read = [&file](uint64_t offset, void* buffer, size_t count) {
        file.clear();
        file.seekg(static_cast<std::streamoff>(offset));
        file.read(static_cast<char*>(buffer), static_cast<std::streamsize>(count));
        return file.good() && static_cast<size_t>(file.gcount()) == count;
    };
    std::string content;
    if (!ReadElfSection(read, size, kVersionSectionName, content))
        return false;
    values = SplitVersionEntries(content);
    return true;
}

bool ReadElfVersionSection(std::string_view image, std::map<std::string, std::string>& values) {
    values.clear();
    const TElfByteReader read = [image](uint64_t offset, void* buffer, size_t count) {
        if (!InFile(offset, count, image.size()))
            return false;
        std::memcpy(buffer, image.data() + offset, count);
        return true;
    };
    std::string content;
    if (!ReadElfSection(read, image.size(), kVersionSectionName, content))
        return false;
    values = SplitVersionEntries(content);
    return true;
}

} // namespace ostero::platform
