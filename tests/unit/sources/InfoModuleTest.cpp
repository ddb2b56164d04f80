// The module loader against a real test module loaded with dlopen; its answers are chosen per
// test through OSTERO_TESTLIB_MODE.
#include "sources/InfoModule.h"

#include "TestLibraryFixture.h"

#include <algorithm>
#include <cstring>

using namespace ostero::sources;

namespace {

class TRecordingSink : public ostero::support::TMessageSink {
public:
    void ShowError(const ostero::support::TUserMessage& m) override { Errors.push_back(m.Text()); }
    void ShowInformation(const ostero::support::TUserMessage& m) override {
        Infos.push_back(m.Text());
    }
    std::vector<std::string> Errors;
    std::vector<std::string> Infos;
};

class InfoModuleTest : public TestLibraryFixture {
protected:
    std::string ModulePath() const { return (LibDir_ / "infomodule/Shared/DevSurvey.so").string(); }
    TModuleHandle Load(const char* mode = "") {
        ::setenv("OSTERO_TESTLIB_MODE", mode, 1);
        return LoadInfoModule(ModulePath(), &Sink_);
    }
    TRecordingSink Sink_;
};

TEST_F(InfoModuleTest, InitialiseResultsUpToTenLoadAboveTenAndMinusOneFail) {
    struct Case {
        const char* Mode;
        bool Loads;
        const char* Error;
    };
    const Case cases[] = {
        {"", true, nullptr},
        {"init-ten", true, nullptr},
        {"init-error", false, "Test module error 42"},
        // Taken as unsigned, -1 is a huge error code, not a success.
        {"init-minus-one", false, "Test module error -1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Mode);
        Sink_.Errors.clear();
        TModuleHandle handle = Load(c.Mode);
        EXPECT_EQ(handle != nullptr, c.Loads);
        if (c.Error)
            EXPECT_EQ(Sink_.Errors, std::vector<std::string>{c.Error});
        else
            EXPECT_TRUE(Sink_.Errors.empty());
        UnloadInfoModule(handle, &Sink_);
    }
}

TEST_F(InfoModuleTest, MissingLibraryIsReportedWithItsPath) {
    EXPECT_EQ(LoadInfoModule((Temp_ / "nothing.so").string(), &Sink_), nullptr);
    EXPECT_EQ(Sink_.Errors, std::vector<std::string>{"Cannot load library '" +
                                                     (Temp_ / "nothing.so").string() + "'"});
}

TEST_F(InfoModuleTest, RootsSkipEmptyNamesSplitKindAndStopAtFieldEnds) {
    TModuleHandle handle = Load();
    ASSERT_NE(handle, nullptr);
    const auto roots = EnumModuleRoots(handle, 1, &Sink_);
    ASSERT_EQ(roots.size(), 3u);
    EXPECT_EQ(roots[0].Name, "Processors");
    EXPECT_EQ(roots[0].Key, "cpu");
    EXPECT_EQ(roots[0].ImageCode, 3);
    EXPECT_EQ(roots[0].Kind, 4); // 260: kind 4, sorted
    EXPECT_TRUE(roots[0].Sorted);
    EXPECT_EQ(roots[1].Name, "Memory");
    EXPECT_EQ(roots[1].Kind, 255);
    EXPECT_FALSE(roots[1].Sorted);
    // Unterminated texts stop at the field's end instead of running into the next field.
    EXPECT_EQ(roots[2].Name, std::string(128, 'N'));
    EXPECT_EQ(roots[2].Key, std::string(128, 'K'));
    EXPECT_TRUE(Sink_.Errors.empty());
    const auto calls = Calls();
    EXPECT_NE(std::find(calls.begin(), calls.end(), "EnumRootInfos|0|1"), calls.end());
    UnloadInfoModule(handle, &Sink_);
}

TEST_F(InfoModuleTest, EndlessModuleGivesExactly127RootEntries) {
    TModuleHandle handle = Load("endless");
    EXPECT_EQ(EnumModuleRoots(handle, 0, &Sink_).size(), 127u);
    const auto calls = Calls();
    EXPECT_EQ(std::count_if(calls.begin(), calls.end(),
                            [](const std::string& c) { return c.starts_with("EnumRootInfos"); }),
              127);
    UnloadInfoModule(handle, &Sink_);
}

TEST_F(InfoModuleTest, EndlessSubEnumerationStopsAtItsBound) {
    TModuleHandle handle = Load("endless");
    EXPECT_TRUE(EnumModuleSubs(handle, 0, &Sink_).empty()); // every text empty: all skipped
    EXPECT_TRUE(Sink_.Errors.empty());
    UnloadInfoModule(handle, &Sink_);
}

TEST_F(InfoModuleTest, MinusOneEndsQuietlyButErrorCodesAreShown) {
    TModuleHandle handle = Load("root-minus-one");
    RootInfoRecord record{};
    EXPECT_EQ(ModuleRootInfo(handle, record, 0, 0, &Sink_), -1);
    EXPECT_TRUE(EnumModuleRoots(handle, 0, &Sink_).empty());
    EXPECT_TRUE(Sink_.Errors.empty());
    UnloadInfoModule(handle, &Sink_);

    handle = Load("root-error");
    const auto roots = EnumModuleRoots(handle, 0, &Sink_);
    ASSERT_EQ(roots.size(), 1u);
    EXPECT_EQ(Sink_.Errors, std::vector<std::string>{"Test module error 77"});
    UnloadInfoModule(handle, &Sink_);
}

TEST_F(InfoModuleTest, SubLevelsAreShiftedAndTextsBounded) {
    TModuleHandle handle = Load();
    const auto subs = EnumModuleSubs(handle, 0, &Sink_);
    ASSERT_EQ(subs.size(), 5u); // the empty text is skipped
    EXPECT_EQ(subs[0].LevelOrType, 1);
    EXPECT_EQ(subs[0].Text, "CPU 0");
    EXPECT_EQ(subs[1].LevelOrType, 9);  // level 8: the deepest group
    EXPECT_EQ(subs[2].LevelOrType, 10); // level 9 and 10 both become type 10
    EXPECT_EQ(subs[2].Flags, 4);
    EXPECT_EQ(subs[3].LevelOrType, 10);
    EXPECT_EQ(subs[3].Flags, 8);
    EXPECT_EQ(subs[4].LevelOrType, 20);
    EXPECT_EQ(subs[4].Text, std::string(1024, 'T'));
    EXPECT_TRUE(Sink_.Errors.empty());
    EXPECT_TRUE(EnumModuleSubs(handle, 1, &Sink_).empty());
    UnloadInfoModule(handle, &Sink_);

    handle = Load("sub-error");
    EXPECT_EQ(EnumModuleSubs(handle, 0, &Sink_).size(), 5u);
    EXPECT_EQ(Sink_.Errors, std::vector<std::string>{"Test module error 99"});
    UnloadInfoModule(handle, &Sink_);
}

TEST_F(InfoModuleTest, NullHandleAnswersWithoutCalling) {
    TModuleHandle none = nullptr;
    RootInfoRecord record{};
    TSubInfoValues values;
    EXPECT_EQ(ModuleRootInfo(none, record, 0, 0, &Sink_), -1);
    EXPECT_EQ(ModuleSubInfo(none, 0, 0, values, &Sink_), -1);
    EXPECT_EQ(ModuleErrorText(none, 1234), "Errorcode: 1234");
    EXPECT_EQ(UnloadInfoModule(none, &Sink_), 0);
    TDmiTexts texts;
    EXPECT_FALSE(ReadModuleDmi(none, texts));
    EXPECT_TRUE(Sink_.Errors.empty());
}

TEST_F(InfoModuleTest, ErrorTextOfFullBufferKeeps256Characters) {
    TModuleHandle handle = Load("long-error");
    EXPECT_EQ(ModuleErrorText(handle, 12), std::string(256, 'E'));
    UnloadInfoModule(handle, &Sink_);
}

TEST_F(InfoModuleTest, UnloadGivesDestroyResultOrMinusOneAndClearsHandle) {
    TModuleHandle handle = Load();
    EXPECT_EQ(UnloadInfoModule(handle, &Sink_), 3);
    EXPECT_EQ(handle, nullptr);
    EXPECT_TRUE(Sink_.Errors.empty());

    handle = Load("destroy-error");
    EXPECT_EQ(UnloadInfoModule(handle, &Sink_), -1);
    EXPECT_EQ(handle, nullptr);
    EXPECT_EQ(Sink_.Errors, std::vector<std::string>{"Test module error 50"});
}

TEST_F(InfoModuleTest, DmiTextsFollowTheLengthRules) {
    TModuleHandle handle = Load();
    TDmiTexts texts;
    ASSERT_TRUE(ReadModuleDmi(handle, texts));
    EXPECT_EQ(texts.SystemName, "Test Maker Box 3000");
    EXPECT_EQ(texts.SerialNumber, "SN-42");
    EXPECT_EQ(texts.Mainboard, "Board Maker MB-7");
    UnloadInfoModule(handle, &Sink_);

    handle = Load("dmi-short");
    ASSERT_TRUE(ReadModuleDmi(handle, texts));
    EXPECT_EQ(texts.SystemName, "Test Maker");
    EXPECT_EQ(texts.SerialNumber, "");
    EXPECT_EQ(texts.Mainboard, "");
    UnloadInfoModule(handle, &Sink_);
}

TEST(DmiRecordTest, UnterminatedFieldStopsAtItsWidth) {
    DmiRecord record{};
    std::memset(record.Data, 'A', sizeof(record.Data));
    EXPECT_EQ(DmiField(record, 5), std::string(kDmiFieldWidth, 'A'));
    EXPECT_EQ(DmiField(record, kDmiFieldCount), "");
    EXPECT_EQ(DmiField(record, -1), "");
}

TEST_F(InfoModuleTest, LocatesTheSharedFolderAboveTheProgramFolder) {
    // <temp>/Ostero/ is the program folder; the module lies in <temp>/Shared/ under another case.
    std::filesystem::create_directories(Temp_ / "Ostero");
    std::filesystem::create_directories(Temp_ / "Shared");
    std::filesystem::copy_file(ModulePath(), Temp_ / "Shared" / "devsurvey.SO");
    EXPECT_EQ(LocateInfoModule(kHardwareModuleName, (Temp_ / "Ostero").string() + "/"),
              (Temp_ / "Shared" / "devsurvey.SO").string());
    // Nothing there and nothing on the search path: no module, no message.
    EXPECT_EQ(LocateInfoModule("NoSuchModule-4711.so", (Temp_ / "Ostero").string() + "/"), "");
}

// A module runs with the program's rights: a file of that name that somebody put into the
// working folder or a folder of PATH is never taken.
TEST_F(InfoModuleTest, LoadsOnlyFromTheProgramsFolders) {
    struct Case {
        const char* Name;
        std::vector<std::string> Copies; // below Temp_
        std::string ProgramFolder;       // as handed to the locator
        std::string Expected;            // below Temp_, empty for none
    };
    const std::string program = (Temp_ / "Ostero").string() + "/";
    const Case cases[] = {
        {"PlantedInTheWorkingFolderAndOnPath",
         {"work/DevSurvey.so", "bin/DevSurvey.so"},
         program,
         ""},
        {"InTheProgramFolder",
         {"work/DevSurvey.so", "Ostero/devsurvey.so"},
         program,
         "Ostero/devsurvey.so"},
        {"SharedBesideWinsOverTheProgramFolder",
         {"Ostero/DevSurvey.so", "Shared/DevSurvey.so"},
         program,
         "Shared/DevSurvey.so"},
        // Relative to the working folder, which holds a "Shared" folder with the module.
        {"RelativeProgramFolder",
         {"work/Shared/DevSurvey.so", "work/Ostero/DevSurvey.so"},
         "Ostero/",
         ""},
    };
    const std::filesystem::path previousFolder = std::filesystem::current_path();
    const bool previousPath = std::getenv("PATH") != nullptr;
    const std::string savedPath = previousPath ? std::getenv("PATH") : "";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        for (const char* folder : {"Ostero", "Shared", "work", "bin"})
            std::filesystem::remove_all(Temp_ / folder);
        for (const char* folder : {"Ostero", "work/Shared", "work/Ostero", "bin"})
            std::filesystem::create_directories(Temp_ / folder);
        for (const std::string& copy : c.Copies) {
            std::filesystem::create_directories((Temp_ / copy).parent_path());
            std::filesystem::copy_file(ModulePath(), Temp_ / copy);
        }
        std::filesystem::current_path(Temp_ / "work");
        ::setenv("PATH", ((Temp_ / "bin").string() + ":" + savedPath).c_str(), 1);
        const std::string found = LocateInfoModule(kHardwareModuleName, c.ProgramFolder);
        std::filesystem::current_path(previousFolder);
        if (previousPath)
            ::setenv("PATH", savedPath.c_str(), 1);
        else
            ::unsetenv("PATH");
        EXPECT_EQ(found, c.Expected.empty() ? "" : (Temp_ / c.Expected).string());
    }
}

} // namespace
