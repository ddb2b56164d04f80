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

TFileReplacement::~TFileReplacement() {
    if (Fd_ >= 0) {
        ::close(Fd_);
        ::unlink(Temporary_.c_str());
    }
}

bool TFileReplacement::Begin(const std::string& path, std::string& error, int newFileMode) {
    const auto fail = [&](const std::string& reason) {
        error = "Cannot write " + path + ": " + reason;
        return false;
    };
    if (Fd_ >= 0)
        return fail("a replacement is already under way");
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
    Replacing_ = ::stat(target.c_str(), &previous) == 0;
    if (Replacing_ && !S_ISREG(previous.st_mode))
        return fail("not a regular file");
    PreviousMode_ = previous.st_mode & 07777;
    NewFileMode_ = newFileMode;
    Path_ = target.string();

    // A new file in the same folder, so that the rename stays on one file system; created
    // exclusively so that nobody else's file is ever reused.
    static std::atomic<unsigned> sequence{0};
    const mode_t createMode = newFileMode >= 0 ? static_cast<mode_t>(newFileMode) : 0666;
    for (int attempt = 0; attempt < 100 && Fd_ < 0; ++attempt) {
        Temporary_ =
            (target.parent_path() / ("." + target.filename().string() + ".tmp-" +
                                     std::to_string(::getpid()) + "-" + std::to_string(sequence++)))
                .string();
        Fd_ = ::open(Temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY,
                     createMode);
        if (Fd_ < 0 && errno != EEXIST)
            break;
    }
    if (Fd_ < 0)
        return fail(std::strerror(errno));
    Failure_.clear();
    return true;
}

bool TFileReplacement::Write(std::string_view bytes) {
    if (Fd_ < 0)
        return false;
    if (!Failure_.empty())
        return false;
    if (!WriteAll(Fd_, bytes)) {
        Failure_ = std::strerror(errno);
        return false;
    }
    return true;
}

bool TFileReplacement::Commit(std::string& error) {
    if (Fd_ < 0) {
        error = "Cannot write " + Path_ + ": nothing was begun";
        return false;
    }
    std::string reason = Failure_;
    bool ok = reason.empty();
    // The creation mode passed through the umask; a replaced file keeps its old mode exactly.
    const bool setMode = Replacing_ || NewFileMode_ >= 0;
    const mode_t mode =
        Replacing_ ? static_cast<mode_t>(PreviousMode_) : static_cast<mode_t>(NewFileMode_);
    if (ok && setMode && ::fchmod(Fd_, mode) != 0) {
        ok = false;
        reason = std::strerror(errno);
    }
    if (ok && ::fsync(Fd_) != 0) {
        ok = false;
        reason = std::strerror(errno);
    }
    if (::close(Fd_) != 0 && ok) {
        ok = false;
        reason = std::strerror(errno);
    }
    Fd_ = -1;
    if (ok && ::rename(Temporary_.c_str(), Path_.c_str()) != 0) {
        ok = false;
        reason = std::strerror(errno);
    }
    if (!ok) {
        ::unlink(Temporary_.c_str());
        error = "Cannot write " + Path_ + ": " + reason;
        return false;
    }
    // Make the rename itself durable; a failure here no longer endangers the data.
    const fs::path target(Path_);
    const std::string folder = target.has_parent_path() ? target.parent_path().string() : ".";
    const int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd >= 0) {
        ::fsync(folderFd);
        ::close(folderFd);
    }
    return true;
}

bool ReplaceFileContents(const std::string& path, std::string_view bytes, std::string& error,
                         int newFileMode) {
    TFileReplacement replacement;
    if (!replacement.Begin(path, error, newFileMode))
        return false;
    replacement.Write(bytes);
    return replacement.Commit(error);
}

} // namespace ostero::platform
