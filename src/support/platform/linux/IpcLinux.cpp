// Shared memory, events and the process lock on Linux: POSIX shared memory objects, semaphores
// inside such objects used as auto-reset events, and flock(2) locks.
//
// The objects live in /dev/shm, a folder every local user can write, so nothing is trusted by
// name: the server creates each object under a private name with its final mode and links it
// into place; viewers check the owner and mode of what they opened through the descriptor.

#include "support/platform/Ipc.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <semaphore.h>
#include <setjmp.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

namespace ostero::platform {

namespace {

constexpr const char* kShmFolder = "/dev/shm";
// The system user the agent service runs as; its objects are trusted by every viewer.
constexpr const char* kAgentUser = "vigant";
// An event is set at most once, so a Reset that finds more was flooded by somebody else.
constexpr int kMaxResetSteps = 64;

void SetError(std::string* error, const std::string& what, int code = errno) {
    if (error != nullptr)
        *error = what + ": " + std::strerror(code);
}

void SetErrorText(std::string* error, const std::string& what) {
    if (error != nullptr)
        *error = what;
}

timespec DeadlineAfter(int timeoutMs) {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const long ms = timeoutMs > 0 ? timeoutMs : 0;
    now.tv_sec += ms / 1000;
    now.tv_nsec += (ms % 1000) * 1000000L;
    if (now.tv_nsec >= 1000000000L) {
        now.tv_sec += 1;
        now.tv_nsec -= 1000000000L;
    }
    return now;
}

bool Passed(const timespec& deadline) {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec > deadline.tv_sec ||
           (now.tv_sec == deadline.tv_sec && now.tv_nsec >= deadline.tv_nsec);
}

// --- Bus errors: a shared object shrunk by another process makes every access past its new end
// raise SIGBUS. Accesses run under a guard that turns the signal into a failed access.

thread_local sigjmp_buf* tBusGuard = nullptr;
struct sigaction gPreviousBusAction {};

void OnBusError(int signal, siginfo_t* info, void* context) {
    if (tBusGuard != nullptr)
        siglongjmp(*tBusGuard, 1);
    // Not one of ours: hand it on, or let the default action end the process.
    if ((gPreviousBusAction.sa_flags & SA_SIGINFO) != 0 &&
        gPreviousBusAction.sa_sigaction != nullptr) {
        gPreviousBusAction.sa_sigaction(signal, info, context);
        return;
    }
    if (gPreviousBusAction.sa_handler != SIG_DFL && gPreviousBusAction.sa_handler != SIG_IGN &&
        gPreviousBusAction.sa_handler != nullptr) {
        gPreviousBusAction.sa_handler(signal);
        return;
    }
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigaction(SIGBUS, &fallback, nullptr);
}

void InstallBusGuard() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction action {};
        action.sa_sigaction = OnBusError;
        action.sa_flags = SA_SIGINFO | SA_NODEFER;
        sigemptyset(&action.sa_mask);
        sigaction(SIGBUS, &action, &gPreviousBusAction);
    });
}

// Runs `access` and answers true, or false when it touched memory that went away. `access` only
// reads and writes shared memory and plain locals: no allocation, nothing with a destructor.
template <class F> bool GuardBusErrors(F&& access) {
    InstallBusGuard();
    sigjmp_buf jump;
    sigjmp_buf* const outer = tBusGuard;
    // No mask to save: the handler runs with SA_NODEFER and an empty mask, so the mask it jumps
    // back with is the one it was entered with (and a guarded access costs no system call).
    if (sigsetjmp(jump, 0) != 0) {
        tBusGuard = outer;
        return false;
    }
    tBusGuard = &jump;
    access();
    tBusGuard = outer;
    return true;
}

// --- Who may own what a viewer opens.

std::optional<uid_t> AgentUserId() {
    static const std::optional<uid_t> id = []() -> std::optional<uid_t> {
        passwd entry{};
        passwd* found = nullptr;
        char buffer[4096];
        if (getpwnam_r(kAgentUser, &entry, buffer, sizeof buffer, &found) == 0 && found)
            return found->pw_uid;
        return std::nullopt;
    }();
    return id;
}

bool TrustedOwner(uid_t owner) {
    return owner == 0 || owner == geteuid() || owner == AgentUserId();
}

std::string ShmPath(const std::string& systemName) {
    return kShmFolder + systemName;
}

mode_t ModeOf(TIpcAccess access) {
    return access == TIpcAccess::OwnerAndGroup ? 0660 : 0600;
}

// One opened shared-memory object, with what it was when opened.
struct TObjectFile {
    int Fd = -1;
    dev_t Device = 0;
    ino_t Inode = 0;
    std::string Path;
    size_t Size = 0;

    TObjectFile() = default;
    TObjectFile(const TObjectFile&) = delete;
    TObjectFile& operator=(const TObjectFile&) = delete;
    TObjectFile(TObjectFile&& other) noexcept { *this = std::move(other); }
    TObjectFile& operator=(TObjectFile&& other) noexcept {
        std::swap(Fd, other.Fd);
        Device = other.Device;
        Inode = other.Inode;
        Path = std::move(other.Path);
        Size = other.Size;
        return *this;
    }
    ~TObjectFile() {
        if (Fd >= 0)
            close(Fd);
    }

    // Takes `fd` and remembers what it is now, to tell later whether the name still leads to it.
    void Adopt(int fd, std::string path, size_t size) {
        Fd = fd;
        Path = std::move(path);
        Size = size;
        struct stat info {};
        fstat(fd, &info);
        Device = info.st_dev;
        Inode = info.st_ino;
    }

    bool Intact() const {
        struct stat opened {};
        struct stat named {};
        return fstat(Fd, &opened) == 0 && static_cast<size_t>(opened.st_size) >= Size &&
               stat(Path.c_str(), &named) == 0 && named.st_dev == Device && named.st_ino == Inode;
    }
};

// A viewer's open: never creates, never follows a link, refuses what it cannot trust.
std::optional<TObjectFile> OpenObject(const std::string& systemName, size_t size,
                                      std::string* error) {
    const int fd = shm_open(systemName.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0);
    if (fd < 0) {
        SetError(error, "cannot open " + systemName);
        return std::nullopt;
    }
    TObjectFile object;
    object.Adopt(fd, ShmPath(systemName), size);
    struct stat info {};
    if (fstat(fd, &info) != 0) {
        SetError(error, "cannot examine " + systemName);
        return std::nullopt;
    }
    if (!S_ISREG(info.st_mode) || !TrustedOwner(info.st_uid) || (info.st_mode & S_IWOTH) != 0) {
        SetErrorText(error, systemName + " is not the agent's (owner " +
                                std::to_string(info.st_uid) + ", mode " +
                                std::to_string(info.st_mode & 07777) + ")");
        errno = EPERM;
        return std::nullopt;
    }
    if (static_cast<size_t>(info.st_size) < size) {
        SetErrorText(error, systemName + " is smaller than expected");
        errno = EINVAL;
        return std::nullopt;
    }
    return object;
}

// Whether a server may go on with an object of the name that it finds: its own, whole, with the
// access it would give it, and not linked anywhere else.
bool ServerOwnsIntact(int fd, size_t size, TIpcAccess access) {
    struct stat info {};
    if (fstat(fd, &info) != 0)
        return false;
    return S_ISREG(info.st_mode) && info.st_uid == geteuid() && info.st_nlink == 1 &&
           (info.st_mode & 07777) == ModeOf(access) && static_cast<size_t>(info.st_size) == size &&
           (access == TIpcAccess::Owner || info.st_gid == getegid());
}

// A server's open. `prepare` initialises the memory of a new object before anybody can open it.
template <class Prepare>
std::optional<TObjectFile> ServeObject(const std::string& systemName, size_t size,
                                       TIpcAccess access, bool takeOver, Prepare&& prepare,
                                       std::string* error) {
    const std::string path = ShmPath(systemName);
    const int existing =
        takeOver ? shm_open(systemName.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0)
                 : -1;
    if (existing >= 0) {
        if (ServerOwnsIntact(existing, size, access)) {
            TObjectFile object;
            object.Adopt(existing, path, size);
            return object;
        }
        close(existing);
    }

    // Made under a private name and linked into place whole: nobody opens it half made, and the
    // mode is set on the descriptor, never through a name that could lead elsewhere.
    static std::atomic<unsigned> counter{0};
    const std::string temp = systemName + ".new." + std::to_string(getpid()) + "." +
                             std::to_string(counter.fetch_add(1));
    const mode_t mode = ModeOf(access);
    const int fd = shm_open(temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0) {
        SetError(error, "cannot create " + temp);
        return std::nullopt;
    }
    TObjectFile object;
    object.Adopt(fd, path, size);
    const auto fail = [&](const std::string& what) {
        SetError(error, what);
        shm_unlink(temp.c_str());
        return std::nullopt;
    };
    if (fchmod(fd, mode) != 0 ||
        (access == TIpcAccess::OwnerAndGroup && fchown(fd, static_cast<uid_t>(-1), getegid())))
        return fail("cannot set the access of " + temp);
    if (ftruncate(fd, static_cast<off_t>(size)) != 0)
        return fail("cannot size " + temp);
    if (!prepare(fd))
        return fail("cannot initialise " + temp);
    bool linked = false;
    for (int attempt = 0; attempt < 3 && !linked; ++attempt) {
        // Whatever has the name is not ours to keep: a stale or foreign object.
        if (shm_unlink(systemName.c_str()) != 0 && errno != ENOENT) {
            struct stat info {};
            const int code = errno;
            const bool known = lstat(path.c_str(), &info) == 0;
            return fail(path + " cannot be replaced" +
                        (known ? " (it belongs to user " + std::to_string(info.st_uid) + ")"
                               : std::string()) +
                        ": " + std::strerror(code));
        }
        linked = link(ShmPath(temp).c_str(), path.c_str()) == 0;
        if (!linked && errno != EEXIST)
            return fail("cannot publish " + systemName);
    }
    shm_unlink(temp.c_str());
    if (!linked) {
        SetErrorText(error, systemName + " is being made by another process");
        return std::nullopt;
    }
    return object;
}

void* MapObject(const TObjectFile& object, std::string* error) {
    void* data = mmap(nullptr, object.Size, PROT_READ | PROT_WRITE, MAP_SHARED, object.Fd, 0);
    if (data == MAP_FAILED) {
        SetError(error, "cannot map " + object.Path);
        return nullptr;
    }
    return data;
}

// --- The block.

class TShmBlock final : public TSharedBlock {
public:
    TShmBlock(TObjectFile object, char* data) : Object_(std::move(object)), Data_(data) {}
    ~TShmBlock() override { munmap(Data_, Object_.Size); }
    size_t Size() const override { return Object_.Size; }
    bool ReadText(std::string& text) override {
        text.clear();
        size_t length = 0;
        const char* data = Data_;
        const size_t size = Object_.Size;
        if (!GuardBusErrors([&] { length = strnlen(data, size); }))
            return false;
        text.resize(length);
        char* target = text.data();
        if (length > 0 && !GuardBusErrors([&] { std::memcpy(target, data, length); })) {
            text.clear();
            return false;
        }
        return true;
    }
    bool WriteText(std::string_view text) override {
        if (text.size() + 1 > Object_.Size)
            return false;
        char* data = Data_;
        return GuardBusErrors([&] {
            if (!text.empty())
                std::memcpy(data, text.data(), text.size());
            data[text.size()] = '\0';
        });
    }
    bool Intact() const override { return Object_.Intact(); }

private:
    TObjectFile Object_;
    char* Data_;
};

// The opened object mapped into a `TObject` that views its memory as `TMemory`.
template <class TObject, class TMemory>
std::unique_ptr<TObject> MapInto(std::optional<TObjectFile> object, std::string* error) {
    if (!object)
        return nullptr;
    void* data = MapObject(*object, error);
    if (data == nullptr)
        return nullptr;
    return std::make_unique<TObject>(std::move(*object), static_cast<TMemory*>(data));
}

// --- Events: a process-shared semaphore alone in its object. A semaphore holds a count and a
// waiter count, nothing of any process, so a member of the group can at worst wake or delay
// the exchange (every wait is bounded), never reach into another process's memory.

class TSemaphoreEvent final : public TNamedEvent {
public:
    TSemaphoreEvent(TObjectFile object, sem_t* sem) : Object_(std::move(object)), Sem_(sem) {}
    ~TSemaphoreEvent() override { munmap(Sem_, Object_.Size); }
    void Set() override {
        sem_t* sem = Sem_;
        // An event, not a counter: a second Set before a Wait changes nothing.
        GuardBusErrors([sem] {
            int value = 0;
            if (sem_getvalue(sem, &value) == 0 && value > 0)
                return;
            sem_post(sem);
        });
    }
    void Reset() override {
        sem_t* sem = Sem_;
        // Bounded: a flood of posts by another process must not keep this one busy.
        GuardBusErrors([sem] {
            for (int step = 0; step < kMaxResetSteps && sem_trywait(sem) == 0; ++step) {
            }
        });
    }
    TWaitResult Wait(int timeoutMs) override {
        const timespec deadline = DeadlineAfter(timeoutMs);
        sem_t* sem = Sem_;
        TWaitResult result = TWaitResult::Failed;
        const bool whole = GuardBusErrors([&] {
            for (;;) {
                if (sem_clockwait(sem, CLOCK_MONOTONIC, &deadline) == 0) {
                    result = TWaitResult::Signalled;
                    return;
                }
                if (errno == ETIMEDOUT) {
                    result = TWaitResult::TimedOut;
                    return;
                }
                if (errno != EINTR) {
                    result = TWaitResult::Failed;
                    return;
                }
            }
        });
        return whole ? result : TWaitResult::Failed;
    }
    bool Intact() const override { return Object_.Intact(); }

private:
    TObjectFile Object_;
    sem_t* Sem_;
};

// --- Locks.

class TFileLock final : public TProcessLock {
public:
    TFileLock(TObjectFile file, bool served) : File_(std::move(file)), Served_(served) {}
    ~TFileLock() override { Give(); }
    bool Take(int timeoutMs) override {
        if (Held_)
            return false;
        const timespec deadline = DeadlineAfter(timeoutMs);
        auto pause = std::chrono::microseconds(200);
        for (;;) {
            if (flock(File_.Fd, LOCK_EX | LOCK_NB) == 0) {
                Held_ = true;
                return true;
            }
            if (errno != EWOULDBLOCK && errno != EINTR)
                return false;
            if (Passed(deadline))
                return false;
            std::this_thread::sleep_for(pause);
            pause = std::min(pause * 2, std::chrono::microseconds(5000));
        }
    }
    void Give() override {
        if (!Held_)
            return;
        flock(File_.Fd, LOCK_UN);
        Held_ = false;
    }
    bool Held() const override { return Held_; }
    bool Served() const override { return Served_; }
    bool Intact() const override { return File_.Intact(); }

private:
    TObjectFile File_;
    bool Served_;
    bool Held_ = false;
};

// Whether `folder` is a folder of this user that nobody else can write (`ownerOnly`: nor read).
bool SafeFolder(const std::string& folder, bool ownerOnly, std::string* error) {
    struct stat info {};
    if (lstat(folder.c_str(), &info) != 0) {
        SetError(error, "cannot examine " + folder);
        return false;
    }
    const mode_t open = ownerOnly ? (S_IRWXG | S_IRWXO) : (S_IWGRP | S_IWOTH);
    if (!S_ISDIR(info.st_mode) || info.st_uid != geteuid() || (info.st_mode & open) != 0) {
        SetErrorText(error, folder + " is not a folder that only this user can write");
        return false;
    }
    return true;
}

// A folder that only this user can write, made when missing (mode 0700).
bool PrivateFolder(const std::string& folder, bool ownerOnly, std::string* error) {
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        SetError(error, "cannot make " + folder);
        return false;
    }
    return SafeFolder(folder, ownerOnly, error);
}

// Opens (making it when missing, mode 0600) a lock file that must be this user's own plain
// file, never through a link.
std::optional<TObjectFile> OpenLockFile(const std::string& path, std::string* error) {
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0) {
        SetError(error, "cannot open " + path);
        return std::nullopt;
    }
    TObjectFile file;
    file.Adopt(fd, path, 0);
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != geteuid()) {
        SetErrorText(error, path + " is not this user's lock file");
        return std::nullopt;
    }
    return file;
}

// Where this user's stand-in lock lives: the session's runtime folder, else a folder of its own
// in the temporary folder.
std::string PrivateLockFolder(std::string* error) {
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime == '/') {
        if (SafeFolder(runtime, false, nullptr)) {
            const std::string folder = std::string(runtime) + "/taveric";
            if (PrivateFolder(folder, true, error))
                return folder;
        }
    }
    const std::string folder = "/tmp/taveric-" + std::to_string(geteuid());
    return PrivateFolder(folder, true, error) ? folder : std::string();
}

std::unique_ptr<TProcessLock> OpenPrivateLock(const std::string& systemName, std::string* error) {
    const std::string folder = PrivateLockFolder(error);
    if (folder.empty())
        return nullptr;
    std::optional<TObjectFile> file = OpenLockFile(folder + systemName + ".lock", error);
    if (!file)
        return nullptr;
    return std::make_unique<TFileLock>(std::move(*file), false);
}

class TServerFileLock final : public TServerLock {
public:
    explicit TServerFileLock(TObjectFile file) : File_(std::move(file)) {}

private:
    TObjectFile File_;
};

} // namespace

std::string IpcObjectName(const std::string& name) {
    std::string systemName = "/" + name;
    if (const char* space = std::getenv("TAVERIC_IPC_NAMESPACE"); space && *space) {
        systemName += '.';
        for (const char* c = space; *c; ++c)
            systemName += *c == '/' ? '_' : *c;
    }
    return systemName;
}

std::unique_ptr<TSharedBlock> OpenSharedBlock(const std::string& name, size_t size,
                                              std::string* error) {
    return MapInto<TShmBlock, char>(OpenObject(IpcObjectName(name), size, error), error);
}

std::unique_ptr<TSharedBlock> ServeSharedBlock(const std::string& name, size_t size,
                                               TIpcAccess access, std::string* error) {
    return MapInto<TShmBlock, char>(
        ServeObject(
            IpcObjectName(name), size, access, true, [](int) { return true; }, error),
        error);
}

std::unique_ptr<TNamedEvent> OpenNamedEvent(const std::string& name, std::string* error) {
    return MapInto<TSemaphoreEvent, sem_t>(OpenObject(IpcObjectName(name), sizeof(sem_t), error),
                                           error);
}

std::unique_ptr<TNamedEvent> ServeNamedEvent(const std::string& name, TIpcAccess access,
                                             std::string* error) {
    const auto prepare = [](int fd) {
        void* data = mmap(nullptr, sizeof(sem_t), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (data == MAP_FAILED)
            return false;
        const bool ok = sem_init(static_cast<sem_t*>(data), 1, 0) == 0;
        munmap(data, sizeof(sem_t));
        return ok;
    };
    return MapInto<TSemaphoreEvent, sem_t>(
        ServeObject(IpcObjectName(name), sizeof(sem_t), access, true, prepare, error), error);
}

std::unique_ptr<TProcessLock> OpenProcessLock(const std::string& name, std::string* error) {
    const std::string systemName = IpcObjectName(name);
    std::optional<TObjectFile> object = OpenObject(systemName, 0, error);
    const int code = errno;
    if (object)
        return std::make_unique<TFileLock>(std::move(*object), true);
    // Only a missing lock is stood in for; one that cannot be trusted stops the caller.
    if (code != ENOENT)
        return nullptr;
    return OpenPrivateLock(systemName, error);
}

std::unique_ptr<TProcessLock> ServeProcessLock(const std::string& name, TIpcAccess access,
                                               std::string* error) {
    // Always a new lock: a server that starts again frees viewers from a holder that hangs, and
    // the viewers follow to the new lock.
    std::optional<TObjectFile> object = ServeObject(
        IpcObjectName(name), 0, access, false, [](int) { return true; }, error);
    if (!object)
        return nullptr;
    return std::make_unique<TFileLock>(std::move(*object), true);
}

std::unique_ptr<TServerLock> TakeServerLock(const std::string& folder, const std::string& name,
                                            std::string* error) {
    if (!PrivateFolder(folder, false, error))
        return nullptr;
    const std::string path = folder + IpcObjectName(name) + ".lock";
    std::optional<TObjectFile> file = OpenLockFile(path, error);
    if (!file)
        return nullptr;
    if (flock(file->Fd, LOCK_EX | LOCK_NB) != 0) {
        const int code = errno;
        if (code == EWOULDBLOCK)
            SetErrorText(error, IpcObjectName(name) + " is served by another process");
        else
            SetError(error, "cannot lock " + path, code);
        return nullptr;
    }
    return std::make_unique<TServerFileLock>(std::move(*file));
}

void RemoveSharedBlock(const std::string& name) {
    shm_unlink(IpcObjectName(name).c_str());
}

void RemoveNamedEvent(const std::string& name) {
    shm_unlink(IpcObjectName(name).c_str());
}

void RemoveProcessLock(const std::string& name) {
    shm_unlink(IpcObjectName(name).c_str());
}

} // namespace ostero::platform
