#pragma once
// Comparing a report with a second report file: the records of the second file are merged into
// the shown tree, every node gets a compare state, changed values become "old|new", and the
// view steps through the differences.

#include "report/ReportDocument.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace ostero::report {

// Compare states (the node's state index).
constexpr int32_t ssAdded = 5;            // only in the second report
constexpr int32_t ssRemoved = 6;          // only in the first report
constexpr int32_t ssContainsChanges = 7;  // group holding added, removed or changed nodes
constexpr int32_t ssChanged = 8;          // property whose value differs
constexpr int32_t ssVolatileChanged = 18; // differs while both sides are volatile
constexpr int32_t ssVolatileAdded = 19;   // volatile property only in the second report
constexpr int32_t ssVolatileRemoved = 20; // volatile property only in the first report
constexpr int32_t ssSame = 99;            // in both and equal

// The states the navigation stops at and the view colours.
inline bool IsDifferenceState(int32_t state) {
    return state == ssAdded || state == ssRemoved || state == ssChanged;
}

// Merges records into a tree one at a time. Matching uses an index per context (image code and
// key -> unmatched children in order), so a merge stays linear in the size of both reports
// while keeping the first-match order of a walk over the children.
class TReportMerger {
public:
    explicit TReportMerger(TReportTree& tree);
    ~TReportMerger();
    TReportMerger(const TReportMerger&) = delete;
    TReportMerger& operator=(const TReportMerger&) = delete;

    // Merges one record (the counterpart of AddNode) and answers the next context. `code` is
    // the level-or-type code; throws TReportError for codes of 256 and above.
    TTreeNode* MergeNode(TTreeNode* context, int32_t imageCode, const std::string& text,
                         uint32_t flags, uint32_t code);

    // Sets the states of what the second report does not have and marks the ancestors.
    void FinalPass();

private:
    class TIndex;
    TTreeNode* MergeProperty(TTreeNode* context, int32_t imageCode, const std::string& text,
                             uint32_t flags, uint32_t code, bool& difference);
    TTreeNode* MergeGroup(TTreeNode* context, int32_t imageCode, const std::string& text, int level,
                          bool& difference);

    TReportTree& Tree_;
    std::unique_ptr<TIndex> Index_;
};

// 0 merged, 1 not a valid report file or damaged, 2 written by a newer program. Only the own
// format is accepted. The file is checked completely before anything is merged, so a damaged
// file leaves the tree as it was.
int LoadCompareReport(TReportDocument& doc, const std::string& fileName);
int LoadCompareReportFromBytes(TReportDocument& doc, std::string_view bytes);

// What the difference navigation needs of a view: its mode, selection and top row.
struct TViewPosition {
    bool CompareMode = false;
    TTreeNode* Selected = nullptr;
    TTreeNode* TopRow = nullptr;
};

// Select the next or previous node in state 5, 6 or 8 (through collapsed branches too) and make
// the node before it the top row. False, with the position unchanged, when there is none.
bool NextDifference(const TReportTree& tree, TViewPosition& view);
bool PreviousDifference(const TReportTree& tree, TViewPosition& view);

} // namespace ostero::report
