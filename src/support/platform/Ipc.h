#pragma once
// Named objects shared between processes of this system and the agent: a block of shared memory,
// auto-reset events and a lock that a process dying while holding it cannot leave taken.
//
// Names are bare ("VigantWork"); the implementation adds what the system needs (on Linux a
// leading "/" and, when TAVERIC_IPC_NAMESPACE is set, that text as a suffix, so that tests run
// their own agent beside a real one).

#include <cstddef>
#include <memory>
#include <string>

namespace ostero::platform {

// The system name of a bare object name.
std::string IpcObjectName(const std::string& name);

class TSharedBlock {
public:
    virtual ~TSharedBlock() = default;
    virtual char* Data() = 0;
    virtual size_t Size() const = 0;
};

// Opens an existing block read-write; nullptr when there is none (`error` tells why).
std::unique_ptr<TSharedBlock> OpenSharedBlock(const std::string& name, size_t size,
                                              std::string* error = nullptr);
// Creates the block (or takes over a stale one) for the one process that serves it: readable and
// writable by every local user, removable only by its owner. nullptr when another process
// serves it already or it cannot be made.
std::unique_ptr<TSharedBlock> ServeSharedBlock(const std::string& name, size_t size,
                                               std::string* error = nullptr);

enum class TWaitResult { Signalled, TimedOut, Failed };

// An auto-reset event: Set lets one Wait through, a Wait consumes the signal.
class TNamedEvent {
public:
    virtual ~TNamedEvent() = default;
    virtual void Set() = 0;
    virtual void Reset() = 0;
    virtual TWaitResult Wait(int timeoutMs) = 0;
};

// Opens the event, creating it (not signalled, usable by every local user) when missing.
std::unique_ptr<TNamedEvent> OpenNamedEvent(const std::string& name, std::string* error = nullptr);

// A lock shared by all processes that open the same name. Taken and given back by the same
// thread. When its holder dies, the next Take succeeds.
class TProcessLock {
public:
    virtual ~TProcessLock() = default;
    // False when not taken within the time-out (also when this thread holds it already).
    virtual bool Take(int timeoutMs) = 0;
    virtual void Give() = 0;
    virtual bool Held() const = 0;
};

// Opens the lock, creating it (free) when missing.
std::unique_ptr<TProcessLock> OpenProcessLock(const std::string& name,
                                              std::string* error = nullptr);

// Remove the named objects, so that the next open finds none (the server of a block removes it
// when it stops; tests clean up). Processes that have them open keep using them.
void RemoveSharedBlock(const std::string& name);
void RemoveNamedEvent(const std::string& name);
void RemoveProcessLock(const std::string& name);

} // namespace ostero::platform
