#include "export/ExportWalk.h"

#include "support/platform/FileReplace.h"

#include <chrono>
#include <thread>

namespace ostero::exporting {

using report::TTreeNode;

bool Exported(const TTreeNode& node, const TExportWalkRule& rule) {
    if (!report::ChosenForWriting(node, rule.KeepPrivate))
        return false;
    if (!rule.ChartLines && node.ChartLine() != nullptr)
        return false;
    const report::TReportInfo* info = node.ReportInfo();
    return info == nullptr || info->Subtree != nullptr;
}

namespace {

void WalkRun(const TTreeNode* first, int depth, const TExportWalkRule& rule,
             TExportVisitor& visitor) {
    if (first != nullptr && depth > kMaxExportDepth)
        throw TExportError("The report is nested too deeply to be exported.");
    for (const TTreeNode* node = first; node != nullptr; node = node->NextSibling()) {
        if (!Exported(*node, rule))
            continue;
        visitor.Enter(*node, depth);
        WalkRun(node->FirstChild(), depth + 1, rule, visitor);
        if (const report::TReportInfo* info = node->ReportInfo())
            WalkRun(info->Subtree, depth + 1, rule, visitor);
        visitor.Leave(*node, depth);
    }
}

} // namespace

void WalkExport(const report::TReportTree& tree, const TExportWalkRule& rule,
                TExportVisitor& visitor) {
    WalkRun(tree.First(), 0, rule, visitor);
}

bool WriteExportFile(const std::string& fileName, std::string_view bytes, std::string* error) {
    constexpr int kAttempts = 6;
    std::string failure;
    for (int attempt = 1; attempt <= kAttempts; ++attempt) {
        if (platform::ReplaceFileContents(fileName, bytes, failure))
            return true;
        if (attempt < kAttempts)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    if (error != nullptr)
        *error = failure;
    return false;
}

} // namespace ostero::exporting
