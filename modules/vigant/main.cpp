// vigantd: the agent. Serves the viewers of this computer over the shared block.
//
//   vigantd [--background] [--shared-folder DIR] [--pid-file FILE]
//
// In the foreground (the default, and how systemd runs it) it serves until SIGTERM or SIGINT.
// With --background it detaches from the terminal first. The modules are looked for in the
// "Shared" folder beside the agent's folder unless --shared-folder names another.

#include "AgentServer.h"
#include "support/platform/Platform.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

namespace {

ostero::vigant::TAgentService* gService = nullptr;

void OnStopSignal(int) {
    if (gService != nullptr)
        gService->Stop();
}

bool Detach() {
    const pid_t child = fork();
    if (child < 0)
        return false;
    if (child > 0)
        _exit(0);
    setsid();
    const int null = open("/dev/null", O_RDWR);
    if (null >= 0) {
        dup2(null, STDIN_FILENO);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        if (null > STDERR_FILENO)
            close(null);
    }
    return true;
}

std::string DefaultSharedFolder() {
    namespace fs = std::filesystem;
    const fs::path program = ostero::platform::Platform().ProgramPath();
    return (program.parent_path().parent_path() / "Shared").string();
}

} // namespace

int main(int argc, char** argv) {
    bool background = false;
    std::string sharedFolder = DefaultSharedFolder();
    std::string pidFile;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--background") {
            background = true;
        } else if (arg == "--shared-folder" && i + 1 < argc) {
            sharedFolder = argv[++i];
        } else if (arg == "--pid-file" && i + 1 < argc) {
            pidFile = argv[++i];
        } else {
            std::cerr << "usage: vigantd [--background] [--shared-folder DIR] [--pid-file FILE]\n";
            return 2;
        }
    }

    ostero::vigant::TAgentServer server(sharedFolder);
    ostero::vigant::TAgentService service(server);
    std::string error;
    if (!service.Open(error)) {
        std::cerr << "vigantd: " << error << "\n";
        return 1;
    }
    if (background && !Detach()) {
        std::cerr << "vigantd: cannot detach: " << std::strerror(errno) << "\n";
        return 1;
    }
    if (!pidFile.empty())
        std::ofstream(pidFile) << getpid() << "\n";

    gService = &service;
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);

    service.Run();
    service.Close();
    gService = nullptr;
    if (!pidFile.empty())
        std::filesystem::remove(pidFile);
    return 0;
}
