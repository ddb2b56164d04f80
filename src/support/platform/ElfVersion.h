#pragma once
// Reads the version texts our binaries carry: the ELF section ".taveric_version" holds
// NUL-separated "Key=Value" entries (FileVersion, ProductVersion, FileDescription, CompanyName,
// LegalCopyright, ProductName, InternalName).
//
// Both readers accept ELF32 and ELF64 files of either byte order and check every offset and
// size against the file, so a truncated or hostile file gives false. Only the headers, the
// section-name table and the section itself are read, never the whole file.

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>

namespace ostero::platform {

constexpr std::string_view kVersionSectionName = ".taveric_version";
// Larger sections are not version texts; they are refused rather than read.
constexpr uint64_t kVersionSectionMaxSize = 1024 * 1024;

// Reads `size` bytes at `offset` into `buffer`; false when they are not all there.
using TElfByteReader = std::function<bool(uint64_t offset, void* buffer, size_t size)>;

// The content of the section named `sectionName` of the ELF image of `fileSize` bytes; false
// when the image is not ELF, is damaged, has no such section, or the section is larger than
// `maxSize` or takes no room in the file.
bool ReadElfSection(const TElfByteReader& read, uint64_t fileSize, std::string_view sectionName,
                    std::string& content, uint64_t maxSize = kVersionSectionMaxSize);

// Splits a section's content at NULs into key=value pairs; entries without '=' are skipped and
// the first of equal keys wins.
std::map<std::string, std::string> SplitVersionEntries(std::string_view content);

// The version texts of an ELF file (a regular file; anything else gives false). `values` is
// cleared first.
bool ReadElfVersionSection(const std::string& path, std::map<std::string, std::string>& values);
// The same for an image in memory.
bool ReadElfVersionSection(std::string_view image, std::map<std::string, std::string>& values);

} // namespace ostero::platform
