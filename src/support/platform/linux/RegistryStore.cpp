// The registry hives as files in .reg syntax, shared between processes. Readers take no lock:
// the data file is only ever replaced whole by renaming a synced temporary file over it, so a
// reader always sees one whole version. Writers serialise their read-change-replace under an
// exclusive lock on a separate file beside it, "<file>.lock", which only its owner can open, so
// that no other user can hold it and stall the writers (a lock on a descriptor opened for
// reading is as good as any other).

#include "support/platform/linux/PlatformLinux.h"

#include "support/platform/FileReplace.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ostero::platform {

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

namespace {

// A lock held longer than this belongs to a stuck process; the call fails instead of hanging.
constexpr auto kLockTimeout = std::chrono::seconds(10);

class TFd {
public:
    explicit TFd(int fd = -1) : Fd_(fd) {}
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    ~TFd() { Close(); }
    int Get() const { return Fd_; }
    bool Valid() const { return Fd_ >= 0; }
    void Reset(int fd) {
        Close();
        Fd_ = fd;
    }
    // Closes now; false when the close reported an error (a late write failure).
    bool Close() {
        if (Fd_ < 0)
            return true;
        const int result = ::close(Fd_);
        Fd_ = -1;
        return result == 0;
    }

private:
    int Fd_;
};

std::string ErrnoText(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

std::string EnvValue(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

bool Lock(int fd, int operation) {
    const auto deadline = std::chrono::steady_clock::now() + kLockTimeout;
    // Short pauses: a long one would let a busy writer take the lock again and again first.
    auto pause = std::chrono::microseconds(100);
    for (;;) {
        if (::flock(fd, operation | LOCK_NB) == 0)
            return true;
        if (errno != EWOULDBLOCK && errno != EINTR)
            return false;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::microseconds(1000));
    }
}

enum class TReadOutcome { Ok, Missing, TooLarge, Failed };

// The whole file, refusing more than kRegistryMaxFileSize bytes.
TReadOutcome ReadWholeFile(const std::string& path, std::string& text, struct stat& info,
                           std::string& error) {
    text.clear();
    TFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!fd.Valid()) {
        if (errno == ENOENT)
            return TReadOutcome::Missing;
        error = ErrnoText("cannot open " + path);
        return TReadOutcome::Failed;
    }
    if (::fstat(fd.Get(), &info) != 0) {
        error = ErrnoText("cannot examine " + path);
        return TReadOutcome::Failed;
    }
    if (!S_ISREG(info.st_mode)) {
        error = path + " is not a regular file";
        return TReadOutcome::Failed;
    }
    if (static_cast<uint64_t>(info.st_size) > kRegistryMaxFileSize)
        return TReadOutcome::TooLarge;
    text.resize(static_cast<size_t>(info.st_size) + 1);
    size_t used = 0;
    // One byte more than the limit is asked for, so a file that grew meanwhile is noticed.
    for (;;) {
        if (used == text.size()) {
            if (text.size() > kRegistryMaxFileSize)
                return TReadOutcome::TooLarge;
            text.resize(std::min(text.size() * 2, kRegistryMaxFileSize + 1));
        }
        const ssize_t got = ::read(fd.Get(), text.data() + used, text.size() - used);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            error = ErrnoText("cannot read " + path);
            return TReadOutcome::Failed;
        }
        if (got == 0)
            break;
        used += static_cast<size_t>(got);
    }
    text.resize(used);
    return TReadOutcome::Ok;
}

TRegistryParseResult IoFailure(std::string detail) {
    TRegistryParseResult result;
    result.Status = TRegistryStatus::IoError;
    result.Detail = std::move(detail);
    return result;
}

// The writers' lock file of `path`, opened for the exclusive lock. It must be a regular file
// (never a link: a planted one would make us create or lock a file elsewhere), belong to this
// user or to the owner of its folder (who controls that folder anyway), and be open to nobody
// else; one left open to others by an older version is made private.
bool OpenWriterLock(const std::string& path, TFd& lock, std::string& message) {
    const std::string lockPath = path + ".lock";
    lock.Reset(::open(lockPath.c_str(),
                      O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0600));
    if (!lock.Valid()) {
        message = ErrnoText("cannot open the lock file " + lockPath);
        return false;
    }
    struct stat info {};
    if (::fstat(lock.Get(), &info) != 0) {
        message = ErrnoText("cannot examine the lock file " + lockPath);
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        message = "the lock file " + lockPath + " is not a regular file";
        return false;
    }
    struct stat folder {};
    const bool folderKnown = ::stat(FolderOf(path).c_str(), &folder) == 0;
    if (info.st_uid != ::geteuid() && !(folderKnown && info.st_uid == folder.st_uid)) {
        message = "the lock file " + lockPath + " belongs to another user";
        return false;
    }
    if ((info.st_mode & 077) != 0 && ::fchmod(lock.Get(), 0600) != 0) {
        message = ErrnoText("the lock file " + lockPath + " is open to other users");
        return false;
    }
    return true;
}

// Reads and parses the file; a writer holds the lock, a reader needs none.
TRegistryParseResult LoadLocked(const std::string& path, TRegistryFile& registry, struct stat& info,
                                bool& exists) {
    std::string text;
    std::string error;
    exists = false;
    switch (ReadWholeFile(path, text, info, error)) {
    case TReadOutcome::Missing:
        registry = TRegistryFile();
        return {};
    case TReadOutcome::TooLarge: {
        registry = TRegistryFile();
        TRegistryParseResult result;
        result.Status = TRegistryStatus::TooLarge;
        return result;
    }
    case TReadOutcome::Failed:
        registry = TRegistryFile();
        return IoFailure(error);
    case TReadOutcome::Ok:
        break;
    }
    exists = true;
    return registry.Parse(text);
}

std::string FullKey(TRegistryHive hive, const std::string& key) {
    const std::string normalized = NormalizeKeyPath(key);
    std::string full(RegistryRootName(hive));
    if (!normalized.empty())
        full += "\\" + normalized;
    return full;
}

bool IsHiveRoot(const std::string& key) {
    return NormalizeKeyPath(key).empty();
}

// The current user's settings may hold stored passwords; the machine's are for everybody.
unsigned NewFileMode(TRegistryHive hive) {
    return hive == TRegistryHive::CurrentUser ? 0600 : 0644;
}

TRegistryFile Load(TRegistryHive hive) {
    TRegistryFile registry;
    ReadRegistryFile(RegistryFilePath(hive), registry);
    return registry;
}

bool Update(TRegistryHive hive, const std::function<TRegistryChange(TRegistryFile&)>& change) {
    return UpdateRegistryFile(RegistryFilePath(hive), change, NewFileMode(hive));
}

TRegistryChange Outcome(bool ok, bool changed) {
    if (!ok)
        return TRegistryChange::Failed;
    return changed ? TRegistryChange::Changed : TRegistryChange::Unchanged;
}

} // namespace

std::string HomeFolder() {
    std::string home = EnvValue("HOME");
    if (!home.empty())
        return home;
    struct passwd entry {};
    struct passwd* found = nullptr;
    char buffer[4096];
    if (::getpwuid_r(::geteuid(), &entry, buffer, sizeof buffer, &found) == 0 && found &&
        found->pw_dir)
        return found->pw_dir;
    return "/";
}

std::string XdgConfigHome() {
    const std::string configured = EnvValue("XDG_CONFIG_HOME");
    // Relative values are invalid by the XDG rules and are ignored.
    if (!configured.empty() && configured.front() == '/')
        return configured;
    return HomeFolder() + "/.config";
}

std::string XdgDataHome() {
    const std::string configured = EnvValue("XDG_DATA_HOME");
    if (!configured.empty() && configured.front() == '/')
        return configured;
    return HomeFolder() + "/.local/share";
}

std::string_view RegistryRootName(TRegistryHive hive) {
    return hive == TRegistryHive::CurrentUser ? "HKEY_CURRENT_USER" : "HKEY_LOCAL_MACHINE";
}

std::string RegistryFilePath(TRegistryHive hive) {
    if (hive == TRegistryHive::LocalMachine) {
        const std::string overridden = EnvValue("TAVERIC_LOCAL_MACHINE_REGISTRY");
        return overridden.empty() ? "/etc/Taveric/registry.reg" : overridden;
    }
    return XdgConfigHome() + "/Taveric/registry.reg";
}

TRegistryParseResult ReadRegistryFile(const std::string& path, TRegistryFile& registry) {
    struct stat info {};
    bool exists = false;
    return LoadLocked(path, registry, info, exists);
}

bool UpdateRegistryFile(const std::string& path,
                        const std::function<TRegistryChange(TRegistryFile&)>& change,
                        unsigned newFileMode, std::string* error) {
    std::string ignored;
    std::string& message = error ? *error : ignored;
    message.clear();

    std::error_code folderError;
    std::filesystem::create_directories(FolderOf(path), folderError);
    if (folderError) {
        message = "cannot create the folder of " + path + ": " + folderError.message();
        return false;
    }
    TFd lock;
    if (!OpenWriterLock(path, lock, message))
        return false;
    if (!Lock(lock.Get(), LOCK_EX)) {
        message = "the registry file " + path + " stays locked by another process";
        return false;
    }

    TRegistryFile registry;
    struct stat info {};
    bool exists = false;
    const TRegistryParseResult loaded = LoadLocked(path, registry, info, exists);
    if (!loaded.Ok()) {
        message = loaded.Message();
        return false;
    }
    switch (change(registry)) {
    case TRegistryChange::Failed:
        return false;
    case TRegistryChange::Unchanged:
        return true;
    case TRegistryChange::Changed:
        break;
    }
    const std::string text = registry.Serialize();
    if (text.size() > kRegistryMaxFileSize) {
        message = "the change would make " + path + " larger than the limit of " +
                  std::to_string(kRegistryMaxFileSize) + " bytes";
        return false;
    }
    return ReplaceFileContents(path, text, message, static_cast<int>(newFileMode));
}

bool TPlatformLinux::RegKeyExists(TRegistryHive hive, const std::string& key) {
    // The hive's root always exists.
    return IsHiveRoot(key) || Load(hive).KeyExists(FullKey(hive, key));
}

std::optional<std::string> TPlatformLinux::RegReadString(TRegistryHive hive, const std::string& key,
                                                         const std::string& name) {
    const TRegistryFile registry = Load(hive);
    const TRegValue* value = registry.FindValue(FullKey(hive, key), name);
    if (!value)
        return std::nullopt;
    switch (value->Kind) {
    case TRegValueKind::String:
        return value->Text;
    case TRegValueKind::Dword:
        return std::to_string(value->Dword);
    case TRegValueKind::Raw:
    case TRegValueKind::Line:
        break;
    }
    // Binary and other kinds have no text form.
    return std::nullopt;
}

std::vector<std::string> TPlatformLinux::RegValueNames(TRegistryHive hive, const std::string& key) {
    return Load(hive).ValueNames(FullKey(hive, key));
}

std::vector<std::string> TPlatformLinux::RegSubKeyNames(TRegistryHive hive,
                                                        const std::string& key) {
    return Load(hive).SubKeyNames(FullKey(hive, key));
}

bool TPlatformLinux::RegCreateKey(TRegistryHive hive, const std::string& key) {
    if (IsHiveRoot(key))
        return true;
    const std::string full = FullKey(hive, key);
    return Update(hive, [&](TRegistryFile& registry) {
        bool changed = false;
        const bool ok = registry.CreateKey(full, &changed);
        return Outcome(ok, changed);
    });
}

bool TPlatformLinux::RegWriteString(TRegistryHive hive, const std::string& key,
                                    const std::string& name, const std::string& value) {
    const std::string full = FullKey(hive, key);
    return Update(hive, [&](TRegistryFile& registry) {
        bool changed = false;
        const bool ok = registry.SetString(full, name, value, &changed);
        return Outcome(ok, changed);
    });
}

bool TPlatformLinux::RegWriteDword(TRegistryHive hive, const std::string& key,
                                   const std::string& name, uint32_t value) {
    const std::string full = FullKey(hive, key);
    return Update(hive, [&](TRegistryFile& registry) {
        bool changed = false;
        const bool ok = registry.SetDword(full, name, value, &changed);
        return Outcome(ok, changed);
    });
}

bool TPlatformLinux::RegDeleteValue(TRegistryHive hive, const std::string& key,
                                    const std::string& name) {
    const std::string full = FullKey(hive, key);
    return Update(hive, [&](TRegistryFile& registry) {
        return Outcome(registry.DeleteValue(full, name), true);
    });
}

bool TPlatformLinux::RegDeleteKey(TRegistryHive hive, const std::string& key) {
    if (IsHiveRoot(key))
        return false;
    const std::string full = FullKey(hive, key);
    return Update(hive,
                  [&](TRegistryFile& registry) { return Outcome(registry.DeleteKey(full), true); });
}

} // namespace ostero::platform
