#pragma once
// Appends one line "Function|arg|arg..." to the file named by OSTERO_TESTLIB_LOG.
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <string>

#define TESTLIB_EXPORT extern "C" __attribute__((visibility("default")))

inline void TestLogCall(const char* function, std::initializer_list<std::string> args) {
    const char* path = std::getenv("OSTERO_TESTLIB_LOG");
    if (!path)
        return;
    std::string line = function;
    for (const auto& arg : args)
        line += "|" + arg;
    line += "\n";
    if (FILE* f = std::fopen(path, "ab")) {
        std::fwrite(line.data(), 1, line.size(), f);
        std::fclose(f);
    }
}

inline const char* TestMode() {
    const char* mode = std::getenv("OSTERO_TESTLIB_MODE");
    return mode ? mode : "";
}
