#include "ui/shell/FormMain.h"

#include "sources/DialogLibrary.h"
#include "support/SysUtils.h"
#include "support/platform/Platform.h"
#include "ui/shell/QtBridge.h"

#include <QApplication>
#include <QEvent>
#include <QStatusBar>

#include <filesystem>

namespace ostero::ui {

TFormMain::TFormMain(std::vector<std::string> args, std::string helpFile,
                     support::TLanguageModuleLoader& languageLoader, QWidget* parent)
    : QMainWindow(parent), Args_(std::move(args)), LanguageLoader_(languageLoader) {
    setObjectName("FormMain");
    Settings_.HelpFile = std::move(helpFile);
    setWindowTitle(QApplication::applicationDisplayName());
    statusBar();
    resize(1000, 700);
    // Settings start from their defaults, then the registry; then variant and title.
    Settings_.RemotePort = 2027;
    Settings_.QueryTimeout = 5000;
    ReadSettings(true);
    ConfigureMainWindow();
}

void TFormMain::ReadSettings(bool atStart) {
    const int language = app::ReadRegistrySettings(Settings_);
    if (language >= 0) {
        support::SwitchLanguage(static_cast<uint8_t>(language), false, LanguageLoader_);
        const std::string help =
            app::SelectHelpFile(platform::Platform().ProgramPath(), support::CurrentLanguageCode());
        if (!help.empty())
            Settings_.HelpFile = help;
    }
    if (!atStart)
        ConfigureMainWindow();
}

void TFormMain::ConfigureMainWindow() {
    const std::string programPath = platform::Platform().ProgramPath();
    if (!Settings_.HelpFile.empty()) {
        HelpAvailable_ = true;
    } else {
        Settings_.HelpDocument =
            app::ReadHelpDocument(app::IniFilePath(programPath), support::CurrentLanguageCode());
        HelpAvailable_ = !Settings_.HelpDocument.empty();
    }
    OptionsAvailable_ = sources::TDialogLibrary::Present();
    Settings_.RemoteVariant = app::IsRemoteVariant(support::ProgramFolder());
    if (Settings_.RemoteVariant) {
        QApplication::setApplicationDisplayName(FromAnsi(app::ApplicationTitle(true)));
        setWindowTitle(QApplication::applicationDisplayName());
    }
}

void TFormMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!FirstShown_) {
        FirstShown_ = true;
        FirstShowing();
    }
}

void TFormMain::FirstShowing() {
    FirstShow_ = app::FirstShowAction(Args_);
    if (FirstShow_.Kind == app::TFirstShowKind::ReadTestResults)
        Settings_.TestResultFile = app::ReadTestResultFile();
}

void TFormMain::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange)
        RetranslateUi();
    QMainWindow::changeEvent(event);
}

void TFormMain::RetranslateUi() {
    setWindowTitle(QApplication::applicationDisplayName());
}

} // namespace ostero::ui
