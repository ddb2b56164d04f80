#include "AgentCommands.h"

#include "support/TextCodec.h"

#include <charconv>

namespace ostero::vigant {

namespace {

bool StartsWithNoCase(std::string_view text, std::string_view keyword) {
    return text.size() >= keyword.size() &&
           support::AnsiSameText(text.substr(0, keyword.size()), keyword);
}

bool ParseNumber(std::string_view text, int32_t& value) {
    int32_t number = 0;
    if (text.empty())
        return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (error != std::errc() || end != text.data() + text.size() || number < 0)
        return false;
    value = number;
    return true;
}

// Exactly `count` numbers separated by ";".
bool ParseNumbers(std::string_view text, int count, int32_t* values) {
    for (int i = 0; i < count; ++i) {
        const size_t end = i + 1 < count ? text.find(';') : std::string_view::npos;
        if (i + 1 < count && end == std::string_view::npos)
            return false;
        if (!ParseNumber(text.substr(0, end), values[i]))
            return false;
        if (end != std::string_view::npos)
            text.remove_prefix(end + 1);
    }
    return true;
}

} // namespace

TAgentCommand ParseAgentCommand(std::string_view command) {
    TAgentCommand parsed;
    struct TKeyword {
        std::string_view Word;
        TCommandKind Kind;
        int Numbers; // -1: a text argument, 0: none
    };
    static constexpr TKeyword kKeywords[] = {
        {"InitializeDLL:", TCommandKind::InitializeDll, -1},
        {"ENUMROOTINFOS:", TCommandKind::EnumRootInfos, 3},
        {"ENUMSUBINFOS:", TCommandKind::EnumSubInfos, 3},
        {"DESTROYDLL:", TCommandKind::DestroyDll, 1},
        {"Overview:", TCommandKind::Overview, 0},
        {"ENUMVIGANT:", TCommandKind::EnumVigant, 2},
        {"SetLanguage:", TCommandKind::SetLanguage, -1},
        {"GetComputerName", TCommandKind::GetComputerName, 0},
        {"AUTHENTICATE:", TCommandKind::Authenticate, -1},
        {"Reboot", TCommandKind::Reboot, 0},
        {"Shutdown", TCommandKind::Shutdown, 0},
    };
    for (const TKeyword& keyword : kKeywords) {
        if (!StartsWithNoCase(command, keyword.Word))
            continue;
        const std::string_view rest = command.substr(keyword.Word.size());
        bool ok;
        if (keyword.Numbers < 0) {
            parsed.Text.assign(rest);
            // A password may be empty; a module or language must be named.
            ok = keyword.Kind == TCommandKind::Authenticate || !rest.empty();
        } else if (keyword.Numbers == 0) {
            ok = rest.empty();
        } else {
            ok = ParseNumbers(rest, keyword.Numbers, parsed.Args);
        }
        // "ENUMVIGANT:" has one form only.
        if (ok && keyword.Kind == TCommandKind::EnumVigant)
            ok = parsed.Args[0] == 1 && parsed.Args[1] == 2;
        if (!ok) {
            // Nothing of a command that does not fit is passed on.
            parsed = TAgentCommand();
            parsed.Kind = TCommandKind::Malformed;
            return parsed;
        }
        parsed.Kind = keyword.Kind;
        return parsed;
    }
    parsed.Kind = TCommandKind::Unknown;
    return parsed;
}

std::string QuoteField(std::string_view field) {
    if (field.find_first_of(";\"\r\n") == std::string_view::npos)
        return std::string(field);
    std::string quoted = "\"";
    for (size_t i = 0; i < field.size(); ++i) {
        char c = field[i];
        // A line break would end the answer line; it becomes a blank.
        if (c == '\r' || c == '\n')
            c = ' ';
        // The viewer ends a quoted field at the first quote that a separator follows, however
        // many quotes come before it: a quote before ";" cannot be written as a quote.
        if (c == '"' && i + 1 < field.size() && field[i + 1] == ';')
            c = '\'';
        quoted += c;
        if (c == '"')
            quoted += '"';
    }
    quoted += '"';
    return quoted;
}

std::string AnswerLine(std::initializer_list<std::string_view> fields) {
    std::string line;
    bool first = true;
    for (std::string_view field : fields) {
        if (!first)
            line += ';';
        first = false;
        line += QuoteField(field);
    }
    return line;
}

} // namespace ostero::vigant
