#include "tools/report/ReportTool.h"

#include <iostream>

#ifdef OSTERO_REPORT_PICTURES
#include "chart/ExportPictures.h"

#include <QGuiApplication>
#include <QString>

#include <cstdlib>
#include <memory>
#endif

#ifdef OSTERO_REPORT_PICTURES
namespace {

// Qt's notes about the session it runs in mean nothing to a command-line user; real warnings
// still reach standard error.
void QuietMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtDebugMsg || type == QtInfoMsg ||
        message.contains(QLatin1String("XDG_RUNTIME_DIR")))
        return;
    std::cerr << message.toStdString() << "\n";
}

} // namespace
#endif

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    ostero::tools::TToolEnvironment environment;
#ifdef OSTERO_REPORT_PICTURES
    // Pictures need fonts, and fonts need an application object; the tool never needs a screen.
    std::unique_ptr<QGuiApplication> application;
    ostero::chart::TQtExportPictures pictures;
    if (!args.empty() && args[0] == "export") {
        if (std::getenv("QT_QPA_PLATFORM") == nullptr)
            setenv("QT_QPA_PLATFORM", "offscreen", 1);
        qInstallMessageHandler(QuietMessages);
        application = std::make_unique<QGuiApplication>(argc, argv);
        environment.Pictures = &pictures;
    }
#endif
    return ostero::tools::RunReportTool(args, std::cout, std::cerr, environment);
}
