// An operating-system module that only answers the version text.
#include "TestLog.h"

#include <cstring>
#include <string>

TESTLIB_EXPORT void GetOSVersionString(char* buffer) {
    TestLogCall("GetOSVersionString", {});
    const std::string mode = TestMode();
    if (mode == "overflow") {
        std::memset(buffer, 'x', 260); // forgets the terminator
    } else if (mode == "empty") {
        buffer[0] = '\0';
    } else {
        std::strcpy(buffer, "Test Linux 1.0 (x86_64)");
    }
}
