// Takes every field of arbitrary bytes read as a semicolon-separated setting value and checks
// what must hold for any record: no field is longer than the record, field 0 and the fields
// after the last separator are empty, quote runs are collapsed, and separators only survive
// inside a quoted field.
#include "support/SysUtils.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

using ostero::support::GetSeparatedField;

namespace {

bool IsSeparator(char c) {
    return c == ';' || c == '\r' || c == '\n';
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view record(reinterpret_cast<const char*>(data), size);
    const size_t separators =
        static_cast<size_t>(std::count_if(record.begin(), record.end(), IsSeparator));
    const bool hasQuote = record.find('"') != std::string_view::npos;

    if (!GetSeparatedField(record, 0).empty())
        std::abort();
    // A record has at most one field more than it has separators.
    const size_t lastIndex = std::min<size_t>(separators + 2, 300);
    for (size_t index = 1; index <= lastIndex; ++index) {
        const std::string field = GetSeparatedField(record, static_cast<unsigned>(index));
        if (field.size() > record.size())
            std::abort();
        if (field.find("\"\"") != std::string::npos)
            std::abort();
        if (!hasQuote && std::any_of(field.begin(), field.end(), IsSeparator))
            std::abort();
        if (index == separators + 2 && !field.empty())
            std::abort();
    }
    return 0;
}
