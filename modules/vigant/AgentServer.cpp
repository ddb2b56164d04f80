#include "AgentServer.h"

#include "AgentCommands.h"
#include "ModuleHost.h"
#include "sources/AgentProtocol.h"
#include "support/TextCodec.h"
#include "support/platform/Ipc.h"
#include "support/platform/Platform.h"

#include <sys/sysinfo.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <thread>

namespace ostero::vigant {

namespace {

std::string JoinLines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += line;
        text += "\r\n";
    }
    return text;
}

// The model name of the first processor in /proc/cpuinfo, with the number of processors.
std::string ProcessorText(const std::string& root) {
    std::ifstream in(root + "proc/cpuinfo");
    std::string model;
    int count = 0;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("processor", 0) == 0)
            ++count;
        if (model.empty() && line.rfind("model name", 0) == 0) {
            const size_t colon = line.find(':');
            if (colon != std::string::npos)
                model = line.substr(line.find_first_not_of(" \t", colon + 1));
        }
    }
    if (model.empty())
        return {};
    return count > 1 ? std::to_string(count) + " x " + model : model;
}

std::string UptimeText() {
    struct sysinfo info {};
    if (sysinfo(&info) != 0)
        return {};
    const long seconds = info.uptime;
    char text[64];
    std::snprintf(text, sizeof text, "%ld day(s) %02ld:%02ld:%02ld", seconds / 86400,
                  seconds / 3600 % 24, seconds / 60 % 60, seconds % 60);
    return text;
}

std::string MemoryText() {
    struct sysinfo info {};
    if (sysinfo(&info) != 0)
        return {};
    const double mb = static_cast<double>(info.totalram) * info.mem_unit / (1024.0 * 1024.0);
    return std::to_string(static_cast<long long>(mb + 0.5)) + " MB";
}

} // namespace

TAgentServer::TAgentServer(std::string sharedFolder, std::string root)
    : Modules_(std::make_unique<TModuleHost>(std::move(sharedFolder))), Sensors_(std::move(root)) {}

TAgentServer::~TAgentServer() = default;

std::string TAgentServer::OverviewLines() {
    std::vector<std::string> lines;
    const auto add = [&lines](int code, int image, const std::string& name,
                              const std::string& value, uint32_t flags = 0) {
        if (!value.empty())
            lines.push_back(AnswerLine({std::to_string(code), std::to_string(image),
                                        name + "=" + value, std::to_string(flags)}));
    };
    lines.push_back(AnswerLine({"1", "450", "System Overview"}));
    add(10, 70, "Computer name", platform::Platform().ComputerName());
    std::string os = Modules_->OsVersionText();
    if (os.empty())
        os = support::Utf8ToAnsi(platform::Platform().OsVersionFallbackText());
    add(10, 55, "Operating system", os);
    add(10, 70, "System", Modules_->SystemName());
    add(10, 11, "Processor", support::Utf8ToAnsi(ProcessorText("/")));
    add(10, 12, "Memory", MemoryText());
    add(10, 46, "Uptime", UptimeText(), 4);
    // The viewer adds its own entry below the last group.
    lines.push_back(AnswerLine({"1", "451", "Program modules"}));
    add(10, 69, "Taveric Vigant", "agent");
    for (const auto& [file, version] : Modules_->ModuleVersions())
        add(11, 52, file, version.empty() ? "present" : version);
    return JoinLines(lines);
}

std::string TAgentServer::SensorLines() {
    return JoinLines(Sensors_.Lines());
}

std::string TAgentServer::Execute(std::string_view text) {
    const TAgentCommand command = ParseAgentCommand(text);
    switch (command.Kind) {
    case TCommandKind::InitializeDll: {
        std::string error;
        if (const auto number = Modules_->Initialize(command.Text, error))
            return std::to_string(*number);
        return error;
    }
    case TCommandKind::EnumRootInfos:
        return Modules_->RootInfoLine(command.Args[0], command.Args[1], command.Args[2] != 0);
    case TCommandKind::EnumSubInfos:
        return Modules_->SubInfoLine(command.Args[0], command.Args[1], command.Args[2]);
    case TCommandKind::DestroyDll:
        return Modules_->Destroy(command.Args[0]);
    case TCommandKind::Overview:
        return OverviewLines();
    case TCommandKind::EnumVigant:
        return SensorLines();
    case TCommandKind::SetLanguage:
        Language_ = command.Text;
        return "OK";
    case TCommandKind::GetComputerName:
        return platform::Platform().ComputerName();
    case TCommandKind::Authenticate:
        // The local channel is open to the users of this computer; no password is asked.
        return "OK";
    case TCommandKind::Reboot:
    case TCommandKind::Shutdown:
        return "Not available over the local channel";
    case TCommandKind::Malformed:
        return "Malformed command: " + std::string(text.substr(0, 200));
    case TCommandKind::Unknown:
        break;
    }
    return "Unknown command: " + std::string(text.substr(0, 200));
}

struct TAgentService::TObjects {
    std::unique_ptr<platform::TServerLock> ServerLock;
    std::unique_ptr<platform::TSharedBlock> Block;
    std::unique_ptr<platform::TNamedEvent> Exec;
    std::unique_ptr<platform::TNamedEvent> Done;
    std::unique_ptr<platform::TProcessLock> QueryLock;
};

bool TAgentService::Serve(TObjects& objects, std::string& error) const {
    // Each object is taken over when it is the agent's and whole, and made afresh otherwise, so
    // a command a viewer left while the agent restarted is still served. The block comes last:
    // viewers take it for the sign that an agent serves, so everything else is there by then.
    if (!objects.QueryLock)
        objects.QueryLock = platform::ServeProcessLock(sources::kQueryLockName, Access_, &error);
    if (objects.QueryLock && (!objects.Exec || !objects.Exec->Intact()))
        objects.Exec = platform::ServeNamedEvent(sources::kAgentExecEventName, Access_, &error);
    if (objects.Exec && (!objects.Done || !objects.Done->Intact()))
        objects.Done = platform::ServeNamedEvent(sources::kAgentDoneEventName, Access_, &error);
    if (objects.Done && (!objects.Block || !objects.Block->Intact()))
        objects.Block = platform::ServeSharedBlock(sources::kAgentBlockName,
                                                   sources::kAgentBlockSize, Access_, &error);
    return objects.Block && objects.Exec && objects.Done && objects.QueryLock;
}

bool TAgentService::Open(std::string& error) {
    auto objects = std::make_shared<TObjects>();
    // Only one agent: decided in a folder nobody else can write, never on an object that every
    // viewer can open.
    objects->ServerLock =
        platform::TakeServerLock(RuntimeFolder_, sources::kAgentBlockName, &error);
    if (!objects->ServerLock || !Serve(*objects, error))
        return false;
    Objects_ = std::move(objects);
    return true;
}

void TAgentService::Run() {
    if (!Objects_)
        return;
    TObjects& objects = *Objects_;
    std::string command;
    std::string current;
    // Whether the objects must be looked at: when idle, and after an access failed. Another
    // process may have shrunk or replaced one; it is made whole before it is used again.
    bool check = true;
    while (!Stop_) {
        if (check) {
            std::string error;
            if (!objects.Block->Intact() || !objects.Exec->Intact() || !objects.Done->Intact()) {
                if (!Serve(objects, error)) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(200));
                    continue;
                }
            }
            check = false;
        }
        if (objects.Exec->Wait(200) != platform::TWaitResult::Signalled ||
            !objects.Block->ReadText(command)) {
            check = true;
            continue;
        }
        const std::string answer = sources::FrameAnswer(Server_.Execute(command));
        // A caller that gave up may have put a new command in meanwhile: its answer must not
        // be this one. The new command has set the event again and is served next.
        if (!objects.Block->ReadText(current)) {
            check = true;
            continue;
        }
        if (current != command)
            continue;
        if (objects.Block->WriteText(answer))
            objects.Done->Set();
        else
            check = true;
    }
}

void TAgentService::Close() {
    if (!Objects_)
        return;
    // Viewers see at once that no agent runs; nothing of it stays behind.
    platform::RemoveSharedBlock(sources::kAgentBlockName);
    platform::RemoveNamedEvent(sources::kAgentExecEventName);
    platform::RemoveNamedEvent(sources::kAgentDoneEventName);
    platform::RemoveProcessLock(sources::kQueryLockName);
    Objects_.reset();
}

} // namespace ostero::vigant
