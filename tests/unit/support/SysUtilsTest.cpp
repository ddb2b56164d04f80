#include "support/SysUtils.h"

#include "ForwardingPlatform.h"
#include "support/platform/Platform.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

using namespace std::string_literals;
namespace fs = std::filesystem;
using ostero::platform::Platform;
using ostero::platform::TPlatform;

namespace ostero::support {
namespace {

// --- Helpers.

// A fresh folder below the system's temp folder, removed with everything in it.
class TTempFolder {
public:
    TTempFolder() {
        std::string pattern = (fs::temp_directory_path() / "ostero-sysutils-XXXXXX").string();
        if (::mkdtemp(pattern.data()))
            Path_ = pattern;
    }
    ~TTempFolder() {
        std::error_code ignored;
        fs::permissions(Path_, fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(Path_, ignored);
    }
    TTempFolder(const TTempFolder&) = delete;
    TTempFolder& operator=(const TTempFolder&) = delete;

    // The folder's path with a trailing separator.
    std::string Dir() const { return Path_.string() + "/"; }
    std::string Path(const std::string& name) const { return Dir() + name; }
    std::string MakeFile(const std::string& name, const std::string& content = "x") const {
        std::ofstream(Path(name), std::ios::binary) << content;
        return Path(name);
    }
    std::string MakeFolder(const std::string& name) const {
        fs::create_directories(Path(name));
        return Path(name) + "/";
    }

private:
    fs::path Path_;
};

// Sets an environment variable for the lifetime of the object; nullptr unsets it.
class TScopedEnv {
public:
    TScopedEnv(const char* name, const char* value) : Name_(name) {
        if (const char* old = std::getenv(name))
            Old_ = old;
        if (value)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }
    ~TScopedEnv() {
        if (Old_)
            ::setenv(Name_.c_str(), Old_->c_str(), 1);
        else
            ::unsetenv(Name_.c_str());
    }
    TScopedEnv(const TScopedEnv&) = delete;
    TScopedEnv& operator=(const TScopedEnv&) = delete;

private:
    std::string Name_;
    std::optional<std::string> Old_;
};

// Counts the calls of the message handler and runs an optional action at a given call.
class TMessageCounter {
public:
    TMessageCounter() {
        SetProcessMessagesHandler([this] {
            ++Calls;
            if (Action && Calls == ActionAtCall)
                Action();
        });
    }
    ~TMessageCounter() { SetProcessMessagesHandler(nullptr); }
    TMessageCounter(const TMessageCounter&) = delete;
    TMessageCounter& operator=(const TMessageCounter&) = delete;

    int Calls = 0;
    int ActionAtCall = 0;
    std::function<void()> Action;
};

bool IsRoot() {
    return ::geteuid() == 0;
}

// --- Bit sets.

struct TBitCase {
    const char* Name;
    unsigned Bit;
    uint32_t Mask; // 0 for a number that addresses nothing
};

class SysUtilsBits : public ::testing::TestWithParam<TBitCase> {};

TEST_P(SysUtilsBits, TestAndSetAgreeOnTheMask) {
    const TBitCase& c = GetParam();
    if (c.Mask == 0) {
        EXPECT_FALSE(BitIsSet(0xFFFFFFFFu, c.Bit));
        uint32_t set = 0x12345678u;
        EXPECT_FALSE(SetBit(set, c.Bit));
        EXPECT_EQ(set, 0x12345678u);
        return;
    }
    EXPECT_TRUE(BitIsSet(c.Mask, c.Bit));
    EXPECT_FALSE(BitIsSet(~c.Mask, c.Bit));
    uint32_t set = 0;
    EXPECT_TRUE(SetBit(set, c.Bit));
    EXPECT_EQ(set, c.Mask);
    set = 0x00FF00FFu;
    EXPECT_TRUE(SetBit(set, c.Bit));
    EXPECT_EQ(set, 0x00FF00FFu | c.Mask); // the other bits stay
}

INSTANTIATE_TEST_SUITE_P(SysUtils, SysUtilsBits,
                         ::testing::Values(TBitCase{"Zero", 0, 0}, TBitCase{"One", 1, 1},
                                           TBitCase{"Nine", 9, 0x100},
                                           TBitCase{"ThirtyTwo", 32, 0x80000000u},
                                           TBitCase{"ThirtyThree", 33, 0},
                                           TBitCase{"ByteMax", 255, 0}),
                         [](const auto& info) { return info.param.Name; });

// --- Separated fields.

struct TFieldCase {
    const char* Name;
    std::string Record;
    unsigned Index;
    std::string Expected;
};

class SysUtilsSeparatedField : public ::testing::TestWithParam<TFieldCase> {};

TEST_P(SysUtilsSeparatedField, TakesTheField) {
    const TFieldCase& c = GetParam();
    EXPECT_EQ(GetSeparatedField(c.Record, c.Index), c.Expected);
}

INSTANTIATE_TEST_SUITE_P(
    SysUtils, SysUtilsSeparatedField,
    ::testing::Values(
        TFieldCase{"FirstField", "a;b;c", 1, "a"}, TFieldCase{"LastField", "a;b;c", 3, "c"},
        TFieldCase{"SettingValue",
                   "0;Fran\xE7"
                   "ais",
                   2,
                   "Fran\xE7"
                   "ais"},
        TFieldCase{"QuotedFieldKeepsSeparator", "a;\"b;c\";d", 2, "b;c"},
        TFieldCase{"FieldAfterQuotedField", "a;\"b;c\";d", 3, "d"},
        TFieldCase{"FieldBeyondTheEnd", "a;\"b;c\";d", 4, ""},
        TFieldCase{"FieldZero", "a;b", 0, ""}, TFieldCase{"EmptyRecord", "", 1, ""},
        TFieldCase{"EmptyFieldBetween", "a;;c", 2, ""},
        TFieldCase{"FieldAfterEmptyOne", "a;;c", 3, "c"},
        TFieldCase{"TrailingSeparator", "a;", 2, ""},
        TFieldCase{"LineFeedEndsField", "a\nb", 2, "b"},
        TFieldCase{"CarriageReturnEndsField", "a\rb", 2, "b"},
        TFieldCase{"SemicolonLineFeedReturnIsOneEnd", "a;\n\rb", 2, "b"},
        // Only a line feed before a carriage return is skipped, so CR LF leaves an empty field.
        TFieldCase{"CrLfLeavesEmptyField", "a\r\nb", 2, ""},
        TFieldCase{"FieldAfterCrLf", "a\r\nb", 3, "b"},
        TFieldCase{"DoubledQuotesCollapse", "\"x\"\"y\";z", 1, "x\"y"},
        TFieldCase{"RunOfQuotesBecomesOne", "a\"\"\"\"b", 1, "a\"b"},
        TFieldCase{"QuoteInsideUnquotedField", "ab\"c;d", 1, "ab\"c"},
        TFieldCase{"QuoteNotBeforeSeparatorDoesNotClose", "\"a\"b\";c", 1, "a\"b"},
        TFieldCase{"FieldAfterInnerQuote", "\"a\"b\";c", 2, "c"},
        TFieldCase{"UnclosedQuoteRunsToEnd", "\"ab;cd", 1, "\"ab;cd"},
        TFieldCase{"EmptyQuotedField", "\"\";b", 1, ""},
        TFieldCase{"QuotedFieldAtTheEnd", "a;\"b;c\"", 2, "b;c"},
        TFieldCase{"QuotedFieldBeforeLineFeed", "\"a;b\"\nc", 2, "c"},
        TFieldCase{"HighIndexOnShortRecord", "a", 255, ""}),
    [](const auto& info) { return info.param.Name; });

// --- Scrambling.

struct TScrambleCase {
    const char* Name;
    std::string Plain;
    std::string Scrambled;
};

class SysUtilsScramble : public ::testing::TestWithParam<TScrambleCase> {};

TEST_P(SysUtilsScramble, BothDirections) {
    const TScrambleCase& c = GetParam();
    EXPECT_EQ(ScrambleText(c.Plain), c.Scrambled);
    EXPECT_EQ(UnscrambleText(c.Scrambled), c.Plain);
}

INSTANTIATE_TEST_SUITE_P(SysUtils, SysUtilsScramble,
                         ::testing::Values(
                             // n = 3: positions 1, 2, 3 add 2, 3, 1.
                             TScrambleCase{"ThreeLetters", "abc", "ced"},
                             // n = 1: position 1 adds 3; 126 + 3 - 95 = 34.
                             TScrambleCase{"TildeWrapsToQuote", "~", "\""},
                             TScrambleCase{"BraceWrapsToExclamation", "}", "!"},
                             TScrambleCase{"SpaceShifts", " ", "#"},
                             TScrambleCase{"TabPassesUnchanged", "a\tc", "c\td"},
                             TScrambleCase{"HighBytePassesUnchanged", "\xE9", "\xE9"},
                             TScrambleCase{"DeletePassesUnchanged", "\x7F", "\x7F"},
                             TScrambleCase{"LengthChangesTheShift", "abcd", "dceg"},
                             TScrambleCase{"Empty", "", ""}),
                         [](const auto& info) { return info.param.Name; });

TEST(SysUtilsScrambleRoundTrip, EveryPrintableCharacterAtEveryShift) {
    // Strings of one repeated character at lengths 1..6 put each character under all three
    // shifts; the result must stay printable and come back.
    for (size_t length = 1; length <= 6; ++length) {
        for (int c = 32; c <= 126; ++c) {
            const std::string plain(length, static_cast<char>(c));
            const std::string scrambled = ScrambleText(plain);
            ASSERT_EQ(scrambled.size(), plain.size());
            for (char s : scrambled) {
                ASSERT_GE(static_cast<unsigned char>(s), 32)
                    << "char " << c << " length " << length;
                ASSERT_LE(static_cast<unsigned char>(s), 126)
                    << "char " << c << " length " << length;
            }
            ASSERT_EQ(UnscrambleText(scrambled), plain) << "char " << c << " length " << length;
        }
    }
}

TEST(SysUtilsScrambleRoundTrip, AllBytesMixed) {
    std::string plain;
    for (int c = 0; c < 256; ++c)
        plain += static_cast<char>(c);
    EXPECT_EQ(UnscrambleText(ScrambleText(plain)), plain);
    EXPECT_NE(ScrambleText(plain), plain);
}

// --- Trailing separator.

struct TTrailingCase {
    const char* Name;
    std::string Path;
    std::string Expected;
};

class SysUtilsTrailingSeparator : public ::testing::TestWithParam<TTrailingCase> {};

TEST_P(SysUtilsTrailingSeparator, AppendsOnlyWhenMissing) {
    std::string path = GetParam().Path;
    AddTrailingBackslash(path);
    EXPECT_EQ(path, GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(SysUtils, SysUtilsTrailingSeparator,
                         ::testing::Values(TTrailingCase{"Empty", "", ""},
                                           TTrailingCase{"Root", "/", "/"},
                                           TTrailingCase{"Folder", "/tmp", "/tmp/"},
                                           TTrailingCase{"HasOne", "/tmp/", "/tmp/"},
                                           TTrailingCase{"Relative", "a", "a/"}),
                         [](const auto& info) { return info.param.Name; });

// --- Program and shared folders.

TEST(SysUtilsFolders, ProgramAndSharedFolderOfTheRunningProgram) {
    const fs::path program = fs::read_symlink("/proc/self/exe");
    const std::string folder = ProgramFolder();
    EXPECT_EQ(folder, program.parent_path().string() + "/");
    EXPECT_EQ(SharedFolder(), program.parent_path().parent_path().string() + "/Shared/");
}

// --- File location.

class SysUtilsLocateFile : public ::testing::Test {
protected:
    void SetUp() override {
        OldCwd_ = fs::current_path();
        fs::current_path(Cwd.Dir());
    }
    void TearDown() override { fs::current_path(OldCwd_); }

    TTempFolder Cwd;
    TTempFolder PathA;
    TTempFolder PathB;

private:
    fs::path OldCwd_;
};

TEST_F(SysUtilsLocateFile, CurrentFolderGivesFullPath) {
    Cwd.MakeFile("tool.cfg");
    PathA.MakeFile("tool.cfg");
    TScopedEnv path("PATH", PathA.Dir().c_str());
    // The current folder's path may differ in spelling from the temp path (links), so compare
    // with what the system reports as current.
    EXPECT_EQ(LocateFile("tool.cfg"), fs::current_path().string() + "/tool.cfg");
}

TEST_F(SysUtilsLocateFile, SearchesPathInOrder) {
    PathA.MakeFile("tool");
    PathB.MakeFile("tool");
    // Empty entries, missing folders and a trailing separator are all taken in their stride.
    const std::string value = "::/nonexistent-ostero:" + PathB.Dir() + ":" + PathA.Dir();
    TScopedEnv path("PATH", value.c_str());
    EXPECT_EQ(LocateFile("tool"), PathB.Path("tool"));
}

TEST_F(SysUtilsLocateFile, PathEntryWithoutTrailingSeparator) {
    PathA.MakeFile("tool");
    std::string entry = PathA.Dir();
    entry.pop_back();
    TScopedEnv path("PATH", entry.c_str());
    EXPECT_EQ(LocateFile("tool"), PathA.Path("tool"));
}

TEST_F(SysUtilsLocateFile, FolderOfThatNameIsNoFile) {
    Cwd.MakeFolder("tool");
    PathA.MakeFile("tool");
    TScopedEnv path("PATH", PathA.Dir().c_str());
    EXPECT_EQ(LocateFile("tool"), PathA.Path("tool"));
}

TEST_F(SysUtilsLocateFile, ProgramFolderComesBeforePath) {
    const std::string name = fs::path(Platform().ProgramPath()).filename().string();
    PathA.MakeFile(name);
    TScopedEnv path("PATH", PathA.Dir().c_str());
    EXPECT_EQ(LocateFile(name), ProgramFolder() + name);
}

TEST_F(SysUtilsLocateFile, NameWithSeparatorIsTakenAsItIs) {
    Cwd.MakeFolder("sub");
    Cwd.MakeFile("sub/tool");
    PathA.MakeFolder("sub");
    PathA.MakeFile("sub/other");
    TScopedEnv path("PATH", PathA.Dir().c_str());
    EXPECT_EQ(LocateFile("sub/tool"), "sub/tool");
    EXPECT_EQ(LocateFile(Cwd.Path("sub/tool")), Cwd.Path("sub/tool"));
    EXPECT_EQ(LocateFile("sub/other"), ""); // never searched on PATH
    EXPECT_EQ(LocateFile("sub"), "");       // a folder
}

TEST_F(SysUtilsLocateFile, MissingOrEmptyNameGivesNothing) {
    TScopedEnv path("PATH", PathA.Dir().c_str());
    EXPECT_EQ(LocateFile("no-such-file-ostero"), "");
    EXPECT_EQ(LocateFile(""), "");
    TScopedEnv noPath("PATH", nullptr);
    EXPECT_EQ(LocateFile("no-such-file-ostero"), "");
}

// --- Directory tests.

struct TDirectoryCase {
    const char* Name;
    bool NeedsNonRoot; // root writes into read-only folders
    bool Present;
    bool Writable;
};

class SysUtilsDirectory : public ::testing::TestWithParam<TDirectoryCase> {
protected:
    // Builds the situation the row is named after and answers the path to test.
    std::string Prepare(const std::string& name) {
        if (name == "WritableFolder")
            return Temp.MakeFolder("dir");
        if (name == "WritableFolderWithoutSeparator") {
            std::string path = Temp.MakeFolder("dir");
            path.pop_back();
            return path;
        }
        if (name == "ReadOnlyFolder") {
            const std::string path = Temp.MakeFolder("ro");
            fs::permissions(path, fs::perms::owner_read | fs::perms::owner_exec);
            return path;
        }
        if (name == "PlainFile")
            return Temp.MakeFile("file");
        if (name == "Missing")
            return Temp.Path("missing");
        return "";
    }

    TTempFolder Temp;
};

TEST_P(SysUtilsDirectory, PresentAndWritable) {
    const TDirectoryCase& c = GetParam();
    if (c.NeedsNonRoot && IsRoot())
        GTEST_SKIP() << "root may write into any folder";
    const std::string path = Prepare(c.Name);
    EXPECT_EQ(DirectoryPresent(path), c.Present);
    EXPECT_EQ(IsDirectoryWritable(path), c.Writable);
    if (c.Present) {
        std::string probe = path;
        AddTrailingBackslash(probe);
        EXPECT_FALSE(fs::exists(probe + "TestFile.tmp")) << "the probe file was left behind";
    }
}

INSTANTIATE_TEST_SUITE_P(SysUtils, SysUtilsDirectory,
                         ::testing::Values(TDirectoryCase{"WritableFolder", false, true, true},
                                           TDirectoryCase{"WritableFolderWithoutSeparator", false,
                                                          true, true},
                                           TDirectoryCase{"ReadOnlyFolder", true, true, false},
                                           TDirectoryCase{"PlainFile", false, false, false},
                                           TDirectoryCase{"Missing", false, false, false},
                                           TDirectoryCase{"EmptyPath", false, false, false}),
                         [](const auto& info) { return info.param.Name; });

TEST(SysUtilsDirectoryProbe, LinkNamedLikeTheProbeIsNotFollowed) {
    TTempFolder temp;
    const std::string target = temp.MakeFile("precious", "keep me");
    const std::string dir = temp.MakeFolder("dir");
    fs::create_symlink(target, dir + "TestFile.tmp");
    EXPECT_FALSE(IsDirectoryWritable(dir));
    std::ifstream in(target);
    std::string content;
    std::getline(in, content);
    EXPECT_EQ(content, "keep me");
}

TEST(SysUtilsDirectoryPresent, LooksAgainAfterPendingMessages) {
    TTempFolder temp;
    const std::string path = temp.Path("late");
    TMessageCounter messages;
    messages.ActionAtCall = 1;
    messages.Action = [&] { fs::create_directory(path); };
    EXPECT_TRUE(DirectoryPresent(path));
    EXPECT_EQ(messages.Calls, 1);

    // A folder that is there needs no messages.
    messages.Calls = 0;
    EXPECT_TRUE(DirectoryPresent(path));
    EXPECT_EQ(messages.Calls, 0);
}

// --- Waiting for a network folder.

// The real platform with a switch for IsNetworkPath: no network file system can be relied on
// in a test, so the network branch is provoked this way.
class TNetworkPlatform : public ostero::testing::TForwardingPlatform {
public:
    using TForwardingPlatform::TForwardingPlatform;
    bool IsNetworkPath(const std::string& path) override {
        Asked.push_back(path);
        return true;
    }
    std::vector<std::string> Asked;
};

class SysUtilsWaitForNetwork : public ::testing::Test {
protected:
    using TClock = std::chrono::steady_clock;

    static double MsSince(TClock::time_point start) {
        return std::chrono::duration<double, std::milli>(TClock::now() - start).count();
    }

    TTempFolder Temp;
    TMessageCounter Messages;
};

TEST_F(SysUtilsWaitForNetwork, EmptyOrPresentPathIsReachableAtOnce) {
    bool onNetwork = true;
    EXPECT_TRUE(WaitForNetworkDirectory("", &onNetwork));
    EXPECT_FALSE(onNetwork);
    onNetwork = true;
    EXPECT_TRUE(WaitForNetworkDirectory(Temp.Dir(), &onNetwork));
    EXPECT_FALSE(onNetwork);
    EXPECT_TRUE(WaitForNetworkDirectory(Temp.Dir()));
}

TEST_F(SysUtilsWaitForNetwork, MissingLocalPathFailsWithoutWaiting) {
    bool onNetwork = true;
    const auto start = TClock::now();
    EXPECT_FALSE(WaitForNetworkDirectory(Temp.Path("missing"), &onNetwork));
    // A behaviour check, not a benchmark: the network branch would take 1.6 s.
    EXPECT_LT(MsSince(start), 300.0);
    EXPECT_FALSE(onNetwork);
}

class SysUtilsWaitForNetworkShare : public SysUtilsWaitForNetwork {
protected:
    void SetUp() override { Previous_ = platform::SetPlatform(&Network); }
    void TearDown() override { platform::SetPlatform(Previous_); }

    TNetworkPlatform Network{Platform()};

private:
    TPlatform* Previous_ = nullptr;
};

TEST_F(SysUtilsWaitForNetworkShare, ComingBackDuringTheFirstWait) {
    const std::string path = Temp.Path("share");
    // Call 1 is the look in DirectoryPresent, 2 and 3 frame the first wait.
    Messages.ActionAtCall = 3;
    Messages.Action = [&] { fs::create_directory(path); };
    bool onNetwork = false;
    const auto start = TClock::now();
    EXPECT_TRUE(WaitForNetworkDirectory(path, &onNetwork));
    EXPECT_TRUE(onNetwork);
    EXPECT_EQ(Network.Asked, std::vector<std::string>{path});
    EXPECT_EQ(Messages.Calls, 4);
    EXPECT_GE(MsSince(start), 750.0);
    EXPECT_LT(MsSince(start), 1500.0); // answered before the second round
}

TEST_F(SysUtilsWaitForNetworkShare, NeverComingBackFailsAfterBothRounds) {
    bool onNetwork = false;
    const auto start = TClock::now();
    EXPECT_FALSE(WaitForNetworkDirectory(Temp.Path("gone"), &onNetwork));
    EXPECT_TRUE(onNetwork);
    // One look, three around the first two waits, one look, two after the last two waits,
    // one last look.
    EXPECT_EQ(Messages.Calls, 8);
    EXPECT_GE(MsSince(start), 1550.0);
}

// --- File versions.

// A minimal ELF64 file with the version section holding `entries` (NUL-separated key=value).
std::string ElfWithVersionSection(const std::string& entries) {
    const std::string names = "\0.shstrtab\0.taveric_version\0"s;
    const uint64_t namesOffset = 64;
    const uint64_t entriesOffset = namesOffset + names.size();
    const uint64_t tableOffset = (entriesOffset + entries.size() + 7) & ~uint64_t{7};
    std::string file(tableOffset + 3 * 64, '\0');
    auto put = [&file](size_t at, uint64_t value, size_t width) {
        for (size_t i = 0; i < width; ++i)
            file[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    };
    file.replace(0, 4,
                 "\x7F"
                 "ELF");
    file[4] = 2;   // 64-bit
    file[5] = 1;   // little endian
    file[6] = 1;   // version
    put(16, 1, 2); // relocatable
    put(40, tableOffset, 8);
    put(52, 64, 2); // header size
    put(58, 64, 2); // section header size
    put(60, 3, 2);  // sections
    put(62, 1, 2);  // name table index
    file.replace(namesOffset, names.size(), names);
    file.replace(entriesOffset, entries.size(), entries);
    // Section 1: the name table; section 2: the version texts.
    put(tableOffset + 64 + 0, 1, 4);
    put(tableOffset + 64 + 4, 3, 4); // string table
    put(tableOffset + 64 + 24, namesOffset, 8);
    put(tableOffset + 64 + 32, names.size(), 8);
    put(tableOffset + 128 + 0, 11, 4);
    put(tableOffset + 128 + 4, 1, 4); // program data
    put(tableOffset + 128 + 24, entriesOffset, 8);
    put(tableOffset + 128 + 32, entries.size(), 8);
    return file;
}

TEST(SysUtilsFileVersion, RunningTestProgramCarriesItsTexts) {
    TFileVersionDetails details;
    ASSERT_TRUE(GetFileVersionDetails("/proc/self/exe", details));
    EXPECT_TRUE(std::regex_match(details.Version, std::regex(R"(\d+\.\d+\.\d+\.\d+)")))
        << details.Version;
    EXPECT_EQ(GetFileVersionText("/proc/self/exe"), details.Version);
    EXPECT_EQ(details.InternalName, "support_tests");
    EXPECT_EQ(details.CompanyName, "Taveric");
    EXPECT_EQ(details.ProductName, "Taveric Ostero");
    EXPECT_FALSE(details.LegalCopyright.empty());
    EXPECT_FALSE(details.FileDescription.empty());
}

TEST(SysUtilsFileVersion, FileWithoutSectionGivesNothing) {
    TTempFolder temp;
    TFileVersionDetails details;
    details.CompanyName = "stale";
    for (const std::string& file :
         {temp.MakeFile("plain.txt", "not a binary"),
          temp.MakeFile("other.so", ElfWithVersionSection("")), temp.Path("missing"), temp.Dir()}) {
        SCOPED_TRACE(file);
        EXPECT_EQ(GetFileVersionText(file), "");
    }
    EXPECT_FALSE(GetFileVersionDetails(temp.Path("missing"), details));
    EXPECT_EQ(details.CompanyName, "") << "details are cleared";
}

TEST(SysUtilsFileVersion, TextsAreWindows1252AndMissingOnesEmpty) {
    TTempFolder temp;
    const std::string file = temp.MakeFile(
        "mod.so", ElfWithVersionSection("FileVersion=2.5\0CompanyName=Fran\xC3\xA7ois\0"s
                                        "ProductName=Caf\xC3\xA9 \xE2\x82\xAC\0"s));
    TFileVersionDetails details;
    ASSERT_TRUE(GetFileVersionDetails(file, details));
    EXPECT_EQ(details.Version, "2.5.0.0");
    EXPECT_EQ(details.CompanyName, "Fran\xE7ois");
    EXPECT_EQ(details.ProductName, "Caf\xE9 \x80");
    EXPECT_EQ(details.InternalName, "");
    EXPECT_EQ(details.FileDescription, "");

    // A section without a file version still counts as version information.
    const std::string bare = temp.MakeFile("bare.so", ElfWithVersionSection("InternalName=x\0"s));
    ASSERT_TRUE(GetFileVersionDetails(bare, details));
    EXPECT_EQ(details.Version, "");
    EXPECT_EQ(details.InternalName, "x");
}

struct TVersionCase {
    const char* Name;
    std::string Written;
    std::string Expected;
};

class SysUtilsVersionText : public ::testing::TestWithParam<TVersionCase> {};

TEST_P(SysUtilsVersionText, NormalisedToFourNumbers) {
    TTempFolder temp;
    const std::string file =
        temp.MakeFile("v.so", ElfWithVersionSection("FileVersion=" + GetParam().Written + "\0"s));
    EXPECT_EQ(GetFileVersionText(file), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(
    SysUtils, SysUtilsVersionText,
    ::testing::Values(TVersionCase{"FourNumbers", "1.2.3.4", "1.2.3.4"},
                      TVersionCase{"OneNumber", "7", "7.0.0.0"},
                      TVersionCase{"ThreeNumbers", "1.0.12", "1.0.12.0"},
                      TVersionCase{"LeadingZeros", "01.002.0.0", "1.2.0.0"},
                      TVersionCase{"FifthNumberDropped", "1.2.3.4.5", "1.2.3.4"},
                      TVersionCase{"LargestPart", "65535.0.0.1", "65535.0.0.1"},
                      TVersionCase{"PartTooLarge", "65536.0", ""},
                      TVersionCase{"LongLeadingZeros", "0000001.1", "1.1.0.0"},
                      TVersionCase{"BlanksAround", " 1 . 2 ", "1.2.0.0"},
                      TVersionCase{"NotANumber", "beta", ""}, TVersionCase{"Suffix", "1.2-rc1", ""},
                      TVersionCase{"EmptyPart", "1..2", ""},
                      TVersionCase{"TrailingDot", "1.2.", ""}, TVersionCase{"Empty", "", ""}),
    [](const auto& info) { return info.param.Name; });

// --- Operating-system text.

// Where CMake puts the test libraries: given by ctest, else beside the test program's folder.
std::string TestLibraryDir() {
    if (const char* dir = std::getenv("OSTERO_TESTLIB_DIR"); dir && *dir)
        return std::string(dir) + "/";
    return ProgramFolder() + "testlibs/lib/";
}

class SysUtilsOsVersion : public ::testing::Test {
protected:
    // A Shared folder of our own holding the test module, named in another case.
    std::string SharedWithModule() {
        const std::string built = TestLibraryDir() + "sysfacts/Shared/SysFacts.so";
        if (!fs::exists(built))
            return "";
        const std::string shared = Temp.MakeFolder("Shared");
        fs::copy_file(built, shared + "sysfacts.SO");
        return shared;
    }

    TTempFolder Temp;
};

TEST_F(SysUtilsOsVersion, WithoutModuleTheBuiltInText) {
    const std::string text = GetOsVersionText(Temp.MakeFolder("Shared"));
    EXPECT_FALSE(text.empty());
    EXPECT_EQ(text, BuildOsVersionText());
    EXPECT_EQ(GetOsVersionText(""), BuildOsVersionText());
}

TEST_F(SysUtilsOsVersion, ModuleInSharedFolderAnswers) {
    const std::string shared = SharedWithModule();
    if (shared.empty())
        GTEST_SKIP() << "test module not built (target ostero_testlibs)";
    TScopedEnv mode("OSTERO_TESTLIB_MODE", nullptr);
    EXPECT_EQ(GetOsVersionText(shared), "Test Linux 1.0 (x86_64)");
}

TEST_F(SysUtilsOsVersion, EmptyAnswerFallsBack) {
    const std::string shared = SharedWithModule();
    if (shared.empty())
        GTEST_SKIP() << "test module not built (target ostero_testlibs)";
    TScopedEnv mode("OSTERO_TESTLIB_MODE", "empty");
    EXPECT_EQ(GetOsVersionText(shared), BuildOsVersionText());
}

TEST_F(SysUtilsOsVersion, MissingTerminatorIsCutAt259) {
    const std::string shared = SharedWithModule();
    if (shared.empty())
        GTEST_SKIP() << "test module not built (target ostero_testlibs)";
    TScopedEnv mode("OSTERO_TESTLIB_MODE", "overflow");
    EXPECT_EQ(GetOsVersionText(shared), std::string(259, 'x'));
}

} // namespace
} // namespace ostero::support
