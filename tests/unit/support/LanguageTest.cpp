#include "support/Language.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include <unistd.h>

namespace fs = std::filesystem;

namespace ostero::support {
namespace {

// The locale variables the detection reads; every test pins all of them and restores them.
constexpr const char* kLocaleVariables[] = {"LC_ALL", "LC_MESSAGES", "LANG", "LANGUAGE"};

class TPinnedLocale {
public:
    TPinnedLocale() {
        for (const char* name : kLocaleVariables) {
            const char* value = std::getenv(name);
            Saved_.push_back(value ? std::optional<std::string>(value) : std::nullopt);
            ::unsetenv(name);
        }
    }
    ~TPinnedLocale() {
        for (size_t i = 0; i < Saved_.size(); ++i) {
            if (Saved_[i])
                ::setenv(kLocaleVariables[i], Saved_[i]->c_str(), 1);
            else
                ::unsetenv(kLocaleVariables[i]);
        }
    }
    TPinnedLocale(const TPinnedLocale&) = delete;
    TPinnedLocale& operator=(const TPinnedLocale&) = delete;

    // nullptr leaves the variable unset.
    static void Set(const char* name, const char* value) {
        if (value)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }

private:
    std::vector<std::optional<std::string>> Saved_;
};

// --- The table and its look-ups.

TEST(LanguageTable, CodesAndWindows1252Names) {
    const std::vector<std::pair<std::string, std::string>> expected = {{"DE", "Deutsch"},
                                                                       {"EN", "English"},
                                                                       {"ES", "Espa\xF1ol"},
                                                                       {"FR", "Fran\xE7"
                                                                              "ais"},
                                                                       {"IT", "Italiano"},
                                                                       {"NL", "Nederlands"},
                                                                       {"PT", "Portuguese"},
                                                                       {"PL", "Polski"},
                                                                       {"", ""}};
    ASSERT_EQ(LanguageTable.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(LanguageTable[i].Code, expected[i].first) << i;
        EXPECT_EQ(LanguageTable[i].DisplayName, expected[i].second) << i;
        EXPECT_LE(std::string(LanguageTable[i].DisplayName).size(), 15u) << i;
    }
}

struct TLookupCase {
    const char* Name;
    std::string Text;
    int Index;
};

class LanguageIndexOfCodeTest : public ::testing::TestWithParam<TLookupCase> {};

TEST_P(LanguageIndexOfCodeTest, Finds) {
    EXPECT_EQ(LanguageIndexOfCode(GetParam().Text), GetParam().Index);
}

INSTANTIATE_TEST_SUITE_P(
    Language, LanguageIndexOfCodeTest,
    ::testing::Values(TLookupCase{"First", "DE", 0}, TLookupCase{"Last", "PL", 7},
                      TLookupCase{"LowerCase", "fr", 3}, TLookupCase{"MixedCase", "pT", 6},
                      TLookupCase{"Unknown", "XX", -1}, TLookupCase{"Empty", "", -1},
                      TLookupCase{"OneLetter", "D", -1}, TLookupCase{"ThreeLetters", "DEU", -1}),
    [](const auto& info) { return info.param.Name; });

class LanguageIndexOfNameTest : public ::testing::TestWithParam<TLookupCase> {};

TEST_P(LanguageIndexOfNameTest, Finds) {
    EXPECT_EQ(LanguageIndexOfName(GetParam().Text), GetParam().Index);
}

INSTANTIATE_TEST_SUITE_P(
    Language, LanguageIndexOfNameTest,
    ::testing::Values(TLookupCase{"Exact", "Deutsch", 0}, TLookupCase{"UpperCase", "POLSKI", 7},
                      TLookupCase{"EnglishWordForPortuguese", "portuguese", 6},
                      TLookupCase{"AccentedExact", "Espa\xF1ol", 2},
                      TLookupCase{"AccentedUpperCase", "ESPA\xD1OL", 2},
                      TLookupCase{"CedillaUpperCase",
                                  "FRAN\xC7"
                                  "AIS",
                                  3},
                      TLookupCase{"Utf8IsNotWindows1252", "Espa\xC3\xB1ol", -1},
                      TLookupCase{"AccentDropped", "Francais", -1},
                      TLookupCase{"TrailingBlank", "Deutsch ", -1}, TLookupCase{"Code", "DE", -1},
                      TLookupCase{"Empty", "", -1}),
    [](const auto& info) { return info.param.Name; });

// --- The language of the locale.

struct TLocaleCase {
    const char* Name;
    const char* LcAll;
    const char* LcMessages;
    const char* Lang;
    const char* Language;
    std::string Code;
    uint8_t Default; // after InitLanguage
};

class LanguageDetect : public ::testing::TestWithParam<TLocaleCase> {
protected:
    void SetUp() override {
        const TLocaleCase& c = GetParam();
        TPinnedLocale::Set("LC_ALL", c.LcAll);
        TPinnedLocale::Set("LC_MESSAGES", c.LcMessages);
        TPinnedLocale::Set("LANG", c.Lang);
        TPinnedLocale::Set("LANGUAGE", c.Language);
    }
    void TearDown() override { ResetLanguageState(); }

    TPinnedLocale Locale_;
};

TEST_P(LanguageDetect, CodeAndDefaultLanguage) {
    EXPECT_EQ(DetectUiLanguage(), GetParam().Code);
    ResetLanguageState();
    InitLanguage();
    EXPECT_EQ(DefaultLanguage(), GetParam().Default);
    EXPECT_EQ(CurrentLanguage(), kNoLanguage);
    EXPECT_EQ(CurrentLanguageCode(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Language, LanguageDetect,
    ::testing::Values(
        TLocaleCase{"LangWithCodeset", nullptr, nullptr, "de_DE.UTF-8", nullptr, "DE", 0},
        TLocaleCase{"LangTerritoryOnly", nullptr, nullptr, "pt_BR", nullptr, "PT", 6},
        TLocaleCase{"French", nullptr, nullptr, "fr_FR", nullptr, "FR", 3},
        TLocaleCase{"English", nullptr, nullptr, "en_GB.UTF-8", nullptr, "EN", 1},
        TLocaleCase{"Modifier", nullptr, nullptr, "it@euro", nullptr, "IT", 4},
        TLocaleCase{"UpperCaseLanguage", nullptr, nullptr, "NL_nl", nullptr, "NL", 5},
        TLocaleCase{"LcAllWins", "es_ES", "fr_FR", "de_DE", nullptr, "ES", 2},
        TLocaleCase{"LcMessagesBeforeLang", nullptr, "pl_PL", "de_DE", nullptr, "PL", 7},
        TLocaleCase{"EmptyLcAllIsUnset", "", nullptr, "nl_NL", nullptr, "NL", 5},
        TLocaleCase{"LanguageListFirst", nullptr, nullptr, "de_DE.UTF-8", "fr:de", "FR", 3},
        TLocaleCase{"LanguageListEmptyEntrySkipped", nullptr, nullptr, "de_DE", ":it_IT:de", "IT",
                    4},
        TLocaleCase{"LanguageIgnoredForC", nullptr, nullptr, "C", "fr", "", 0},
        TLocaleCase{"LanguageIgnoredWithoutLocale", nullptr, nullptr, nullptr, "fr", "", 0},
        TLocaleCase{"OutsideTheTable", nullptr, nullptr, "xx_XX", nullptr, "XX", 0},
        TLocaleCase{"ThreeLetterLanguage", nullptr, nullptr, "fil_PH", nullptr, "FI", 0},
        TLocaleCase{"CLocale", nullptr, nullptr, "C", nullptr, "", 0},
        TLocaleCase{"CUtf8Locale", nullptr, nullptr, "C.UTF-8", nullptr, "", 0},
        TLocaleCase{"PosixLocale", "POSIX", nullptr, "de_DE", nullptr, "", 0},
        TLocaleCase{"NothingSet", nullptr, nullptr, nullptr, nullptr, "", 0},
        TLocaleCase{"NotLetters", nullptr, nullptr, "1x_YY", nullptr, "", 0}),
    [](const auto& info) { return info.param.Name; });

// --- Switching the module.

// The real seam where the UI plugs in: records what it was asked to do.
class TRecordingLoader : public TLanguageModuleLoader {
public:
    struct TInstall {
        std::string Path;
        bool BuiltIn;
        bool operator==(const TInstall&) const = default;
    };

    bool InstallModule(const std::string& path, bool builtIn) override {
        Installs.push_back({path, builtIn});
        return Accept;
    }
    void ReloadFormResources() override { ++Reloads; }

    bool Accept = true;
    std::vector<TInstall> Installs;
    int Reloads = 0;
};

void PrintTo(const TRecordingLoader::TInstall& install, std::ostream* os) {
    *os << "{" << install.Path << ", " << (install.BuiltIn ? "built-in" : "module") << "}";
}

// A program folder of our own: "ostero" and the modules the test puts beside it.
class LanguageSwitch : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "ostero-language-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        Folder_ = pattern;
        Program = Folder_ + "/ostero";
        std::ofstream(Program) << "program";
        ResetLanguageState();
    }
    void TearDown() override {
        ResetLanguageState();
        std::error_code ignored;
        fs::remove_all(Folder_, ignored);
    }

    std::string AddModule(const char* code) {
        const std::string path = Program + "." + code;
        std::ofstream(path) << "module";
        return path;
    }
    bool Switch(uint8_t index, bool startup) {
        return SwitchLanguage(index, startup, Loader, Program);
    }
    // DefaultLanguage as program start chooses it from this locale.
    static void StartWithLocale(const char* lang) {
        TPinnedLocale locale;
        ::setenv("LANG", lang, 1);
        InitLanguage();
    }

    std::string Program;
    TRecordingLoader Loader;

private:
    std::string Folder_;
};

TEST_F(LanguageSwitch, NoLanguageChangesNothing) {
    AddModule("DE");
    EXPECT_FALSE(Switch(kNoLanguage, true));
    EXPECT_FALSE(Switch(kNoLanguage, false));
    EXPECT_FALSE(Switch(200, true));
    EXPECT_TRUE(Loader.Installs.empty());
    EXPECT_EQ(CurrentLanguage(), kNoLanguage);
}

TEST_F(LanguageSwitch, ModuleBesideTheProgramIsInstalled) {
    const std::string module = AddModule("DE");
    EXPECT_TRUE(Switch(0, true));
    EXPECT_EQ(Loader.Installs, (std::vector<TRecordingLoader::TInstall>{{module, false}}));
    EXPECT_EQ(Loader.Reloads, 1);
    EXPECT_EQ(CurrentLanguage(), 0);
    EXPECT_EQ(CurrentLanguageCode(), "DE");
}

TEST_F(LanguageSwitch, EnglishIsTheProgramsOwnFile) {
    AddModule("EN"); // not used: English is built in
    EXPECT_TRUE(Switch(kLanguageEnglish, true));
    EXPECT_EQ(Loader.Installs, (std::vector<TRecordingLoader::TInstall>{{Program, true}}));
    EXPECT_EQ(CurrentLanguageCode(), "EN");
}

TEST_F(LanguageSwitch, SameLanguageAgainReloadsNothing) {
    AddModule("FR");
    ASSERT_TRUE(Switch(3, true));
    EXPECT_FALSE(Switch(3, false));
    EXPECT_FALSE(Switch(3, true));
    EXPECT_EQ(Loader.Installs.size(), 1u);
    EXPECT_EQ(Loader.Reloads, 1);
}

TEST_F(LanguageSwitch, MissingModuleKeepsThePreviousLanguage) {
    AddModule("DE");
    ASSERT_TRUE(Switch(0, true));
    EXPECT_FALSE(Switch(3, false)); // no ostero.FR
    EXPECT_EQ(CurrentLanguage(), 0);
    EXPECT_EQ(Loader.Installs.size(), 1u);

    // A folder of the module's name is no module either.
    fs::create_directory(Program + ".IT");
    EXPECT_FALSE(Switch(4, false));
    EXPECT_EQ(CurrentLanguage(), 0);
    EXPECT_EQ(Loader.Installs.size(), 1u);
}

TEST_F(LanguageSwitch, MissingModuleAtStartLeavesNoLanguage) {
    EXPECT_FALSE(Switch(5, true));
    EXPECT_EQ(CurrentLanguage(), kNoLanguage);
    EXPECT_TRUE(Loader.Installs.empty());
}

TEST_F(LanguageSwitch, UnreadableModuleIsNotHandedToTheLoader) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "root reads any file";
    const std::string module = AddModule("ES");
    fs::permissions(module, fs::perms::none);
    EXPECT_FALSE(Switch(2, true));
    EXPECT_TRUE(Loader.Installs.empty());
    EXPECT_EQ(CurrentLanguage(), kNoLanguage);
}

TEST_F(LanguageSwitch, RefusedModuleStillBecomesCurrent) {
    const std::string module = AddModule("NL");
    Loader.Accept = false;
    EXPECT_FALSE(Switch(5, true));
    EXPECT_EQ(Loader.Installs, (std::vector<TRecordingLoader::TInstall>{{module, false}}));
    EXPECT_EQ(Loader.Reloads, 0);
    EXPECT_EQ(CurrentLanguage(), 5);
    // So asking for it again does not retry.
    EXPECT_FALSE(Switch(5, false));
    EXPECT_EQ(Loader.Installs.size(), 1u);
}

TEST_F(LanguageSwitch, FirstChangeRecordsTheDefaultModuleInPlace) {
    StartWithLocale("de_DE.UTF-8");
    AddModule("DE");
    // The start-up switch found nothing (say SessionLanguage asked for a missing module) ...
    ASSERT_FALSE(Switch(3, true));
    ASSERT_EQ(CurrentLanguage(), kNoLanguage);
    // ... so the first change counts the default language's module as in place.
    EXPECT_FALSE(Switch(0, false));
    EXPECT_EQ(CurrentLanguage(), 0);
    EXPECT_TRUE(Loader.Installs.empty());
}

TEST_F(LanguageSwitch, FirstChangeRecordsEnglishDefault) {
    StartWithLocale("en_US.UTF-8");
    ASSERT_EQ(DefaultLanguage(), kLanguageEnglish);
    EXPECT_FALSE(Switch(kLanguageEnglish, false));
    EXPECT_EQ(CurrentLanguage(), kLanguageEnglish);
    EXPECT_TRUE(Loader.Installs.empty());
}

TEST_F(LanguageSwitch, FirstChangeWithoutDefaultModuleSwitches) {
    StartWithLocale("de_DE.UTF-8"); // no ostero.DE
    const std::string module = AddModule("PL");
    EXPECT_TRUE(Switch(7, false));
    EXPECT_EQ(Loader.Installs, (std::vector<TRecordingLoader::TInstall>{{module, false}}));
    EXPECT_EQ(CurrentLanguage(), 7);
}

TEST_F(LanguageSwitch, LocaleModuleIsPutInPlaceBeforeAnySwitch) {
    StartWithLocale("de_DE.UTF-8");
    const std::string module = AddModule("DE");
    EXPECT_TRUE(InstallLocaleModule(Loader, Program));
    EXPECT_EQ(Loader.Installs, (std::vector<TRecordingLoader::TInstall>{{module, false}}));
    EXPECT_EQ(CurrentLanguage(), kNoLanguage);
    // Choosing German later finds it in place and loads nothing again.
    EXPECT_FALSE(Switch(0, false));
    EXPECT_EQ(CurrentLanguage(), 0);
    EXPECT_EQ(Loader.Installs.size(), 1u);
}

TEST_F(LanguageSwitch, NoLocaleModuleForLanguagesOutsideTheTable) {
    AddModule("DE");
    StartWithLocale("ja_JP.UTF-8"); // DefaultLanguage falls back to 0, but the locale is not German
    ASSERT_EQ(DefaultLanguage(), 0);
    EXPECT_FALSE(InstallLocaleModule(Loader, Program));
    StartWithLocale("en_GB.UTF-8"); // English is built in
    EXPECT_FALSE(InstallLocaleModule(Loader, Program));
    StartWithLocale("fr_FR.UTF-8"); // no ostero.FR
    EXPECT_FALSE(InstallLocaleModule(Loader, Program));
    EXPECT_TRUE(Loader.Installs.empty());
}

TEST_F(LanguageSwitch, StartupCallDoesNotRecordTheDefault) {
    StartWithLocale("en_US.UTF-8");
    EXPECT_TRUE(Switch(kLanguageEnglish, true));
    EXPECT_EQ(Loader.Installs, (std::vector<TRecordingLoader::TInstall>{{Program, true}}));
}

// --- Module paths.

struct TModulePathCase {
    const char* Name;
    std::string Program;
    uint8_t Index;
    std::string Expected;
};

class LanguageModulePathTest : public ::testing::TestWithParam<TModulePathCase> {};

TEST_P(LanguageModulePathTest, ReplacesTheExtension) {
    EXPECT_EQ(LanguageModulePath(GetParam().Index, GetParam().Program), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Language, LanguageModulePathTest,
    ::testing::Values(
        TModulePathCase{"NoExtension", "/opt/Ostero/ostero", 0, "/opt/Ostero/ostero.DE"},
        TModulePathCase{"Extension", "/opt/Ostero/ostero.bin", 3, "/opt/Ostero/ostero.FR"},
        TModulePathCase{"DotInFolderOnly", "/opt/v1.2/ostero", 7, "/opt/v1.2/ostero.PL"},
        TModulePathCase{"LastDotOnly", "/opt/ostero.x.y", 4, "/opt/ostero.x.IT"},
        TModulePathCase{"NoLanguage", "/opt/ostero", kNoLanguage, ""},
        TModulePathCase{"NoProgram", "", 0, ""}),
    [](const auto& info) { return info.param.Name; });

} // namespace
} // namespace ostero::support
