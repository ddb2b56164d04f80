#include "support/LinkPolicy.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace ostero::support {
namespace {

struct TLinkCase {
    const char* Name;
    std::string Value;
    std::optional<std::string> Target; // nothing: shown and written as plain text
};

TEST(LinkPolicy, OnlyWebAddressesAreOpened) {
    const TLinkCase cases[] = {
        // Web addresses.
        {"https", "https://example.org/", "https://example.org/"},
        {"http with path, query and fragment", "http://example.org/a/b?c=d&e#f",
         "http://example.org/a/b?c=d&e#f"},
        {"scheme in capitals", "HTTP://EXAMPLE.ORG", "HTTP://EXAMPLE.ORG"},
        {"scheme in mixed case", "hTtPs://example.org", "hTtPs://example.org"},
        {"www gets http", "www.example.org", "http://www.example.org"},
        {"www in any case", "WwW.Example.org/x", "http://WwW.Example.org/x"},
        {"blanks and line ends around", " \t https://example.org/ \r\n", "https://example.org/"},
        {"blanks around www", "  www.example.org  ", "http://www.example.org"},
        {"user, password and port", "https://user:pw@example.org:8443/",
         "https://user:pw@example.org:8443/"},
        {"address literal", "http://[::1]:631/", "http://[::1]:631/"},
        {"bare host", "http://localhost", "http://localhost"},
        {"letters beyond ASCII",
         "https://b\xFC"
         "cher.example/",
         "https://b\xFC"
         "cher.example/"},
        // Other schemes and things the desktop would open.
        {"file address", "file:///etc/passwd", std::nullopt},
        {"file address in capitals", "FILE:///etc/passwd", std::nullopt},
        {"script", "javascript:alert(1)", std::nullopt},
        {"data", "data:text/html,<script>alert(1)</script>", std::nullopt},
        {"ftp", "ftp://example.org/", std::nullopt},
        {"mail", "mailto:someone@example.org", std::nullopt},
        {"desktop file", "/usr/share/applications/evil.desktop", std::nullopt},
        {"relative file", "evil.desktop", std::nullopt},
        {"custom scheme", "steam://run/1", std::nullopt},
        {"custom scheme ending in http", "xhttp://example.org", std::nullopt},
        {"an option to the opener", "--help", std::nullopt},
        // Web schemes that are not whole addresses.
        {"http without slashes", "http:example.org", std::nullopt},
        {"http with one slash", "http:/example.org", std::nullopt},
        {"backslashes", "https:\\\\example.org", std::nullopt},
        {"no host", "http://", std::nullopt},
        {"no host before the path", "http:///etc/passwd", std::nullopt},
        {"no host before a query", "https://?x", std::nullopt},
        {"www alone", "www.", std::nullopt},
        {"www without the dot", "wwwexample.org", std::nullopt},
        {"blank before the scheme's end", "http ://example.org", std::nullopt},
        // Control characters and blanks inside.
        {"line end inside", "https://example.org/\nfile:///etc/passwd", std::nullopt},
        {"carriage return inside", "https://example.org/\rx", std::nullopt},
        {"blank inside", "https://example.org/ file:///etc/passwd", std::nullopt},
        {"tab inside", "https://example.org/\tx", std::nullopt},
        {"no-break space inside", "https://example.org/\xA0x", std::nullopt},
        {"nul inside", std::string("https://example.org/\0x", 21), std::nullopt},
        {"escape inside", "https://example.org/\x1B[2J", std::nullopt},
        {"delete inside", "https://example.org/\x7F", std::nullopt},
        {"byte standing for a C1 control", "https://example.org/\x9D", std::nullopt},
        {"control before www", "\x01www.example.org", std::nullopt},
        // Characters an address holds only percent-encoded; quotes and backquotes must not
        // reach the opener's shell script.
        {"double quote", "https://example.org/\"onmouseover=x", std::nullopt},
        {"backquote", "http://example.org/`id`", std::nullopt},
        {"angle brackets", "https://example.org/<script>", std::nullopt},
        {"backslash inside", "https://example.org\\@evil.example/", std::nullopt},
        {"bar of a compared value", "https://a.example/|https://b.example/", std::nullopt},
        {"braces and caret", "https://example.org/{a}^", std::nullopt},
        {"percent-encoded instead", "https://example.org/%22%60%7C",
         "https://example.org/%22%60%7C"},
        {"characters an address may hold", "https://example.org/a;b,c$d!e'f(g)*h+i=j~k@l:m[n]",
         "https://example.org/a;b,c$d!e'f(g)*h+i=j~k@l:m[n]"},
        // Nothing at all.
        {"empty", "", std::nullopt},
        {"blanks only", "   ", std::nullopt},
    };
    for (const TLinkCase& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_EQ(SafeLinkTarget(c.Value), c.Target);
    }
}

} // namespace
} // namespace ostero::support
