#pragma once
// The main window: its birth (settings, variant, title), its first showing (the joined command
// line) and its death. The pages, the menu band and the session come with the viewer.

#include "app/Startup.h"
#include "support/Language.h"

#include <QMainWindow>

#include <string>
#include <vector>

namespace ostero::ui {

class TFormMain : public QMainWindow {
    Q_OBJECT

public:
    // `args`: the command-line arguments after the program name; `helpFile`: the application
    // help file chosen at program start (empty for none).
    TFormMain(std::vector<std::string> args, std::string helpFile,
              support::TLanguageModuleLoader& languageLoader, QWidget* parent = nullptr);

    const app::TSettings& Settings() const { return Settings_; }
    // Whether the options button may show: the dialog library can be found.
    bool OptionsAvailable() const { return OptionsAvailable_; }
    // Whether the help button may show: a help file or an existing help document.
    bool HelpAvailable() const { return HelpAvailable_; }
    // What the first showing took from the command line.
    const app::TFirstShowAction& FirstShow() const { return FirstShow_; }
    bool FirstShown() const { return FirstShown_; }

    // Reads the registry settings; `atStart` during creation, false after the options dialog
    // reported a change (then the window is configured again).
    void ReadSettings(bool atStart);
    // Help button, program variant, title.
    void ConfigureMainWindow();

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void FirstShowing();
    void RetranslateUi();

    std::vector<std::string> Args_;
    support::TLanguageModuleLoader& LanguageLoader_;
    app::TSettings Settings_;
    app::TFirstShowAction FirstShow_;
    bool OptionsAvailable_ = false;
    bool HelpAvailable_ = false;
    bool FirstShown_ = false;
};

} // namespace ostero::ui
