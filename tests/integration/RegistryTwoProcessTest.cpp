// The registry file shared by several running processes: writers that run at the same time lose
// none of each other's values, and a reader never sees a half-written file.

#include "support/platform/Platform.h"
#include "support/platform/RegistryFile.h"
#include "support/platform/linux/PlatformLinux.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using ostero::platform::Platform;
using ostero::platform::TRegistryFile;
using ostero::platform::TRegistryHive;

namespace {

constexpr TRegistryHive kUser = TRegistryHive::CurrentUser;

// Runs `body` in a child process; its answer becomes the exit code (0 = success).
pid_t Spawn(const std::function<bool()>& body) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        bool ok = false;
        try {
            ok = body();
        } catch (...) {
        }
        ::_exit(ok ? 0 : 1);
    }
    return pid;
}

// True when the child ended by itself with exit code 0.
bool Succeeded(pid_t pid) {
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid)
        return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Children wait on the read end until the parent closes the write end, so they all start
// together.
class TStartGate {
public:
    TStartGate() { EXPECT_EQ(::pipe(Fds_), 0); }
    ~TStartGate() {
        Open();
        if (Fds_[0] >= 0)
            ::close(Fds_[0]);
    }
    void Wait() {
        ::close(Fds_[1]); // the child's copy
        char byte = 0;
        [[maybe_unused]] const ssize_t ignored = ::read(Fds_[0], &byte, 1);
    }
    void Open() {
        if (Fds_[1] >= 0)
            ::close(Fds_[1]);
        Fds_[1] = -1;
    }

private:
    int Fds_[2] = {-1, -1};
};

class RegistryTwoProcess : public ::testing::Test {
protected:
    void SetUp() override {
        Root_ = fs::temp_directory_path() /
                ("ostero-registry-processes-" + std::to_string(::getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(Root_);
        fs::create_directories(Root_);
        const char* old = std::getenv("XDG_CONFIG_HOME");
        if (old)
            OldConfig_ = old;
        ::setenv("XDG_CONFIG_HOME", Root_.c_str(), 1);
    }
    void TearDown() override {
        if (OldConfig_)
            ::setenv("XDG_CONFIG_HOME", OldConfig_->c_str(), 1);
        else
            ::unsetenv("XDG_CONFIG_HOME");
        fs::remove_all(Root_);
    }
    fs::path File() const { return Root_ / "Taveric" / "registry.reg"; }
    // The file's text as it lies on disk, read directly as the platform's readers read it (they
    // take no lock): the file is only ever replaced whole, so it must be whole at any moment.
    std::string RawText() const {
        std::ifstream in(File(), std::ios::binary | std::ios::ate);
        std::string text(static_cast<size_t>(std::max<std::streamoff>(0, in.tellg())), '\0');
        in.seekg(0);
        in.read(text.data(), static_cast<std::streamsize>(text.size()));
        text.resize(static_cast<size_t>(in.gcount()));
        return text;
    }
    bool ParsesCleanly(TRegistryFile& registry) const {
        const auto result = registry.Parse(RawText());
        return result.Ok() && result.SkippedLines == 0;
    }

    fs::path Root_;
    std::optional<std::string> OldConfig_;
};

TEST_F(RegistryTwoProcess, ConcurrentWritersLoseNoValue) {
    constexpr int kWriters = 4;
    constexpr int kValues = 40;
    TStartGate gate;
    std::vector<pid_t> writers;
    for (int w = 0; w < kWriters; ++w) {
        writers.push_back(Spawn([&, w] {
            gate.Wait();
            bool ok = true;
            for (int v = 0; v < kValues; ++v) {
                const std::string own = "Software\\Taveric\\Writer" + std::to_string(w);
                const std::string name = "W" + std::to_string(w) + "V" + std::to_string(v);
                ok &= Platform().RegWriteString(kUser, own, "V" + std::to_string(v),
                                                "text \"" + name + "\" \\ end");
                // All writers also change one shared key.
                ok &= Platform().RegWriteDword(kUser, "Software\\Taveric\\Shared", name,
                                               static_cast<uint32_t>(w * 1000 + v));
            }
            return ok;
        }));
        ASSERT_GT(writers.back(), 0);
    }
    gate.Open();
    for (const pid_t pid : writers)
        EXPECT_TRUE(Succeeded(pid)) << "a write failed in writer " << pid;

    TRegistryFile registry;
    ASSERT_TRUE(ParsesCleanly(registry));
    for (int w = 0; w < kWriters; ++w) {
        const std::string own = "Software\\Taveric\\Writer" + std::to_string(w);
        for (int v = 0; v < kValues; ++v) {
            const std::string name = "W" + std::to_string(w) + "V" + std::to_string(v);
            EXPECT_EQ(Platform().RegReadString(kUser, own, "V" + std::to_string(v)),
                      "text \"" + name + "\" \\ end");
            EXPECT_EQ(Platform().RegReadString(kUser, "Software\\Taveric\\Shared", name),
                      std::to_string(w * 1000 + v));
        }
    }
    EXPECT_EQ(Platform().RegValueNames(kUser, "Software\\Taveric\\Shared").size(),
              static_cast<size_t>(kWriters * kValues));
    // No temporary file was left behind.
    std::vector<std::string> entries;
    for (const auto& entry : fs::directory_iterator(File().parent_path()))
        entries.push_back(entry.path().filename().string());
    std::sort(entries.begin(), entries.end());
    EXPECT_EQ(entries, (std::vector<std::string>{"registry.reg", "registry.reg.lock"}));
}

TEST_F(RegistryTwoProcess, AReaderSeesTheOldOrTheNewValueNeverAHalfWrittenFile) {
    constexpr int kRounds = 200;
    // A large binary value makes each write long (and is cheap to carry through a rewrite), so
    // that a file written in place would often be caught half-written.
    const std::string pad = "\"Pad\"=hex:" + std::string(512 * 1024, 'a') + "\n";
    fs::create_directories(File().parent_path());
    std::ofstream(File(), std::ios::binary)
        << "Windows Registry Editor Version 5.00\n\n"
        << "[HKEY_CURRENT_USER\\Software\\Taveric\\Fixed]\n\"F\"=\"stays\"\n\n"
        << "[HKEY_CURRENT_USER\\Software\\Taveric\\Moving]\n"
        << pad << "\"M\"=\"0-0\"\n\n";
    auto valueOf = [](int round) { return std::to_string(round) + "-" + std::to_string(round); };

    // One process writes, a second one looks at the file as it lies on disk: it is only ever
    // replaced whole, so every look must find it whole, although readers take no lock. The looks
    // are quick, so that many of them fall into each write.
    auto wholeText = [&](const std::string& text, std::string& value) {
        const size_t start = text.find("\"M\"=\"");
        const size_t end = start == std::string::npos ? start : text.find("\"\n", start + 5);
        if (end == std::string::npos || text.find("\"F\"=\"stays\"\n") == std::string::npos ||
            text.find(pad) == std::string::npos)
            return false;
        value = text.substr(start + 5, end - start - 5);
        return value == valueOf(std::atoi(value.c_str()));
    };
    const pid_t looker = Spawn([&] {
        const auto deadline = std::chrono::steady_clock::now() + 60s;
        std::string value;
        while (std::chrono::steady_clock::now() < deadline) {
            if (!wholeText(RawText(), value))
                return false;
            if (value == valueOf(kRounds))
                return true;
        }
        return false;
    });
    ASSERT_GT(looker, 0);
    const pid_t writer = Spawn([&] {
        for (int round = 1; round <= kRounds; ++round) {
            if (!Platform().RegWriteString(kUser, "Software\\Taveric\\Moving", "M", valueOf(round)))
                return false;
        }
        return true;
    });
    ASSERT_GT(writer, 0);

    // This process reads through the platform meanwhile, and parses the whole file.
    int last = 0;
    int reads = 0;
    int waitStatus = 0;
    for (bool running = true; running;) {
        running = ::waitpid(writer, &waitStatus, WNOHANG) == 0;
        const auto stored = Platform().RegReadString(kUser, "Software\\Taveric\\Moving", "M");
        ASSERT_TRUE(stored.has_value());
        const int round = std::atoi(stored->c_str());
        EXPECT_EQ(*stored, valueOf(round));
        EXPECT_GE(round, last) << "an older value came back";
        last = round;
        EXPECT_EQ(Platform().RegReadString(kUser, "Software\\Taveric\\Fixed", "F"), "stays");
        TRegistryFile registry;
        ASSERT_TRUE(ParsesCleanly(registry)) << "no clean parse after " << reads << " reads";
        ++reads;
    }
    ASSERT_TRUE(WIFEXITED(waitStatus));
    EXPECT_EQ(WEXITSTATUS(waitStatus), 0) << "a write failed";
    EXPECT_GT(reads, 0);
    EXPECT_TRUE(Succeeded(looker)) << "the file was seen half-written";
    EXPECT_EQ(Platform().RegReadString(kUser, "Software\\Taveric\\Moving", "M"), valueOf(kRounds));
    EXPECT_NE(RawText().find(pad), std::string::npos);
}

TEST_F(RegistryTwoProcess, EachSideSeesWhatTheOtherWroteWhileBothRun) {
    // Ping-pong: every answer is only possible after a fresh read of the other's write.
    constexpr int kTurns = 20;
    auto waitFor = [](const char* name, const std::string& expected) {
        const auto deadline = std::chrono::steady_clock::now() + 20s;
        while (std::chrono::steady_clock::now() < deadline) {
            if (Platform().RegReadString(kUser, "Software\\Taveric\\Game", name) == expected)
                return true;
            std::this_thread::sleep_for(1ms);
        }
        return false;
    };
    const pid_t other = Spawn([&] {
        for (int turn = 1; turn <= kTurns; ++turn) {
            if (!waitFor("Ping", std::to_string(turn)))
                return false;
            if (!Platform().RegWriteDword(kUser, "Software\\Taveric\\Game", "Pong",
                                          static_cast<uint32_t>(turn)))
                return false;
        }
        return true;
    });
    ASSERT_GT(other, 0);
    for (int turn = 1; turn <= kTurns; ++turn) {
        ASSERT_TRUE(Platform().RegWriteString(kUser, "Software\\Taveric\\Game", "Ping",
                                              std::to_string(turn)));
        ASSERT_TRUE(waitFor("Pong", std::to_string(turn))) << "no answer in turn " << turn;
    }
    EXPECT_TRUE(Succeeded(other));
}

} // namespace
