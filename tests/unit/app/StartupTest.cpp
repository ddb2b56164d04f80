#include "app/Startup.h"

#include "support/Language.h"
#include "support/platform/Platform.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;
using namespace ostero::app;

namespace {

struct TArgumentCase {
    const char* Name;
    std::vector<std::string> Args;
    TStartMode Mode;
    std::string Text;
};

class FirstArgument : public ::testing::TestWithParam<TArgumentCase> {};

TEST_P(FirstArgument, Dispatch) {
    const auto& c = GetParam();
    const TStartCommand command = ParseFirstArgument(c.Args);
    EXPECT_EQ(command.Mode, c.Mode);
    EXPECT_EQ(command.Text, c.Text);
}

INSTANTIATE_TEST_SUITE_P(
    Startup, FirstArgument,
    ::testing::Values(
        TArgumentCase{"None", {}, TStartMode::Interactive, ""},
        TArgumentCase{"SlashSharedMem", {"/CONFIG:SharedMem"}, TStartMode::ConfigSharedMem, ""},
        TArgumentCase{"LowerCaseSharedMem", {"/config:sharedmem"}, TStartMode::ConfigSharedMem, ""},
        TArgumentCase{
            "SharedMemWithBlanks", {"-CONFIG: SharedMem  "}, TStartMode::ConfigSharedMem, ""},
        TArgumentCase{"DashRemote", {"-CONFIG=REMOTE"}, TStartMode::ConfigRegistry, "REMOTE"},
        TArgumentCase{"RestUpperCasedUntrimmed",
                      {"/Config:remote x "},
                      TStartMode::ConfigRegistry,
                      "REMOTE X "},
        TArgumentCase{"ConfigAlone", {"CONFIG"}, TStartMode::ConfigRegistry, ""},
        TArgumentCase{"OnlyFirstArgumentCounts",
                      {"report.trp", "/CONFIG:SharedMem"},
                      TStartMode::Interactive,
                      ""},
        TArgumentCase{"TwoSlashes", {"//CONFIG:SharedMem"}, TStartMode::Interactive, ""},
        TArgumentCase{"CreateReportKeepsCase",
                      {"-CREATEREPORT:/srv/Reports/Daily"},
                      TStartMode::CreateReport,
                      "/srv/Reports/Daily"},
        TArgumentCase{"CreateReportLowerCase",
                      {"/createreport=/tmp/out"},
                      TStartMode::CreateReport,
                      "/tmp/out"},
        TArgumentCase{"CreateReportAlone", {"/CREATEREPORT"}, TStartMode::CreateReport, ""},
        TArgumentCase{"ReportPath", {"/home/anna/My Report.trp"}, TStartMode::Interactive, ""}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(FirstShowing, JoinedArgumentsKeepAPathWithBlanksWhole) {
    const auto action = FirstShowAction({"/home/anna/My", "Reports/pc", "01.trp"});
    EXPECT_EQ(action.Kind, TFirstShowKind::OpenReport);
    EXPECT_EQ(action.ReportPath, "/home/anna/My Reports/pc 01.trp");
    EXPECT_EQ(JoinArguments({"  a", "b  "}), "a b");
}

TEST(FirstShowing, ReadTestResultsMustBeTheWholeCommandLine) {
    EXPECT_EQ(FirstShowAction({}).Kind, TFirstShowKind::None);
    EXPECT_EQ(FirstShowAction({"ReadTestResults"}).Kind, TFirstShowKind::ReadTestResults);
    EXPECT_EQ(FirstShowAction({" readtestresults "}).Kind, TFirstShowKind::ReadTestResults);
    const auto slashed = FirstShowAction({"/ReadTestResults"});
    EXPECT_EQ(slashed.Kind, TFirstShowKind::OpenReport);
    EXPECT_EQ(slashed.ReportPath, "/ReadTestResults");
    EXPECT_EQ(FirstShowAction({"ReadTestResults", "now"}).Kind, TFirstShowKind::OpenReport);
}

TEST(SessionLanguage, CodeIgnoresCaseAndFallsBackToTheDefault) {
    ostero::support::ResetLanguageState();
    EXPECT_EQ(SessionLanguageIndex("fr"), 3);
    EXPECT_EQ(SessionLanguageIndex("PL"), 7);
    EXPECT_EQ(SessionLanguageIndex("XX"), ostero::support::DefaultLanguage());
    EXPECT_EQ(SessionLanguageIndex(""), ostero::support::DefaultLanguage());
    EXPECT_EQ(SessionLanguageIndex(nullptr), ostero::support::DefaultLanguage());
}

// A private registry and folders for each test.
class StartupFiles : public ::testing::Test {
protected:
    void SetUp() override {
        Root_ = fs::temp_directory_path() /
                ("ostero-startup-" + std::to_string(::getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(Root_);
        fs::create_directories(Root_ / "config");
        const char* old = std::getenv("XDG_CONFIG_HOME");
        OldConfig_ = old ? old : "";
        HadConfig_ = old != nullptr;
        ::setenv("XDG_CONFIG_HOME", (Root_ / "config").c_str(), 1);
        ostero::support::ResetLanguageState();
    }
    void TearDown() override {
        if (HadConfig_)
            ::setenv("XDG_CONFIG_HOME", OldConfig_.c_str(), 1);
        else
            ::unsetenv("XDG_CONFIG_HOME");
        fs::remove_all(Root_);
    }
    void Write(const char* key, const char* name, const std::string& value) {
        ASSERT_TRUE(ostero::platform::Platform().RegWriteString(
            ostero::platform::TRegistryHive::CurrentUser, key, name, value));
    }
    void Touch(const fs::path& path) {
        fs::create_directories(path.parent_path());
        std::ofstream(path) << "x";
    }
    fs::path Root_;
    std::string OldConfig_;
    bool HadConfig_ = false;
};

TEST_F(StartupFiles, RegistrySettingsTakeField2) {
    Write(kSettingsKey, "Language", "Language;English");
    Write(kRemoteSettingsKey, "Port", "Port;2030;");
    Write(kRemoteSettingsKey, "Timeout [ms]", "\"T\";\"7000\"");
    Write(kSensorLoggerKey, "Logfile", "Logfile;/var/log/sensors.log");
    TSettings settings;
    EXPECT_EQ(ReadRegistrySettings(settings), 1); // English differs from "no language yet"
    EXPECT_EQ(settings.RemotePort, 2030);
    EXPECT_EQ(settings.QueryTimeout, 7000);
    EXPECT_EQ(settings.SensorLogFile, "/var/log/sensors.log");
}

TEST_F(StartupFiles, EmptyOrBadFieldsKeepTheSettings) {
    Write(kSettingsKey, "Language", "Language;");
    Write(kRemoteSettingsKey, "Port", "Port;");
    Write(kRemoteSettingsKey, "Timeout [ms]", "Timeout;12abc");
    Write(kSensorLoggerKey, "Logfile", "Logfile");
    TSettings settings;
    settings.SensorLogFile = "/kept";
    EXPECT_EQ(ReadRegistrySettings(settings), -1);
    EXPECT_EQ(settings.RemotePort, 2027);
    EXPECT_EQ(settings.QueryTimeout, 5000);
    EXPECT_EQ(settings.SensorLogFile, "/kept");
}

TEST_F(StartupFiles, LanguageNameMatchesWithoutRegardToCase) {
    Write(kSettingsKey, "Language",
          "x;fran\xC3\xA7"
          "ais"); // UTF-8 in the registry file
    TSettings settings;
    EXPECT_EQ(ReadRegistrySettings(settings), 3);
    Write(kSettingsKey, "Language", "x;Klingon");
    EXPECT_EQ(ReadRegistrySettings(settings), -1);
}

TEST_F(StartupFiles, TestResultFileIsTheWholeString) {
    Write(kHardwareTestKey, "ResultFileName", "/home/t/TestResults.trp;x");
    EXPECT_EQ(ReadTestResultFile(), "/home/t/TestResults.trp;x");
}

TEST_F(StartupFiles, HelpFileCandidatesInOrder) {
    const std::string program = (Root_ / "Ostero" / "ostero").string();
    EXPECT_EQ(SelectHelpFile(program, "FR"), "");
    Touch(Root_ / "Ostero" / "ostero.hlp");
    EXPECT_EQ(SelectHelpFile(program, "FR"), program + ".hlp");
    Touch(Root_ / "Ostero" / "ostero_FR.hlp");
    EXPECT_EQ(SelectHelpFile(program, "FR"), program + "_FR.hlp");
    Touch(Root_ / "Ostero" / "ostero.chm");
    EXPECT_EQ(SelectHelpFile(program, "FR"), program + ".chm");
    Touch(Root_ / "Ostero" / "ostero_FR.chm");
    EXPECT_EQ(SelectHelpFile(program, "FR"), program + "_FR.chm");
    // Without a language module the code is empty: base + "_" + ".chm" comes first.
    Touch(Root_ / "Ostero" / "ostero_.chm");
    EXPECT_EQ(SelectHelpFile(program, ""), program + "_.chm");
}

TEST_F(StartupFiles, HelpDocumentFromTheIniFile) {
    const fs::path ini = Root_ / "Ostero" / "ostero.INI";
    Touch(Root_ / "docs" / "manual_fr.pdf");
    Touch(Root_ / "docs" / "manual.pdf");
    fs::create_directories(ini.parent_path());
    std::ofstream(ini) << "[Program]\r\nHelpFile.FR = "
                       << (Root_ / "docs" / "manual_fr.pdf").string()
                       << "\r\nHelpFile=" << (Root_ / "docs" / "manual.pdf").string() << "\r\n";
    EXPECT_EQ(ReadHelpDocument(ini.string(), "FR"), (Root_ / "docs" / "manual_fr.pdf").string());
    EXPECT_EQ(ReadHelpDocument(ini.string(), "DE"), (Root_ / "docs" / "manual.pdf").string());
    fs::remove(Root_ / "docs" / "manual.pdf");
    EXPECT_EQ(ReadHelpDocument(ini.string(), "DE"), "");
    EXPECT_EQ(ReadHelpDocument((Root_ / "missing.INI").string(), "DE"), "");
    EXPECT_EQ(IniFilePath("/opt/Ostero/ostero"), "/opt/Ostero/ostero.INI");
    EXPECT_EQ(IniFilePath("/opt/v1.2/ostero.bin"), "/opt/v1.2/ostero.INI");
}

TEST_F(StartupFiles, RemoteVariantByTheLibraryBesideTheProgram) {
    const fs::path folder = Root_ / "Ostero";
    fs::create_directories(folder);
    EXPECT_FALSE(IsRemoteVariant(folder.string() + "/"));
    Touch(folder / "TAV_REM.so");
    EXPECT_TRUE(IsRemoteVariant(folder.string() + "/"));
    EXPECT_EQ(ApplicationTitle(true), "Taveric Ostero Remote");
    EXPECT_EQ(ApplicationTitle(false), "Taveric Ostero");
}

} // namespace
