#include "ui/shell/ProgramEntry.h"

#include "app/Startup.h"
#include "sources/DialogLibrary.h"
#include "support/Language.h"
#include "support/SysUtils.h"
#include "support/TextCodec.h"
#include "support/platform/Platform.h"
#include "ui/shell/FormMain.h"
#include "ui/shell/QtBridge.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>

namespace ostero::ui {

int RunProgram(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName("ostero");
    QApplication::setOrganizationName("Taveric");

    // Waits inside the cores let the window keep answering.
    support::SetProcessMessagesHandler([] { QCoreApplication::processEvents(); });

    TQtLanguageLoader languageLoader;
    support::InitLanguage();
    support::InstallLocaleModule(languageLoader);
    support::SwitchLanguage(app::SessionLanguageIndex(std::getenv("SessionLanguage")), true,
                            languageLoader);

    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i)
        args.emplace_back(argv[i]);
    const app::TStartCommand command = app::ParseFirstArgument(args);

    if (command.Mode == app::TStartMode::ConfigSharedMem ||
        command.Mode == app::TStartMode::ConfigRegistry) {
        TMessageBoxSink sink;
        sources::TDialogLibrary dialogs(sink);
        if (command.Mode == app::TStartMode::ConfigSharedMem)
            dialogs.ShowSharedMemConfigDialog("", 5000);
        else
            dialogs.ShowRegConfigDialog(support::Utf8ToAnsi(command.Text));
        return 0;
    }

    const std::string helpFile =
        app::SelectHelpFile(platform::Platform().ProgramPath(), support::CurrentLanguageCode());
    TFormMain form(args, helpFile, languageLoader);

    if (command.Mode == app::TStartMode::CreateReport) {
        // The window stays hidden; the report writer is not part of this build yet, so say so
        // rather than end as if a report had been written.
        std::fprintf(stderr,
                     "ostero: the automatic report into '%s' is not available in this build\n",
                     command.Text.c_str());
        return 1;
    }

    form.show();
    return QApplication::exec();
}

} // namespace ostero::ui
