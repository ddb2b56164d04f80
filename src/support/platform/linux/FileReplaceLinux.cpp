#include "support/platform/FileReplace.h"
#include "support/platform/linux/PlatformLinux.h"

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include <fcntl.h>
#include <limits.h>
#include <sys/random.h>
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

// The kernel's rule for links in shared folders (protected_symlinks): a link in a sticky,
// world-writable folder is followed only when it belongs to the user or to the folder's owner.
// Anyone may plant a link there, and following it would let them choose what we overwrite.
bool MayFollowLink(const struct stat& link, const std::string& folder, std::string& reason) {
    struct stat folderInfo {};
    if (::stat(folder.c_str(), &folderInfo) != 0) {
        reason = std::strerror(errno);
        return false;
    }
    const bool shared = (folderInfo.st_mode & S_ISVTX) != 0 && (folderInfo.st_mode & S_IWOTH) != 0;
    if (!shared || link.st_uid == ::geteuid() || link.st_uid == folderInfo.st_uid)
        return true;
    reason = "it is a symbolic link that belongs to another user in the shared folder " + folder +
             "; it is not followed";
    return false;
}

// The file that `path` stands for: links at the end of the name are followed hop by hop, each
// under MayFollowLink. Folders along the way are left to the kernel, which applies the same rule
// to them. A name that does not exist (or a dangling link's target) is returned as it is.
bool ResolveFinalLinks(const std::string& path, std::string& resolved, std::string& reason) {
    constexpr int kMaxLinks = 40; // as the kernel's own limit
    std::string current = path;
    for (int hop = 0;; ++hop) {
        struct stat info {};
        if (::lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
            resolved = std::move(current);
            return true;
        }
        if (hop == kMaxLinks) {
            reason = std::strerror(ELOOP);
            return false;
        }
        const std::string folder = FolderOf(current);
        if (!MayFollowLink(info, folder, reason))
            return false;
        // Not st_size: some file systems report 0 for links.
        std::string target(PATH_MAX, '\0');
        const ssize_t length = ::readlink(current.c_str(), target.data(), target.size());
        if (length < 0 || static_cast<size_t>(length) >= target.size()) {
            reason = std::strerror(length < 0 ? errno : ENAMETOOLONG);
            return false;
        }
        target.resize(static_cast<size_t>(length));
        if (target.empty()) {
            reason = std::strerror(ENOENT);
            return false;
        }
        current = target.front() == '/' ? target : folder + "/" + target;
    }
}

// A name nobody can guess beforehand, so that planting files under the coming names cannot
// keep us from creating the temporary file.
std::string RandomSuffix() {
    static std::atomic<unsigned> sequence{0};
    uint64_t random = 0;
    if (::getrandom(&random, sizeof random, GRND_NONBLOCK) != sizeof random)
        random = 0;
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(random));
    return std::to_string(::getpid()) + "-" + std::to_string(sequence++) + "-" + text;
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
    // Replace what a symbolic link points at, not the link, as editors do; never through a link
    // another user planted in a shared folder.
    std::string resolved;
    std::string reason;
    if (!ResolveFinalLinks(path, resolved, reason))
        return fail(reason);
    const fs::path target(resolved);
    if (target.filename().empty() || target.filename() == "." || target.filename() == "..")
        return fail("no file name");
    struct stat previous {};
    Replacing_ = ::stat(target.c_str(), &previous) == 0;
    if (Replacing_ && !S_ISREG(previous.st_mode))
        return fail("not a regular file");
    PreviousMode_ = previous.st_mode & 07777;
    NewFileMode_ = newFileMode;
    Path_ = target.string();

    // A new file in the same folder, so that the rename stays on one file system; created
    // exclusively and never through a link, so that nobody else's file is ever reused.
    const mode_t createMode = newFileMode >= 0 ? static_cast<mode_t>(newFileMode) : 0666;
    for (int attempt = 0; attempt < 100 && Fd_ < 0; ++attempt) {
        Temporary_ =
            (target.parent_path() / ("." + target.filename().string() + ".tmp-" + RandomSuffix()))
                .string();
        Fd_ = ::open(Temporary_.c_str(),
                     O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, createMode);
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
