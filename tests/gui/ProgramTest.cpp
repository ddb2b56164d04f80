// The program as a user starts it: the staged binary in a copy of the installation tree, with
// a recording dialog library in its "Shared" folder; and the main window in-process.
#include "ui/shell/FormMain.h"
#include "ui/shell/QtBridge.h"

#include "support/platform/Platform.h"

#include "GuiApplication.h"

#include <QApplication>
#include <QProcess>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

class StagedProgram : public ::testing::Test {
protected:
    void SetUp() override {
        Root_ = fs::temp_directory_path() /
                ("ostero-program-" + std::to_string(::getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(Root_);
        fs::create_directories(Root_ / "Ostero");
        fs::create_directories(Root_ / "Shared");
        const fs::path stage = std::getenv("OSTERO_STAGE_DIR");
        const fs::path libs = std::getenv("OSTERO_TESTLIB_DIR");
        fs::copy_file(stage / "Ostero" / "ostero", Root_ / "Ostero" / "ostero");
        fs::copy_file(libs / "full" / "Shared" / "tDialogs.so", Root_ / "Shared" / "tDialogs.so");
        Log_ = (Root_ / "calls.log").string();
    }
    void TearDown() override { fs::remove_all(Root_); }

    // Runs the copied program; answers its exit code (-1 when it did not end in time).
    int Run(const QStringList& args, QString* errors = nullptr) {
        QProcess process;
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert("OSTERO_TESTLIB_LOG", QString::fromStdString(Log_));
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("XDG_CONFIG_HOME", QString::fromStdString((Root_ / "config").string()));
        process.setProcessEnvironment(env);
        process.start(QString::fromStdString((Root_ / "Ostero" / "ostero").string()), args);
        if (!process.waitForFinished(30000)) {
            process.kill();
            process.waitForFinished();
            return -1;
        }
        if (errors)
            *errors = QString::fromUtf8(process.readAllStandardError());
        return process.exitCode();
    }
    std::vector<std::string> Calls() const {
        std::ifstream in(Log_);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }
    fs::path Root_;
    std::string Log_;
};

TEST_F(StagedProgram, ConfigSharedMemReachesTheSharedMemoryDialog) {
    EXPECT_EQ(Run({"/CONFIG:SharedMem"}), 0);
    EXPECT_EQ(Run({"/config:sharedmem"}), 0);
    EXPECT_EQ(Calls(), (std::vector<std::string>{"ShowSharedMemConfigDialog|no-owner||5000",
                                                 "ShowSharedMemConfigDialog|no-owner||5000"}));
}

TEST_F(StagedProgram, ConfigWithAnotherWordReachesTheRegistryDialog) {
    EXPECT_EQ(Run({"-CONFIG=REMOTE"}), 0);
    EXPECT_EQ(Run({"/Config:remote"}), 0);
    EXPECT_EQ(Run({"CONFIG"}), 0);
    EXPECT_EQ(Calls(), (std::vector<std::string>{"ShowRegConfigDialog|no-owner|REMOTE",
                                                 "ShowRegConfigDialog|no-owner|REMOTE",
                                                 "ShowRegConfigDialog|no-owner|"}));
}

TEST_F(StagedProgram, CreateReportDoesNotPretendToHaveWrittenAReport) {
    QString errors;
    EXPECT_EQ(Run({"-CREATEREPORT:/tmp/Out Dir"}, &errors), 1);
    EXPECT_TRUE(errors.contains("/tmp/Out Dir")) << errors.toStdString();
    EXPECT_TRUE(Calls().empty());
}

TEST_F(StagedProgram, ProgramCarriesItsVersion) {
    std::map<std::string, std::string> values;
    ASSERT_TRUE(ostero::platform::Platform().ReadVersionSection(
        (Root_ / "Ostero" / "ostero").string(), values));
    EXPECT_EQ(values["InternalName"], "ostero");
    EXPECT_EQ(values["ProductName"], "Taveric Ostero");
    EXPECT_EQ(values["FileVersion"], "1.0.0.0");
}

// The main window in this process.
class MainWindow : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        EnsureGuiApplication();
        QApplication::setApplicationDisplayName("Taveric Ostero");
    }
    void SetUp() override {
        Root_ = fs::temp_directory_path() / ("ostero-window-" + std::to_string(::getpid()));
        fs::remove_all(Root_);
        fs::create_directories(Root_);
        ::setenv("XDG_CONFIG_HOME", Root_.c_str(), 1);
    }
    void TearDown() override { fs::remove_all(Root_); }
    ostero::ui::TQtLanguageLoader Loader_;
    fs::path Root_;
};

// Keeps the messages instead of showing boxes that would wait for a click.
struct TRecordedMessages : ostero::support::TMessageSink {
    void ShowError(const ostero::support::TUserMessage& message) override {
        Errors.push_back(message.Text());
    }
    void ShowInformation(const ostero::support::TUserMessage& message) override {
        Errors.push_back(message.Text());
    }
    std::vector<std::string> Errors;
};

TEST_F(MainWindow, FirstShowingKeepsAReportPathWithBlanksWhole) {
    ostero::ui::TFormMain form({"/home/anna/My", "Reports/pc", "01.trp"}, "", Loader_);
    TRecordedMessages messages;
    form.SetMessageSink(&messages);
    EXPECT_EQ(form.windowTitle(), "Taveric Ostero");
    EXPECT_FALSE(form.FirstShown());
    form.show();
    QApplication::processEvents();
    ASSERT_TRUE(form.FirstShown());
    EXPECT_EQ(form.FirstShow().Kind, ostero::app::TFirstShowKind::OpenReport);
    EXPECT_EQ(form.FirstShow().ReportPath, "/home/anna/My Reports/pc 01.trp");
    // The path is opened whole, so the message names it whole.
    EXPECT_EQ(messages.Errors,
              std::vector<std::string>{"File '/home/anna/My Reports/pc 01.trp' not found"});
}

TEST_F(MainWindow, CreationReadsTheRegistrySettings) {
    using ostero::platform::Platform;
    using ostero::platform::TRegistryHive;
    ASSERT_TRUE(Platform().RegWriteString(TRegistryHive::CurrentUser,
                                          "Software\\Taveric\\Ostero\\Config\\Settings\\Remote",
                                          "Port", "Port;3000"));
    ASSERT_TRUE(Platform().RegWriteString(TRegistryHive::CurrentUser,
                                          "Software\\Taveric\\Dorvo\\Hardwaretests\\Parameters",
                                          "ResultFileName", "/tmp/TestResults.trp"));
    ostero::ui::TFormMain form({"ReadTestResults"}, "", Loader_);
    EXPECT_EQ(form.Settings().RemotePort, 3000);
    EXPECT_EQ(form.Settings().QueryTimeout, 5000);
    EXPECT_FALSE(form.Settings().RemoteVariant);
    EXPECT_EQ(form.Settings().TestResultFile, ""); // read on the first showing only
    TRecordedMessages messages;
    form.SetMessageSink(&messages);
    form.show();
    QApplication::processEvents();
    EXPECT_EQ(form.FirstShow().Kind, ostero::app::TFirstShowKind::ReadTestResults);
    EXPECT_EQ(form.Settings().TestResultFile, "/tmp/TestResults.trp");
    // The session of the first showing tried to read them.
    EXPECT_EQ(messages.Errors,
              std::vector<std::string>{"File '/tmp/TestResults.trp' is not a valid report file, "
                                       "or the file is damaged!"});
}

TEST_F(MainWindow, LanguageModuleTranslatesMessagesAndBuiltInRestoresEnglish) {
    const fs::path module = fs::path(std::getenv("OSTERO_STAGE_DIR")) / "Ostero" / "ostero.DE";
    const ostero::support::TUserMessage message{"Cannot load library '%s'", {"tDialogs.so"}};
    ASSERT_TRUE(Loader_.InstallModule(module.string(), false));
    EXPECT_EQ(ostero::ui::TranslatedText(message).toStdString(),
              "Die Bibliothek 'tDialogs.so' kann nicht geladen werden");
    EXPECT_FALSE(Loader_.InstallModule((Root_ / "ostero.XX").string(), false));
    // A failed load keeps the module in place.
    EXPECT_EQ(ostero::ui::TranslatedText(message).toStdString(),
              "Die Bibliothek 'tDialogs.so' kann nicht geladen werden");
    ASSERT_TRUE(Loader_.InstallModule("", true));
    EXPECT_EQ(ostero::ui::TranslatedText(message).toStdString(),
              "Cannot load library 'tDialogs.so'");
}

} // namespace
