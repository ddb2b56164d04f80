// Reads the version section out of arbitrary bytes taken as an ELF file.
#include "support/platform/ElfVersion.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::map<std::string, std::string> values;
    ostero::platform::ReadElfVersionSection(
        std::string_view(reinterpret_cast<const char*>(data), size), values);
    return 0;
}
