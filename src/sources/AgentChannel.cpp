#include "sources/AgentChannel.h"

#include "sources/AgentProtocol.h"
#include "support/platform/Platform.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace ostero::sources {

namespace {

// How long an answer may take before the channel asks whether the agent moved to new objects.
constexpr long long kFollowCheckMs = 250;

} // namespace

TQueryChannel::TQueryChannel() = default;

TQueryChannel::~TQueryChannel() {
    AgentClose();
}

bool TQueryChannel::EnsureLock() {
    // A private stand-in (no agent ran when it was opened) gives way to the agent's lock as soon
    // as there is one, and a lock the agent has made anew replaces the old one, so that every
    // viewer of the block takes the same lock.
    if (!Lock_ || (!Lock_->Held() && (!Lock_->Served() || !Lock_->Intact()))) {
        auto lock = platform::OpenProcessLock(kQueryLockName);
        if (lock || !Lock_)
            Lock_ = std::move(lock);
    }
    return Lock_ != nullptr;
}

bool TQueryChannel::OpenObjects() {
    Block_ = platform::OpenSharedBlock(kAgentBlockName, kAgentBlockSize);
    Exec_ = Block_ ? platform::OpenNamedEvent(kAgentExecEventName) : nullptr;
    Done_ = Exec_ ? platform::OpenNamedEvent(kAgentDoneEventName) : nullptr;
    if (!Done_) {
        // Without both events no exchange can work; leave nothing half open.
        Block_.reset();
        Exec_.reset();
        return false;
    }
    return true;
}

bool TQueryChannel::AgentOpen(int timeoutMs) {
    if (!EnsureLock())
        return false;
    if (Block_)
        return true;
    if (!QueryLock(timeoutMs))
        return false;
    const bool opened = OpenObjects();
    QueryUnlock();
    return opened;
}

void TQueryChannel::AgentClose() {
    if (!Lock_)
        return;
    Exec_.reset();
    Done_.reset();
    Block_.reset();
    Lock_.reset(); // gives the lock back when this process holds it
}

bool TQueryChannel::QueryLock(int timeoutMs) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    // In slices, so that a lock the agent makes anew meanwhile (it restarted) is taken instead of
    // waiting out the old one.
    for (;;) {
        if (!EnsureLock() || Lock_->Held())
            return false;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (Lock_->Take(static_cast<int>(std::clamp<long long>(left, 0, 100))))
            return true;
        if (left <= 0)
            return false;
    }
}

void TQueryChannel::QueryUnlock() {
    if (Lock_)
        Lock_->Give();
}

uint32_t TQueryChannel::AgentQuery(const std::string& command, int timeoutMs, std::string& answer) {
    answer.clear();
    if (!Block_ || !Exec_ || !Done_)
        return kQueryAgentError;
    // The block holds the command with its terminating zero; a longer one is refused.
    if (command.size() + 1 > Block_->Size() || command.find('\0') != std::string::npos)
        return kQueryAgentError;
    const auto send = [this, &command] {
        Exec_->Reset();
        Done_->Reset();
        if (!Block_->WriteText(command))
            return false;
        Exec_->Set();
        return true;
    };
    // An agent that found its objects damaged, or that started again after removing them, has
    // made new ones, and a command in the old ones reaches nobody. Whether that happened is only
    // asked while an answer is slow in coming, so an exchange costs nothing extra.
    const auto moved = [this] { return !Block_->Intact() || !Exec_->Intact() || !Done_->Intact(); };
    if (!send() && (!moved() || !OpenObjects() || !send()))
        return kQueryAgentError;
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        const platform::TWaitResult waited =
            Done_->Wait(static_cast<int>(std::clamp<long long>(left, 0, kFollowCheckMs)));
        if (waited == platform::TWaitResult::Signalled)
            break;
        if (moved()) {
            if (!OpenObjects() || !send())
                return kQueryAgentError;
            continue;
        }
        if (waited == platform::TWaitResult::Failed)
            return kQueryAgentError;
        if (left <= kFollowCheckMs)
            return kQueryAgentTimeout;
    }
    // Read only up to the end of the block, whatever the agent left there.
    std::string raw;
    if (!Block_->ReadText(raw))
        return kQueryAgentError;
    const std::string_view text(raw);
    uint32_t result = kQueryAgentError;
    if (text.substr(0, kAnswerPrefix.size()) == kAnswerPrefix) {
        std::string_view rest = text.substr(kAnswerPrefix.size());
        if (!rest.empty() && rest.back() == kAnswerEnd) {
            rest.remove_suffix(1);
            answer.assign(rest);
            result = kQueryOk;
        }
    }
    Block_->WriteText({});
    return result;
}

uint32_t TQueryChannel::SourceQuery(const std::string& command, int timeoutMs, bool agent,
                                    std::string& answer) {
    if (agent)
        return AgentQuery(command, timeoutMs, answer);
    answer.clear();
    if (Remote_ == nullptr)
        return kQueryNoLibrary;
    return static_cast<uint32_t>(Remote_->RemoteQuery(command, answer, timeoutMs));
}

uint32_t TQueryChannel::SourceQueryLocked(const std::string& command, int timeoutMs, bool agent,
                                          std::string& answer) {
    answer.clear();
    if (!QueryLock(timeoutMs))
        return agent ? kQueryAgentLocked : kQueryRemoteLocked;
    const uint32_t result = SourceQuery(command, timeoutMs, agent, answer);
    QueryUnlock();
    return result;
}

uint32_t TQueryChannel::SourceQueryLines(const std::string& command,
                                         std::vector<std::string>& lines, int timeoutMs,
                                         bool agent) {
    lines.clear();
    if (!agent) {
        if (Remote_ == nullptr)
            return kQueryNoLibrary;
        return static_cast<uint32_t>(Remote_->RemoteQueryLines(command, lines, timeoutMs));
    }
    std::string answer;
    const uint32_t result = SourceQueryLocked(command, timeoutMs, true, answer);
    lines = TRemoteQueryLibrary::SplitLines(answer);
    return result;
}

TQueryChannel& QueryChannel() {
    static TQueryChannel channel;
    return channel;
}

bool AgentOpen(int timeoutMs) {
    return QueryChannel().AgentOpen(timeoutMs);
}
void AgentClose() {
    QueryChannel().AgentClose();
}
bool QueryLock(int timeoutMs) {
    return QueryChannel().QueryLock(timeoutMs);
}
void QueryUnlock() {
    QueryChannel().QueryUnlock();
}
uint32_t AgentQuery(const std::string& command, int timeoutMs, std::string& answer) {
    return QueryChannel().AgentQuery(command, timeoutMs, answer);
}
uint32_t SourceQuery(const std::string& command, int timeoutMs, bool agent, std::string& answer) {
    return QueryChannel().SourceQuery(command, timeoutMs, agent, answer);
}
uint32_t SourceQueryLocked(const std::string& command, int timeoutMs, bool agent,
                           std::string& answer) {
    return QueryChannel().SourceQueryLocked(command, timeoutMs, agent, answer);
}
uint32_t SourceQueryLines(const std::string& command, std::vector<std::string>& lines,
                          int timeoutMs, bool agent) {
    return QueryChannel().SourceQueryLines(command, lines, timeoutMs, agent);
}

std::string QueryErrorText(uint32_t code, const std::string& programFolder) {
    constexpr const char* kTimeout = "Timeout in query service Taveric Vigant over shared mem.";
    switch (code) {
    case kQueryOk:
        return {};
    case kQueryAgentError:
        return "Error in query service Taveric Vigant over shared mem.";
    case kQueryAgentTimeout:
        return kTimeout;
    case kQueryAgentLocked:
        return std::string(kTimeout) + " The service is blocked.";
    default:
        break;
    }
    const std::string number = std::to_string(code);
    // The session's library when it is loaded, else one loaded for this call only.
    TRemoteQueryLibrary* remote = QueryChannel().RemoteLibrary();
    std::unique_ptr<TRemoteQueryLibrary> own;
    if (remote == nullptr || !remote->Loaded()) {
        own = std::make_unique<TRemoteQueryLibrary>(programFolder);
        remote = own.get();
    }
    if (!remote->EnsureLoaded())
        return "Unknown Error, code " + number + ". Cannot interprete errorcode, DLL is not loaded";
    if (code == kQueryIamtFailed || code == kQueryIpmiFailed) {
        const bool iamt = code == kQueryIamtFailed;
        if (!remote->HasEntry(iamt ? "IAMTErrorMessage" : "IPMIErrorMessage"))
            return iamt ? "Unknown iAMT Error. Cannot interprete errorcode, function not found"
                        : "Unknown IPMI Error. Cannot interprete errorcode, function not found";
        return remote->OobErrorMessage(iamt ? TOobProtocol::IAmt : TOobProtocol::Ipmi);
    }
    if (!remote->HasEntry("SocketErrorMessage"))
        return "Unknown Error, code " + number +
               ". Cannot interprete errorcode, function not found";
    return remote->SocketErrorMessage(static_cast<int32_t>(code));
}

bool ServiceRunning(const std::string& name) {
    return platform::Platform().ServiceState(name) == platform::TServiceState::Running;
}

void StartNamedService(const std::string& name) {
    platform::Platform().StartService(name);
}

} // namespace ostero::sources
