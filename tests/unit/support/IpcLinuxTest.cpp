// The named objects of the agent channel against another local user: links and objects planted
// before the server starts, users without access, objects shrunk under their users, floods of
// event posts, and the lock that keeps a second server out.

#include "AsUser.h"
#include "support/platform/Ipc.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <semaphore.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace platform = ostero::platform;
using ostero::testing::CanActAsOtherUsers;
using ostero::testing::kNeedsRoot;
using ostero::testing::RunAs;
using ostero::testing::RunAsNobody;
using platform::TIpcAccess;

namespace {

constexpr const char* kBlock = "TestBlock";
constexpr const char* kEvent = "TestEvent";
constexpr const char* kLock = "TestLock";
constexpr size_t kBlockSize = 4096;

class IpcLinuxTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string space = "ipc-" + std::to_string(getpid()) + "-" +
                                  ::testing::UnitTest::GetInstance()->current_test_info()->name();
        setenv("TAVERIC_IPC_NAMESPACE", space.c_str(), 1);
        char folder[] = "/tmp/ostero-ipc-XXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        Folder_ = folder;
    }
    void TearDown() override {
        for (const char* name : {kBlock, kEvent, kLock})
            shm_unlink(platform::IpcObjectName(name).c_str());
        std::filesystem::remove_all(Folder_);
        unsetenv("TAVERIC_IPC_NAMESPACE");
    }

    static std::string Path(const char* name) { return "/dev/shm" + platform::IpcObjectName(name); }

    // Everything a server makes, with `access`.
    struct TServed {
        std::unique_ptr<platform::TSharedBlock> Block;
        std::unique_ptr<platform::TNamedEvent> Event;
        std::unique_ptr<platform::TProcessLock> Lock;
        bool Complete() const { return Block && Event && Lock; }
    };
    static TServed Serve(TIpcAccess access, std::string* error = nullptr) {
        TServed served;
        served.Block = platform::ServeSharedBlock(kBlock, kBlockSize, access, error);
        served.Event = platform::ServeNamedEvent(kEvent, access, error);
        served.Lock = platform::ServeProcessLock(kLock, access, error);
        return served;
    }
    // A viewer's opens: how many of the three succeed.
    static int OpenCount() {
        int opened = 0;
        opened += platform::OpenSharedBlock(kBlock, kBlockSize) != nullptr;
        opened += platform::OpenNamedEvent(kEvent) != nullptr;
        auto lock = platform::OpenProcessLock(kLock);
        opened += lock != nullptr && lock->Served() && lock->Take(100);
        return opened;
    }

    std::string Folder_;
};

} // namespace

// Whatever another user leaves under the names before the server starts is replaced, and the
// server's access is set on its own new objects only: a link to a file of the server's user
// never changes that file.
TEST_F(IpcLinuxTest, ObjectsPlantedBeforeTheServerStartsAreReplacedWithoutTouchingTheirTargets) {
    if (!CanActAsOtherUsers())
        GTEST_SKIP() << kNeedsRoot;
    const std::string victim = Folder_ + "/shadow";
    std::ofstream(victim) << "root:secret\n";
    chmod(victim.c_str(), 0600);

    enum class TPlant { LinkToVictim, WritableObjectOfNobody, WritableObjectOfTheServer };
    for (TPlant plant : {TPlant::LinkToVictim, TPlant::WritableObjectOfNobody,
                         TPlant::WritableObjectOfTheServer}) {
        SCOPED_TRACE(static_cast<int>(plant));
        const auto makeObjects = [&] {
            for (const char* name : {kBlock, kEvent, kLock}) {
                if (plant == TPlant::LinkToVictim) {
                    if (symlink(victim.c_str(), Path(name).c_str()) != 0)
                        return 1;
                } else {
                    const int fd = shm_open(platform::IpcObjectName(name).c_str(),
                                            O_RDWR | O_CREAT | O_EXCL, 0666);
                    if (fd < 0 || fchmod(fd, 0666) != 0 || ftruncate(fd, kBlockSize) != 0)
                        return 1;
                    close(fd);
                }
            }
            return 0;
        };
        // An old server left world-writable objects; an attacker planted the others.
        ASSERT_EQ(plant == TPlant::WritableObjectOfTheServer ? makeObjects()
                                                             : RunAsNobody(makeObjects),
                  0);
        if (plant != TPlant::LinkToVictim)
            EXPECT_EQ(OpenCount(), 0) << "a viewer refuses objects others may write";

        std::string error;
        TServed served = Serve(TIpcAccess::Owner, &error);
        ASSERT_TRUE(served.Complete()) << error;
        for (const char* name : {kBlock, kEvent, kLock}) {
            struct stat info {};
            ASSERT_EQ(lstat(Path(name).c_str(), &info), 0);
            EXPECT_TRUE(S_ISREG(info.st_mode)) << name;
            EXPECT_EQ(info.st_uid, geteuid()) << name;
            EXPECT_EQ(info.st_mode & 07777, 0600u) << name;
        }
        struct stat target {};
        ASSERT_EQ(stat(victim.c_str(), &target), 0);
        EXPECT_EQ(target.st_mode & 07777, 0600u);
        EXPECT_EQ(target.st_size, 12);
        EXPECT_EQ(OpenCount(), 3) << "the server's own objects are opened";
        served = {};
        for (const char* name : {kBlock, kEvent, kLock})
            shm_unlink(platform::IpcObjectName(name).c_str());
    }
}

// Only the server's user (and with group access the members of its group) open the objects.
TEST_F(IpcLinuxTest, UsersWithoutAccessCannotOpenTheObjects) {
    if (!CanActAsOtherUsers())
        GTEST_SKIP() << kNeedsRoot;
    constexpr gid_t kAgentGroup = 47111;
    const auto openCount = [] { return OpenCount(); };

    TServed owner = Serve(TIpcAccess::Owner);
    ASSERT_TRUE(owner.Complete());
    EXPECT_EQ(RunAsNobody(openCount), 0);
    EXPECT_EQ(RunAs(ostero::testing::kNobody, kAgentGroup, openCount), 0);
    owner = {};
    for (const char* name : {kBlock, kEvent, kLock})
        shm_unlink(platform::IpcObjectName(name).c_str());

    // A server running with the agent's group gives that group access, and nobody else.
    ASSERT_EQ(RunAs(0, kAgentGroup,
                    [] {
                        TServed group = Serve(TIpcAccess::OwnerAndGroup);
                        return group.Complete() ? 0 : 1;
                    }),
              0);
    struct stat info {};
    ASSERT_EQ(stat(Path(kBlock).c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0660u);
    EXPECT_EQ(info.st_gid, kAgentGroup);
    EXPECT_EQ(RunAs(ostero::testing::kNobody, kAgentGroup, openCount), 3);
    EXPECT_EQ(RunAsNobody(openCount), 0);
}

// A member of the group shrinks an object: the accesses of everybody who has it mapped fail
// instead of killing the process, and the server makes the object whole again.
TEST_F(IpcLinuxTest, AShrunkObjectFailsItsAccessesAndIsMadeAgain) {
    TServed served = Serve(TIpcAccess::Owner);
    ASSERT_TRUE(served.Complete());
    auto block = platform::OpenSharedBlock(kBlock, kBlockSize);
    auto event = platform::OpenNamedEvent(kEvent);
    ASSERT_TRUE(block && event);
    ASSERT_TRUE(block->WriteText("Overview:"));
    for (const char* name : {kBlock, kEvent}) {
        const int fd = shm_open(platform::IpcObjectName(name).c_str(), O_RDWR, 0);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(ftruncate(fd, 0), 0);
        close(fd);
    }
    std::string text = "stale";
    EXPECT_FALSE(block->ReadText(text));
    EXPECT_EQ(text, "");
    EXPECT_FALSE(block->WriteText("GetComputerName"));
    EXPECT_FALSE(served.Block->Intact());
    event->Set();
    event->Reset();
    EXPECT_EQ(event->Wait(10), platform::TWaitResult::Failed);
    EXPECT_FALSE(served.Event->Intact());

    // The server takes what is whole and makes the rest again.
    served.Block = platform::ServeSharedBlock(kBlock, kBlockSize, TIpcAccess::Owner);
    served.Event = platform::ServeNamedEvent(kEvent, TIpcAccess::Owner);
    ASSERT_TRUE(served.Block && served.Event);
    EXPECT_TRUE(served.Block->Intact());
    block = platform::OpenSharedBlock(kBlock, kBlockSize);
    event = platform::OpenNamedEvent(kEvent);
    ASSERT_TRUE(block && event);
    EXPECT_TRUE(block->WriteText("GetComputerName"));
    EXPECT_TRUE(served.Block->ReadText(text));
    EXPECT_EQ(text, "GetComputerName");
    event->Set();
    EXPECT_EQ(served.Event->Wait(100), platform::TWaitResult::Signalled);
}

// A server that starts again takes over its own whole objects, so a command and its signal left
// by a viewer meanwhile are still there.
TEST_F(IpcLinuxTest, ARestartedServerKeepsAPendingCommand) {
    TServed first = Serve(TIpcAccess::Owner);
    ASSERT_TRUE(first.Complete());
    auto block = platform::OpenSharedBlock(kBlock, kBlockSize);
    auto event = platform::OpenNamedEvent(kEvent);
    ASSERT_TRUE(block && event);
    block->WriteText("Overview:");
    event->Set();
    first = {};
    TServed second = Serve(TIpcAccess::Owner);
    ASSERT_TRUE(second.Complete());
    EXPECT_EQ(second.Event->Wait(100), platform::TWaitResult::Signalled);
    std::string text;
    EXPECT_TRUE(second.Block->ReadText(text));
    EXPECT_EQ(text, "Overview:");
}

// Somebody posts an event over and over: a Reset does a bounded amount of work and the event is
// still usable.
TEST_F(IpcLinuxTest, AFloodOfPostsDoesNotHoldUpAReset) {
    auto served = platform::ServeNamedEvent(kEvent, TIpcAccess::Owner);
    auto event = platform::OpenNamedEvent(kEvent);
    ASSERT_TRUE(served && event);
    const int fd = shm_open(platform::IpcObjectName(kEvent).c_str(), O_RDWR, 0);
    ASSERT_GE(fd, 0);
    void* data = mmap(nullptr, sizeof(sem_t), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    close(fd);
    ASSERT_NE(data, MAP_FAILED);
    auto* sem = static_cast<sem_t*>(data);
    constexpr int kPosts = 1000000;
    for (int i = 0; i < kPosts; ++i)
        sem_post(sem);
    event->Reset();
    int left = 0;
    sem_getvalue(sem, &left);
    EXPECT_GT(left, kPosts - 1000) << "a reset must not work through every post";
    munmap(data, sizeof(sem_t));
}

// The lock that keeps a second server out lies in a folder only the server's user writes.
TEST_F(IpcLinuxTest, TheServerLockIsTakenOnceAndOnlyInASafeFolder) {
    std::string error;
    auto first = platform::TakeServerLock(Folder_, kBlock, &error);
    ASSERT_NE(first, nullptr) << error;
    EXPECT_EQ(platform::TakeServerLock(Folder_, kBlock, &error), nullptr);
    EXPECT_NE(error.find("is served by another process"), std::string::npos) << error;
    first.reset();
    EXPECT_NE(platform::TakeServerLock(Folder_, kBlock, &error), nullptr) << error;

    const std::string open = Folder_ + "/open";
    ASSERT_EQ(mkdir(open.c_str(), 0777), 0);
    ASSERT_EQ(chmod(open.c_str(), 01777), 0);
    EXPECT_EQ(platform::TakeServerLock(open, kBlock, &error), nullptr);
    EXPECT_NE(error.find("only this user can write"), std::string::npos) << error;

    // A link planted where the lock file goes is not followed.
    const std::string own = Folder_ + "/own";
    ASSERT_EQ(mkdir(own.c_str(), 0700), 0);
    const std::string target = Folder_ + "/target";
    std::ofstream(target) << "keep";
    ASSERT_EQ(symlink(target.c_str(), (own + platform::IpcObjectName(kBlock) + ".lock").c_str()),
              0);
    EXPECT_EQ(platform::TakeServerLock(own, kBlock, &error), nullptr);
    std::ifstream in(target);
    std::string kept;
    in >> kept;
    EXPECT_EQ(kept, "keep");
}

// Without a server, processes of one user still take turns through a private lock, which gives
// way to the served one as soon as it exists.
TEST_F(IpcLinuxTest, WithoutAServerAPrivateLockStandsIn) {
    const std::string runtime = Folder_ + "/run";
    ASSERT_EQ(mkdir(runtime.c_str(), 0700), 0);
    const char* saved = std::getenv("XDG_RUNTIME_DIR");
    const std::string restore = saved ? saved : "";
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    auto one = platform::OpenProcessLock(kLock);
    auto two = platform::OpenProcessLock(kLock);
    ASSERT_TRUE(one && two);
    EXPECT_FALSE(one->Served());
    EXPECT_TRUE(one->Take(0));
    EXPECT_FALSE(two->Take(50));
    one->Give();
    EXPECT_TRUE(two->Take(0));
    two->Give();
    struct stat info {};
    ASSERT_EQ(stat((runtime + "/taveric").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0700u);

    auto served = platform::ServeProcessLock(kLock, TIpcAccess::Owner);
    ASSERT_NE(served, nullptr);
    auto three = platform::OpenProcessLock(kLock);
    ASSERT_NE(three, nullptr);
    EXPECT_TRUE(three->Served());
    EXPECT_TRUE(served->Take(0));
    EXPECT_FALSE(three->Take(20));
    if (saved)
        setenv("XDG_RUNTIME_DIR", restore.c_str(), 1);
    else
        unsetenv("XDG_RUNTIME_DIR");
}
