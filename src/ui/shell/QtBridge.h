#pragma once
// Where the Qt-free cores meet Qt: Windows-1252 texts to QString and back, the message boxes
// behind the cores' messages, and the language loader behind SwitchLanguage.

#include "support/Language.h"
#include "support/UserMessage.h"

#include <QApplication>
#include <QString>
#include <QTranslator>

#include <memory>
#include <string>

class QWidget;

namespace ostero::ui {

QString FromAnsi(const std::string& ansi);
std::string ToAnsi(const QString& text);
// File-system paths are UTF-8.
QString FromPath(const std::string& path);
std::string ToPath(const QString& path);

// The program's title: the window caption before its suffix and the caption of its message
// boxes ("Taveric Ostero", or the remote variant's). Kept here rather than as Qt's display
// name, which the X11 platform appends to every window title (a second "Taveric Ostero").
const QString& ProgramTitle();
void SetProgramTitle(const QString& title);

// The text of a core message in the current language, with its arguments put in.
QString TranslatedText(const support::TUserMessage& message);

// The hourglass for the length of an operation, given back on every way out.
struct TWaitCursor {
    TWaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~TWaitCursor() { QApplication::restoreOverrideCursor(); }
};

// Error boxes carry the application title as caption, information boxes "Information".
class TMessageBoxSink : public support::TMessageSink {
public:
    explicit TMessageBoxSink(QWidget* parent = nullptr) : Parent_(parent) {}
    void ShowError(const support::TUserMessage& message) override;
    void ShowInformation(const support::TUserMessage& message) override;
    bool AskYesNo(const support::TUserMessage& message) override;

private:
    QWidget* Parent_;
};

// Language modules are Qt translation files named like the program with the language code as
// extension ("ostero.DE"). Installing one makes Qt send LanguageChange to every open window,
// which re-translates itself in place.
class TQtLanguageLoader : public support::TLanguageModuleLoader {
public:
    bool InstallModule(const std::string& path, bool builtIn) override;
    void ReloadFormResources() override;

private:
    std::unique_ptr<QTranslator> Translator_;
};

} // namespace ostero::ui
