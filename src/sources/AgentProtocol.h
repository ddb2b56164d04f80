#pragma once
// What the viewer and the agent share about the local channel: the object names, the block
// size and the framing of an answer.

#include <cstddef>
#include <string>
#include <string_view>

namespace ostero::sources {

inline constexpr const char* kAgentBlockName = "VigantSpecific_Object";
inline constexpr const char* kAgentExecEventName = "VigantGuiSpecificExec";
inline constexpr const char* kAgentDoneEventName = "VigantSpecificDone";
inline constexpr const char* kQueryLockName = "VigantWork";
inline constexpr size_t kAgentBlockSize = 65536;

inline constexpr std::string_view kAnswerPrefix = "ANSWER:";
inline constexpr char kAnswerEnd = '\x01';

// The block text of an answer, cut so that it fits the block with its terminating zero.
inline std::string FrameAnswer(std::string_view answer) {
    const size_t room = kAgentBlockSize - kAnswerPrefix.size() - 2;
    std::string framed(kAnswerPrefix);
    framed.append(answer.substr(0, room));
    framed.push_back(kAnswerEnd);
    return framed;
}

} // namespace ostero::sources
