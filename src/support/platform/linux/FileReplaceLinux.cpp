#include "support/platform/FileReplace.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ostero::platform {

namespace fs = std::filesystem;

namespace {

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(written));
    }
    return true;
}

} // namespace

bool ReplaceFileContents(const std::string& path, std::string_view bytes, std::string& error,
                         int newFileMode) {
    const auto fail = [&](const std::string& reason) {
        error = "Cannot write " + path + ": " + reason;
        return false;
    };
    if (path.empty())
        return fail("no file name");
    std::error_code ec;
    fs::path target(path);
    // Replace what a symbolic link points at, not the link.
    if (fs::is_symlink(fs::symlink_status(target, ec))) {
        fs::path resolved = fs::weakly_canonical(target, ec);
        if (!ec)
            target = std::move(resolved);
    }
    if (target.filename().empty())
        return fail("no file name");
    struct stat previous {};
    const bool replacing = ::stat(target.c_str(), &previous) == 0;
    if (replacing && !S_ISREG(previous.st_mode))
        return fail("not a regular file");

    // A new file in the same folder, so that the rename stays on one file system; created
    // exclusively so that nobody else's file is ever reused.
    static std::atomic<unsigned> sequence{0};
    const mode_t createMode = newFileMode >= 0 ? static_cast<mode_t>(newFileMode) : 0666;
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary =
            (target.parent_path() / ("." + target.filename().string() + ".tmp-" +
                                     std::to_string(::getpid()) + "-" + std::to_string(sequence++)))
                .string();
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY,
                    createMode);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0)
        return fail(std::strerror(errno));

    std::string reason;
    bool ok = WriteAll(fd, bytes);
    if (!ok)
        reason = std::strerror(errno);
    // The creation mode passed through the umask; a replaced file keeps its old mode exactly.
    const bool setMode = replacing || newFileMode >= 0;
    const mode_t mode = replacing ? (previous.st_mode & 07777) : createMode;
    if (ok && setMode && ::fchmod(fd, mode) != 0) {
        ok = false;
        reason = std::strerror(errno);
    }
    if (ok && ::fsync(fd) != 0) {
        ok = false;
        reason = std::strerror(errno);
    }
    if (::close(fd) != 0 && ok) {
        ok = false;
        reason = std::strerror(errno);
    }
    if (ok && ::rename(temporary.c_str(), target.c_str()) != 0) {
        ok = false;
        reason = std::strerror(errno);
    }
    if (!ok) {
        ::unlink(temporary.c_str());
        return fail(reason);
    }
    // Make the rename itself durable; a failure here no longer endangers the data.
    const std::string folder = target.has_parent_path() ? target.parent_path().string() : ".";
    const int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd >= 0) {
        ::fsync(folderFd);
        ::close(folderFd);
    }
    return true;
}

} // namespace ostero::platform
