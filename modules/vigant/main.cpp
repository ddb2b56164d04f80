// vigantd: the agent. Serves the viewers of this computer over the shared block.
//
//   vigantd [--background] [--shared-folder DIR] [--pid-file FILE] [--runtime-dir DIR]
//           [--group NAME]
//
// In the foreground (the default, and how systemd runs it) it serves until SIGTERM or SIGINT.
// With --background it detaches from the terminal first. The modules are looked for in the
// "Shared" folder beside the agent's folder unless --shared-folder names another.
//
// Who may query it: when the agent runs with the group NAME ("taveric") as its group, as the
// service does, the members of that group; otherwise only its own user. Its runtime folder
// (systemd's RuntimeDirectory, else $XDG_RUNTIME_DIR/vigant, else /run/vigant for root, else
// /tmp/vigant-UID) holds the lock that keeps a second agent out.

#include "AgentServer.h"
#include "support/platform/Platform.h"

#include <fcntl.h>
#include <grp.h>
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

std::string DefaultRuntimeFolder() {
    if (const char* systemd = std::getenv("RUNTIME_DIRECTORY"); systemd && *systemd == '/') {
        // systemd may list several folders, separated by colons: the first is ours.
        const std::string folders = systemd;
        return folders.substr(0, folders.find(':'));
    }
    if (const char* session = std::getenv("XDG_RUNTIME_DIR"); session && *session == '/')
        return std::string(session) + "/vigant";
    if (geteuid() == 0)
        return "/run/vigant";
    // A folder of this user's own in the temporary folder; the agent refuses it when somebody
    // else made it first.
    return "/tmp/vigant-" + std::to_string(geteuid());
}

// The group's members may query the agent when it runs with that group, as the service does.
ostero::platform::TIpcAccess AccessFor(const std::string& groupName) {
    const group* entry = getgrnam(groupName.c_str());
    if (entry != nullptr && entry->gr_gid == getegid())
        return ostero::platform::TIpcAccess::OwnerAndGroup;
    return ostero::platform::TIpcAccess::Owner;
}

// Writes the process number into `path` without following a link and without taking over a file
// of another user: a pid file may lie in a folder others can write.
bool WritePidFile(const std::string& path, std::string& error) {
    const int fd =
        open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0640);
    if (fd < 0) {
        error = "cannot write the pid file " + path + ": " + std::strerror(errno);
        return false;
    }
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != geteuid()) {
        close(fd);
        error = "the pid file " + path + " belongs to another user or is not a plain file";
        return false;
    }
    const std::string text = std::to_string(getpid()) + "\n";
    const bool written = ftruncate(fd, 0) == 0 &&
                         write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    close(fd);
    if (!written)
        error = "cannot write the pid file " + path + ": " + std::strerror(errno);
    return written;
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
    std::string runtimeFolder = DefaultRuntimeFolder();
    std::string groupName = "taveric";
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--background") {
            background = true;
        } else if (arg == "--shared-folder" && i + 1 < argc) {
            sharedFolder = argv[++i];
        } else if (arg == "--pid-file" && i + 1 < argc) {
            pidFile = argv[++i];
        } else if (arg == "--runtime-dir" && i + 1 < argc) {
            runtimeFolder = argv[++i];
        } else if (arg == "--group" && i + 1 < argc) {
            groupName = argv[++i];
        } else {
            std::cerr << "usage: vigantd [--background] [--shared-folder DIR] [--pid-file FILE] "
                         "[--runtime-dir DIR] [--group NAME]\n";
            return 2;
        }
    }

    ostero::vigant::TAgentServer server(sharedFolder);
    ostero::vigant::TAgentService service(server, runtimeFolder, AccessFor(groupName));
    std::string error;
    if (!service.Open(error)) {
        std::cerr << "vigantd: " << error << "\n";
        return 1;
    }
    if (background && !Detach()) {
        std::cerr << "vigantd: cannot detach: " << std::strerror(errno) << "\n";
        return 1;
    }
    if (!pidFile.empty() && !WritePidFile(pidFile, error)) {
        std::cerr << "vigantd: " << error << "\n";
        service.Close();
        return 1;
    }

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
