#include "ui/shell/QtBridge.h"

#include "app/Startup.h"
#include "support/TextCodec.h"

#include <QApplication>
#include <QCoreApplication>
#include <QMessageBox>
#include <QWidget>

namespace ostero::ui {

QString FromAnsi(const std::string& ansi) {
    return QString::fromStdString(support::AnsiToUtf8(ansi));
}

std::string ToAnsi(const QString& text) {
    return support::Utf8ToAnsi(text.toStdString());
}

QString FromPath(const std::string& path) {
    return QString::fromStdString(path);
}

std::string ToPath(const QString& path) {
    return path.toStdString();
}

namespace {
QString& Title() {
    static QString title = FromAnsi(app::ApplicationTitle(false));
    return title;
}
} // namespace

const QString& ProgramTitle() {
    return Title();
}

void SetProgramTitle(const QString& title) {
    Title() = title;
}

QString TranslatedText(const support::TUserMessage& message) {
    const QString format = QCoreApplication::translate("Messages", message.Format.c_str());
    QString out;
    size_t next = 0;
    for (qsizetype i = 0; i < format.size(); ++i) {
        if (format[i] == u'%' && i + 1 < format.size() &&
            (format[i + 1] == u's' || format[i + 1] == u'd')) {
            if (next < message.Args.size())
                out += FromAnsi(message.Args[next++]);
            ++i;
        } else {
            out += format[i];
        }
    }
    return out;
}

void TMessageBoxSink::ShowError(const support::TUserMessage& message) {
    QMessageBox::critical(Parent_, ProgramTitle(), TranslatedText(message));
}

void TMessageBoxSink::ShowInformation(const support::TUserMessage& message) {
    QMessageBox::information(Parent_, QCoreApplication::translate("Messages", "Information"),
                             TranslatedText(message));
}

bool TMessageBoxSink::AskYesNo(const support::TUserMessage& message) {
    return QMessageBox::question(Parent_, ProgramTitle(), TranslatedText(message),
                                 QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::Yes) == QMessageBox::Yes;
}

bool TQtLanguageLoader::InstallModule(const std::string& path, bool builtIn) {
    if (builtIn) {
        if (Translator_)
            QCoreApplication::removeTranslator(Translator_.get());
        Translator_.reset();
        return true;
    }
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(FromPath(path)))
        return false;
    if (Translator_)
        QCoreApplication::removeTranslator(Translator_.get());
    Translator_ = std::move(translator);
    return QCoreApplication::installTranslator(Translator_.get());
}

void TQtLanguageLoader::ReloadFormResources() {
    // Installing or removing a translator already posts LanguageChange to every widget; send it
    // once more so windows re-translate even when Qt found nothing to change.
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        QEvent event(QEvent::LanguageChange);
        QCoreApplication::sendEvent(widget, &event);
    }
}

} // namespace ostero::ui
