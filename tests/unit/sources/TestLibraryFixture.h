#pragma once
// Shared set-up for the tests that load the test libraries: the library folders and a fresh
// call log per test.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

class TestLibraryFixture : public ::testing::Test {
protected:
    void SetUp() override {
        const char* dir = std::getenv("OSTERO_TESTLIB_DIR");
        ASSERT_NE(dir, nullptr) << "OSTERO_TESTLIB_DIR is not set";
        LibDir_ = dir;
        Temp_ = std::filesystem::temp_directory_path() /
                ("ostero-testlib-" + std::to_string(::getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(Temp_);
        std::filesystem::create_directories(Temp_);
        Log_ = (Temp_ / "calls.log").string();
        ::setenv("OSTERO_TESTLIB_LOG", Log_.c_str(), 1);
        ::unsetenv("OSTERO_TESTLIB_MODE");
    }
    void TearDown() override {
        ::unsetenv("OSTERO_TESTLIB_LOG");
        ::unsetenv("OSTERO_TESTLIB_MODE");
        std::filesystem::remove_all(Temp_);
    }
    // The lines the test library recorded.
    std::vector<std::string> Calls() const {
        std::ifstream in(Log_);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }
    std::filesystem::path LibDir_;
    std::filesystem::path Temp_;
    std::string Log_;
};
