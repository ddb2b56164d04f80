// Any bytes as a command to the agent: parsing never fails, a parsed command keeps its numbers
// in range, and the agent's answer to it (without modules) fits the shared block.
#include "AgentCommands.h"
#include "AgentServer.h"
#include "sources/AgentProtocol.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

using namespace ostero::vigant;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view command(reinterpret_cast<const char*>(data), size);
    const TAgentCommand parsed = ParseAgentCommand(command);
    for (int32_t arg : parsed.Args) {
        if (arg < 0)
            std::abort();
    }
    // Commands that read the machine are left out: they are slow and not about the input.
    if (parsed.Kind == TCommandKind::EnumVigant || parsed.Kind == TCommandKind::Overview)
        return 0;
    static TAgentServer server("/nonexistent-folder");
    const std::string answer = ostero::sources::FrameAnswer(server.Execute(command));
    if (answer.size() + 1 > ostero::sources::kAgentBlockSize)
        std::abort();
    return 0;
}
