// Shared memory, events and the process lock on Linux: POSIX shared memory objects, named
// semaphores used as auto-reset events, and a robust process-shared mutex.

#include "support/platform/Ipc.h"

#include <fcntl.h>
#include <pthread.h>
#include <semaphore.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace ostero::platform {

namespace {

constexpr const char* kShmFolder = "/dev/shm";
constexpr uint32_t kLockMagic = 0x4B434C56; // "VLCK"

void SetError(std::string* error, const std::string& what) {
    if (error != nullptr)
        *error = what + ": " + std::strerror(errno);
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

class TShmBlock final : public TSharedBlock {
public:
    TShmBlock(int fd, char* data, size_t size) : Fd_(fd), Data_(data), Size_(size) {}
    ~TShmBlock() override {
        munmap(Data_, Size_);
        close(Fd_);
    }
    char* Data() override { return Data_; }
    size_t Size() const override { return Size_; }

private:
    int Fd_;
    char* Data_;
    size_t Size_;
};

std::unique_ptr<TSharedBlock> MapBlock(int fd, size_t size, const std::string& name,
                                       std::string* error) {
    void* data = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (data == MAP_FAILED) {
        SetError(error, "cannot map " + name);
        close(fd);
        return nullptr;
    }
    return std::make_unique<TShmBlock>(fd, static_cast<char*>(data), size);
}

class TSemaphoreEvent final : public TNamedEvent {
public:
    explicit TSemaphoreEvent(sem_t* sem) : Sem_(sem) {}
    ~TSemaphoreEvent() override { sem_close(Sem_); }
    void Set() override {
        // An event, not a counter: a second Set before a Wait changes nothing.
        int value = 0;
        if (sem_getvalue(Sem_, &value) == 0 && value > 0)
            return;
        sem_post(Sem_);
    }
    void Reset() override {
        while (sem_trywait(Sem_) == 0) {
        }
    }
    TWaitResult Wait(int timeoutMs) override {
        const timespec deadline = DeadlineAfter(timeoutMs);
        for (;;) {
            if (sem_clockwait(Sem_, CLOCK_MONOTONIC, &deadline) == 0)
                return TWaitResult::Signalled;
            if (errno == ETIMEDOUT)
                return TWaitResult::TimedOut;
            if (errno != EINTR)
                return TWaitResult::Failed;
        }
    }

private:
    sem_t* Sem_;
};

struct TLockShared {
    uint32_t Magic;
    pthread_mutex_t Mutex;
};

class TRobustLock final : public TProcessLock {
public:
    TRobustLock(int fd, TLockShared* shared) : Fd_(fd), Shared_(shared) {}
    ~TRobustLock() override {
        Give();
        munmap(Shared_, sizeof(TLockShared));
        close(Fd_);
    }
    bool Take(int timeoutMs) override {
        if (Held_)
            return false;
        const timespec deadline = DeadlineAfter(timeoutMs);
        int result = pthread_mutex_clocklock(&Shared_->Mutex, CLOCK_MONOTONIC, &deadline);
        if (result == EOWNERDEAD) {
            // The holder died: what it guarded is a block it rewrites on every exchange, so the
            // lock can simply be made usable again.
            pthread_mutex_consistent(&Shared_->Mutex);
            result = 0;
        }
        Held_ = result == 0;
        return Held_;
    }
    void Give() override {
        if (!Held_)
            return;
        pthread_mutex_unlock(&Shared_->Mutex);
        Held_ = false;
    }
    bool Held() const override { return Held_; }

private:
    int Fd_;
    TLockShared* Shared_;
    bool Held_ = false;
};

// Makes the lock object under a private name and links it into place, so that nobody can open
// it before its mutex is ready. Losing the race to another creator is fine.
bool CreateLockObject(const std::string& systemName, std::string* error) {
    static std::atomic<unsigned> counter{0};
    const std::string temp = systemName + ".init." + std::to_string(getpid()) + "." +
                             std::to_string(counter.fetch_add(1));
    const int fd = shm_open(temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        SetError(error, "cannot create " + temp);
        return false;
    }
    fchmod(fd, 0666);
    bool ok = ftruncate(fd, sizeof(TLockShared)) == 0;
    void* data = ok ? mmap(nullptr, sizeof(TLockShared), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0)
                    : MAP_FAILED;
    if (data != MAP_FAILED) {
        auto* shared = static_cast<TLockShared*>(data);
        pthread_mutexattr_t attr;
        pthread_mutexattr_init(&attr);
        pthread_mutexattr_setpshared(&attr, PTHREAD_PROCESS_SHARED);
        pthread_mutexattr_setrobust(&attr, PTHREAD_MUTEX_ROBUST);
        pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_ERRORCHECK);
        ok = pthread_mutex_init(&shared->Mutex, &attr) == 0;
        pthread_mutexattr_destroy(&attr);
        shared->Magic = kLockMagic;
        munmap(data, sizeof(TLockShared));
    } else {
        ok = false;
    }
    close(fd);
    if (ok) {
        const std::string from = std::string(kShmFolder) + temp;
        const std::string to = std::string(kShmFolder) + systemName;
        if (link(from.c_str(), to.c_str()) != 0 && errno != EEXIST) {
            SetError(error, "cannot publish " + systemName);
            ok = false;
        }
    } else {
        SetError(error, "cannot initialise " + temp);
    }
    shm_unlink(temp.c_str());
    return ok;
}

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
    const std::string systemName = IpcObjectName(name);
    const int fd = shm_open(systemName.c_str(), O_RDWR | O_CLOEXEC, 0);
    if (fd < 0) {
        SetError(error, "cannot open " + systemName);
        return nullptr;
    }
    struct stat info {};
    if (fstat(fd, &info) != 0 || static_cast<size_t>(info.st_size) < size) {
        errno = EINVAL;
        SetError(error, systemName + " is smaller than expected");
        close(fd);
        return nullptr;
    }
    return MapBlock(fd, size, systemName, error);
}

std::unique_ptr<TSharedBlock> ServeSharedBlock(const std::string& name, size_t size,
                                               std::string* error) {
    const std::string systemName = IpcObjectName(name);
    const int fd = shm_open(systemName.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        SetError(error, "cannot create " + systemName);
        return nullptr;
    }
    // The lock lives as long as the serving process keeps the object open.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        SetError(error, systemName + " is served by another process");
        close(fd);
        return nullptr;
    }
    fchmod(fd, 0666);
    struct stat info {};
    if (fstat(fd, &info) != 0 || (static_cast<size_t>(info.st_size) < size &&
                                  ftruncate(fd, static_cast<off_t>(size)) != 0)) {
        SetError(error, "cannot size " + systemName);
        close(fd);
        return nullptr;
    }
    // The contents stay: a viewer may have left a command for the agent that is starting.
    return MapBlock(fd, size, systemName, error);
}

std::unique_ptr<TNamedEvent> OpenNamedEvent(const std::string& name, std::string* error) {
    const std::string systemName = IpcObjectName(name);
    sem_t* sem = sem_open(systemName.c_str(), O_CREAT, 0666, 0);
    if (sem == SEM_FAILED) {
        SetError(error, "cannot open " + systemName);
        return nullptr;
    }
    // The creator's umask must not keep other local users out; only the owner can change it.
    chmod((std::string(kShmFolder) + "/sem." + systemName.substr(1)).c_str(), 0666);
    return std::make_unique<TSemaphoreEvent>(sem);
}

std::unique_ptr<TProcessLock> OpenProcessLock(const std::string& name, std::string* error) {
    const std::string systemName = IpcObjectName(name);
    for (int attempt = 0; attempt < 2; ++attempt) {
        const int fd = shm_open(systemName.c_str(), O_RDWR | O_CLOEXEC, 0);
        if (fd < 0) {
            if (errno != ENOENT || !CreateLockObject(systemName, error)) {
                if (errno != ENOENT)
                    SetError(error, "cannot open " + systemName);
                return nullptr;
            }
            continue;
        }
        struct stat info {};
        void* data = MAP_FAILED;
        if (fstat(fd, &info) == 0 && static_cast<size_t>(info.st_size) >= sizeof(TLockShared))
            data = mmap(nullptr, sizeof(TLockShared), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (data == MAP_FAILED || static_cast<TLockShared*>(data)->Magic != kLockMagic) {
            if (data != MAP_FAILED)
                munmap(data, sizeof(TLockShared));
            close(fd);
            errno = EINVAL;
            SetError(error, systemName + " is not a lock object");
            return nullptr;
        }
        return std::make_unique<TRobustLock>(fd, static_cast<TLockShared*>(data));
    }
    return nullptr;
}

void RemoveSharedBlock(const std::string& name) {
    shm_unlink(IpcObjectName(name).c_str());
}

void RemoveNamedEvent(const std::string& name) {
    sem_unlink(IpcObjectName(name).c_str());
}

void RemoveProcessLock(const std::string& name) {
    shm_unlink(IpcObjectName(name).c_str());
}

} // namespace ostero::platform
