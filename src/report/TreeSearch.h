#pragma once
// Finding nodes in a report: by a text in the node titles, or by image codes (the pictures
// that mark error entries and warnings). Each kind has a first search and a next search that
// continues after the last hit; the search does not wrap.

#include "report/ReportTree.h"

#include <bitset>
#include <initializer_list>
#include <string>

namespace ostero::report {

// A set of image codes 0..255.
using TImageCodeSet = std::bitset<256>;
TImageCodeSet MakeImageCodeSet(std::initializer_list<int> codes);

// The sets the main window searches with.
const TImageCodeSet& ErrorEntryCodes();     // 19, 20, 32, 36, 41, 42, 44
const TImageCodeSet& ErrorEntrySecondTry(); // 110
const TImageCodeSet& WarningCodes();        // 38, 111

class TTreeSearch {
public:
    explicit TTreeSearch(const TReportTree& tree) : Tree_(tree) {}

    // The hit, or nullptr before the first search and after the end was reached.
    TTreeNode* Current() const { return Current_; }
    const std::string& SearchText() const { return SearchText_; }
    const TImageCodeSet& CodeSet() const { return CodeSet_; }

    // Node titles (not values) containing the text; case folding of a to z only.
    bool FindText(const std::string& text);
    bool FindTextNext();
    // Nodes whose image code lies in 0..255 and is in the set.
    bool FindImageCodes(const TImageCodeSet& codes);
    bool FindImageCodesNext();
    // Forgets the last hit (the tree was cleared or reloaded).
    void Reset();

private:
    bool Walk(TTreeNode* from);
    bool Matches(const TTreeNode& node) const;

    const TReportTree& Tree_;
    std::string SearchText_;
    TImageCodeSet CodeSet_;
    TTreeNode* Current_ = nullptr;
};

// Upper case of a to z only; every other byte stays.
std::string UpperCaseAscii(std::string text);

} // namespace ostero::report
