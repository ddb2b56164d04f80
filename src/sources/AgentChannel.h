#pragma once
// Queries to the information sources: the local agent through the shared block, or a remote host
// through the remote-query library; the query lock that serialises them across all running
// viewers; the texts of the query result codes; the agent service.
//
// The state is process-wide, as there is one agent per computer: the free functions work on the
// channel of QueryChannel().

#include "sources/RemoteQueryLibrary.h"
#include "support/platform/Ipc.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace ostero::sources {

// Query result codes (0 = success).
constexpr uint32_t kQueryOk = 0;
constexpr uint32_t kQueryHostMessage = 0x15000001;
constexpr uint32_t kQueryRemoteLocked = 0x15000005;
constexpr uint32_t kQueryNoLibrary = 0x15000100;
constexpr uint32_t kQueryAgentError = 0x15000200;
constexpr uint32_t kQueryAgentTimeout = 0x15000201;
constexpr uint32_t kQueryAgentLocked = 0x15000202;
constexpr uint32_t kQueryIamtFailed = 0x15001000;
constexpr uint32_t kQueryIamtAuth = 0x15001001;
constexpr uint32_t kQueryIpmiFailed = 0x15002000;
constexpr uint32_t kQueryIpmiAuth = 0x15002001;
constexpr uint32_t kQuerySnmpFailed = 0x15002800;
constexpr uint32_t kQueryWolFailed = 0x15003000;

inline constexpr const char* kAgentServiceName = "VIGANT";
inline constexpr const char* kAgentDisplayName = "Taveric Vigant";

class TQueryChannel {
public:
    TQueryChannel();
    ~TQueryChannel();
    TQueryChannel(const TQueryChannel&) = delete;
    TQueryChannel& operator=(const TQueryChannel&) = delete;

    // Makes the agent usable: true when its block is open.
    bool AgentOpen(int timeoutMs);
    // Releases the block, the events and the query lock.
    void AgentClose();
    bool AgentOpened() const { return Block_ != nullptr; }

    // The query lock, shared by every viewer on this computer.
    bool QueryLock(int timeoutMs);
    void QueryUnlock();

    // One exchange with the agent; does not take the lock.
    uint32_t AgentQuery(const std::string& command, int timeoutMs, std::string& answer);
    // The agent, or the remote host through the remote-query library; does not take the lock.
    uint32_t SourceQuery(const std::string& command, int timeoutMs, bool agent,
                         std::string& answer);
    // As SourceQuery, under the query lock taken with the same time-out.
    uint32_t SourceQueryLocked(const std::string& command, int timeoutMs, bool agent,
                               std::string& answer);
    // The answer split into lines (CR LF, LF or CR).
    uint32_t SourceQueryLines(const std::string& command, std::vector<std::string>& lines,
                              int timeoutMs, bool agent);

    // The library remote queries go through; nullptr (the default) answers kQueryNoLibrary.
    void SetRemoteLibrary(TRemoteQueryLibrary* library) { Remote_ = library; }
    TRemoteQueryLibrary* RemoteLibrary() const { return Remote_; }

private:
    bool EnsureLock();
    // Opens the block and both events, or none of them.
    bool OpenObjects();

    std::unique_ptr<platform::TProcessLock> Lock_;
    std::unique_ptr<platform::TSharedBlock> Block_;
    std::unique_ptr<platform::TNamedEvent> Exec_;
    std::unique_ptr<platform::TNamedEvent> Done_;
    TRemoteQueryLibrary* Remote_ = nullptr;
};

// The channel of this process.
TQueryChannel& QueryChannel();

bool AgentOpen(int timeoutMs);
void AgentClose();
bool QueryLock(int timeoutMs);
void QueryUnlock();
uint32_t AgentQuery(const std::string& command, int timeoutMs, std::string& answer);
uint32_t SourceQuery(const std::string& command, int timeoutMs, bool agent, std::string& answer);
uint32_t SourceQueryLocked(const std::string& command, int timeoutMs, bool agent,
                           std::string& answer);
uint32_t SourceQueryLines(const std::string& command, std::vector<std::string>& lines,
                          int timeoutMs, bool agent);

// The text of a result code; codes the system does not know are asked of the remote-query
// library (loaded for the call when needed). `programFolder` is for tests.
std::string QueryErrorText(uint32_t code, const std::string& programFolder = {});

// The agent service through the platform's service manager.
bool ServiceRunning(const std::string& name);
void StartNamedService(const std::string& name);

} // namespace ostero::sources
