#pragma once
// The text lines in which the agent, remote hosts and the out-of-band sources answer
// enumerations. Fields are taken with GetSeparatedField; a numeric field that is no number (or
// out of its range) makes the line illegal, which the session reports with IllegalAnswerMessage.

#include "support/UserMessage.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ostero::sources {

enum class TLineStatus {
    Entry,   // the line carries an entry
    NoEntry, // result field other than 1: the enumeration ends (or an error code above 10)
    Skipped, // an entry without a name or text: leave it out and go on
    Illegal, // a numeric field is no number or out of range
};

// A root entry of an answer line.
struct TAnswerRoot {
    int32_t ImageCode = 0;
    uint16_t Kind = 0;
    bool Sorted = false;
    std::string Name;
    std::string Key;
};

// A line that becomes one node through AddNode.
struct TAnswerNode {
    int32_t LevelOrType = 0;
    int32_t ImageCode = 0;
    std::string Text;
    int32_t Flags = 0;
};

// Answer to "ENUMROOTINFOS:": image code; kind; name; key; result. `result` receives field 5
// when it is a number.
TLineStatus ParseRootInfoLine(std::string_view line, TAnswerRoot& root, int32_t& result);
// Answer to "ENUMSUBINFOS:": level; image code; text; result; flags (empty: 0). The level is
// shifted as a module's record level.
TLineStatus ParseSubInfoLine(std::string_view line, TAnswerNode& node, int32_t& result);
// Out-of-band root list line: image code; kind; name; key.
TLineStatus ParseRootListLine(std::string_view line, TAnswerRoot& root);
// Out-of-band sub list line: level-or-type; image code; name; (unused); value. The text is the
// name, or name "=" value when there is a value; the level is not shifted.
TLineStatus ParseSubListLine(std::string_view line, TAnswerNode& node);
// "Overview:" line: level-or-type; image code; text; flags (optional).
TLineStatus ParseOverviewLine(std::string_view line, TAnswerNode& node);
// "ENUMVIGANT:1;2" line: level-or-type; image code; name; value part 1; value part 2; flags.
TLineStatus ParseVigantLine(std::string_view line, TAnswerNode& node);

// A decimal 32-bit number, blanks around it allowed; nothing for anything else.
std::optional<int32_t> ParseAnswerNumber(std::string_view field);

// "Illegal answer received: <line>" (the line without its line end).
support::TUserMessage IllegalAnswerMessage(std::string_view line);

} // namespace ostero::sources
