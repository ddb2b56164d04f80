#pragma once
// A main window under test: its own settings and documents folder, recorded messages and a file
// dialog that answers with what the test chose.

#include "GuiApplication.h"
#include "support/UserMessage.h"
#include "ui/shell/FormMain.h"
#include "ui/shell/QtBridge.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace ostero::guitest {

// The messages a window showed, in order, marked "E: " (error box) or "I: " (information box).
struct TRecordedMessages : support::TMessageSink {
    void ShowError(const support::TUserMessage& message) override {
        Lines.push_back("E: " + message.Text());
    }
    void ShowInformation(const support::TUserMessage& message) override {
        Lines.push_back("I: " + message.Text());
    }
    // Questions are recorded with "Q: " and answered from `Answers` (No when it runs dry).
    bool AskYesNo(const support::TUserMessage& message) override {
        Lines.push_back("Q: " + message.Text());
        if (Answers.empty())
            return false;
        const bool yes = Answers.front();
        Answers.pop_front();
        return yes;
    }
    std::vector<std::string> Take() { return std::exchange(Lines, {}); }
    std::vector<std::string> Lines;
    std::deque<bool> Answers;
};

class FormMainFixture : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsureGuiApplication(); }
    void SetUp() override {
        Root_ = std::filesystem::temp_directory_path() /
                ("ostero-form-" + std::to_string(::getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(Root_);
        std::filesystem::create_directories(Root_ / "config");
        std::filesystem::create_directories(Root_ / "Documents");
        ::setenv("XDG_CONFIG_HOME", (Root_ / "config").c_str(), 1);
        // The agents the tests start keep their lock here, apart from a real agent's.
        std::filesystem::create_directories(Root_ / "run");
        ::setenv("XDG_RUNTIME_DIR", (Root_ / "run").c_str(), 1);
        std::ofstream(Root_ / "config" / "user-dirs.dirs")
            << "XDG_DOCUMENTS_DIR=\"" << (Root_ / "Documents").string() << "\"\n";
        Form_ = MakeForm();
    }
    void TearDown() override {
        Form_.reset();
        std::filesystem::remove_all(Root_);
    }

    std::unique_ptr<ui::TFormMain> MakeForm() {
        auto form = std::make_unique<ui::TFormMain>(std::vector<std::string>{}, "", Loader_);
        form->SetMessageSink(&Messages_);
        form->SetOpenFileDialog([this](QWidget*, const QString& folder, const QString& filter) {
            DialogFolders_.push_back(folder.toStdString());
            DialogFilter_ = filter.toStdString();
            if (Answers_.empty())
                return QString();
            const QString answer = QString::fromStdString(Answers_.front());
            Answers_.pop_front();
            return answer;
        });
        return form;
    }

    std::string Path(const std::string& name) const { return (Root_ / name).string(); }

    ui::TQtLanguageLoader Loader_;
    std::filesystem::path Root_;
    TRecordedMessages Messages_;
    std::unique_ptr<ui::TFormMain> Form_;
    std::deque<std::string> Answers_; // the file dialog's next answers; empty = cancelled
    std::vector<std::string> DialogFolders_;
    std::string DialogFilter_;
};

} // namespace ostero::guitest
