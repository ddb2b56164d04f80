// The parts of the system utilities that do not touch the operating system.
#include "support/SysUtils.h"

#include <utility>

namespace ostero::support {

bool BitIsSet(uint32_t set, unsigned bit) {
    if (bit < 1 || bit > 32)
        return false;
    return (set & (uint32_t{1} << (bit - 1))) != 0;
}

bool SetBit(uint32_t& set, unsigned bit) {
    if (bit < 1 || bit > 32)
        return false;
    set |= uint32_t{1} << (bit - 1);
    return true;
}

namespace {

bool IsFieldEnd(char c) {
    return c == ';' || c == '\r' || c == '\n';
}

} // namespace

std::string GetSeparatedField(std::string_view record, unsigned index) {
    if (index == 0)
        return {};
    const size_t len = record.size();
    size_t pos = 0;
    for (unsigned n = 1;; ++n) {
        if (pos >= len)
            return {};
        const size_t start = pos;
        size_t end = len;
        if (record[pos] == '"') {
            // A quoted field ends at a quote directly followed by a separator or the end.
            for (size_t j = pos + 1; j < len; ++j) {
                if (record[j] == '"' && (j + 1 == len || IsFieldEnd(record[j + 1]))) {
                    end = j + 1;
                    break;
                }
            }
        } else {
            for (size_t j = pos; j < len; ++j) {
                if (IsFieldEnd(record[j])) {
                    end = j;
                    break;
                }
            }
        }
        pos = end;
        if (pos < len && record[pos] == ';')
            ++pos;
        if (pos < len && record[pos] == '\n')
            ++pos;
        if (pos < len && record[pos] == '\r')
            ++pos;
        if (n != index)
            continue;

        std::string field(record.substr(start, end - start));
        if (field.size() >= 2 && field.front() == '"' && field.back() == '"')
            field = field.substr(1, field.size() - 2);
        // Every run of double quotes collapses to one.
        std::string out;
        out.reserve(field.size());
        for (char c : field) {
            if (c == '"' && !out.empty() && out.back() == '"')
                continue;
            out += c;
        }
        return out;
    }
}

namespace {

int ScrambleShift(size_t length, size_t position) {
    return static_cast<int>((length + position) % 3) + 1;
}

} // namespace

std::string ScrambleText(std::string_view text) {
    std::string out(text);
    for (size_t i = 0; i < out.size(); ++i) {
        const int c = static_cast<unsigned char>(out[i]);
        if (c < 32 || c > 126)
            continue;
        int r = c + ScrambleShift(out.size(), i + 1);
        if (r >= 127)
            r -= 95;
        out[i] = static_cast<char>(r);
    }
    return out;
}

std::string UnscrambleText(std::string_view text) {
    std::string out(text);
    for (size_t i = 0; i < out.size(); ++i) {
        const int c = static_cast<unsigned char>(out[i]);
        if (c < 32 || c > 126)
            continue;
        int r = c - ScrambleShift(out.size(), i + 1);
        if (r <= 31)
            r += 95;
        out[i] = static_cast<char>(r);
    }
    return out;
}

void AddTrailingBackslash(std::string& path) {
    if (!path.empty() && path.back() != kPathSeparator)
        path += kPathSeparator;
}

namespace {

std::function<void()>& MessagesHandler() {
    static std::function<void()> handler;
    return handler;
}

} // namespace

void SetProcessMessagesHandler(std::function<void()> handler) {
    MessagesHandler() = std::move(handler);
}

void ProcessMessages() {
    // A copy: the events it handles may install another handler while this one runs.
    if (const auto handler = MessagesHandler())
        handler();
}

} // namespace ostero::support
