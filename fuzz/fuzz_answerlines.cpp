// Every answer-line parser over arbitrary bytes: no crash, and what is reported as an entry must
// be something AddNode accepts (a level-or-type code of 0..255, a non-empty text).
#include "sources/AnswerLines.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

using namespace ostero::sources;

namespace {

void CheckNode(TLineStatus status, const TAnswerNode& node) {
    if (status != TLineStatus::Entry)
        return;
    if (node.LevelOrType < 0 || node.LevelOrType > 255 || node.Text.empty())
        std::abort();
}

void CheckRoot(TLineStatus status, const TAnswerRoot& root) {
    if (status == TLineStatus::Entry && root.Name.empty())
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    int32_t result = 0;
    {
        TAnswerRoot root;
        CheckRoot(ParseRootInfoLine(line, root, result), root);
        if (ParseRootInfoLine(line, root, result) == TLineStatus::NoEntry && result == 1)
            std::abort();
    }
    {
        TAnswerRoot root;
        CheckRoot(ParseRootListLine(line, root), root);
    }
    {
        TAnswerNode node;
        const TLineStatus status = ParseSubInfoLine(line, node, result);
        CheckNode(status, node);
        // The shift leaves no module level below 10 at a group level of 0.
        if (status == TLineStatus::Entry && node.LevelOrType == 0)
            std::abort();
    }
    TAnswerNode node;
    CheckNode(ParseSubListLine(line, node), node);
    CheckNode(ParseOverviewLine(line, node), node);
    CheckNode(ParseVigantLine(line, node), node);
    if (IllegalAnswerMessage(line).Text().size() > line.size() + 25)
        std::abort();
    return 0;
}
