#include "report/ReportCompare.h"

#include "report/ReportRecords.h"
#include "support/SysUtils.h"
#include "support/TextCodec.h"

#include <new>
#include <unordered_map>
#include <vector>

namespace ostero::report {

using namespace detail;

namespace {

// Below this many children a walk over them is cheaper than building an index.
constexpr size_t kIndexThreshold = 16;

// The name a group is matched by: at depth 0 and 1 the English category name of its image code
// (so categories match across interface languages), else, and without one, its text.
std::string GroupName(const TTreeNode& node) {
    if (node.Level() <= 1) {
        std::string english = CategoryName(node.ImageCode(), true);
        if (!english.empty())
            return english;
    }
    return node.Text();
}

uint64_t HashKey(int32_t imageCode, std::string_view text) {
    uint64_t hash = 14695981039346656037ull;
    auto mix = [&hash](unsigned char byte) {
        hash ^= byte;
        hash *= 1099511628211ull;
    };
    for (int shift = 0; shift < 32; shift += 8)
        mix(static_cast<unsigned char>(static_cast<uint32_t>(imageCode) >> shift));
    for (char c : text)
        mix(static_cast<unsigned char>(support::AnsiUpperChar(c)));
    return hash;
}

// The kinds of lookup among a context's children.
enum class TMatch { Property, Group };

// Still open for a record of this kind: a property only matches a node without state, a group
// also one in state 0.
bool Unmatched(const TTreeNode& node, TMatch kind) {
    return kind == TMatch::Property ? node.StateIndex() < 0 : node.StateIndex() <= 0;
}

bool KeyMatches(const TTreeNode& node, TMatch kind, int32_t imageCode, std::string_view key) {
    if (node.ImageCode() != imageCode || !Unmatched(node, kind))
        return false;
    return support::AnsiSameText(kind == TMatch::Property ? node.Text() : GroupName(node), key);
}

void MarkAncestors(TTreeNode* node, int32_t from1, int32_t from2, int32_t to) {
    TTreeNode* parent = node->Parent();
    if (parent == nullptr)
        return;
    const int32_t state = parent->StateIndex();
    if (state != from1 && state != from2)
        return;
    parent->SetStateIndex(to);
    TTreeNode* grandparent = parent->Parent();
    if (grandparent == nullptr)
        return;
    const int32_t grandState = grandparent->StateIndex();
    if (grandState == from1 || grandState == from2)
        grandparent->SetStateIndex(to);
}

} // namespace

// Per context and kind: hash of image code and folded key -> the children with that hash, in
// order, with a head that skips the ones matched since.
class TReportMerger::TIndex {
public:
    TTreeNode* Find(TTreeNode* holder, TMatch kind, int32_t imageCode, std::string_view key) {
        auto& contexts = Contexts_[kind == TMatch::Property ? 0 : 1];
        auto found = contexts.find(holder);
        if (found == contexts.end()) {
            if (holder->ChildCount() <= kIndexThreshold)
                return Walk(holder, kind, imageCode, key);
            found = contexts.emplace(holder, Build(holder, kind)).first;
        }
        auto bucket = found->second.find(HashKey(imageCode, key));
        if (bucket == found->second.end())
            return nullptr;
        TBucket& nodes = bucket->second;
        while (nodes.Head < nodes.Nodes.size() && !Unmatched(*nodes.Nodes[nodes.Head], kind))
            ++nodes.Head;
        for (size_t i = nodes.Head; i < nodes.Nodes.size(); ++i) {
            if (KeyMatches(*nodes.Nodes[i], kind, imageCode, key))
                return nodes.Nodes[i];
        }
        return nullptr;
    }

private:
    struct TBucket {
        std::vector<TTreeNode*> Nodes;
        size_t Head = 0;
    };
    using TBuckets = std::unordered_map<uint64_t, TBucket>;

    static TTreeNode* Walk(TTreeNode* holder, TMatch kind, int32_t imageCode,
                           std::string_view key) {
        for (size_t i = 0; i < holder->ChildCount(); ++i) {
            if (KeyMatches(*holder->Child(i), kind, imageCode, key))
                return holder->Child(i);
        }
        return nullptr;
    }

    static TBuckets Build(TTreeNode* holder, TMatch kind) {
        TBuckets buckets;
        buckets.reserve(holder->ChildCount());
        for (size_t i = 0; i < holder->ChildCount(); ++i) {
            TTreeNode* child = holder->Child(i);
            if (!Unmatched(*child, kind))
                continue;
            const uint64_t hash = HashKey(
                child->ImageCode(), kind == TMatch::Property ? child->Text() : GroupName(*child));
            buckets[hash].Nodes.push_back(child);
        }
        return buckets;
    }

    std::unordered_map<const TTreeNode*, TBuckets> Contexts_[2];
};

TReportMerger::TReportMerger(TReportTree& tree) : Tree_(tree), Index_(std::make_unique<TIndex>()) {}

TReportMerger::~TReportMerger() = default;

TTreeNode* TReportMerger::MergeNode(TTreeNode* context, int32_t imageCode, const std::string& text,
                                    uint32_t flags, uint32_t code) {
    if (code >= 256)
        throw TReportError("level-or-type code " + std::to_string(code) + " is out of range");
    bool difference = false;
    TTreeNode* result;
    TTreeNode* holder;
    if (code >= static_cast<uint32_t>(kMinTypeCode)) {
        result = MergeProperty(context, imageCode, text, flags, code, difference);
        holder = result;
    } else {
        result = MergeGroup(context, imageCode, text, static_cast<int>(code), difference);
        holder = result->Parent();
    }
    if (difference && holder != nullptr && holder->StateIndex() == ssSame)
        holder->SetStateIndex(ssContainsChanges);
    return result;
}

TTreeNode* TReportMerger::MergeProperty(TTreeNode* context, int32_t imageCode,
                                        const std::string& text, uint32_t flags, uint32_t code,
                                        bool& difference) {
    if (context == nullptr) {
        context = Tree_.AppendTop(std::string(), kFillerImageCode);
        context->SetStateIndex(ssAdded);
    }
    const size_t equals = text.find('=');
    const std::string_view key =
        equals == std::string::npos ? std::string_view() : std::string_view(text).substr(0, equals);
    const std::string_view value = equals == std::string::npos
                                       ? std::string_view()
                                       : std::string_view(text).substr(equals + 1);

    TTreeNode* node = Index_->Find(context, TMatch::Property, imageCode, key);
    if (node == nullptr) {
        AddNode(Tree_, context, imageCode, 0, text, code);
        context->LastChild()->SetStateIndex((flags & nfVolatile) != 0 ? ssVolatileAdded : ssAdded);
        return context;
    }
    if (TTreeListObj* property = node->Property()) {
        if (support::AnsiSameText(property->Value, value)) {
            node->SetStateIndex(ssSame);
        } else {
            property->Value.reserve(property->Value.size() + 1 + value.size());
            property->Value += '|';
            property->Value += value;
            if ((property->Flags & nfVolatile) != 0 && (flags & nfVolatile) != 0) {
                node->SetStateIndex(ssVolatileChanged);
            } else {
                node->SetStateIndex(ssChanged);
                difference = true;
            }
        }
    } else if (value.empty()) {
        node->SetStateIndex(ssSame);
    } else {
        node->SetStateIndex(ssChanged);
        difference = true;
    }
    return context;
}

TTreeNode* TReportMerger::MergeGroup(TTreeNode* context, int32_t imageCode, const std::string& text,
                                     int level, bool& difference) {
    TTreeNode* holder = context != nullptr ? context : Tree_.Root();
    if (holder->Level() + 1 < level) {
        while (holder->Level() + 1 < level) {
            holder = holder->AppendChild(std::string(), kFillerImageCode);
            holder->SetStateIndex(ssAdded);
        }
    } else if (holder->Level() >= level) {
        holder = level == 0 ? Tree_.Root() : holder->AncestorAtLevel(level - 1);
    }
    if (TTreeNode* node = Index_->Find(holder, TMatch::Group, imageCode, text)) {
        node->SetStateIndex(ssSame);
        return node;
    }
    TTreeNode* node = holder->AppendChild(text, imageCode > 0 ? imageCode : 0);
    node->SetStateIndex(ssAdded);
    difference = true;
    return node;
}

void TReportMerger::FinalPass() {
    for (TTreeNode* node = Tree_.First(); node != nullptr; node = node->NextInTree()) {
        const TTreeListObj* property = node->Property();
        bool volatileDifference = false;
        if (node->StateIndex() < 0) {
            if (property == nullptr) {
                if (node->ChildCount() > 0 || node->Object() != nullptr || node->Level() > 1)
                    node->SetStateIndex(ssRemoved);
            } else if ((property->Flags & nfVolatile) != 0) {
                node->SetStateIndex(ssVolatileRemoved);
                volatileDifference = true;
            } else {
                node->SetStateIndex(ssRemoved);
            }
        }
        const int32_t state = node->StateIndex();
        if (state == ssRemoved || state == ssContainsChanges) {
            MarkAncestors(node, ssVolatileChanged, ssSame, ssContainsChanges);
            continue;
        }
        if (state == ssVolatileChanged)
            volatileDifference = true;
        if (volatileDifference)
            MarkAncestors(node, ssSame, ssSame, ssVolatileChanged);
    }
}

int LoadCompareReportFromBytes(TReportDocument& doc, std::string_view bytes) {
    if (bytes.size() < kHeaderEnd || bytes.substr(0, 5) != kOwnSignature)
        return 1;
    const uint8_t version = static_cast<uint8_t>(bytes[5]);
    if (version > 1)
        return 2;
    // The whole file is checked first: merging is not undoable, and a half-merged tree would
    // show (and could be saved with) wrong values.
    size_t pos = kHeaderEnd;
    while (pos < bytes.size()) {
        TRecord rec;
        if (!ReadRecord(bytes, pos, TFormat::Own, version, rec))
            return 1;
        if (rec.Code >= 256 && rec.Code != kChartHeaderCode && rec.Code != kChartDataCode)
            return 1;
    }

    // Line nodes are rebuilt from the chart only when a report is loaded.
    for (TTreeNode* node = doc.Tree.First(); node != nullptr; node = node->NextInTree()) {
        if (node->ChartObject() == nullptr)
            continue;
        for (size_t i = node->ChildCount(); i-- > 0;) {
            if (node->Child(i)->ChartLine() != nullptr)
                node->Child(i)->Delete();
        }
    }

    TReportMerger merger(doc.Tree);
    TTreeNode* context = nullptr;
    pos = kHeaderEnd;
    while (pos < bytes.size()) {
        TRecord rec;
        ReadRecord(bytes, pos, TFormat::Own, version, rec);
        if (rec.Code == kChartHeaderCode || rec.Code == kChartDataCode)
            continue;
        std::string text = support::UnscrambleText(rec.Text);
        const bool category = rec.Code <= 1;
        if (category) {
            std::string english = CategoryName(static_cast<int32_t>(rec.Image), true);
            if (!english.empty())
                text = std::move(english);
        }
        context =
            merger.MergeNode(context, static_cast<int32_t>(rec.Image), text, rec.Flags, rec.Code);
        if (category)
            support::ProcessMessages();
    }
    merger.FinalPass();
    return 0;
}

int LoadCompareReport(TReportDocument& doc, const std::string& fileName) {
    // Opening for reading never needs another attempt; any read error answers at once.
    std::string bytes;
    bool tooLarge = false;
    try {
        if (!ReadWholeFile(fileName, bytes, tooLarge))
            return 1;
    } catch (const std::bad_alloc&) {
        return 1; // too large for the memory left: a file that cannot be compared
    }
    try {
        return LoadCompareReportFromBytes(doc, bytes);
    } catch (const std::bad_alloc&) {
        // The merge adds a bounded number of nodes per record, so this takes a machine at its
        // very limit; the file is reported as not comparable rather than ending the program.
        return 1;
    }
}

namespace {

void Select(TViewPosition& view, TTreeNode* node) {
    view.Selected = node;
    TTreeNode* previous = node->PrevInTree();
    view.TopRow = previous != nullptr ? previous : node;
}

} // namespace

bool NextDifference(const TReportTree& tree, TViewPosition& view) {
    if (!view.CompareMode)
        return false;
    TTreeNode* node = tree.First();
    if (view.Selected != nullptr) {
        node = IsDifferenceState(view.Selected->StateIndex()) ? view.Selected->NextInTree()
                                                              : view.Selected;
    }
    for (; node != nullptr; node = node->NextInTree()) {
        if (IsDifferenceState(node->StateIndex())) {
            Select(view, node);
            return true;
        }
    }
    return false;
}

bool PreviousDifference(const TReportTree& /*tree*/, TViewPosition& view) {
    if (!view.CompareMode || view.Selected == nullptr)
        return false;
    TTreeNode* node = IsDifferenceState(view.Selected->StateIndex()) ? view.Selected->PrevInTree()
                                                                     : view.Selected;
    for (; node != nullptr; node = node->PrevInTree()) {
        if (IsDifferenceState(node->StateIndex())) {
            Select(view, node);
            return true;
        }
    }
    return false;
}

} // namespace ostero::report
