#pragma once
// Which link values may be opened. A link value comes from a report file or from an agent's
// answer and can hold any text; the desktop's opener would start whatever a file:// address, a
// .desktop file or a custom scheme names. Only web addresses are opened, drawn as links and
// written as anchors; every other value stays plain text. The view, the exported pages and
// anything else that follows a link value ask this one rule.

#include <optional>
#include <string>
#include <string_view>

namespace ostero::support {

// The address to open for a link value, or nothing when the value is not a web address.
//
// The value is Windows-1252 text, like every report text. Blanks, tabs and line ends around it
// are dropped. What remains is a web address when it
//   - starts, in any case, with "http://" or "https://" followed by a host (at least one
//     character before the next "/", "?" or "#"; user names, ports and odd hosts are allowed),
//     or with "www." followed by a host, which is opened with "http://" put before it;
//   - holds no blank (space, tab, no-break space), no control character (below 0x20, 0x7F,
//     and the five bytes that stand for C1 controls: 0x81, 0x8D, 0x8F, 0x90, 0x9D) and none
//     of the characters an address carries only percent-encoded: " < > \ ^ ` { | }.
//     Letters beyond ASCII are allowed (international names).
// The answer keeps the value's bytes (case included), apart from the dropped blanks and the
// added scheme.
//   "https://example.org/a?b#c"   -> "https://example.org/a?b#c"
//   "  WWW.example.org "          -> "http://WWW.example.org"
//   "HTTP://user:pw@[::1]:8080/"  -> "HTTP://user:pw@[::1]:8080/"
//   "file:///etc/passwd"          -> nothing
//   "javascript:alert(1)"         -> nothing
//   "http:example.org"            -> nothing (no "//")
//   "https://a.org/\nfile:///x"   -> nothing (a line end inside)
//   "http://a.org/`id`"           -> nothing
//   "ftp://a.org/", "mailto:a@b"  -> nothing
std::optional<std::string> SafeLinkTarget(std::string_view value);

} // namespace ostero::support
