// A dialog library that records its calls instead of showing dialogs.
#include "TestLog.h"

#include <cstdint>
#include <cstring>
#include <string>

namespace {
std::string Text(const char* text) {
    return text ? text : "(null)";
}
std::string Owner(void* owner) {
    return owner ? "owner" : "no-owner";
}
} // namespace

TESTLIB_EXPORT int32_t ShowPasswordDialog(void* owner, const char* message, char* userName,
                                          char* password) {
    TestLogCall("ShowPasswordDialog",
                {Owner(owner), Text(message), Text(userName), Text(password)});
    if (std::string(TestMode()) == "overflow") {
        // A careless library: fills the whole buffer without a terminator.
        std::memset(password, 'x', 256);
        return 1;
    }
    if (userName)
        std::strcpy(userName, "operator");
    std::strcat(password, "!");
    return 1;
}

TESTLIB_EXPORT int32_t ShowIpConfigDialog(void* owner, const char* host, const char* agentPassword,
                                          int32_t port, int32_t timeoutMs) {
    TestLogCall("ShowIpConfigDialog", {Owner(owner), Text(host), Text(agentPassword),
                                       std::to_string(port), std::to_string(timeoutMs)});
    return 0;
}

TESTLIB_EXPORT int32_t ShowSharedMemConfigDialog(void* owner, const char* text, int32_t timeoutMs) {
    TestLogCall("ShowSharedMemConfigDialog", {Owner(owner), Text(text), std::to_string(timeoutMs)});
    return 0;
}

TESTLIB_EXPORT int32_t ShowRegConfigDialog(void* owner, const char* text) {
    TestLogCall("ShowRegConfigDialog", {Owner(owner), Text(text)});
    return 0;
}

#ifndef OSTERO_TESTLIB_WITHOUT_OPTIONS
TESTLIB_EXPORT int32_t ShowOptionsDialog(void* owner, int32_t optionValue, uint8_t flag) {
    TestLogCall("ShowOptionsDialog",
                {Owner(owner), std::to_string(optionValue), std::to_string(flag)});
    return 1;
}
#endif
