#pragma once
// Named objects shared between the agent and the viewers of this computer: a block of shared
// memory, auto-reset events and a lock that a process dying while holding it cannot leave taken.
//
// Names are bare ("VigantWork"); the implementation adds what the system needs (on Linux a
// leading "/" and, when TAVERIC_IPC_NAMESPACE is set, that text as a suffix, so that tests run
// their own agent beside a real one).
//
// Trust: only the process that serves the objects (the agent) creates them, exclusively and with
// their final access from the start. Viewers never create them and refuse objects that belong
// to anybody but root, the agent's system user or themselves, or that others may write. Every
// access to shared memory survives the object being shrunk under it (the access fails instead
// of the process dying).

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace ostero::platform {

// The system name of a bare object name.
std::string IpcObjectName(const std::string& name);

// Who may open the objects a server makes.
enum class TIpcAccess {
    Owner,         // the serving user only (an agent a user runs for himself)
    OwnerAndGroup, // and the members of the serving process's group (the agent service)
};

class TSharedBlock {
public:
    virtual ~TSharedBlock() = default;
    virtual size_t Size() const = 0;
    // The zero-terminated text at the start of the block (at most Size() bytes). False when the
    // memory went away under the read (the object was shrunk).
    virtual bool ReadText(std::string& text) = 0;
    // The text with its terminating zero at the start of the block; false when it does not fit
    // or the memory went away.
    virtual bool WriteText(std::string_view text) = 0;
    // False when the object was shrunk or its name now leads to another object.
    virtual bool Intact() const = 0;
};

// Opens the served block read-write; nullptr when there is none or it is not to be trusted
// (`error` tells why).
std::unique_ptr<TSharedBlock> OpenSharedBlock(const std::string& name, size_t size,
                                              std::string* error = nullptr);
// For the one process that serves the block: takes over an intact block it owns already (a
// command a viewer left while the server restarted stays), otherwise removes what has the name
// and creates the block afresh.
std::unique_ptr<TSharedBlock> ServeSharedBlock(const std::string& name, size_t size,
                                               TIpcAccess access, std::string* error = nullptr);

enum class TWaitResult { Signalled, TimedOut, Failed };

// An auto-reset event: Set lets one Wait through, a Wait consumes the signal.
class TNamedEvent {
public:
    virtual ~TNamedEvent() = default;
    virtual void Set() = 0;
    virtual void Reset() = 0;
    virtual TWaitResult Wait(int timeoutMs) = 0;
    virtual bool Intact() const = 0;
};

// Opens a served event; nullptr when there is none or it is not to be trusted.
std::unique_ptr<TNamedEvent> OpenNamedEvent(const std::string& name, std::string* error = nullptr);
// For the serving process, with the rules of ServeSharedBlock (a pending signal survives a
// takeover).
std::unique_ptr<TNamedEvent> ServeNamedEvent(const std::string& name, TIpcAccess access,
                                             std::string* error = nullptr);

// A lock shared by all processes that open the same name: a kernel file lock, so a holder that
// dies leaves it free and nothing of the holder lives in shared memory. Taken and given back by
// the same thread.
class TProcessLock {
public:
    virtual ~TProcessLock() = default;
    // False when not taken within the time-out (also when this object holds it already).
    virtual bool Take(int timeoutMs) = 0;
    virtual void Give() = 0;
    virtual bool Held() const = 0;
    // True for the served lock, false for the private stand-in of OpenProcessLock.
    virtual bool Served() const = 0;
    // False when its name now leads to another lock (the server made a new one).
    virtual bool Intact() const = 0;
};

// Opens the served lock. When no process serves one, a private lock of this user stands in, so
// that this user's processes still take turns.
std::unique_ptr<TProcessLock> OpenProcessLock(const std::string& name,
                                              std::string* error = nullptr);
// For the serving process: always a new lock in place of what has the name, so a restarted
// server is not kept waiting by a holder of the old one.
std::unique_ptr<TProcessLock> ServeProcessLock(const std::string& name, TIpcAccess access,
                                               std::string* error = nullptr);

// Held by the one process that serves the objects of `name`: a lock file in `folder`, a folder
// only the serving user may write, so nobody else can take it away. nullptr when another
// process holds it or the folder is not safe (`error` tells which).
class TServerLock {
public:
    virtual ~TServerLock() = default;
};
std::unique_ptr<TServerLock> TakeServerLock(const std::string& folder, const std::string& name,
                                            std::string* error = nullptr);

// Remove the named objects, so that the next open finds none (the server of a block removes it
// when it stops; tests clean up). Processes that have them open keep using them.
void RemoveSharedBlock(const std::string& name);
void RemoveNamedEvent(const std::string& name);
void RemoveProcessLock(const std::string& name);

} // namespace ostero::platform
