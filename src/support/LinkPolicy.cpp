#include "support/LinkPolicy.h"

namespace ostero::support {

namespace {

bool IsOuterBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// Bytes that must not appear inside an address: blanks, control characters (the Windows-1252
// bytes that map to C1 controls included) and the characters an address only holds
// percent-encoded. The last keep quotes and backslashes away from the desktop's opener, which
// is a shell script.
bool IsForbidden(unsigned char c) {
    switch (c) {
    case 0x7F:
    case 0x81:
    case 0x8D:
    case 0x8F:
    case 0x90:
    case 0x9D:
    case 0xA0:
    case '"':
    case '<':
    case '>':
    case '\\':
    case '^':
    case '`':
    case '{':
    case '|':
    case '}':
        return true;
    default:
        return c <= 0x20;
    }
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i])
            return false;
    }
    return true;
}

// A host: something before the path, query or fragment begins.
bool HasHost(std::string_view rest) {
    return !rest.empty() && rest.front() != '/' && rest.front() != '?' && rest.front() != '#';
}

} // namespace

std::optional<std::string> SafeLinkTarget(std::string_view value) {
    while (!value.empty() && IsOuterBlank(value.front()))
        value.remove_prefix(1);
    while (!value.empty() && IsOuterBlank(value.back()))
        value.remove_suffix(1);
    for (const char c : value) {
        if (IsForbidden(static_cast<unsigned char>(c)))
            return std::nullopt;
    }
    for (const std::string_view scheme :
         {std::string_view("http://"), std::string_view("https://")}) {
        if (StartsWithNoCase(value, scheme)) {
            if (!HasHost(value.substr(scheme.size())))
                return std::nullopt;
            return std::string(value);
        }
    }
    if (StartsWithNoCase(value, "www.") && HasHost(value.substr(4)))
        return "http://" + std::string(value);
    return std::nullopt;
}

} // namespace ostero::support
