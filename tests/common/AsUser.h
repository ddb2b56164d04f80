#pragma once
// Runs part of a test as another user, in a child process: the attacks of an unprivileged local
// user against objects of root. Only root can become another user, so callers skip when
// CanActAsOtherUsers() is false and say why.

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

namespace ostero::testing {

inline constexpr uid_t kNobody = 65534;
inline constexpr gid_t kNoGroup = 65534;

inline bool CanActAsOtherUsers() {
    return geteuid() == 0;
}

inline constexpr const char* kNeedsRoot =
    "needs root to act as the unprivileged user 'nobody' (CI runs as root)";

// Runs `work` as `uid` with the primary group `gid` and no other groups; answers the exit code
// of the child (`work`'s answer), or -1 when the child died or could not change its user.
inline int RunAs(uid_t uid, gid_t gid, const std::function<int()>& work) {
    const pid_t child = fork();
    if (child == 0) {
        if (setgroups(0, nullptr) != 0 || setgid(gid) != 0 || setuid(uid) != 0)
            _exit(126);
        _exit(work());
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) == 126)
        return -1;
    return WEXITSTATUS(status);
}

inline int RunAsNobody(const std::function<int()>& work) {
    return RunAs(kNobody, kNoGroup, work);
}

} // namespace ostero::testing
