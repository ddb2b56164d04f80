#pragma once
// The agent: answers the viewer's commands. TAgentServer turns one command into one answer;
// TAgentService serves the shared block with it until it is asked to stop.

#include "SensorReader.h"
#include "support/platform/Ipc.h"

#include <atomic>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace ostero::vigant {

class TModuleHost;

class TAgentServer {
public:
    // `sharedFolder`: where DevSurvey.so and SysFacts.so are; `root`: the folder /proc and /sys
    // are read below (tests give a fixture).
    explicit TAgentServer(std::string sharedFolder, std::string root = "/");
    ~TAgentServer();
    TAgentServer(const TAgentServer&) = delete;
    TAgentServer& operator=(const TAgentServer&) = delete;

    // The answer text of one command (Windows-1252). Unknown and malformed commands get a text
    // that no caller can take for data.
    std::string Execute(std::string_view command);

    const std::string& Language() const { return Language_; }

private:
    std::string OverviewLines();
    std::string SensorLines();

    std::unique_ptr<TModuleHost> Modules_;
    TSensorReader Sensors_;
    std::string Language_;
};

// Serves the shared block: waits for a command, answers it, and again, until Stop().
class TAgentService {
public:
    // `runtimeFolder`: a folder only the agent's user can write, for the lock that keeps a
    // second agent out; `access`: who may open the block, the events and the query lock.
    TAgentService(TAgentServer& server, std::string runtimeFolder, platform::TIpcAccess access)
        : Server_(server), RuntimeFolder_(std::move(runtimeFolder)), Access_(access) {}
    // False (with `error`) when the block cannot be served, for example because another agent
    // serves it.
    bool Open(std::string& error);
    // Serves until Stop() is called (from a signal handler too).
    void Run();
    void Stop() { Stop_ = true; }
    // Removes the block so that viewers see that no agent runs.
    void Close();

private:
    struct TObjects;
    bool Serve(TObjects& objects, std::string& error) const;

    TAgentServer& Server_;
    std::string RuntimeFolder_;
    platform::TIpcAccess Access_;
    std::atomic<bool> Stop_{false};
    std::shared_ptr<TObjects> Objects_;
};

} // namespace ostero::vigant
