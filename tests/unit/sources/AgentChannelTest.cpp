// The viewer's side of the agent channel against a stand-in agent that writes chosen block
// contents (the real agent cannot be made to answer malformed blocks), the query lock across
// processes, and the texts of the result codes.
#include "sources/AgentChannel.h"

#include "TestLibraryFixture.h"
#include "sources/AgentProtocol.h"
#include "support/platform/Ipc.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>

using namespace ostero::sources;
namespace platform = ostero::platform;

namespace {

// A private namespace for the named objects, so that a real agent on this machine and other
// test programs are left alone.
class AgentChannelTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string space = "test-" + std::to_string(getpid()) + "-" +
                                  ::testing::UnitTest::GetInstance()->current_test_info()->name();
        setenv("TAVERIC_IPC_NAMESPACE", space.c_str(), 1);
    }
    void TearDown() override {
        Stop_ = true;
        if (Agent_.joinable())
            Agent_.join();
        platform::RemoveSharedBlock(kAgentBlockName);
        platform::RemoveProcessLock(kQueryLockName);
        platform::RemoveNamedEvent(kAgentExecEventName);
        platform::RemoveNamedEvent(kAgentDoneEventName);
        unsetenv("TAVERIC_IPC_NAMESPACE");
    }

    // Serves the block: for each command, `reply` gives the raw block text to leave (nothing
    // is signalled when it answers nullopt).
    void StartAgent(std::function<std::optional<std::string>(const std::string&)> reply) {
        constexpr auto access = platform::TIpcAccess::Owner;
        Block_ = platform::ServeSharedBlock(kAgentBlockName, kAgentBlockSize, access);
        ASSERT_NE(Block_, nullptr);
        auto exec = platform::ServeNamedEvent(kAgentExecEventName, access);
        auto done = platform::ServeNamedEvent(kAgentDoneEventName, access);
        ServedLock_ = platform::ServeProcessLock(kQueryLockName, access);
        ASSERT_TRUE(exec && done && ServedLock_);
        Agent_ = std::thread([this, reply, exec = std::shared_ptr(std::move(exec)),
                              done = std::shared_ptr(std::move(done))] {
            while (!Stop_) {
                if (exec->Wait(50) != platform::TWaitResult::Signalled)
                    continue;
                std::string command;
                Block_->ReadText(command);
                Commands_.push_back(command);
                if (auto raw = reply(command)) {
                    Block_->WriteText(*raw);
                    done->Set();
                }
            }
        });
    }

    // The block's text as the agent sees it.
    std::string BlockText() {
        std::string text;
        Block_->ReadText(text);
        return text;
    }

    std::unique_ptr<platform::TSharedBlock> Block_;
    std::unique_ptr<platform::TProcessLock> ServedLock_;
    std::thread Agent_;
    std::atomic<bool> Stop_{false};
    std::vector<std::string> Commands_;
};

} // namespace

TEST_F(AgentChannelTest, AnswersAreTakenOnlyInTheirFrame) {
    struct TCase {
        std::string Raw;
        uint32_t Result;
        std::string Answer;
    };
    const std::vector<TCase> cases = {
        {"ANSWER:hello\x01", kQueryOk, "hello"},
        {std::string("ANSWER:\x01"), kQueryOk, ""},
        {"ANSWER:two\r\nlines\x01", kQueryOk, "two\r\nlines"},
        {"ANSWER:hello", kQueryAgentError, ""},
        {"ANSWER:", kQueryAgentError, ""},
        {" ANSWER:hello\x01", kQueryAgentError, ""},
        {"hello ANSWER:x\x01", kQueryAgentError, ""},
    };
    size_t next = 0;
    StartAgent([&](const std::string&) { return cases[next].Raw; });
    TQueryChannel channel;
    ASSERT_TRUE(channel.AgentOpen(1000));
    for (; next < cases.size(); ++next) {
        std::string answer = "stale";
        EXPECT_EQ(channel.AgentQuery("Overview:", 2000, answer), cases[next].Result)
            << cases[next].Raw;
        EXPECT_EQ(answer, cases[next].Answer) << cases[next].Raw;
        EXPECT_EQ(BlockText(), "") << "a signalled exchange clears the block";
    }
    EXPECT_EQ(Commands_.size(), cases.size());
}

TEST_F(AgentChannelTest, ATimeOutLeavesTheBlockAsItIs) {
    StartAgent([](const std::string&) { return std::nullopt; });
    TQueryChannel channel;
    ASSERT_TRUE(channel.AgentOpen(1000));
    std::string answer;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(channel.AgentQuery("GetComputerName", 200, answer), kQueryAgentTimeout);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(190));
    EXPECT_EQ(BlockText(), "GetComputerName");
}

TEST_F(AgentChannelTest, WithoutAgentNothingOpensAndCommandsFail) {
    TQueryChannel channel;
    EXPECT_FALSE(channel.AgentOpen(100));
    std::string answer;
    EXPECT_EQ(channel.AgentQuery("Overview:", 100, answer), kQueryAgentError);
    EXPECT_EQ(channel.SourceQuery("Overview:", 100, false, answer), kQueryNoLibrary);
    std::vector<std::string> lines{"old"};
    EXPECT_EQ(channel.SourceQueryLines("Overview:", lines, 100, false), kQueryNoLibrary);
    EXPECT_TRUE(lines.empty());
}

TEST_F(AgentChannelTest, ALockHeldElsewhereBlocksQueriesWithoutTouchingTheBlock) {
    StartAgent([](const std::string&) { return std::string("ANSWER:ok\x01"); });
    TQueryChannel channel;
    ASSERT_TRUE(channel.AgentOpen(1000));

    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t holder = fork();
    if (holder == 0) {
        auto lock = platform::OpenProcessLock(kQueryLockName);
        const char taken = lock && lock->Take(1000) ? '1' : '0';
        (void)!write(ready[1], &taken, 1);
        pause(); // killed by the test, still holding the lock
        _exit(0);
    }
    char taken = 0;
    ASSERT_EQ(read(ready[0], &taken, 1), 1);
    ASSERT_EQ(taken, '1');

    std::string answer;
    EXPECT_EQ(channel.SourceQueryLocked("Overview:", 200, true, answer), kQueryAgentLocked);
    EXPECT_EQ(channel.SourceQueryLocked("Overview:", 100, false, answer), kQueryRemoteLocked);
    EXPECT_TRUE(Commands_.empty());
    EXPECT_EQ(BlockText(), "");

    // The holder dies without giving the lock back: the next query goes through.
    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);
    EXPECT_EQ(channel.SourceQueryLocked("Overview:", 1000, true, answer), kQueryOk);
    EXPECT_EQ(answer, "ok");
    // And the lock is free again afterwards.
    EXPECT_TRUE(channel.QueryLock(0));
    EXPECT_FALSE(channel.QueryLock(0)) << "a second take by the holder fails";
    channel.QueryUnlock();
    close(ready[0]);
    close(ready[1]);
}

TEST_F(AgentChannelTest, LinesOfAnAnswer) {
    StartAgent([](const std::string&) { return std::string("ANSWER:a\r\nb\nc\rd\r\n\x01"); });
    TQueryChannel channel;
    ASSERT_TRUE(channel.AgentOpen(1000));
    std::vector<std::string> lines;
    EXPECT_EQ(channel.SourceQueryLines("Overview:", lines, 1000, true), kQueryOk);
    EXPECT_EQ(lines, (std::vector<std::string>{"a", "b", "c", "d"}));
}

class QueryErrorTextTest : public TestLibraryFixture {};

TEST_F(QueryErrorTextTest, CodesOfTheChannelAndOfTheLibrary) {
    EXPECT_EQ(QueryErrorText(kQueryOk), "");
    EXPECT_EQ(QueryErrorText(kQueryAgentError),
              "Error in query service Taveric Vigant over shared mem.");
    EXPECT_EQ(QueryErrorText(kQueryAgentTimeout),
              "Timeout in query service Taveric Vigant over shared mem.");
    EXPECT_EQ(QueryErrorText(kQueryAgentLocked),
              "Timeout in query service Taveric Vigant over shared mem. The service is blocked.");

    const std::string empty = Temp_.string() + "/";
    EXPECT_EQ(QueryErrorText(0x15002800, empty),
              "Unknown Error, code 352331776. Cannot interprete errorcode, DLL is not loaded");
    const std::string remote = (LibDir_ / "remote").string() + "/";
    EXPECT_EQ(QueryErrorText(0x15002800, remote), "Test error 352331776");
    EXPECT_EQ(QueryErrorText(kQueryIamtFailed, remote),
              "Unknown iAMT Error. Cannot interprete errorcode, function not found");
    EXPECT_EQ(QueryErrorText(kQueryIpmiFailed, remote),
              "Unknown IPMI Error. Cannot interprete errorcode, function not found");
}
