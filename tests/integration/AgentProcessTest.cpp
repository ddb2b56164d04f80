// The agent as a real process: the viewer's channel talks to the staged vigantd over the real
// shared block, while the agent is stopped, killed, restarted and shared by several viewers.

#include "sources/AgentChannel.h"
#include "sources/AgentProtocol.h"
#include "sources/InfoModule.h"
#include "support/SysUtils.h"
#include "support/platform/Ipc.h"
#include "support/platform/Platform.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

using namespace ostero::sources;
namespace platform = ostero::platform;
using namespace std::chrono_literals;

namespace {

class AgentProcessTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* stage = std::getenv("OSTERO_STAGE_DIR");
        ASSERT_NE(stage, nullptr);
        Agent_ = std::string(stage) + "/Vigant/vigantd";
        ASSERT_TRUE(std::filesystem::exists(Agent_)) << Agent_;
        const std::string space = "it-" + std::to_string(getpid()) + "-" +
                                  ::testing::UnitTest::GetInstance()->current_test_info()->name();
        setenv("TAVERIC_IPC_NAMESPACE", space.c_str(), 1);
        // The agent's lock lives in a folder of the test, apart from a real agent's.
        char folder[] = "/tmp/ostero-agent-XXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        Runtime_ = folder;
    }
    void TearDown() override {
        StopAgent(SIGKILL);
        std::filesystem::remove_all(Runtime_);
        platform::RemoveSharedBlock(kAgentBlockName);
        platform::RemoveProcessLock(kQueryLockName);
        platform::RemoveNamedEvent(kAgentExecEventName);
        platform::RemoveNamedEvent(kAgentDoneEventName);
        unsetenv("TAVERIC_IPC_NAMESPACE");
    }

    // Starts the agent and waits until its block is there.
    void StartAgent() {
        Pid_ = fork();
        if (Pid_ == 0) {
            execl(Agent_.c_str(), Agent_.c_str(), "--runtime-dir", Runtime_.c_str(),
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        for (int i = 0; i < 200; ++i) {
            if (platform::OpenSharedBlock(kAgentBlockName, kAgentBlockSize))
                return;
            std::this_thread::sleep_for(10ms);
        }
        FAIL() << "the agent did not start";
    }
    // Ends the agent; answers its exit status (-1 when none ran).
    int StopAgent(int signal) {
        if (Pid_ <= 0)
            return -1;
        kill(Pid_, SIGCONT);
        kill(Pid_, signal);
        int status = 0;
        waitpid(Pid_, &status, 0);
        Pid_ = -1;
        return status;
    }

    std::string Agent_;
    std::string Runtime_;
    pid_t Pid_ = -1;
};

} // namespace

TEST_F(AgentProcessTest, AnswersTheViewersCommands) {
    StartAgent();
    TQueryChannel channel;
    ASSERT_TRUE(channel.AgentOpen(1000));
    std::string answer;
    ASSERT_EQ(channel.SourceQueryLocked("GetComputerName", 5000, true, answer), kQueryOk);
    EXPECT_EQ(answer, platform::Platform().ComputerName());
    EXPECT_EQ(channel.SourceQueryLocked("SetLanguage:DE", 5000, true, answer), kQueryOk);
    EXPECT_EQ(answer, "OK");

    std::vector<std::string> lines;
    ASSERT_EQ(channel.SourceQueryLines("Overview:", lines, 5000, true), kQueryOk);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), "1;450;System Overview");
    // The program-modules group comes last, with the agent and the modules it found.
    const auto programs = std::find(lines.begin(), lines.end(), "1;451;Program modules");
    ASSERT_NE(programs, lines.end());
    EXPECT_EQ(std::next(programs)->rfind("10;69;Taveric Vigant=", 0), 0u) << *std::next(programs);

    // Sensors and usage: groups and properties with a value, a unit and flags.
    ASSERT_EQ(channel.SourceQueryLines("ENUMVIGANT:1;2", lines, 25000, true), kQueryOk);
    bool processorLoad = false;
    for (const std::string& line : lines) {
        const int code = std::atoi(ostero::support::GetSeparatedField(line, 1).c_str());
        EXPECT_FALSE(ostero::support::GetSeparatedField(line, 3).empty()) << line;
        if (code >= 10)
            EXPECT_FALSE(ostero::support::GetSeparatedField(line, 4).empty()) << line;
        processorLoad |= line.rfind("1;11;Processor load", 0) == 0;
    }
    EXPECT_TRUE(processorLoad);

    // Commands it does not know, or with arguments that do not fit, are answered in a way no
    // caller takes for data.
    struct TBad {
        const char* Command;
        const char* Answer;
    };
    for (const TBad& bad : {TBad{"FORMAT C:", "Unknown command: FORMAT C:"},
                            TBad{"ENUMROOTINFOS:0;x;0", "Malformed command: ENUMROOTINFOS:0;x;0"},
                            TBad{"ENUMSUBINFOS:7;0;0", "Module 7 is not initialised"},
                            TBad{"InitializeDLL:/tmp/evil.so", "Unknown module '/tmp/evil.so'"}}) {
        ASSERT_EQ(channel.SourceQueryLocked(bad.Command, 5000, true, answer), kQueryOk);
        EXPECT_EQ(answer, bad.Answer);
    }
    EXPECT_EQ(StopAgent(SIGTERM), 0) << "a clean stop";
    EXPECT_EQ(platform::OpenSharedBlock(kAgentBlockName, kAgentBlockSize), nullptr)
        << "the agent removes its block when it stops";
}

TEST_F(AgentProcessTest, OnlyOneAgentServes) {
    StartAgent();
    const std::string command = "'" + Agent_ + "' --runtime-dir '" + Runtime_ + "' 2>/dev/null";
    const int status = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1);
}

TEST_F(AgentProcessTest, AStoppedAgentTimesOutAndAnswersAgainWhenItGoesOn) {
    StartAgent();
    TQueryChannel channel;
    ASSERT_TRUE(channel.AgentOpen(1000));
    kill(Pid_, SIGSTOP);
    std::string answer;
    EXPECT_EQ(channel.SourceQueryLocked("GetComputerName", 300, true, answer), kQueryAgentTimeout);
    kill(Pid_, SIGCONT);
    // The late answer to the first command is not taken for the answer to the next one.
    ASSERT_EQ(channel.SourceQueryLocked("SetLanguage:FR", 5000, true, answer), kQueryOk);
    EXPECT_EQ(answer, "OK");
}

TEST_F(AgentProcessTest, AViewerWaitingWhileTheAgentRestartsGetsItsAnswer) {
    StartAgent();
    TQueryChannel channel;
    ASSERT_TRUE(channel.AgentOpen(1000));
    kill(Pid_, SIGSTOP);
    uint32_t result = 1;
    std::string answer;
    std::thread viewer(
        [&] { result = channel.SourceQueryLocked("GetComputerName", 8000, true, answer); });
    std::this_thread::sleep_for(200ms);
    StopAgent(SIGKILL); // dies without cleaning up
    StartAgent();
    viewer.join();
    EXPECT_EQ(result, kQueryOk);
    EXPECT_EQ(answer, platform::Platform().ComputerName());
}

TEST_F(AgentProcessTest, SeveralViewersAreServedOneCommandAtATime) {
    StartAgent();
    std::atomic<int> wrong{0}, failed{0};
    std::vector<std::thread> viewers;
    for (int v = 0; v < 3; ++v) {
        viewers.emplace_back([&, v] {
            TQueryChannel channel;
            if (!channel.AgentOpen(5000)) {
                ++failed;
                return;
            }
            for (int i = 0; i < 50; ++i) {
                std::string answer;
                const bool name = (i + v) % 2 == 0;
                const uint32_t result = channel.SourceQueryLocked(
                    name ? "GetComputerName" : "SetLanguage:EN", 5000, true, answer);
                if (result != kQueryOk)
                    ++failed;
                else if (answer != (name ? platform::Platform().ComputerName() : "OK"))
                    ++wrong;
            }
        });
    }
    for (std::thread& viewer : viewers)
        viewer.join();
    EXPECT_EQ(failed, 0);
    EXPECT_EQ(wrong, 0);
}

TEST_F(AgentProcessTest, EnumeratesTheModulesAsTheyAnswerInProcess) {
    StartAgent();
    TQueryChannel channel;
    ASSERT_TRUE(channel.AgentOpen(1000));
    const std::string shared = std::string(std::getenv("OSTERO_STAGE_DIR")) + "/Shared/";
    for (const char* name : {"DevSurvey", "SysFacts"}) {
        std::string answer;
        ASSERT_EQ(channel.SourceQueryLocked(std::string("InitializeDLL:") + name + ".dll", 5000,
                                            true, answer),
                  kQueryOk);
        ASSERT_FALSE(answer.empty());
        ASSERT_TRUE(std::isdigit(static_cast<unsigned char>(answer[0]))) << answer;
        const std::string module = answer;

        TModuleHandle handle = LoadInfoModule(shared + name + ".so", nullptr);
        ASSERT_NE(handle, nullptr);
        const std::vector<TModuleRootEntry> roots = EnumModuleRoots(handle, 0, nullptr);
        ASSERT_FALSE(roots.empty()) << name;

        std::vector<std::string> names;
        ASSERT_TRUE(channel.QueryLock(5000));
        for (int index = 0; index < 127; ++index) {
            ASSERT_EQ(
                channel.SourceQuery("ENUMROOTINFOS:" + module + ";" + std::to_string(index) + ";0",
                                    5000, true, answer),
                kQueryOk);
            if (ostero::support::GetSeparatedField(answer, 5) != "1")
                break;
            names.push_back(ostero::support::GetSeparatedField(answer, 3));
        }
        // The first root entry's sub entries, level by level as the module gives them.
        std::vector<std::string> subs;
        for (int index = 0;; ++index) {
            ASSERT_EQ(channel.SourceQuery("ENUMSUBINFOS:" + module + ";0;" + std::to_string(index),
                                          35000, true, answer),
                      kQueryOk);
            if (ostero::support::GetSeparatedField(answer, 4) != "1")
                break;
            subs.push_back(ostero::support::GetSeparatedField(answer, 3));
        }
        channel.QueryUnlock();
        std::vector<std::string> expected;
        for (const TModuleRootEntry& root : roots)
            expected.push_back(root.Name);
        EXPECT_EQ(names, expected) << name;
        const std::vector<TModuleSubEntry> inProcess = EnumModuleSubs(handle, 0, nullptr);
        EXPECT_EQ(subs.size(), inProcess.size()) << name;
        if (!subs.empty() && !inProcess.empty())
            EXPECT_EQ(subs.front(), inProcess.front().Text) << name;
        UnloadInfoModule(handle, nullptr);
        EXPECT_EQ(channel.SourceQueryLocked("DESTROYDLL:" + module, 5000, true, answer), kQueryOk);
        EXPECT_EQ(answer, "OK");
    }
}
