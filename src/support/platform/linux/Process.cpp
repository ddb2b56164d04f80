// Child processes of the platform layer: helpers run with a time-out (systemctl), and programs
// started detached (xdg-open). Between fork and exec the child only makes async-signal-safe
// calls, since the GUI process has other threads.

#include "support/platform/linux/PlatformLinux.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace ostero::platform {

namespace {

constexpr size_t kMaxProcessOutput = 64 * 1024;
constexpr auto kSystemctlTimeout = std::chrono::seconds(5);

class TPipe {
public:
    TPipe() { Ok_ = ::pipe2(Fds_, O_CLOEXEC) == 0; }
    TPipe(const TPipe&) = delete;
    TPipe& operator=(const TPipe&) = delete;
    ~TPipe() {
        CloseRead();
        CloseWrite();
    }
    bool Ok() const { return Ok_; }
    int Read() const { return Fds_[0]; }
    int Write() const { return Fds_[1]; }
    void CloseRead() { Close(Fds_[0]); }
    void CloseWrite() { Close(Fds_[1]); }

private:
    static void Close(int& fd) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
    int Fds_[2] = {-1, -1};
    bool Ok_ = false;
};

// argv for execv, built before fork (the child must not allocate).
class TArgv {
public:
    TArgv(const std::string& program, const std::vector<std::string>& args) : Strings_{program} {
        Strings_.insert(Strings_.end(), args.begin(), args.end());
        for (std::string& arg : Strings_)
            Pointers_.push_back(arg.data());
        Pointers_.push_back(nullptr);
    }
    char* const* Get() const { return Pointers_.data(); }

private:
    std::vector<std::string> Strings_;
    std::vector<char*> Pointers_;
};

// In the child: a clean signal state, then exec; on failure the errno goes up the pipe.
[[noreturn]] void ExecChild(const char* program, char* const* argv, int errorPipe) {
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    for (const int signal : {SIGPIPE, SIGINT, SIGQUIT, SIGTERM, SIGCHLD, SIGXFSZ})
        ::signal(signal, SIG_DFL);
    ::execv(program, argv);
    const int error = errno;
    [[maybe_unused]] const ssize_t ignored = ::write(errorPipe, &error, sizeof error);
    ::_exit(127);
}

void RedirectToNull(int target) {
    const int null = ::open("/dev/null", O_RDWR);
    if (null >= 0) {
        ::dup2(null, target);
        if (null != target)
            ::close(null);
    }
}

// True when the exec in the child succeeded: its error pipe closes without a message.
bool ExecSucceeded(TPipe& errorPipe) {
    errorPipe.CloseWrite();
    int error = 0;
    for (;;) {
        const ssize_t got = ::read(errorPipe.Read(), &error, sizeof error);
        if (got < 0 && errno == EINTR)
            continue;
        return got == 0;
    }
}

int WaitFor(pid_t pid, int options, bool& ended) {
    int status = 0;
    for (;;) {
        const pid_t result = ::waitpid(pid, &status, options);
        if (result < 0 && errno == EINTR)
            continue;
        // With SIGCHLD ignored the child is reaped by the system; it has ended all the same.
        ended = result == pid || (result < 0 && errno == ECHILD);
        if (result == pid && WIFEXITED(status))
            return WEXITSTATUS(status);
        return -1;
    }
}

bool SystemdRunning() {
    // systemd creates this folder when it runs as the init system (the sd_booted() test).
    struct stat info {};
    return ::lstat("/run/systemd/system", &info) == 0 && S_ISDIR(info.st_mode);
}

std::string Systemctl() {
    std::string found = FindInPath("systemctl");
    if (found.empty() && ::access("/usr/bin/systemctl", X_OK) == 0)
        found = "/usr/bin/systemctl";
    return found;
}

} // namespace

std::string FindInPath(std::string_view name) {
    if (name.empty())
        return {};
    auto executable = [](const std::string& path) {
        struct stat info {};
        return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
               ::access(path.c_str(), X_OK) == 0;
    };
    if (name.find('/') != std::string_view::npos)
        return executable(std::string(name)) ? std::string(name) : std::string();
    const char* path = std::getenv("PATH");
    const std::string_view folders = path ? path : "/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    while (start <= folders.size()) {
        size_t end = folders.find(':', start);
        if (end == std::string_view::npos)
            end = folders.size();
        // An empty entry would mean the current folder; a program is never taken from there.
        if (end > start) {
            std::string candidate(folders.substr(start, end - start));
            candidate += '/';
            candidate += name;
            if (executable(candidate))
                return candidate;
        }
        start = end + 1;
    }
    return {};
}

TProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                          std::chrono::milliseconds timeout) {
    TProcessResult result;
    const TArgv argv(program, args);
    TPipe output;
    TPipe errorPipe;
    if (!output.Ok() || !errorPipe.Ok())
        return result;
    const auto deadline = std::chrono::steady_clock::now() + timeout;

    const pid_t pid = ::fork();
    if (pid < 0)
        return result;
    if (pid == 0) {
        // Its own process group, so that a time-out ends its helpers too.
        ::setpgid(0, 0);
        RedirectToNull(STDIN_FILENO);
        ::dup2(output.Write(), STDOUT_FILENO);
        RedirectToNull(STDERR_FILENO);
        ExecChild(program.c_str(), argv.Get(), errorPipe.Write());
    }
    ::setpgid(pid, pid); // also here, so that the group exists before any kill below
    output.CloseWrite();
    bool ended = false;
    if (!ExecSucceeded(errorPipe)) {
        WaitFor(pid, 0, ended);
        return result;
    }
    result.Started = true;

    auto remaining = [&] {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        return static_cast<int>(std::max<int64_t>(0, left.count()));
    };
    char buffer[4096];
    bool open = true;
    // One poll and read; true when something was read.
    auto readSome = [&](int waitMs) {
        pollfd fd{output.Read(), POLLIN, 0};
        if (::poll(&fd, 1, waitMs) <= 0)
            return false;
        const ssize_t got = ::read(output.Read(), buffer, sizeof buffer);
        if (got > 0) {
            const size_t room =
                kMaxProcessOutput - std::min(kMaxProcessOutput, result.Output.size());
            result.Output.append(buffer, std::min(room, static_cast<size_t>(got)));
            return true;
        }
        if (got == 0 || errno != EINTR)
            open = false;
        return false;
    };
    // The end of the process is checked between reads, since a helper it left behind may keep
    // the output open.
    int exitCode = -1;
    for (;;) {
        if (open)
            readSome(std::min(remaining(), 20));
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(std::min(remaining(), 5)));
        exitCode = WaitFor(pid, WNOHANG, ended);
        if (ended || remaining() <= 0)
            break;
    }
    // What it wrote just before ending.
    for (size_t reads = 0; ended && open && reads < kMaxProcessOutput / sizeof buffer + 1;
         ++reads) {
        if (!readSome(0))
            break;
    }
    if (!ended) {
        ::kill(-pid, SIGKILL);
        ::kill(pid, SIGKILL);
        WaitFor(pid, 0, ended);
        result.TimedOut = true;
        return result;
    }
    result.ExitCode = exitCode;
    return result;
}

bool TPlatformLinux::ShellExecute(const std::string& target) {
    if (target.empty())
        return false;
    const std::string opener = FindInPath("xdg-open");
    if (opener.empty())
        return false;
    const TArgv argv(opener, {target});
    TPipe errorPipe;
    if (!errorPipe.Ok())
        return false;

    // Double fork: the opener belongs to init, not to us, so it never becomes our zombie and
    // we never wait for the application it starts.
    const pid_t pid = ::fork();
    if (pid < 0)
        return false;
    if (pid == 0) {
        ::setsid();
        const pid_t grandchild = ::fork();
        if (grandchild < 0) {
            const int error = errno;
            [[maybe_unused]] const ssize_t ignored =
                ::write(errorPipe.Write(), &error, sizeof error);
            ::_exit(1);
        }
        if (grandchild > 0)
            ::_exit(0);
        RedirectToNull(STDIN_FILENO);
        ExecChild(argv.Get()[0], argv.Get(), errorPipe.Write());
    }
    bool ended = false;
    const bool started = ExecSucceeded(errorPipe);
    WaitFor(pid, 0, ended);
    return started;
}

std::string ServiceUnitName(const std::string& name) {
    std::string unit;
    for (const char c : name) {
        const char lower = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        const bool allowed = (lower >= 'a' && lower <= 'z') || (lower >= '0' && lower <= '9') ||
                             lower == '-' || lower == '_' || lower == '.' || lower == '@' ||
                             lower == ':';
        if (!allowed)
            return {};
        unit += lower;
    }
    // A leading '-' would be read as an option, a leading '.' names no unit.
    if (unit.empty() || unit.front() == '-' || unit.front() == '.' || unit.size() > 200)
        return {};
    constexpr std::string_view suffix = ".service";
    if (unit.size() < suffix.size() ||
        unit.compare(unit.size() - suffix.size(), suffix.size(), suffix) != 0)
        unit += suffix;
    return unit;
}

TServiceState ParseSystemctlState(std::string_view output) {
    std::string_view loadState;
    std::string_view activeState;
    size_t start = 0;
    while (start < output.size()) {
        size_t end = output.find('\n', start);
        if (end == std::string_view::npos)
            end = output.size();
        std::string_view line = output.substr(start, end - start);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
            line.remove_suffix(1);
        if (line.starts_with("LoadState="))
            loadState = line.substr(10);
        else if (line.starts_with("ActiveState="))
            activeState = line.substr(12);
        start = end + 1;
    }
    if (loadState == "not-found")
        return TServiceState::NotInstalled;
    if (loadState != "loaded" && loadState != "masked")
        return TServiceState::Unknown;
    if (activeState == "active" || activeState == "reloading" || activeState == "refreshing")
        return TServiceState::Running;
    if (activeState == "inactive" || activeState == "failed")
        return TServiceState::Stopped;
    if (activeState == "activating")
        return TServiceState::StartPending;
    if (activeState == "deactivating")
        return TServiceState::StopPending;
    return TServiceState::Unknown;
}

TServiceState TPlatformLinux::ServiceState(const std::string& name) {
    const std::string unit = ServiceUnitName(name);
    if (unit.empty())
        return TServiceState::NotInstalled;
    const std::string systemctl = Systemctl();
    if (systemctl.empty() || !SystemdRunning())
        return TServiceState::Unknown;
    const TProcessResult result = RunProcess(
        systemctl, {"show", "--no-pager", "-p", "LoadState", "-p", "ActiveState", "--", unit},
        kSystemctlTimeout);
    if (!result.Started || result.TimedOut || result.ExitCode != 0)
        return TServiceState::Unknown;
    return ParseSystemctlState(result.Output);
}

bool TPlatformLinux::StartService(const std::string& name) {
    const std::string unit = ServiceUnitName(name);
    const std::string systemctl = Systemctl();
    if (unit.empty() || systemctl.empty() || !SystemdRunning())
        return false;
    const TProcessResult result = RunProcess(
        systemctl, {"start", "--no-block", "--no-ask-password", "--", unit}, kSystemctlTimeout);
    return result.Started && !result.TimedOut && result.ExitCode == 0;
}

} // namespace ostero::platform
