#pragma once
// Runs a reader in a forked child, so that a reader that runs out of memory or aborts cannot take
// the test program with it, and tells how the child ended and how much memory it took.

#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>

namespace ostero::testing {

// AddressSanitizer reserves terabytes of address space, so an address-space limit stops it
// before the reader gets to allocate, and it keeps freed memory in quarantine, so a peak says
// nothing about the reader. Memory tests skip themselves under it.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif
#else
constexpr bool kAddressSanitizer = false;
#endif

// What the child's work answers: the reader's result and one count to check (series, points).
struct TChildAnswer {
    int64_t Result = 0;
    int64_t Count = 0;
};

struct TChildRun {
    bool Exited = false; // ended normally with the answer below, not by a signal or an abort
    int Signal = 0;      // the signal that ended it otherwise
    TChildAnswer Answer;
    int64_t BaseKb = 0; // resident size just before the work; -1 when the peak could not be reset
    int64_t PeakKb = 0; // peak resident size (VmHWM) after the work
    int64_t GrowthKb() const { return PeakKb - BaseKb; }
};

// A "Name:   123 kB" line of /proc/self/status, in kB; -1 when missing.
inline int64_t ProcStatusKb(const char* name) {
    std::ifstream status("/proc/self/status");
    const std::string prefix = std::string(name) + ":";
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(prefix, 0) == 0)
            return std::stoll(line.substr(prefix.size()));
    }
    return -1;
}

// Sets VmHWM back to the present resident size.
inline bool ResetPeak() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return static_cast<bool>(clear);
}

// Runs `work` in a child process. With `addressSpaceHeadroom` (bytes) the child's address space
// is limited to its size at the start plus that much, so that larger allocations fail.
inline TChildRun RunInChild(const std::function<TChildAnswer()>& work,
                            size_t addressSpaceHeadroom = 0) {
    TChildRun run;
    int fds[2];
    if (pipe(fds) != 0)
        return run;
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid < 0) {
        close(fds[0]);
        close(fds[1]);
        return run;
    }
    if (pid == 0) {
        close(fds[0]);
        // Freed memory the parent kept would let the work grow without showing in the peak.
        malloc_trim(0);
        if (addressSpaceHeadroom > 0) {
            const rlim_t limit =
                static_cast<rlim_t>(ProcStatusKb("VmSize")) * 1024 + addressSpaceHeadroom;
            const rlimit rl{limit, limit};
            if (setrlimit(RLIMIT_AS, &rl) != 0)
                _exit(3);
        }
        // The child starts with the parent's peak; from here on only its own growth counts.
        int64_t out[4] = {ResetPeak() ? ProcStatusKb("VmRSS") : -1, 0, 0, 0};
        TChildAnswer answer;
        try {
            answer = work();
        } catch (...) {
            // What an exception that escapes the reader does to the program.
            std::abort();
        }
        out[1] = ProcStatusKb("VmHWM");
        out[2] = answer.Result;
        out[3] = answer.Count;
        const bool written = write(fds[1], out, sizeof out) == static_cast<ssize_t>(sizeof out);
        _exit(written ? 0 : 4);
    }
    close(fds[1]);
    int64_t in[4] = {};
    const bool complete = read(fds[0], in, sizeof in) == static_cast<ssize_t>(sizeof in);
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFSIGNALED(status))
        run.Signal = WTERMSIG(status);
    run.Exited = complete && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    run.BaseKb = in[0];
    run.PeakKb = in[1];
    run.Answer = {in[2], in[3]};
    return run;
}

} // namespace ostero::testing
