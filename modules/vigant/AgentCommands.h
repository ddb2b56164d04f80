#pragma once
// The agent's reading of the commands it is sent, and the writing of its answer lines.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace ostero::vigant {

enum class TCommandKind {
    InitializeDll,   // "InitializeDLL:" module file name
    EnumRootInfos,   // "ENUMROOTINFOS:" module ";" index ";" debug flag
    EnumSubInfos,    // "ENUMSUBINFOS:" module ";" root index ";" index
    DestroyDll,      // "DESTROYDLL:" module
    Overview,        // "Overview:"
    EnumVigant,      // "ENUMVIGANT:1;2"
    SetLanguage,     // "SetLanguage:" code
    GetComputerName, // "GetComputerName"
    Authenticate,    // "AUTHENTICATE:" scrambled password
    Reboot,
    Shutdown,
    Unknown,   // no such keyword
    Malformed, // a known keyword with arguments that do not fit
};

struct TAgentCommand {
    TCommandKind Kind = TCommandKind::Unknown;
    std::string Text; // module file name, language code or password
    int32_t Args[3] = {0, 0, 0};
};

// Keywords compare without regard to case; numbers are decimal, not negative, and must fill
// their field.
TAgentCommand ParseAgentCommand(std::string_view command);

// One field of an answer line: quoted (with doubled quotes) when it holds ";", a quote or a
// line break, so that the viewer's field splitting gives it back unchanged. Two things that
// splitting cannot give back are changed: a line break becomes a blank, and a quote directly
// before ";" becomes an apostrophe.
std::string QuoteField(std::string_view field);
// Fields joined with ";".
std::string AnswerLine(std::initializer_list<std::string_view> fields);

} // namespace ostero::vigant
