#include "report/TreeSearch.h"

namespace ostero::report {

TImageCodeSet MakeImageCodeSet(std::initializer_list<int> codes) {
    TImageCodeSet set;
    for (int code : codes) {
        if (code >= 0 && code < 256)
            set.set(static_cast<size_t>(code));
    }
    return set;
}

const TImageCodeSet& ErrorEntryCodes() {
    static const TImageCodeSet set = MakeImageCodeSet({19, 20, 32, 36, 41, 42, 44});
    return set;
}

const TImageCodeSet& ErrorEntrySecondTry() {
    static const TImageCodeSet set = MakeImageCodeSet({110});
    return set;
}

const TImageCodeSet& WarningCodes() {
    static const TImageCodeSet set = MakeImageCodeSet({38, 111});
    return set;
}

std::string UpperCaseAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

bool TTreeSearch::Matches(const TTreeNode& node) const {
    if (!SearchText_.empty())
        return UpperCaseAscii(node.Text()).find(SearchText_) != std::string::npos;
    const int32_t code = node.ImageCode();
    return code >= 0 && code < 256 && CodeSet_.test(static_cast<size_t>(code));
}

bool TTreeSearch::Walk(TTreeNode* from) {
    for (TTreeNode* node = from; node; node = node->NextInTree()) {
        if (Matches(*node)) {
            Current_ = node;
            return true;
        }
    }
    Current_ = nullptr;
    return false;
}

bool TTreeSearch::FindText(const std::string& text) {
    SearchText_ = UpperCaseAscii(text);
    CodeSet_.reset();
    return Walk(Tree_.First());
}

bool TTreeSearch::FindTextNext() {
    if (SearchText_.empty() || !Current_)
        return false;
    return Walk(Current_->NextInTree());
}

bool TTreeSearch::FindImageCodes(const TImageCodeSet& codes) {
    SearchText_.clear();
    CodeSet_ = codes;
    return Walk(Tree_.First());
}

bool TTreeSearch::FindImageCodesNext() {
    if (CodeSet_.none() || !Current_)
        return false;
    return Walk(Current_->NextInTree());
}

void TTreeSearch::Reset() {
    Current_ = nullptr;
}

} // namespace ostero::report
