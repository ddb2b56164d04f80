#include "support/platform/linux/PlatformLinux.h"
#include "support/platform/ElfVersion.h"
#include "support/platform/FileReplace.h"
#include "support/platform/Platform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <regex>
#include <set>
#include <thread>
#include <utility>

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace ostero::platform;

namespace {

// Pins environment variables for one test and puts the old values back afterwards.
class TEnvPin {
public:
    TEnvPin() = default;
    TEnvPin(const TEnvPin&) = delete;
    TEnvPin& operator=(const TEnvPin&) = delete;
    ~TEnvPin() {
        for (auto it = Saved_.rbegin(); it != Saved_.rend(); ++it) {
            if (it->second)
                ::setenv(it->first.c_str(), it->second->c_str(), 1);
            else
                ::unsetenv(it->first.c_str());
        }
    }
    void Set(const char* name, const std::string& value) {
        Save(name);
        ::setenv(name, value.c_str(), 1);
    }
    void Unset(const char* name) {
        Save(name);
        ::unsetenv(name);
    }

private:
    void Save(const char* name) {
        const char* old = std::getenv(name);
        Saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
    }
    std::vector<std::pair<std::string, std::optional<std::string>>> Saved_;
};

// The unprivileged account the tests act as another user with; nullopt when there is none.
std::optional<passwd> Nobody() {
    const passwd* entry = ::getpwnam("nobody");
    if (!entry)
        return std::nullopt;
    return *entry;
}

// Gives up root for good, in a child process: supplementary groups, group, then user.
bool BecomeUser(const passwd& user) {
    return ::setgroups(0, nullptr) == 0 && ::setgid(user.pw_gid) == 0 &&
           ::setuid(user.pw_uid) == 0 && ::geteuid() == user.pw_uid;
}

// A private folder per test, removed afterwards.
class PlatformFixture : public ::testing::Test {
protected:
    void SetUp() override {
        // Parameterised tests have a '/' in their names.
        std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::replace(name.begin(), name.end(), '/', '_');
        Root_ = fs::temp_directory_path() /
                ("ostero-platform-" + std::to_string(::getpid()) + "-" + name);
        fs::remove_all(Root_);
        fs::create_directories(Root_);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::permissions(Root_, fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(Root_, ignored);
    }
    static void WriteFile(const fs::path& path, const std::string& text) {
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << text;
    }
    static std::string ReadFile(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    static void MakeExecutable(const fs::path& path, const std::string& script) {
        WriteFile(path, script);
        fs::permissions(path, fs::perms::owner_all);
    }

    fs::path Root_;
    TEnvPin Env_;
    TPlatformLinux Platform_;
};

TEST(PlatformSelection, TestsCanReplaceThePlatformAndRestoreIt) {
    TPlatform& system = Platform();
    EXPECT_NE(dynamic_cast<TPlatformLinux*>(&system), nullptr);
    TPlatformLinux replacement;
    EXPECT_EQ(SetPlatform(&replacement), nullptr);
    EXPECT_EQ(&Platform(), &replacement);
    EXPECT_EQ(SetPlatform(nullptr), &replacement);
    EXPECT_EQ(&Platform(), &system);
}

// --- Registry through the platform, with the hives in a private folder.

class PlatformRegistry : public PlatformFixture {
protected:
    void SetUp() override {
        PlatformFixture::SetUp();
        Env_.Set("XDG_CONFIG_HOME", (Root_ / "config").string());
        Env_.Set("TAVERIC_LOCAL_MACHINE_REGISTRY", (Root_ / "machine" / "registry.reg").string());
    }
    fs::path UserFile() const { return Root_ / "config" / "Taveric" / "registry.reg"; }
    std::vector<std::string> FolderEntries(const fs::path& folder) const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    static constexpr TRegistryHive kUser = TRegistryHive::CurrentUser;
    static constexpr TRegistryHive kMachine = TRegistryHive::LocalMachine;
    static constexpr const char* kOstero = "Software\\Taveric\\Ostero";
};

TEST_F(PlatformRegistry, HivesLiveInTheirFiles) {
    EXPECT_EQ(RegistryFilePath(kUser), UserFile().string());
    EXPECT_EQ(RegistryFilePath(kMachine), (Root_ / "machine" / "registry.reg").string());
    Env_.Unset("TAVERIC_LOCAL_MACHINE_REGISTRY");
    EXPECT_EQ(RegistryFilePath(kMachine), "/etc/Taveric/registry.reg");
    Env_.Unset("XDG_CONFIG_HOME");
    Env_.Set("HOME", "/home/anna");
    EXPECT_EQ(RegistryFilePath(kUser), "/home/anna/.config/Taveric/registry.reg");
    Env_.Set("XDG_CONFIG_HOME", "relative/is/ignored");
    EXPECT_EQ(RegistryFilePath(kUser), "/home/anna/.config/Taveric/registry.reg");
}

TEST_F(PlatformRegistry, WrittenValuesReadBackWithoutRegardToCase) {
    ASSERT_TRUE(Platform_.RegWriteString(kUser, kOstero, "Language", "Language;English"));
    ASSERT_TRUE(Platform_.RegWriteDword(kUser, kOstero, "Port", 2027));
    ASSERT_TRUE(Platform_.RegWriteString(kUser, "Software\\Taveric\\Ostero\\Config", "", "d"));

    EXPECT_EQ(Platform_.RegReadString(kUser, "SOFTWARE\\taveric\\ostero", "LANGUAGE"),
              "Language;English");
    EXPECT_EQ(Platform_.RegReadString(kUser, kOstero, "port"), "2027");
    EXPECT_EQ(Platform_.RegReadString(kUser, "Software\\Taveric\\Ostero\\Config", ""), "d");
    EXPECT_EQ(Platform_.RegReadString(kUser, kOstero, "Missing"), std::nullopt);
    EXPECT_EQ(Platform_.RegValueNames(kUser, kOstero),
              (std::vector<std::string>{"Language", "Port"}));
    EXPECT_EQ(Platform_.RegSubKeyNames(kUser, "software\\taveric"),
              (std::vector<std::string>{"Ostero"}));
    EXPECT_TRUE(Platform_.RegKeyExists(kUser, "Software\\Taveric"));
    EXPECT_FALSE(Platform_.RegKeyExists(kUser, "Software\\Taveric\\Oster"));
    // The other hive is another file.
    EXPECT_FALSE(Platform_.RegKeyExists(kMachine, kOstero));

    EXPECT_EQ(ReadFile(UserFile()), "Windows Registry Editor Version 5.00\n"
                                    "\n"
                                    "[HKEY_CURRENT_USER\\Software\\Taveric\\Ostero]\n"
                                    "\"Language\"=\"Language;English\"\n"
                                    "\"Port\"=dword:000007eb\n"
                                    "\n"
                                    "[HKEY_CURRENT_USER\\Software\\Taveric\\Ostero\\Config]\n"
                                    "@=\"d\"\n"
                                    "\n");
    // Stored passwords live here: only the user may read the file.
    EXPECT_EQ(fs::status(UserFile()).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(PlatformRegistry, LocalMachineFileIsReadableByAll) {
    ASSERT_TRUE(Platform_.RegCreateKey(kMachine, "Software\\Taveric\\Vigant"));
    const fs::path file = Root_ / "machine" / "registry.reg";
    EXPECT_NE(ReadFile(file).find("[HKEY_LOCAL_MACHINE\\Software\\Taveric\\Vigant]"),
              std::string::npos);
    EXPECT_EQ(fs::status(file).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                  fs::perms::others_read);
    EXPECT_TRUE(Platform_.RegKeyExists(kMachine, "software\\taveric\\vigant"));
}

TEST_F(PlatformRegistry, HiveRootAlwaysExistsAndCannotBeDeleted) {
    EXPECT_TRUE(Platform_.RegKeyExists(kUser, ""));
    EXPECT_TRUE(Platform_.RegCreateKey(kUser, "\\"));
    EXPECT_FALSE(Platform_.RegDeleteKey(kUser, ""));
    EXPECT_FALSE(fs::exists(UserFile())); // nothing needed writing
    EXPECT_TRUE(Platform_.RegSubKeyNames(kUser, "").empty());
}

TEST_F(PlatformRegistry, DeletionsAnswerWhetherThereWasSomethingToDelete) {
    ASSERT_TRUE(Platform_.RegWriteString(kUser, "Software\\Taveric\\Ostero\\A\\B", "x", "1"));
    ASSERT_TRUE(Platform_.RegWriteString(kUser, "Software\\Taveric\\OsteroKeep", "y", "2"));
    EXPECT_FALSE(Platform_.RegDeleteValue(kUser, "Software\\Taveric\\Ostero\\A\\B", "nope"));
    EXPECT_TRUE(Platform_.RegDeleteValue(kUser, "Software\\Taveric\\Ostero\\A\\B", "X"));
    EXPECT_EQ(Platform_.RegReadString(kUser, "Software\\Taveric\\Ostero\\A\\B", "x"), std::nullopt);
    EXPECT_TRUE(Platform_.RegDeleteKey(kUser, "software\\taveric\\ostero"));
    EXPECT_FALSE(Platform_.RegKeyExists(kUser, "Software\\Taveric\\Ostero\\A\\B"));
    EXPECT_FALSE(Platform_.RegDeleteKey(kUser, "Software\\Taveric\\Ostero"));
    EXPECT_EQ(Platform_.RegReadString(kUser, "Software\\Taveric\\OsteroKeep", "y"), "2");
}

TEST_F(PlatformRegistry, EveryReadSeesTheFileAsItIsNow) {
    WriteFile(UserFile(), "Windows Registry Editor Version 5.00\n\n"
                          "[HKEY_CURRENT_USER\\Software\\Taveric\\Ostero]\n\"V\"=\"one\"\n");
    EXPECT_EQ(Platform_.RegReadString(kUser, kOstero, "V"), "one");
    WriteFile(UserFile(), "Windows Registry Editor Version 5.00\n\n"
                          "[HKEY_CURRENT_USER\\Software\\Taveric\\Ostero]\n\"V\"=\"two\"\n");
    EXPECT_EQ(Platform_.RegReadString(kUser, kOstero, "V"), "two");
    fs::remove(UserFile());
    EXPECT_EQ(Platform_.RegReadString(kUser, kOstero, "V"), std::nullopt);
}

TEST_F(PlatformRegistry, AWriteReplacesTheFileAndNeverChangesItInPlace) {
    ASSERT_TRUE(Platform_.RegWriteString(kUser, kOstero, "V", "old"));
    const std::string before = ReadFile(UserFile());
    // A reader that opened the file before the write keeps reading the old text, whole.
    std::ifstream opened(UserFile(), std::ios::binary);
    ASSERT_TRUE(opened);
    ASSERT_TRUE(Platform_.RegWriteString(kUser, kOstero, "V", std::string(100000, 'n')));
    const std::string seen{std::istreambuf_iterator<char>(opened),
                           std::istreambuf_iterator<char>()};
    EXPECT_EQ(seen, before);
    EXPECT_EQ(Platform_.RegReadString(kUser, kOstero, "V"), std::string(100000, 'n'));
}

TEST_F(PlatformRegistry, ValuesOfOtherKindsHaveNoTextAndSurviveAWrite) {
    const std::string blob = "\"Blob\"=hex:01,02,\\\n  03\n";
    WriteFile(UserFile(), "Windows Registry Editor Version 5.00\n\n"
                          "[HKEY_CURRENT_USER\\Software\\Taveric\\Ostero]\n" +
                              blob);
    EXPECT_EQ(Platform_.RegReadString(kUser, kOstero, "Blob"), std::nullopt);
    EXPECT_EQ(Platform_.RegValueNames(kUser, kOstero), (std::vector<std::string>{"Blob"}));
    ASSERT_TRUE(Platform_.RegWriteString(kUser, kOstero, "Other", "x"));
    EXPECT_NE(ReadFile(UserFile()).find(blob), std::string::npos);
}

TEST_F(PlatformRegistry, AFileOfAnotherKindIsNeverOverwritten) {
    const std::string notes = "my notes, not settings\n";
    WriteFile(UserFile(), notes);
    EXPECT_FALSE(Platform_.RegKeyExists(kUser, kOstero));
    EXPECT_FALSE(Platform_.RegWriteString(kUser, kOstero, "V", "x"));
    std::string error;
    EXPECT_FALSE(UpdateRegistryFile(
        UserFile().string(), [](TRegistryFile&) { return TRegistryChange::Changed; }, 0600,
        &error));
    EXPECT_NE(error.find("not a registry file"), std::string::npos) << error;
    EXPECT_EQ(ReadFile(UserFile()), notes);
}

TEST_F(PlatformRegistry, AFileAboveTheSizeLimitIsNeitherReadNorOverwritten) {
    const std::string huge = "Windows Registry Editor Version 5.00\n\n"
                             "[HKEY_CURRENT_USER\\Software\\Taveric\\Ostero]\n"
                             "\"V\"=\"" +
                             std::string(kRegistryMaxFileSize, 'x') + "\"\n";
    WriteFile(UserFile(), huge);
    EXPECT_FALSE(Platform_.RegKeyExists(kUser, kOstero));
    EXPECT_FALSE(Platform_.RegWriteDword(kUser, kOstero, "N", 1));
    EXPECT_EQ(fs::file_size(UserFile()), huge.size());
}

TEST_F(PlatformRegistry, AChangeThatWouldExceedTheSizeLimitIsRefused) {
    ASSERT_TRUE(Platform_.RegWriteString(kUser, kOstero, "Small", "1"));
    const std::string before = ReadFile(UserFile());
    EXPECT_FALSE(
        Platform_.RegWriteString(kUser, kOstero, "Big", std::string(kRegistryMaxFileSize, 'x')));
    EXPECT_EQ(ReadFile(UserFile()), before);
}

TEST_F(PlatformRegistry, AFailedWriteLeavesTheOldFileWhole) {
    ASSERT_TRUE(Platform_.RegWriteString(kUser, kOstero, "Keep", "old value"));
    const std::string before = ReadFile(UserFile());
    // A file size limit makes the write of the new file fail half way, even for root. It is
    // set in a child process so that this one keeps its limits.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{static_cast<rlim_t>(before.size() + 64),
                           static_cast<rlim_t>(before.size() + 64)};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const bool written =
            Platform_.RegWriteString(kUser, kOstero, "New", std::string(10000, 'n'));
        ::_exit(written ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the write should have failed";
    EXPECT_EQ(ReadFile(UserFile()), before);
    EXPECT_EQ(FolderEntries(UserFile().parent_path()),
              (std::vector<std::string>{"registry.reg", "registry.reg.lock"}));
    // The store still works afterwards.
    EXPECT_TRUE(Platform_.RegWriteString(kUser, kOstero, "New", "n"));
    EXPECT_EQ(Platform_.RegReadString(kUser, kOstero, "Keep"), "old value");
}

TEST_F(PlatformRegistry, AReadOnlyFolderFailsTheWriteAndKeepsTheFile) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes into read-only folders";
    ASSERT_TRUE(Platform_.RegWriteString(kUser, kOstero, "Keep", "1"));
    const std::string before = ReadFile(UserFile());
    fs::permissions(UserFile().parent_path(), fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_FALSE(Platform_.RegWriteString(kUser, kOstero, "New", "2"));
    EXPECT_EQ(Platform_.RegReadString(kUser, kOstero, "Keep"), "1");
    fs::permissions(UserFile().parent_path(), fs::perms::owner_all);
    EXPECT_EQ(ReadFile(UserFile()), before);
}

TEST_F(PlatformRegistry, AFolderThatCannotBeCreatedFailsTheWrite) {
    WriteFile(Root_ / "plainfile", "x");
    Env_.Set("XDG_CONFIG_HOME", (Root_ / "plainfile").string());
    EXPECT_FALSE(Platform_.RegWriteString(kUser, kOstero, "V", "x"));
    EXPECT_FALSE(Platform_.RegKeyExists(kUser, kOstero));
    std::string error;
    EXPECT_FALSE(UpdateRegistryFile(
        RegistryFilePath(kUser), [](TRegistryFile&) { return TRegistryChange::Changed; }, 0600,
        &error));
    EXPECT_NE(error.find("cannot create the folder"), std::string::npos) << error;
}

TEST_F(PlatformRegistry, ARegistryPathThatIsAFolderFailsCleanly) {
    fs::create_directories(UserFile());
    EXPECT_FALSE(Platform_.RegWriteString(kUser, kOstero, "V", "x"));
    EXPECT_EQ(Platform_.RegReadString(kUser, kOstero, "V"), std::nullopt);
    TRegistryFile file;
    EXPECT_EQ(ReadRegistryFile(UserFile().string(), file).Status, TRegistryStatus::IoError);
    EXPECT_TRUE(fs::is_directory(UserFile()));
}

TEST_F(PlatformRegistry, ACallThatChangesNothingDoesNotReplaceTheFile) {
    ASSERT_TRUE(Platform_.RegWriteString(kUser, kOstero, "V", "x"));
    auto inode = [&] {
        struct stat info {};
        ::stat(UserFile().c_str(), &info);
        return info.st_ino;
    };
    const auto before = inode();
    EXPECT_TRUE(Platform_.RegWriteString(kUser, kOstero, "v", "x"));
    EXPECT_TRUE(Platform_.RegCreateKey(kUser, "SOFTWARE\\TAVERIC\\OSTERO"));
    EXPECT_FALSE(Platform_.RegDeleteValue(kUser, kOstero, "nothing"));
    EXPECT_FALSE(Platform_.RegDeleteKey(kUser, "Software\\Nothing"));
    EXPECT_EQ(inode(), before);
    EXPECT_TRUE(Platform_.RegWriteString(kUser, kOstero, "v", "y"));
    EXPECT_NE(inode(), before);
}

// The writers' lock is the only lock: another user who can open the lock file for reading and
// hold a lock on it must not stall every reader for the lock time-out, nor fail the writers.
TEST_F(PlatformRegistry, AnotherUsersLockHolderDelaysNoReadAndNoWrite) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to run the lock holder as another user";
    const auto nobody = Nobody();
    if (!nobody)
        GTEST_SKIP() << "no user 'nobody' on this system";
    const fs::path file = Root_ / "machine" / "registry.reg";
    ASSERT_TRUE(Platform_.RegWriteString(kMachine, kOstero, "V", "before"));
    // The machine's file is for everybody to read: let the other user reach it.
    for (const fs::path& folder : {Root_, file.parent_path()})
        fs::permissions(folder, fs::perms(0755));

    // The child answers one byte: 'L' when it holds the lock, 'N' when it could not take it,
    // in upper case when it could read the value itself, lower case when not. It holds on
    // until the parent closes the release pipe.
    int answer[2];
    int release[2];
    ASSERT_EQ(::pipe(answer), 0);
    ASSERT_EQ(::pipe(release), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(answer[0]);
        ::close(release[1]);
        if (!BecomeUser(*nobody))
            ::_exit(2);
        const int fd = ::open((file.string() + ".lock").c_str(), O_RDONLY | O_CLOEXEC);
        const bool locked = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
        const bool read = Platform_.RegReadString(kMachine, kOstero, "V") == "before";
        const char byte = locked ? (read ? 'L' : 'l') : (read ? 'N' : 'n');
        if (::write(answer[1], &byte, 1) != 1)
            ::_exit(3);
        char ignored = 0;
        [[maybe_unused]] const ssize_t done = ::read(release[0], &ignored, 1);
        ::_exit(0);
    }
    ::close(answer[1]);
    ::close(release[0]);
    char byte = 0;
    const bool answered = ::read(answer[0], &byte, 1) == 1;
    ::close(answer[0]);

    // The lock time-out is 10 s; a read or write that waits for it is far beyond this bound.
    const auto start = std::chrono::steady_clock::now();
    const auto value = Platform_.RegReadString(kMachine, kOstero, "V");
    const auto readTime = std::chrono::steady_clock::now() - start;
    const bool written = Platform_.RegWriteString(kMachine, kOstero, "V", "after");
    const auto writeTime = std::chrono::steady_clock::now() - start - readTime;
    ::close(release[1]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);

    ASSERT_TRUE(answered) << "the other user's process did not start";
    EXPECT_EQ(byte, 'N') << "L: the other user holds the writers' lock; lower case: it could "
                            "not read the machine's settings";
    EXPECT_EQ(value, "before");
    EXPECT_LT(readTime, 2s) << "the read waited for another user's lock";
    EXPECT_TRUE(written);
    EXPECT_LT(writeTime, 2s) << "the write waited for another user's lock";
    EXPECT_EQ(Platform_.RegReadString(kMachine, kOstero, "V"), "after");
}

TEST_F(PlatformRegistry, TheLockFileIsOpenToItsOwnerOnly) {
    ASSERT_TRUE(Platform_.RegCreateKey(kMachine, kOstero));
    const fs::path lock = Root_ / "machine" / "registry.reg.lock";
    EXPECT_EQ(fs::status(lock).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    // One left open to others (by an older version) is made private by the next write.
    fs::permissions(lock, fs::perms(0644));
    ASSERT_TRUE(Platform_.RegWriteDword(kMachine, kOstero, "N", 1));
    EXPECT_EQ(fs::status(lock).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(PlatformRegistry, APlantedLockLinkIsNeitherFollowedNorCreated) {
    ASSERT_TRUE(Platform_.RegWriteString(kUser, kOstero, "Keep", "1"));
    const std::string before = ReadFile(UserFile());
    const fs::path lock = UserFile().string() + ".lock";
    const fs::path elsewhere = Root_ / "elsewhere.lock";
    fs::remove(lock);
    fs::create_symlink(elsewhere, lock);
    std::string error;
    EXPECT_FALSE(UpdateRegistryFile(
        UserFile().string(), [](TRegistryFile&) { return TRegistryChange::Changed; }, 0600,
        &error));
    EXPECT_NE(error.find("lock file"), std::string::npos) << error;
    EXPECT_FALSE(fs::exists(fs::symlink_status(elsewhere)));
    EXPECT_EQ(ReadFile(UserFile()), before);
    // Reading needs no lock at all.
    EXPECT_EQ(Platform_.RegReadString(kUser, kOstero, "Keep"), "1");
}

TEST_F(PlatformRegistry, ALockFileOfAnotherUserIsRefused) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to give the lock file to another user";
    const auto nobody = Nobody();
    if (!nobody)
        GTEST_SKIP() << "no user 'nobody' on this system";
    ASSERT_TRUE(Platform_.RegWriteString(kUser, kOstero, "Keep", "1"));
    const std::string before = ReadFile(UserFile());
    const std::string lock = UserFile().string() + ".lock";
    ASSERT_EQ(::chown(lock.c_str(), nobody->pw_uid, nobody->pw_gid), 0);
    std::string error;
    EXPECT_FALSE(UpdateRegistryFile(
        UserFile().string(), [](TRegistryFile&) { return TRegistryChange::Changed; }, 0600,
        &error));
    EXPECT_NE(error.find("belongs to another user"), std::string::npos) << error;
    EXPECT_EQ(ReadFile(UserFile()), before);
}

// --- Replacing files through symbolic links.

// A link planted in a shared sticky folder (/tmp) by another user must not make a save
// overwrite the file it points at; the rule is the kernel's for such links.
struct TLinkCase {
    const char* Name;
    unsigned FolderMode;
    bool FolderOfOther; // the folder belongs to the other user
    bool LinkOfOther;   // the link belongs to the other user
    bool Chained;       // the link names a second link, of the other user, in the same folder
    bool Followed;
};

class PlatformLinkedSave : public PlatformFixture, public ::testing::WithParamInterface<TLinkCase> {
protected:
    void SetUp() override {
        PlatformFixture::SetUp();
        std::string pattern = (fs::temp_directory_path() / "ostero-shared-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        Shared_ = pattern;
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(Shared_, ignored);
        PlatformFixture::TearDown();
    }
    std::vector<std::string> Entries(const fs::path& folder) const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    fs::path Shared_;
};

TEST_P(PlatformLinkedSave, FollowsALinkOnlyWhereItsOwnerMayChooseTheTarget) {
    const TLinkCase& c = GetParam();
    const bool needsOther = c.FolderOfOther || c.LinkOfOther || c.Chained;
    const auto nobody = Nobody();
    if (needsOther && ::geteuid() != 0)
        GTEST_SKIP() << "needs root to give the link or folder to another user";
    if (needsOther && !nobody)
        GTEST_SKIP() << "no user 'nobody' on this system";
    const fs::path victim = Root_ / "victim.txt";
    WriteFile(victim, "precious");
    const fs::path link = Shared_ / "report.trp";
    const fs::path second = Shared_ / "second.trp";
    fs::create_symlink(c.Chained ? second : victim, link);
    if (c.Chained) {
        fs::create_symlink(victim, second);
        ASSERT_EQ(::lchown(second.c_str(), nobody->pw_uid, nobody->pw_gid), 0);
    }
    if (c.LinkOfOther) {
        ASSERT_EQ(::lchown(link.c_str(), nobody->pw_uid, nobody->pw_gid), 0);
    }
    if (c.FolderOfOther) {
        ASSERT_EQ(::chown(Shared_.c_str(), nobody->pw_uid, nobody->pw_gid), 0);
    }
    ASSERT_EQ(::chmod(Shared_.c_str(), c.FolderMode), 0);
    const std::vector<std::string> sharedBefore = Entries(Shared_);

    std::string error;
    const bool saved = ReplaceFileContents(link.string(), "new contents", error);
    EXPECT_EQ(saved, c.Followed) << error;
    if (c.Followed) {
        EXPECT_EQ(ReadFile(victim), "new contents");
    } else {
        EXPECT_EQ(ReadFile(victim), "precious");
        EXPECT_TRUE(error.starts_with("Cannot write " + link.string() + ": ")) << error;
        EXPECT_NE(error.find("symbolic link that belongs to another user in the shared folder " +
                             Shared_.string()),
                  std::string::npos)
            << error;
    }
    // The link stays a link either way, and no temporary file is left anywhere.
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(Entries(Shared_), sharedBefore);
    EXPECT_EQ(Entries(Root_), std::vector<std::string>{"victim.txt"});

    // The writer in pieces keeps the same rule.
    TFileReplacement pieces;
    error.clear();
    const bool begun = pieces.Begin(link.string(), error);
    EXPECT_EQ(begun, c.Followed) << error;
    if (begun) {
        EXPECT_TRUE(pieces.Write("in pieces"));
        EXPECT_TRUE(pieces.Commit(error)) << error;
    }
    EXPECT_EQ(ReadFile(victim), c.Followed ? "in pieces" : "precious");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PlatformLinkedSave,
    ::testing::Values(
        TLinkCase{"OtherUsersLinkInStickySharedFolder", 01777, false, true, false, false},
        TLinkCase{"OwnLinkInStickySharedFolder", 01777, false, false, false, true},
        TLinkCase{"FolderOwnersLinkInStickySharedFolder", 01777, true, true, false, true},
        TLinkCase{"OwnLinkToOtherUsersLinkInStickySharedFolder", 01777, false, false, true, false},
        TLinkCase{"OtherUsersLinkInNonStickyFolder", 0777, false, true, false, true},
        TLinkCase{"OtherUsersLinkInStickyPrivateFolder", 01755, false, true, false, true}),
    [](const auto& info) { return std::string(info.param.Name); });

// --- Dynamic libraries.

class PlatformLibrary : public PlatformFixture {};

TEST_F(PlatformLibrary, LoadsARealLibraryAndCallsItsEntry) {
    TLibraryHandle library = Platform_.LoadLibrary("libm.so.6");
    ASSERT_NE(library, nullptr) << Platform_.LastLibraryErrorDetail();
    EXPECT_EQ(Platform_.LastLibraryError(), 0);
    using TCos = double (*)(double);
    auto cosine = reinterpret_cast<TCos>(Platform_.GetProcAddress(library, "cos"));
    ASSERT_NE(cosine, nullptr);
    EXPECT_DOUBLE_EQ(cosine(0.0), 1.0);

    EXPECT_EQ(Platform_.GetProcAddress(library, "NoSuchEntryHere"), nullptr);
    EXPECT_EQ(Platform_.LastLibraryError(), kErrorProcNotFound);
    EXPECT_NE(Platform_.LastLibraryErrorDetail().find("NoSuchEntryHere"), std::string::npos);
    Platform_.FreeLibrary(library);
}

TEST_F(PlatformLibrary, ANullLibraryFindsNothingRatherThanTheWholeProgram) {
    EXPECT_EQ(Platform_.GetProcAddress(nullptr, "malloc"), nullptr);
    EXPECT_EQ(Platform_.LastLibraryError(), kErrorProcNotFound);
    Platform_.FreeLibrary(nullptr);
}

TEST_F(PlatformLibrary, MissingOrDamagedLibrariesAreNotFound) {
    WriteFile(Root_ / "Fake.so", "not a shared object");
    for (const fs::path& path : {Root_ / "Missing.so", Root_ / "Fake.so"}) {
        EXPECT_EQ(Platform_.LoadLibrary(path.string()), nullptr) << path;
        EXPECT_EQ(Platform_.LastLibraryError(), kErrorModNotFound);
        EXPECT_NE(Platform_.LastLibraryErrorDetail().find(path.filename().string()),
                  std::string::npos)
            << Platform_.LastLibraryErrorDetail();
    }
}

TEST_F(PlatformLibrary, TheErrorBelongsToTheCallingThread) {
    EXPECT_EQ(Platform_.LoadLibrary((Root_ / "Missing.so").string()), nullptr);
    int otherThread = -1;
    std::thread([&] { otherThread = Platform_.LastLibraryError(); }).join();
    EXPECT_EQ(otherThread, 0);
    EXPECT_EQ(Platform_.LastLibraryError(), kErrorModNotFound);
}

struct TFindCase {
    const char* Name;
    std::string Query;
    std::string Expected; // file name in the folder, empty for none
};

class PlatformFindFileNoCase : public PlatformFixture,
                               public ::testing::WithParamInterface<TFindCase> {
protected:
    void SetUp() override {
        PlatformFixture::SetUp();
        for (const char* name : {"Tav_Rem.so", "DevSurvey.so", "devsurvey.so", "tDialogs.so"})
            WriteFile(Root_ / name, "x");
        fs::create_directories(Root_ / "SHARED");
    }
};

TEST_P(PlatformFindFileNoCase, FindsTheFileWhateverItsCase) {
    const TFindCase& c = GetParam();
    const std::string expected = c.Expected.empty() ? "" : (Root_ / c.Expected).string();
    EXPECT_EQ(Platform_.FindFileNoCase(Root_.string(), c.Query), expected);
    EXPECT_EQ(Platform_.FindFileNoCase(Root_.string() + "/", c.Query), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Names, PlatformFindFileNoCase,
    ::testing::Values(TFindCase{"Exact", "Tav_Rem.so", "Tav_Rem.so"},
                      TFindCase{"OtherCase", "TAV_REM.SO", "Tav_Rem.so"},
                      TFindCase{"ExactWinsOverOtherCase", "devsurvey.so", "devsurvey.so"},
                      TFindCase{"ExactWinsTheOtherWayRound", "DevSurvey.so", "DevSurvey.so"},
                      TFindCase{"AmongOthersTheFirstInByteOrder", "DEVSURVEY.SO", "DevSurvey.so"},
                      TFindCase{"Missing", "SysFacts.so", ""},
                      TFindCase{"FoldersAreNotFiles", "shared", ""},
                      TFindCase{"PathsAreNotNames", "../Tav_Rem.so", ""},
                      TFindCase{"Empty", "", ""}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(PlatformLibrary, FindFileNoCaseInAMissingFolderFindsNothing) {
    EXPECT_EQ(Platform_.FindFileNoCase((Root_ / "nowhere").string(), "x.so"), "");
}

// --- Folders, names and rights.

struct TDocumentsCase {
    const char* Name;
    std::optional<std::string> UserDirs; // content of user-dirs.dirs; none: no file
    std::string Expected;                // "~" stands for $HOME
};

class PlatformDocumentsFolder : public PlatformFixture,
                                public ::testing::WithParamInterface<TDocumentsCase> {};

TEST_P(PlatformDocumentsFolder, ComesFromTheUserDirsFile) {
    const TDocumentsCase& c = GetParam();
    const std::string home = (Root_ / "home").string();
    Env_.Set("HOME", home);
    Env_.Set("XDG_CONFIG_HOME", (Root_ / "config").string());
    if (c.UserDirs)
        WriteFile(Root_ / "config" / "user-dirs.dirs", *c.UserDirs);
    std::string expected = c.Expected;
    if (expected.starts_with("~"))
        expected = home + expected.substr(1);
    EXPECT_EQ(Platform_.SpecialFolder(kFolderPersonal), expected);
}

INSTANTIATE_TEST_SUITE_P(
    UserDirs, PlatformDocumentsFolder,
    ::testing::Values(
        TDocumentsCase{"NoFile", std::nullopt, "~/Documents"},
        TDocumentsCase{"BelowHome",
                       "# comment\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
                       "XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n",
                       "~/Dokumente"},
        TDocumentsCase{"Absolute", "XDG_DOCUMENTS_DIR=\"/data/docs/\"\n", "/data/docs"},
        TDocumentsCase{"EscapedQuote", "XDG_DOCUMENTS_DIR=\"$HOME/My \\\"Docs\\\"\"\n",
                       "~/My \"Docs\""},
        TDocumentsCase{"HomeItself", "XDG_DOCUMENTS_DIR=\"$HOME/\"\n", "~"},
        TDocumentsCase{"CommentedOut", "#XDG_DOCUMENTS_DIR=\"$HOME/No\"\n", "~/Documents"},
        TDocumentsCase{"RelativeIsInvalid", "XDG_DOCUMENTS_DIR=\"docs\"\n", "~/Documents"},
        TDocumentsCase{"OtherVariableThatStartsLikeHome", "XDG_DOCUMENTS_DIR=\"$HOMEX/a\"\n",
                       "~/Documents"}),
    [](const auto& info) { return std::string(info.param.Name); });

class PlatformFolders : public PlatformFixture {};

TEST_F(PlatformFolders, CommonAppDataFollowsTheOverrideThenTheSystemFolder) {
    Env_.Set("TAVERIC_COMMON_APPDATA", "/srv/taveric");
    EXPECT_EQ(Platform_.SpecialFolder(kFolderCommonAppData), "/srv/taveric");
    Env_.Unset("TAVERIC_COMMON_APPDATA");
    Env_.Set("XDG_DATA_HOME", (Root_ / "data").string());
    const std::string expected =
        ::access("/var/lib", W_OK) == 0 ? "/var/lib" : (Root_ / "data").string();
    EXPECT_EQ(Platform_.SpecialFolder(kFolderCommonAppData), expected);
}

TEST_F(PlatformFolders, OtherFolderNumbersGiveNothing) {
    for (const int number : {0, 26, 28, -1, 1000})
        EXPECT_EQ(Platform_.SpecialFolder(number), "") << number;
}

TEST_F(PlatformFolders, TempFolderEndsWithASeparator) {
    Env_.Set("TMPDIR", "/var/tmp/mine");
    EXPECT_EQ(Platform_.TempFolder(), "/var/tmp/mine/");
    Env_.Set("TMPDIR", "/var/tmp/mine/");
    EXPECT_EQ(Platform_.TempFolder(), "/var/tmp/mine/");
    Env_.Set("TMPDIR", "");
    EXPECT_EQ(Platform_.TempFolder(), "/tmp/");
    Env_.Unset("TMPDIR");
    EXPECT_EQ(Platform_.TempFolder(), "/tmp/");
}

TEST(PlatformNames, ProgramPathIsThisTestProgram) {
    TPlatformLinux platform;
    const std::string path = platform.ProgramPath();
    EXPECT_EQ(path, fs::canonical("/proc/self/exe").string());
    EXPECT_EQ(fs::path(path).filename(), "support_tests");
}

TEST(PlatformNames, ComputerNameIsTheHostNameCutTo15Characters) {
    TPlatformLinux platform;
    char host[257] = {};
    ASSERT_EQ(::gethostname(host, 256), 0);
    const std::string name = platform.ComputerName();
    EXPECT_FALSE(name.empty());
    EXPECT_LE(name.size(), 15u);
    EXPECT_EQ(name, std::string(host).substr(0, name.size()));
}

TEST(PlatformNames, RightsAndBitness) {
    TPlatformLinux platform;
    EXPECT_EQ(platform.IsAdministrator(), ::geteuid() == 0);
    if (sizeof(void*) == 8) {
        EXPECT_FALSE(platform.IsWow64());
    }
}

TEST(PlatformNames, SystemErrorTextKnowsOnlyRealErrors) {
    TPlatformLinux platform;
    EXPECT_EQ(platform.SystemErrorText(ENOENT), std::strerror(ENOENT));
    EXPECT_FALSE(platform.SystemErrorText(EACCES).empty());
    EXPECT_EQ(platform.SystemErrorText(123456), "");
    EXPECT_EQ(platform.SystemErrorText(-3), "");
}

struct TOsReleaseCase {
    const char* Name;
    std::string Text;
    std::string Expected;
};

class PlatformOsRelease : public ::testing::TestWithParam<TOsReleaseCase> {};

TEST_P(PlatformOsRelease, NamesTheDistribution) {
    EXPECT_EQ(OsReleaseName(GetParam().Text), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Files, PlatformOsRelease,
    ::testing::Values(
        TOsReleaseCase{"PrettyName",
                       "NAME=\"Debian GNU/Linux\"\nVERSION=\"12 (bookworm)\"\n"
                       "PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n",
                       "Debian GNU/Linux 12 (bookworm)"},
        TOsReleaseCase{"NameAndVersion", "NAME='Fedora Linux'\nVERSION=39\n", "Fedora Linux 39"},
        TOsReleaseCase{"NameOnly", "# comment\nNAME=Arch\n", "Arch"},
        TOsReleaseCase{"EscapesInDoubleQuotes", "PRETTY_NAME=\"A \\\"B\\\" \\$C\"\n", "A \"B\" $C"},
        TOsReleaseCase{"BlanksAndWindowsLineEnds", "  PRETTY_NAME=\"X 1\"  \r\n", "X 1"},
        TOsReleaseCase{"Nothing", "ID=debian\n", ""}, TOsReleaseCase{"Empty", "", ""}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(PlatformNames, OsVersionFallbackNamesDistributionArchitectureAndKernel) {
    TPlatformLinux platform;
    utsname names{};
    ASSERT_EQ(::uname(&names), 0);
    const std::string text = platform.OsVersionFallbackText();
    const std::string tail = std::string(names.machine) + " Linux " + names.release;
    ASSERT_GE(text.size(), tail.size());
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
    std::ifstream release("/etc/os-release");
    const std::string file{std::istreambuf_iterator<char>(release),
                           std::istreambuf_iterator<char>()};
    const std::string distribution = OsReleaseName(file);
    if (!distribution.empty()) {
        EXPECT_EQ(text, distribution + " " + tail);
    }
}

// --- Network file systems from the mount table.

const char* const kMountTable = "/dev/vda / ext4 rw,relatime 0 0\n"
                                "server:/export /mnt/nfs nfs4 rw 0 0\n"
                                "/dev/sdb1 /mnt/nfs2 ext4 rw 0 0\n"
                                "//host/share /mnt/My\\040Share cifs rw 0 0\n"
                                "u@h: /home/u/remote fuse.sshfs rw 0 0\n"
                                "tmpfs\t/home/u/remote/cache\ttmpfs rw 0 0\n"
                                "server:/a /mnt/stacked nfs rw 0 0\n"
                                "/dev/sdc1 /mnt/stacked ext4 rw 0 0\n"
                                "/dev/sdd1 /mnt/back\\134slash xfs rw 0 0\n"
                                "damaged-line-without-fields\n";

struct TMountCase {
    const char* Name;
    std::string Path;
    std::string Type;
    bool Network;
};

class PlatformMountTable : public ::testing::TestWithParam<TMountCase> {};

TEST_P(PlatformMountTable, FindsTheLongestMountOnAFolderBoundary) {
    const auto mounts = ParseMountTable(kMountTable);
    EXPECT_EQ(MountTypeOfPath(mounts, GetParam().Path), GetParam().Type);
    EXPECT_EQ(IsNetworkFileSystemType(MountTypeOfPath(mounts, GetParam().Path)),
              GetParam().Network);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, PlatformMountTable,
    ::testing::Values(
        TMountCase{"Root", "/etc/passwd", "ext4", false},
        TMountCase{"InsideNfs", "/mnt/nfs/a/b.trp", "nfs4", true},
        TMountCase{"MountPointItself", "/mnt/nfs", "nfs4", true},
        TMountCase{"TrailingSeparator", "/mnt/nfs/", "nfs4", true},
        TMountCase{"NameThatOnlyStartsLikeTheMountPoint", "/mnt/nfs2/f", "ext4", false},
        TMountCase{"EscapedBlank", "/mnt/My Share/doc.txt", "cifs", true},
        TMountCase{"EscapeIsNotTakenLiterally", "/mnt/My\\040Share/x", "ext4", false},
        TMountCase{"EscapedBackslash", "/mnt/back\\slash/x", "xfs", false},
        TMountCase{"LongestPrefixWins", "/home/u/remote/x", "fuse.sshfs", true},
        TMountCase{"LocalMountInsideANetworkOne", "/home/u/remote/cache/x", "tmpfs", false},
        TMountCase{"LaterMountHidesTheEarlier", "/mnt/stacked/x", "ext4", false}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(PlatformMounts, ParsesFieldsAndSkipsDamagedLines) {
    const auto mounts = ParseMountTable(kMountTable);
    ASSERT_EQ(mounts.size(), 9u);
    EXPECT_EQ(mounts[3].MountPoint, "/mnt/My Share");
    EXPECT_EQ(mounts[5].MountPoint, "/home/u/remote/cache");
    EXPECT_EQ(MountTypeOfPath({}, "/x"), "");
    EXPECT_EQ(MountTypeOfPath(ParseMountTable("a relative/point ext4 rw 0 0\n"), "/x"), "");
}

TEST(PlatformMounts, NetworkTypes) {
    for (const char* type : {"nfs", "nfs4", "cifs", "smb3", "smbfs", "fuse.sshfs", "sshfs", "9p",
                             "afs", "ceph", "glusterfs", "fuse.glusterfs", "davfs", "fuse.davfs2"})
        EXPECT_TRUE(IsNetworkFileSystemType(type)) << type;
    for (const char* type : {"", "ext4", "tmpfs", "fuse", "overlay", "NFS", "nfsd"})
        EXPECT_FALSE(IsNetworkFileSystemType(type)) << type;
}

TEST(PlatformMounts, ThisSystemsProcFolderIsLocal) {
    TPlatformLinux platform;
    EXPECT_FALSE(platform.IsNetworkPath("/proc/self/not/existing"));
    EXPECT_FALSE(platform.IsNetworkPath(""));
}

// --- Services.

struct TUnitCase {
    const char* Name;
    std::string Service;
    std::string Unit;
};

class PlatformServiceUnit : public ::testing::TestWithParam<TUnitCase> {};

TEST_P(PlatformServiceUnit, IsTheLowerCaseNameWithTheServiceSuffix) {
    EXPECT_EQ(ServiceUnitName(GetParam().Service), GetParam().Unit);
}

INSTANTIATE_TEST_SUITE_P(
    Names, PlatformServiceUnit,
    ::testing::Values(TUnitCase{"Agent", "VIGANT", "vigant.service"},
                      TUnitCase{"SuffixAlreadyThere", "Vigant.Service", "vigant.service"},
                      TUnitCase{"Instance", "getty@tty1", "getty@tty1.service"},
                      TUnitCase{"Empty", "", ""}, TUnitCase{"LooksLikeAnOption", "-H", ""},
                      TUnitCase{"Blank", "my service", ""}, TUnitCase{"Path", "../x", ""},
                      TUnitCase{"NonAscii", "d\xC3\xA9mon", ""}),
    [](const auto& info) { return std::string(info.param.Name); });

struct TSystemctlCase {
    const char* Name;
    std::string Output;
    TServiceState State;
};

class PlatformSystemctl : public ::testing::TestWithParam<TSystemctlCase> {};

TEST_P(PlatformSystemctl, MapsTheUnitStates) {
    EXPECT_EQ(ParseSystemctlState(GetParam().Output), GetParam().State);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, PlatformSystemctl,
    ::testing::Values(
        TSystemctlCase{"Active", "LoadState=loaded\nActiveState=active\n", TServiceState::Running},
        TSystemctlCase{"Reloading", "LoadState=loaded\nActiveState=reloading\n",
                       TServiceState::Running},
        TSystemctlCase{"Inactive", "LoadState=loaded\nActiveState=inactive\n",
                       TServiceState::Stopped},
        TSystemctlCase{"Failed", "LoadState=loaded\nActiveState=failed\n", TServiceState::Stopped},
        TSystemctlCase{"Activating", "LoadState=loaded\nActiveState=activating\n",
                       TServiceState::StartPending},
        TSystemctlCase{"Deactivating", "LoadState=loaded\nActiveState=deactivating\n",
                       TServiceState::StopPending},
        TSystemctlCase{"NotFound", "LoadState=not-found\nActiveState=inactive\n",
                       TServiceState::NotInstalled},
        TSystemctlCase{"Masked", "LoadState=masked\nActiveState=inactive\n",
                       TServiceState::Stopped},
        TSystemctlCase{"OtherOrderAndWindowsLineEnds", "ActiveState=active\r\nLoadState=loaded\r\n",
                       TServiceState::Running},
        TSystemctlCase{"BrokenUnitFile", "LoadState=error\nActiveState=inactive\n",
                       TServiceState::Unknown},
        TSystemctlCase{"UnknownActiveState", "LoadState=loaded\nActiveState=hibernating\n",
                       TServiceState::Unknown},
        TSystemctlCase{"NoAnswer", "", TServiceState::Unknown},
        TSystemctlCase{"BareValues", "loaded\nactive\n", TServiceState::Unknown}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(PlatformServices, WithoutARunningSystemdTheStateIsUnknown) {
    TPlatformLinux platform;
    if (fs::is_directory("/run/systemd/system")) {
        EXPECT_EQ(platform.ServiceState("OsteroNoSuchServiceHere"), TServiceState::NotInstalled);
    } else {
        EXPECT_EQ(platform.ServiceState("VIGANT"), TServiceState::Unknown);
        EXPECT_FALSE(platform.StartService("VIGANT"));
    }
    EXPECT_EQ(platform.ServiceState("-H"), TServiceState::NotInstalled);
    EXPECT_FALSE(platform.StartService("-H"));
}

// --- Child processes.

class PlatformProcess : public PlatformFixture {};

TEST_F(PlatformProcess, CapturesOutputAndExitCode) {
    const auto result = RunProcess("/bin/sh", {"-c", "printf 'a\\nb'; exit 3"}, 5s);
    EXPECT_TRUE(result.Started);
    EXPECT_FALSE(result.TimedOut);
    EXPECT_EQ(result.ExitCode, 3);
    EXPECT_EQ(result.Output, "a\nb");
}

TEST_F(PlatformProcess, ArgumentsReachTheProgramWithoutAShell) {
    const auto result = RunProcess("/bin/echo", {"$HOME; rm -rf x", "*"}, 5s);
    EXPECT_EQ(result.ExitCode, 0);
    EXPECT_EQ(result.Output, "$HOME; rm -rf x *\n");
}

TEST_F(PlatformProcess, ATimeOutEndsTheProcessAndItsHelpers) {
    const fs::path pidFile = Root_ / "helper.pid";
    const auto start = std::chrono::steady_clock::now();
    const auto result = RunProcess(
        "/bin/sh", {"-c", "sleep 30 & echo $! > '" + pidFile.string() + "'; wait"}, 500ms);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_TRUE(result.Started);
    EXPECT_TRUE(result.TimedOut);
    const int helper = std::atoi(ReadFile(pidFile).c_str());
    ASSERT_GT(helper, 0);
    // Gone, or a zombie waiting for init to collect it.
    for (int i = 0; i < 100; ++i) {
        const std::string stat = ReadFile("/proc/" + std::to_string(helper) + "/stat");
        if (stat.empty() || stat.find(") Z ") != std::string::npos)
            return;
        std::this_thread::sleep_for(10ms);
    }
    ADD_FAILURE() << "the helper " << helper << " still runs";
    ::kill(helper, SIGKILL);
}

TEST_F(PlatformProcess, AHelperHoldingTheOutputDoesNotDelayTheAnswer) {
    const auto start = std::chrono::steady_clock::now();
    const auto result = RunProcess("/bin/sh", {"-c", "sleep 3 & echo done"}, 10s);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    EXPECT_FALSE(result.TimedOut);
    EXPECT_EQ(result.ExitCode, 0);
    EXPECT_EQ(result.Output, "done\n");
}

TEST_F(PlatformProcess, OutputIsCappedButTheProcessRunsToItsEnd) {
    const auto result = RunProcess("/bin/sh", {"-c", "head -c 200000 /dev/zero; exit 4"}, 10s);
    EXPECT_EQ(result.ExitCode, 4);
    EXPECT_EQ(result.Output.size(), 64u * 1024u);
}

TEST_F(PlatformProcess, AMissingProgramDoesNotStart) {
    const auto result = RunProcess((Root_ / "missing").string(), {}, 5s);
    EXPECT_FALSE(result.Started);
    EXPECT_FALSE(result.TimedOut);
}

TEST_F(PlatformProcess, FindInPathTakesTheFirstExecutable) {
    WriteFile(Root_ / "a" / "tool", "#!/bin/sh\n"); // not executable
    MakeExecutable(Root_ / "b" / "tool", "#!/bin/sh\n");
    Env_.Set("PATH", "::" + (Root_ / "a").string() + ":" + (Root_ / "b").string());
    EXPECT_EQ(FindInPath("tool"), (Root_ / "b" / "tool").string());
    EXPECT_EQ(FindInPath("missing"), "");
    EXPECT_EQ(FindInPath(""), "");
}

class PlatformShellExecute : public PlatformFixture {};

TEST_F(PlatformShellExecute, WithoutAnOpenerInPathNothingStarts) {
    fs::create_directories(Root_ / "empty");
    Env_.Set("PATH", (Root_ / "empty").string());
    EXPECT_FALSE(Platform_.ShellExecute("/tmp/report.html"));
    EXPECT_FALSE(Platform_.ShellExecute(""));
}

TEST_F(PlatformShellExecute, StartsTheOpenerDetachedWithTheTargetAsOneArgument) {
    // xdg-open itself would start a desktop application; this stand-in reports what it got.
    const fs::path out = Root_ / "opened.txt";
    MakeExecutable(Root_ / "bin" / "xdg-open",
                   "#!/bin/sh\n"
                   "sid=$(cut -d' ' -f6 /proc/$$/stat)\n"
                   "printf '%s|%s|%s' \"$#\" \"$1\" \"$sid\" > \"$OPENED.tmp\"\n"
                   "mv \"$OPENED.tmp\" \"$OPENED\"\n");
    Env_.Set("PATH", (Root_ / "bin").string() + ":/usr/bin:/bin");
    Env_.Set("OPENED", out.string());
    const std::string target = "/home/anna/My Reports/pc \"01\"; $x.trp";
    ASSERT_TRUE(Platform_.ShellExecute(target));

    for (int i = 0; i < 500 && !fs::exists(out); ++i)
        std::this_thread::sleep_for(10ms);
    const std::string reported = ReadFile(out);
    const size_t last = reported.rfind('|');
    ASSERT_NE(last, std::string::npos) << reported;
    EXPECT_EQ(reported.substr(0, last), "1|" + target);
    // Its own session, so closing our terminal does not end the application it starts.
    EXPECT_NE(std::atoi(reported.substr(last + 1).c_str()), ::getsid(0));
    // The intermediate child was collected: no zombie of ours remains.
    int status = 0;
    EXPECT_LE(::waitpid(-1, &status, WNOHANG), 0);
}

// --- Version sections of ELF files.

TEST(PlatformElfVersion, ThisProgramCarriesItsVersion) {
    TPlatformLinux platform;
    std::map<std::string, std::string> values{{"Stale", "x"}};
    ASSERT_TRUE(platform.ReadVersionSection("/proc/self/exe", values));
    EXPECT_EQ(values["InternalName"], "support_tests");
    EXPECT_EQ(values["ProductName"], "Taveric Ostero");
    EXPECT_EQ(values["CompanyName"], "Taveric");
    EXPECT_TRUE(std::regex_match(values["FileVersion"], std::regex(R"(\d+\.\d+\.\d+\.\d+)")))
        << values["FileVersion"];
    EXPECT_EQ(values.count("Stale"), 0u);
}

class PlatformElfFiles : public PlatformFixture {};

TEST_F(PlatformElfFiles, FilesWithoutTheSectionGiveFalse) {
    WriteFile(Root_ / "text.so", "just text, no ELF at all");
    WriteFile(Root_ / "empty", "");
    ASSERT_EQ(::mkfifo((Root_ / "fifo").c_str(), 0600), 0);
    fs::create_directories(Root_ / "folder");
    std::vector<fs::path> files{Root_ / "text.so", Root_ / "empty", Root_ / "fifo",
                                Root_ / "folder", Root_ / "missing"};
    for (const char* system : {"/bin/sh", "/usr/bin/env"}) {
        if (fs::exists(system))
            files.push_back(system); // real ELF files without our section
    }
    for (const fs::path& file : files) {
        std::map<std::string, std::string> values{{"Stale", "x"}};
        EXPECT_FALSE(Platform_.ReadVersionSection(file.string(), values)) << file;
        EXPECT_TRUE(values.empty()) << file;
    }
}

TEST_F(PlatformElfFiles, TruncatedCopiesGiveFalse) {
    const std::string image = ReadFile("/proc/self/exe");
    // The byte ranges the reader looks at in the whole file; cutting any of them short must
    // fail, and a cut just after the last of them must still succeed.
    std::vector<std::pair<uint64_t, uint64_t>> ranges;
    std::string content;
    ASSERT_TRUE(ReadElfSection(
        [&](uint64_t offset, void* buffer, size_t size) {
            ranges.emplace_back(offset, size);
            std::memcpy(buffer, image.data() + offset, size);
            return true;
        },
        image.size(), kVersionSectionName, content));
    std::set<uint64_t, std::greater<>> lengths;
    uint64_t end = 0;
    for (uint64_t length = 0; length <= 128; ++length)
        lengths.insert(length);
    for (const auto& [offset, size] : ranges) {
        for (const uint64_t length : {offset, offset + 1, offset + size / 2, offset + size - 1})
            lengths.insert(length);
        end = std::max(end, offset + size);
    }
    for (uint64_t length = end - std::min<uint64_t>(end, 4096); length < end; length += 61)
        lengths.insert(length);

    const fs::path copy = Root_ / "copy";
    WriteFile(copy, image);
    ASSERT_EQ(::truncate(copy.c_str(), static_cast<off_t>(end)), 0);
    std::map<std::string, std::string> values;
    EXPECT_TRUE(Platform_.ReadVersionSection(copy.string(), values));
    // Longest first, so that each copy is a truncation of the previous one.
    for (const uint64_t length : lengths) {
        if (length >= end)
            continue;
        ASSERT_EQ(::truncate(copy.c_str(), static_cast<off_t>(length)), 0);
        EXPECT_FALSE(Platform_.ReadVersionSection(copy.string(), values)) << length;
        EXPECT_FALSE(ReadElfVersionSection(std::string_view(image).substr(0, length), values))
            << length;
    }
}

// A small ELF image written here in either class and byte order, with sections laid out one
// after the other and the section header table at the end.
class TElfImage {
public:
    struct TSection {
        std::string Name;
        uint32_t Type;
        std::string Data;
    };
    TElfImage(bool is64, bool bigEndian, const std::vector<TSection>& sections)
        : Is64_(is64), Big_(bigEndian) {
        const size_t headerSize = is64 ? 64 : 52;
        ShEntSize_ = is64 ? 64 : 40;
        Bytes_.assign(headerSize, '\0');
        std::memcpy(Bytes_.data(),
                    "\x7f"
                    "ELF",
                    4);
        Bytes_[4] = is64 ? 2 : 1;
        Bytes_[5] = bigEndian ? 2 : 1;
        Bytes_[6] = 1;

        std::string names(1, '\0');
        std::vector<std::pair<uint64_t, uint64_t>> places; // offset, size of each section
        std::vector<uint32_t> nameOffsets;
        for (const TSection& section : sections) {
            nameOffsets.push_back(static_cast<uint32_t>(names.size()));
            names += section.Name;
            names += '\0';
            places.emplace_back(Bytes_.size(), section.Data.size());
            Bytes_ += section.Data;
        }
        nameOffsets.push_back(static_cast<uint32_t>(names.size()));
        names += ".shstrtab";
        names += '\0';
        places.emplace_back(Bytes_.size(), names.size());
        Bytes_ += names;
        while (Bytes_.size() % 8)
            Bytes_ += '\0';

        ShOff_ = Bytes_.size();
        const size_t count = sections.size() + 2; // the null section first, names last
        Bytes_.append(count * ShEntSize_, '\0');
        for (size_t i = 1; i < count; ++i) {
            const size_t index = i - 1;
            SetSection(i, kName, nameOffsets[index]);
            SetSection(i, kType, index < sections.size() ? sections[index].Type : 3);
            SetSection(i, kOffset, places[index].first);
            SetSection(i, kSize, places[index].second);
        }
        SetHeader(kShOff, ShOff_);
        SetHeader(kShEntSize, ShEntSize_);
        SetHeader(kShNum, count);
        SetHeader(kShStrNdx, count - 1);
    }

    enum THeaderField { kShOff, kShEntSize, kShNum, kShStrNdx };
    enum TSectionField { kName, kType, kOffset, kSize, kLink };

    void SetHeader(THeaderField field, uint64_t value) {
        static constexpr size_t offsets64[] = {40, 58, 60, 62};
        static constexpr size_t offsets32[] = {32, 46, 48, 50};
        static constexpr size_t widths64[] = {8, 2, 2, 2};
        static constexpr size_t widths32[] = {4, 2, 2, 2};
        Put(Is64_ ? offsets64[field] : offsets32[field], Is64_ ? widths64[field] : widths32[field],
            value);
    }
    void SetSection(size_t index, TSectionField field, uint64_t value) {
        static constexpr size_t offsets64[] = {0, 4, 24, 32, 40};
        static constexpr size_t offsets32[] = {0, 4, 16, 20, 24};
        static constexpr size_t widths64[] = {4, 4, 8, 8, 4};
        static constexpr size_t widths32[] = {4, 4, 4, 4, 4};
        Put(ShOff_ + index * ShEntSize_ + (Is64_ ? offsets64[field] : offsets32[field]),
            Is64_ ? widths64[field] : widths32[field], value);
    }
    std::string& Bytes() { return Bytes_; }

private:
    void Put(size_t offset, size_t width, uint64_t value) {
        for (size_t i = 0; i < width; ++i) {
            const size_t position = Big_ ? offset + width - 1 - i : offset + i;
            Bytes_[position] = static_cast<char>((value >> (8 * i)) & 0xff);
        }
    }
    bool Is64_;
    bool Big_;
    size_t ShOff_ = 0;
    size_t ShEntSize_ = 0;
    std::string Bytes_;
};

constexpr char kVersionTextsRaw[] =
    "FileVersion=1.2.3.4\0InternalName=tool\0noequals\0=empty key\0InternalName=second\0\0";
const std::string kVersionTexts(kVersionTextsRaw, sizeof kVersionTextsRaw);

TElfImage VersionImage(bool is64, bool bigEndian) {
    return TElfImage(is64, bigEndian,
                     {{".text", 1, std::string(37, '\x90')},
                      {".taveric_version", 1, kVersionTexts},
                      {".taveric_version_not", 1, "FileVersion=9.9.9.9"}});
}

struct TElfKindCase {
    const char* Name;
    bool Is64;
    bool BigEndian;
};

class PlatformElfKinds : public ::testing::TestWithParam<TElfKindCase> {};

TEST_P(PlatformElfKinds, ReadsTheSectionOfEveryClassAndByteOrder) {
    TElfImage image = VersionImage(GetParam().Is64, GetParam().BigEndian);
    std::map<std::string, std::string> values;
    ASSERT_TRUE(ReadElfVersionSection(std::string_view(image.Bytes()), values));
    // Entries without '=' or without a key are skipped; the first of equal keys wins.
    EXPECT_EQ(values, (std::map<std::string, std::string>{{"FileVersion", "1.2.3.4"},
                                                          {"InternalName", "tool"}}));
}

INSTANTIATE_TEST_SUITE_P(Layouts, PlatformElfKinds,
                         ::testing::Values(TElfKindCase{"Elf64Little", true, false},
                                           TElfKindCase{"Elf64Big", true, true},
                                           TElfKindCase{"Elf32Little", false, false},
                                           TElfKindCase{"Elf32Big", false, true}),
                         [](const auto& info) { return std::string(info.param.Name); });

struct TElfDamageCase {
    const char* Name;
    std::function<void(TElfImage&)> Damage;
    bool Found;
};

class PlatformElfDamage : public ::testing::TestWithParam<TElfDamageCase> {};

TEST_P(PlatformElfDamage, HostileHeadersAreRefused) {
    for (const bool is64 : {true, false}) {
        TElfImage image = VersionImage(is64, false);
        GetParam().Damage(image);
        std::map<std::string, std::string> values;
        EXPECT_EQ(ReadElfVersionSection(std::string_view(image.Bytes()), values), GetParam().Found)
            << (is64 ? "ELF64" : "ELF32");
    }
}

// Section 2 is the version section, section 4 the name table.
INSTANTIATE_TEST_SUITE_P(
    Damage, PlatformElfDamage,
    ::testing::Values(
        TElfDamageCase{"Intact", [](TElfImage&) {}, true},
        TElfDamageCase{"BadMagic", [](TElfImage& i) { i.Bytes()[1] = 'X'; }, false},
        TElfDamageCase{"UnknownClass", [](TElfImage& i) { i.Bytes()[4] = 3; }, false},
        TElfDamageCase{"UnknownByteOrder", [](TElfImage& i) { i.Bytes()[5] = 0; }, false},
        TElfDamageCase{"NoSectionTable", [](TElfImage& i) { i.SetHeader(TElfImage::kShOff, 0); },
                       false},
        TElfDamageCase{"SectionTableBeyondTheEnd",
                       [](TElfImage& i) { i.SetHeader(TElfImage::kShOff, 0xfffffff0); }, false},
        TElfDamageCase{"EntrySizeTooSmall",
                       [](TElfImage& i) { i.SetHeader(TElfImage::kShEntSize, 16); }, false},
        TElfDamageCase{"MoreSectionsThanTheFileHolds",
                       [](TElfImage& i) { i.SetHeader(TElfImage::kShNum, 0xfff0); }, false},
        TElfDamageCase{"NameTableIndexOutOfRange",
                       [](TElfImage& i) { i.SetHeader(TElfImage::kShStrNdx, 5); }, false},
        TElfDamageCase{"SectionBeyondTheEnd",
                       [](TElfImage& i) { i.SetSection(2, TElfImage::kOffset, 0x7ffffff0); },
                       false},
        TElfDamageCase{"SectionSizeWrapsAround",
                       [](TElfImage& i) {
                           i.SetSection(2, TElfImage::kOffset, ~uint64_t{0});
                           i.SetSection(2, TElfImage::kSize, 0x20);
                       },
                       false},
        TElfDamageCase{"SectionTakesNoRoom",
                       [](TElfImage& i) { i.SetSection(2, TElfImage::kType, 8); }, false},
        TElfDamageCase{"NameOutsideTheNameTable",
                       [](TElfImage& i) { i.SetSection(2, TElfImage::kName, 0x7fffffff); }, false},
        TElfDamageCase{"NameTableCutInsideTheName",
                       [](TElfImage& i) { i.SetSection(4, TElfImage::kSize, 18); }, false},
        TElfDamageCase{"ManySectionsCountedInSectionZero",
                       [](TElfImage& i) {
                           i.SetHeader(TElfImage::kShNum, 0);
                           i.SetSection(0, TElfImage::kSize, 5);
                           i.SetHeader(TElfImage::kShStrNdx, 0xffff);
                           i.SetSection(0, TElfImage::kLink, 4);
                       },
                       true},
        TElfDamageCase{"HugeCountInSectionZero",
                       [](TElfImage& i) {
                           i.SetHeader(TElfImage::kShNum, 0);
                           i.SetSection(0, TElfImage::kSize, 0xffffffff);
                       },
                       false}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(PlatformElfVersion, AnOversizedSectionIsNotRead) {
    TElfImage image(true, false, {{".taveric_version", 1, std::string(2 * 1024 * 1024, 'x')}});
    std::map<std::string, std::string> values;
    EXPECT_FALSE(ReadElfVersionSection(std::string_view(image.Bytes()), values));
}

} // namespace
