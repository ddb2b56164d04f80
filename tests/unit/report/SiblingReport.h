#pragma once
// Sibling-format report bytes for tests of the readers and the folder scan.

#include "support/SysUtils.h"

#include <cstdint>
#include <string>

namespace ostero::testing {

inline std::string U16(uint32_t v) {
    return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
}
inline std::string U32(uint32_t v) {
    return U16(v & 0xFFFF) + U16(v >> 16);
}

// A sibling-format node record in the layout of `version`.
inline std::string SiblingRecord(uint8_t version, uint32_t image, uint32_t code,
                                 const std::string& text) {
    const std::string stored = support::ScrambleText(text);
    std::string body = U16(image) + U16(code);
    if (version >= 3) {
        body += stored + '\0';
    } else {
        // An ignored byte, then the text; a property record ends in 4 ignored bytes.
        body += '\x7F' + stored;
        if (code >= 10)
            body += std::string("\0\1\2\3", 4);
    }
    return U32(static_cast<uint32_t>(body.size())) + body;
}

inline std::string SiblingHeader(uint8_t version) {
    return std::string("\4SRPT", 5) + static_cast<char>(version) + std::string(15, '\0');
}

} // namespace ostero::testing
