#include "report/ExportContents.h"

#include <memory>

namespace ostero::report {

namespace {

constexpr int32_t kCommentImageCode = 83; // comment lines of older reports

TChart* ChartOf(const TTreeNode& node) {
    const TChartObject* chart = node.ChartObject();
    return chart != nullptr ? chart->Chart : nullptr;
}

} // namespace

std::unique_ptr<TReportInfo> LeadInto(const TTreeNode& node) {
    auto info = std::make_unique<TReportInfo>();
    info->Subtree = node.FirstChild();
    info->Chart = ChartOf(node);
    return info;
}

void FillReportContents(TReportTree& tree, TReportTree& contents,
                        std::vector<std::string>& comments) {
    contents.Clear();
    for (TTreeNode* node = tree.First(); node != nullptr; node = node->NextSibling()) {
        if (node->ImageCode() == kCommentImageCode || node->ImageCode() == kCategoryCommentary) {
            for (size_t i = 0; i < node->ChildCount(); ++i)
                comments.push_back(node->Child(i)->Text());
            continue;
        }
        TTreeNode* top = contents.AppendTop(node->Text(), node->ImageCode());
        top->SetStateIndex(kContentsChecked);
        bool sections = false;
        if (node->ChartObject() == nullptr) {
            for (size_t i = 0; i < node->ChildCount(); ++i) {
                const TTreeNode& child = *node->Child(i);
                // Sections can be chosen one by one; properties go with their category.
                if ((child.ChildCount() == 0 && child.Object() == nullptr) ||
                    child.Property() != nullptr)
                    continue;
                TTreeNode* item = top->AppendChild(child.Text(), child.ImageCode());
                item->SetStateIndex(kContentsChecked);
                item->SetObject(LeadInto(child));
                sections = true;
            }
        }
        // A category without sections is chosen as a whole (with its chart, when it is one).
        if (!sections)
            top->SetObject(LeadInto(*node));
    }
}

} // namespace ostero::report
