// A remote-query library that answers from memory and records its calls.
#include "TestLog.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

bool connected = false;

std::string Narrow(const char16_t* text) {
    if (!text)
        return "(null)";
    std::string out;
    for (; *text; ++text)
        out += *text < 0x80 ? static_cast<char>(*text) : '#';
    return out;
}

// Hands back a malloc'ed UTF-16 copy, as the real library does.
char16_t* Wide(const std::u16string& text) {
    auto* out = static_cast<char16_t*>(std::malloc((text.size() + 1) * sizeof(char16_t)));
    std::memcpy(out, text.c_str(), (text.size() + 1) * sizeof(char16_t));
    return out;
}

} // namespace

TESTLIB_EXPORT int32_t SocketConnectServer(const char* host, int32_t port, int32_t timeoutMs) {
    TestLogCall("SocketConnectServer", {host, std::to_string(port), std::to_string(timeoutMs)});
    connected = std::string(host) != "unreachable";
    return connected ? 0 : 0x15000002;
}

TESTLIB_EXPORT int32_t SocketDisconnectServer() {
    TestLogCall("SocketDisconnectServer", {});
    connected = false;
    return 0;
}

TESTLIB_EXPORT int32_t SocketQueryServer(const char* command, char* answer, int32_t capacity,
                                         int32_t timeoutMs) {
    TestLogCall("SocketQueryServer",
                {command, std::to_string(capacity), std::to_string(timeoutMs)});
    std::string text;
    int32_t result = 0;
    if (std::string(command) == "LINES") {
        text = "first\r\nsecond\nthird\r\n";
    } else if (std::string(command) == "FAIL") {
        text = "Access denied by host";
        result = 0x15000001;
    } else if (std::string(command) == "FLOOD") {
        // Fills the whole capacity and more if it could: the caller must cut at its buffer.
        std::memset(answer, 'z', static_cast<size_t>(capacity));
        return 0;
    } else {
        text = std::string("echo:") + command;
    }
    std::strncpy(answer, text.c_str(), static_cast<size_t>(capacity));
    return result;
}

TESTLIB_EXPORT int32_t SocketErrorMessage(int32_t code, char* buffer, int32_t capacity) {
    const std::string text = "Test error " + std::to_string(code);
    std::strncpy(buffer, text.c_str(), static_cast<size_t>(capacity));
    return 0;
}

TESTLIB_EXPORT int32_t IPMIPingClient(const char16_t* host) {
    TestLogCall("IPMIPingClient", {Narrow(host)});
    return 0;
}

TESTLIB_EXPORT int32_t GetIPMIRootInfos(char16_t** out, const char16_t* host, const char16_t* user,
                                        const char16_t* password) {
    TestLogCall("GetIPMIRootInfos", {Narrow(host), Narrow(user), Narrow(password)});
    if (std::u16string(password) != u"secret")
        return -2;
    *out = Wide(u"Sensors\r\nGr\u00f6\u00dfe \u20ac\r\n");
    return 7;
}

TESTLIB_EXPORT int32_t GetSNMPRootInfos(char16_t** out, const char16_t* host, const char16_t* user,
                                        const char16_t* password) {
    TestLogCall("GetSNMPRootInfos", {Narrow(host), Narrow(user), Narrow(password)});
    *out = Wide(u"System");
    return 3;
}

TESTLIB_EXPORT void RemoveIPMISID(int32_t sessionId) {
    TestLogCall("RemoveIPMISID", {std::to_string(sessionId)});
}

TESTLIB_EXPORT int32_t WOLPingClient(const char16_t* mac, const char16_t* port) {
    TestLogCall("WOLPingClient", {Narrow(mac), Narrow(port)});
    return std::u16string(mac).size() == 12 ? 0 : -1;
}

TESTLIB_EXPORT int32_t WOLErrorMessage(char16_t** out) {
    *out = Wide(u"Bad MAC address");
    return 0;
}
