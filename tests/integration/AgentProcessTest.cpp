// The agent as a real process: the viewer's channel talks to the staged vigantd over the real
// shared block, while the agent is stopped, killed, restarted and shared by several viewers.

#include "AsUser.h"
#include "sources/AgentChannel.h"
#include "sources/AgentProtocol.h"
#include "sources/InfoModule.h"
#include "support/SysUtils.h"
#include "support/platform/Ipc.h"
#include "support/platform/Platform.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

using namespace ostero::sources;
namespace platform = ostero::platform;
using namespace std::chrono_literals;

namespace {

// An agent the test started ends with the test, even when the test dies: it would otherwise
// keep the test's output open and the test runner waiting.
void DieWithTheTest() {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
}

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
            DieWithTheTest();
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

// --- The agent against the other local users.

namespace {

using ostero::testing::CanActAsOtherUsers;
using ostero::testing::kNeedsRoot;
using ostero::testing::RunAsNobody;

// Every object of the channel, as the viewers name them.
const std::vector<std::string> kChannelObjects = {kAgentBlockName, kAgentExecEventName,
                                                  kAgentDoneEventName, kQueryLockName};

std::string ShmPath(const std::string& name) {
    return "/dev/shm" + platform::IpcObjectName(name);
}

bool AgentAlive(pid_t pid) {
    return waitpid(pid, nullptr, WNOHANG) == 0;
}

} // namespace

// Links planted by another user under the channel's names before the agent starts change no
// file, and the agent serves all the same.
TEST_F(AgentProcessTest, LinksPlantedBeforeTheAgentStartsChangeNothing) {
    if (!CanActAsOtherUsers())
        GTEST_SKIP() << kNeedsRoot;
    const std::string victim = Runtime_ + "/shadow";
    std::ofstream(victim) << "root:secret\n";
    chmod(victim.c_str(), 0600);
    ASSERT_EQ(RunAsNobody([&] {
                  for (const std::string& name : kChannelObjects)
                      if (symlink(victim.c_str(), ShmPath(name).c_str()) != 0)
                          return 1;
                  return 0;
              }),
              0);
    StartAgent();
    TQueryChannel channel;
    ASSERT_TRUE(channel.AgentOpen(1000));
    std::string answer;
    EXPECT_EQ(channel.SourceQueryLocked("GetComputerName", 5000, true, answer), kQueryOk);
    struct stat info {};
    ASSERT_EQ(stat(victim.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u) << "the victim file keeps its mode";
    for (const std::string& name : kChannelObjects) {
        ASSERT_EQ(lstat(ShmPath(name).c_str(), &info), 0) << name;
        EXPECT_TRUE(S_ISREG(info.st_mode)) << name;
        EXPECT_EQ(info.st_mode & 07777, 0600u) << "an agent run by a user for himself: " << name;
    }
}

// An unprivileged user opens none of the objects of an agent that serves root only, and so
// reads nothing through it (environment, command lines, serial numbers).
TEST_F(AgentProcessTest, AnUnprivilegedUserCannotReachTheAgent) {
    if (!CanActAsOtherUsers())
        GTEST_SKIP() << kNeedsRoot;
    StartAgent();
    EXPECT_EQ(RunAsNobody([] {
                  int opened = 0;
                  opened += platform::OpenSharedBlock(kAgentBlockName, kAgentBlockSize) != nullptr;
                  opened += platform::OpenNamedEvent(kAgentExecEventName) != nullptr;
                  opened += platform::OpenNamedEvent(kAgentDoneEventName) != nullptr;
                  opened += platform::OpenProcessLock(kQueryLockName) != nullptr;
                  TQueryChannel channel;
                  opened += channel.AgentOpen(200);
                  return opened;
              }),
              0);
}

// The agent service gives its group access: a member queries it, another user does not.
TEST_F(AgentProcessTest, MembersOfTheAgentsGroupQueryIt) {
    if (!CanActAsOtherUsers())
        GTEST_SKIP() << kNeedsRoot;
    const group* entry = getgrnam("nogroup");
    if (entry == nullptr)
        GTEST_SKIP() << "no group 'nogroup' on this machine to stand in for the agent's group";
    const gid_t agentGroup = entry->gr_gid;
    Pid_ = fork();
    if (Pid_ == 0) {
        DieWithTheTest();
        if (setgid(agentGroup) != 0)
            _exit(126);
        execl(Agent_.c_str(), Agent_.c_str(), "--runtime-dir", Runtime_.c_str(), "--group",
              "nogroup", static_cast<char*>(nullptr));
        _exit(127);
    }
    for (int i = 0; i < 200 && !platform::OpenSharedBlock(kAgentBlockName, kAgentBlockSize); ++i)
        std::this_thread::sleep_for(10ms);
    struct stat info {};
    ASSERT_EQ(stat(ShmPath(kAgentBlockName).c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0660u);
    EXPECT_EQ(info.st_gid, agentGroup);

    const auto query = [] {
        TQueryChannel channel;
        std::string answer;
        return channel.AgentOpen(500) &&
                       channel.SourceQueryLocked("GetComputerName", 5000, true, answer) ==
                           kQueryOk &&
                       answer == platform::Platform().ComputerName()
                   ? 0
                   : 1;
    };
    EXPECT_EQ(ostero::testing::RunAs(ostero::testing::kNobody, agentGroup, query), 0);
    EXPECT_EQ(ostero::testing::RunAs(ostero::testing::kNobody, 1, query), 1)
        << "a user outside the group";
}

// The agent's own environment (where a service keeps its secrets) is never served; the entry
// says it is not available.
TEST_F(AgentProcessTest, TheAgentDoesNotServeItsEnvironment) {
    setenv("OSTERO_TEST_DB_PASSWORD", "s3cret-in-the-service", 1);
    StartAgent();
    unsetenv("OSTERO_TEST_DB_PASSWORD");
    TQueryChannel channel;
    ASSERT_TRUE(channel.AgentOpen(1000));
    std::string module;
    ASSERT_EQ(channel.SourceQueryLocked("InitializeDLL:SysFacts.dll", 5000, true, module),
              kQueryOk);
    bool found = false;
    ASSERT_TRUE(channel.QueryLock(5000));
    for (int index = 0; index < 127 && !found; ++index) {
        std::string root;
        ASSERT_EQ(
            channel.SourceQuery("ENUMROOTINFOS:" + module + ";" + std::to_string(index) + ";0",
                                5000, true, root),
            kQueryOk);
        if (ostero::support::GetSeparatedField(root, 5) != "1")
            break;
        if (ostero::support::GetSeparatedField(root, 4) != "ENVIRONMENT")
            continue;
        found = true;
        std::vector<std::string> subs;
        for (int sub = 0; sub < 10000; ++sub) {
            std::string line;
            ASSERT_EQ(channel.SourceQuery("ENUMSUBINFOS:" + module + ";" + std::to_string(index) +
                                              ";" + std::to_string(sub),
                                          5000, true, line),
                      kQueryOk);
            if (ostero::support::GetSeparatedField(line, 4) != "1")
                break;
            subs.push_back(line);
        }
        ASSERT_EQ(subs.size(), 1u);
        EXPECT_NE(subs[0].find("Not available through the agent"), std::string::npos) << subs[0];
        for (const std::string& line : subs)
            EXPECT_EQ(line.find("s3cret"), std::string::npos) << line;
    }
    channel.QueryUnlock();
    EXPECT_TRUE(found) << "SysFacts has an environment entry";
}

// Shrinking the block and posting a command used to kill the agent with SIGBUS: it goes on, makes
// its objects again and serves the viewer, which follows it there.
TEST_F(AgentProcessTest, AShrunkBlockDoesNotStopTheAgent) {
    StartAgent();
    TQueryChannel channel;
    ASSERT_TRUE(channel.AgentOpen(1000));
    std::string answer;
    ASSERT_EQ(channel.SourceQueryLocked("GetComputerName", 5000, true, answer), kQueryOk);

    const int fd = shm_open(platform::IpcObjectName(kAgentBlockName).c_str(), O_RDWR, 0);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, 0), 0);
    close(fd);
    platform::OpenNamedEvent(kAgentExecEventName)->Set();
    std::this_thread::sleep_for(500ms);
    ASSERT_TRUE(AgentAlive(Pid_)) << "the agent died of the shrunk block";

    EXPECT_EQ(channel.SourceQueryLocked("GetComputerName", 5000, true, answer), kQueryOk);
    EXPECT_EQ(answer, platform::Platform().ComputerName());
    struct stat info {};
    ASSERT_EQ(stat(ShmPath(kAgentBlockName).c_str(), &info), 0);
    EXPECT_EQ(static_cast<size_t>(info.st_size), kAgentBlockSize);
}

// A process that holds file locks on every object of the channel (as the only-one-agent check
// once used the block's lock) does not keep a restarted agent from serving.
TEST_F(AgentProcessTest, LocksHeldOnTheOldObjectsDoNotKeepARestartedAgentOut) {
    StartAgent();
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t holder = fork();
    if (holder == 0) {
        for (const std::string& name : kChannelObjects) {
            const int fd = shm_open(platform::IpcObjectName(name).c_str(), O_RDONLY, 0);
            if (fd >= 0)
                flock(fd, LOCK_EX | LOCK_NB);
        }
        (void)!write(ready[1], "1", 1);
        pause();
        _exit(0);
    }
    char done = 0;
    ASSERT_EQ(read(ready[0], &done, 1), 1);
    StopAgent(SIGKILL);
    StartAgent();
    EXPECT_TRUE(AgentAlive(Pid_));
    TQueryChannel channel;
    std::string answer;
    EXPECT_TRUE(channel.AgentOpen(1000));
    EXPECT_EQ(channel.SourceQueryLocked("SetLanguage:EN", 2000, true, answer), kQueryOk);
    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);
    close(ready[0]);
    close(ready[1]);
}

// One viewer's DESTROYDLL, however often, leaves the module working for the viewer that
// initialised it.
TEST_F(AgentProcessTest, ADestroyFromOneViewerLeavesTheModuleToTheOthers) {
    StartAgent();
    TQueryChannel user;
    TQueryChannel other;
    ASSERT_TRUE(user.AgentOpen(1000));
    ASSERT_TRUE(other.AgentOpen(1000));
    std::string module;
    ASSERT_EQ(user.SourceQueryLocked("InitializeDLL:DevSurvey.dll", 5000, true, module), kQueryOk);
    std::string answer;
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(other.SourceQueryLocked("DESTROYDLL:" + module, 5000, true, answer), kQueryOk);
        EXPECT_EQ(answer, "OK");
    }
    ASSERT_EQ(user.SourceQueryLocked("ENUMROOTINFOS:" + module + ";0;0", 5000, true, answer),
              kQueryOk);
    EXPECT_EQ(ostero::support::GetSeparatedField(answer, 5), "1") << answer;
}

// The pid file is not written through a link, nor over a file of another user.
TEST_F(AgentProcessTest, ThePidFileIsNeverWrittenThroughALinkOrOverAnotherUsersFile) {
    const std::string victim = Runtime_ + "/victim";
    std::ofstream(victim) << "keep\n";
    const std::string link = Runtime_ + "/vigantd.pid";
    ASSERT_EQ(symlink(victim.c_str(), link.c_str()), 0);
    const auto run = [&](const std::string& pidFile) {
        const std::string command = "'" + Agent_ + "' --runtime-dir '" + Runtime_ +
                                    "' --pid-file '" + pidFile + "' 2>/dev/null";
        return std::system(command.c_str());
    };
    int status = run(link);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1);
    std::ifstream in(victim);
    std::string kept;
    in >> kept;
    EXPECT_EQ(kept, "keep");
    EXPECT_EQ(platform::OpenSharedBlock(kAgentBlockName, kAgentBlockSize), nullptr)
        << "an agent that cannot start leaves no block";

    if (CanActAsOtherUsers()) {
        const std::string foreign = Runtime_ + "/foreign.pid";
        std::ofstream(foreign) << "4242\n";
        ASSERT_EQ(chown(foreign.c_str(), ostero::testing::kNobody, ostero::testing::kNoGroup), 0);
        status = run(foreign);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1);
        std::ifstream again(foreign);
        std::string number;
        again >> number;
        EXPECT_EQ(number, "4242");
    }
}

// An agent that stopped cleanly removed its objects; a viewer that still has the old ones
// follows the agent started next to its new ones.
TEST_F(AgentProcessTest, AViewerFollowsAnAgentThatStartedAgainWithNewObjects) {
    StartAgent();
    TQueryChannel channel;
    ASSERT_TRUE(channel.AgentOpen(1000));
    std::string answer;
    ASSERT_EQ(channel.SourceQueryLocked("GetComputerName", 5000, true, answer), kQueryOk);
    EXPECT_EQ(StopAgent(SIGTERM), 0);
    StartAgent();
    EXPECT_EQ(channel.SourceQueryLocked("SetLanguage:DE", 5000, true, answer), kQueryOk);
    EXPECT_EQ(answer, "OK");
}
