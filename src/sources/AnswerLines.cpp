#include "sources/AnswerLines.h"

#include "support/SysUtils.h"

#include <charconv>

namespace ostero::sources {

using support::GetSeparatedField;

namespace {

// Level-or-type codes end where AddNode's type codes end.
constexpr int32_t kMaxLevelOrType = 255;

bool ParseInRange(std::string_view field, int32_t low, int32_t high, int32_t& value) {
    const auto number = ParseAnswerNumber(field);
    if (!number || *number < low || *number > high)
        return false;
    value = *number;
    return true;
}

// Flags where an empty field reads as 0.
bool ParseFlags(const std::string& field, int32_t& flags) {
    if (field.find_first_not_of(" \t") == std::string::npos) {
        flags = 0;
        return true;
    }
    const auto number = ParseAnswerNumber(field);
    if (!number)
        return false;
    flags = *number;
    return true;
}

bool ParseRootFields(std::string_view line, TAnswerRoot& root) {
    int32_t image = 0;
    int32_t kind = 0;
    if (!ParseInRange(GetSeparatedField(line, 1), INT32_MIN, INT32_MAX, image) ||
        !ParseInRange(GetSeparatedField(line, 2), 0, 0xFFFF, kind))
        return false;
    root.ImageCode = image;
    root.Sorted = kind >= 256;
    root.Kind = static_cast<uint16_t>(root.Sorted ? kind - 256 : kind);
    root.Name = GetSeparatedField(line, 3);
    root.Key = GetSeparatedField(line, 4);
    return true;
}

// Level-or-type code and image code of fields 1 and 2.
bool ParseNodeHead(std::string_view line, TAnswerNode& node) {
    return ParseInRange(GetSeparatedField(line, 1), 0, kMaxLevelOrType, node.LevelOrType) &&
           ParseInRange(GetSeparatedField(line, 2), INT32_MIN, INT32_MAX, node.ImageCode);
}

} // namespace

std::optional<int32_t> ParseAnswerNumber(std::string_view field) {
    const size_t first = field.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return std::nullopt;
    const size_t last = field.find_last_not_of(" \t");
    field = field.substr(first, last - first + 1);
    if (field.front() == '+')
        field.remove_prefix(1);
    int32_t value = 0;
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
    if (error != std::errc() || end != field.data() + field.size())
        return std::nullopt;
    return value;
}

TLineStatus ParseRootInfoLine(std::string_view line, TAnswerRoot& root, int32_t& result) {
    const auto number = ParseAnswerNumber(GetSeparatedField(line, 5));
    if (!number)
        return TLineStatus::Illegal;
    result = *number;
    if (result != 1)
        return TLineStatus::NoEntry;
    if (!ParseRootFields(line, root))
        return TLineStatus::Illegal;
    return root.Name.empty() ? TLineStatus::Skipped : TLineStatus::Entry;
}

TLineStatus ParseSubInfoLine(std::string_view line, TAnswerNode& node, int32_t& result) {
    const auto number = ParseAnswerNumber(GetSeparatedField(line, 4));
    if (!number)
        return TLineStatus::Illegal;
    result = *number;
    if (result != 1)
        return TLineStatus::NoEntry;
    // The raw level is a module record's (16 bits); shifted, it must still be a valid code.
    int32_t level = 0;
    if (!ParseInRange(GetSeparatedField(line, 1), 0, kMaxLevelOrType, level) ||
        !ParseInRange(GetSeparatedField(line, 2), INT32_MIN, INT32_MAX, node.ImageCode) ||
        !ParseFlags(GetSeparatedField(line, 5), node.Flags))
        return TLineStatus::Illegal;
    node.LevelOrType = level < 10 ? level + 1 : level;
    node.Text = GetSeparatedField(line, 3);
    return node.Text.empty() ? TLineStatus::Skipped : TLineStatus::Entry;
}

TLineStatus ParseRootListLine(std::string_view line, TAnswerRoot& root) {
    if (!ParseRootFields(line, root))
        return TLineStatus::Illegal;
    return root.Name.empty() ? TLineStatus::Skipped : TLineStatus::Entry;
}

TLineStatus ParseSubListLine(std::string_view line, TAnswerNode& node) {
    if (!ParseNodeHead(line, node))
        return TLineStatus::Illegal;
    node.Flags = 0;
    node.Text = GetSeparatedField(line, 3);
    if (node.Text.empty())
        return TLineStatus::Skipped;
    const std::string value = GetSeparatedField(line, 5);
    if (!value.empty())
        node.Text += "=" + value;
    return TLineStatus::Entry;
}

TLineStatus ParseOverviewLine(std::string_view line, TAnswerNode& node) {
    if (!ParseNodeHead(line, node) || !ParseFlags(GetSeparatedField(line, 4), node.Flags))
        return TLineStatus::Illegal;
    node.Text = GetSeparatedField(line, 3);
    return node.Text.empty() ? TLineStatus::Skipped : TLineStatus::Entry;
}

TLineStatus ParseVigantLine(std::string_view line, TAnswerNode& node) {
    if (!ParseNodeHead(line, node) || !ParseFlags(GetSeparatedField(line, 6), node.Flags))
        return TLineStatus::Illegal;
    node.Text = GetSeparatedField(line, 3);
    if (node.Text.empty())
        return TLineStatus::Skipped;
    node.Text += "=" + GetSeparatedField(line, 4) + GetSeparatedField(line, 5);
    return TLineStatus::Entry;
}

support::TUserMessage IllegalAnswerMessage(std::string_view line) {
    const size_t end = line.find_first_of("\r\n");
    return {"Illegal answer received: %s", {std::string(line.substr(0, end))}};
}

} // namespace ostero::sources
