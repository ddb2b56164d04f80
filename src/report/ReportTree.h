#pragma once
// The report tree: nodes with a text, an image code, a state index, at most one owned object
// and ordered children, and AddNode, through which every reader and session appends nodes.
// Qt-free; the tree-list view reads this tree directly.

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace ostero::report {

class TChart;
class TReportTree;
class TTreeNode;

// Node flags (TTreeListObj::Flags).
constexpr uint32_t nfHighlight = 1; // background 0xB0FFFF
constexpr uint32_t nfAlert = 2;     // background 0xD0D0FF; wins over nfHighlight
constexpr uint32_t nfVolatile = 4;  // the value is expected to change
constexpr uint32_t nfPrivate = 8;   // left out by the writers unless private data is kept
constexpr uint32_t nfLink = 16;     // the value is a web address

constexpr int32_t kFillerImageCode = 14; // filler groups made by AddNode
constexpr int kMaxGroupLevel = 9;        // level-or-type codes 0..9 are group levels
constexpr int kMinTypeCode = 10;         // 10..255 are property type codes

// Raised by AddNode for a level-or-type code of 256 or more; readers turn it into their result.
class TReportError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class TNodeObjectKind : uint8_t { TreeList, ReportInfo, ChartObject, ChartLine };

// The object a node may own.
class TNodeObject {
public:
    virtual ~TNodeObject() = default;
    virtual TNodeObjectKind Kind() const = 0;
};

// Property node object.
class TTreeListObj final : public TNodeObject {
public:
    TNodeObjectKind Kind() const override { return TNodeObjectKind::TreeList; }
    std::string Value;     // after a compare merge: old value, "|", new value
    uint8_t ValueIcon = 0; // icon drawn instead of the value; 0 = none
    uint8_t TypeCode = 0;  // 10..255
    uint32_t Flags = 0;    // nf... flags; other bits are kept unchanged
};

// Contents-tree node object of the export wizard. Refers to nodes and a chart; owns nothing.
class TReportInfo final : public TNodeObject {
public:
    TNodeObjectKind Kind() const override { return TNodeObjectKind::ReportInfo; }
    bool HasContent() const { return Subtree != nullptr || Chart != nullptr; }
    TTreeNode* Subtree = nullptr;
    TTreeNode* SourceNode = nullptr;
    int32_t ModuleIndex = 0;
    TChart* Chart = nullptr;
};

// The chart node's object: the chart whose series its children stand for.
class TChartObject final : public TNodeObject {
public:
    TNodeObjectKind Kind() const override { return TNodeObjectKind::ChartObject; }
    TChart* Chart = nullptr;
};

// A line node's object.
class TChartLine final : public TNodeObject {
public:
    TNodeObjectKind Kind() const override { return TNodeObjectKind::ChartLine; }
    uint32_t Color = 0; // 0xBBGGRR
    bool Active = false;
};

class TTreeNode {
public:
    TTreeNode(const TTreeNode&) = delete;
    TTreeNode& operator=(const TTreeNode&) = delete;
    ~TTreeNode();

    const std::string& Text() const { return Text_; }
    void SetText(std::string text) { Text_ = std::move(text); }
    int32_t ImageCode() const { return ImageCode_; }
    void SetImageCode(int32_t code) { ImageCode_ = code; }
    int32_t StateIndex() const { return StateIndex_; } // -1 when none
    void SetStateIndex(int32_t state) { StateIndex_ = state; }

    TNodeObject* Object() const { return Object_.get(); }
    void SetObject(std::unique_ptr<TNodeObject> object) { Object_ = std::move(object); }
    // The object as one kind, or nullptr.
    TTreeListObj* Property() const { return As<TTreeListObj>(TNodeObjectKind::TreeList); }
    TReportInfo* ReportInfo() const { return As<TReportInfo>(TNodeObjectKind::ReportInfo); }
    TChartObject* ChartObject() const { return As<TChartObject>(TNodeObjectKind::ChartObject); }
    TChartLine* ChartLine() const { return As<TChartLine>(TNodeObjectKind::ChartLine); }

    // nullptr for a top-level node.
    TTreeNode* Parent() const;
    // Depth in its tree: 0 for a top-level node.
    int Level() const { return Level_; }
    // Position among its siblings.
    size_t Index() const { return Index_; }
    TReportTree& Tree() const { return *Tree_; }

    size_t ChildCount() const { return Children_ ? Children_->size() : 0; }
    TTreeNode* Child(size_t index) const { return (*Children_)[index].get(); }
    TTreeNode* FirstChild() const { return ChildCount() ? Children_->front().get() : nullptr; }
    TTreeNode* LastChild() const { return ChildCount() ? Children_->back().get() : nullptr; }
    TTreeNode* NextSibling() const;
    TTreeNode* PrevSibling() const;
    // The next node in tree order (pre-order: children first, then siblings, then up).
    TTreeNode* NextInTree() const;
    // The previous node in tree order.
    TTreeNode* PrevInTree() const;
    // The ancestor at `level` (this node for its own level), nullptr when above it.
    TTreeNode* AncestorAtLevel(int level);
    bool IsDescendantOf(const TTreeNode* node) const;

    // Appends a child without object.
    TTreeNode* AppendChild(std::string text, int32_t imageCode = 0);
    // Inserts a child at `index` (at most ChildCount()).
    TTreeNode* InsertChild(size_t index, std::string text, int32_t imageCode = 0);
    // Deletes the children and their objects.
    void DeleteChildren();
    // Deletes this node (with its subtree) from its parent; `this` is gone afterwards.
    void Delete();

private:
    friend class TReportTree;
    TTreeNode(TReportTree* tree, TTreeNode* parent, int level, std::string text, int32_t image);
    template <typename T> T* As(TNodeObjectKind kind) const {
        return Object_ && Object_->Kind() == kind ? static_cast<T*>(Object_.get()) : nullptr;
    }
    void Renumber(size_t from);

    std::string Text_;
    int32_t ImageCode_ = 0;
    int32_t StateIndex_ = -1;
    int32_t Level_ = 0;
    uint32_t Index_ = 0;
    TReportTree* Tree_;
    TTreeNode* Parent_; // the tree's hidden root for top-level nodes
    std::unique_ptr<TNodeObject> Object_;
    // Allocated with the first child: most nodes are leaves, and a million of them should not
    // each carry an empty list.
    using TChildren = std::vector<std::unique_ptr<TTreeNode>>;
    std::unique_ptr<TChildren> Children_;
};

// A whole tree. Its top-level nodes are the children of a hidden root.
class TReportTree {
public:
    TReportTree();
    ~TReportTree();
    TReportTree(const TReportTree&) = delete;
    TReportTree& operator=(const TReportTree&) = delete;

    size_t TopCount() const { return Root_->ChildCount(); }
    TTreeNode* Top(size_t index) const { return Root_->Child(index); }
    // The first top-level node, nullptr for an empty tree.
    TTreeNode* First() const { return Root_->FirstChild(); }
    TTreeNode* Last() const; // the last node in tree order
    TTreeNode* AppendTop(std::string text, int32_t imageCode = 0);
    bool Empty() const { return Root_->ChildCount() == 0; }
    void Clear() { Root_->DeleteChildren(); }
    // Number of nodes in the tree.
    size_t Count() const;

    // The hidden root (level -1): its children are the top level. For walks and inserts.
    TTreeNode* Root() const { return Root_.get(); }

private:
    std::unique_ptr<TTreeNode> Root_;
};

// Appends one node and answers the context for the next call (see the rules in ReportTree.cpp).
// `context` is the node the previous call answered, or nullptr at the top. `code` is the
// level-or-type code: 0..9 a group at that level, 10..255 a property of that type code.
// Throws TReportError for codes of 256 and above.
TTreeNode* AddNode(TReportTree& tree, TTreeNode* context, int32_t imageCode, uint32_t flags,
                   const std::string& text, uint32_t code);

// Check states of the export wizard's contents nodes.
constexpr int32_t kContentsPartlyChecked = 1;
constexpr int32_t kContentsChecked = 4;

// Whether the writers take a node at all: it has no state, or the export contents state 1
// (partly chosen) or 4 (chosen), and it is not a private property while private data is left
// out. Each writer adds its own rule for chart-line and contents nodes.
bool ChosenForWriting(const TTreeNode& node, bool keepPrivate);
// The rule of the writers that follow contents nodes into the main tree node by node (report
// file, HTML page): ChosenForWriting, and neither a chart-line node nor a contents node that
// leads nowhere.
bool ChosenWithContent(const TTreeNode& node, bool keepPrivate);

// The icon for a value shown as a picture: YES 74, NO 75, OK 33, ERROR 32, UNKNOWN 15, else 0.
uint8_t ValueIconOf(const std::string& value);

// Category codes of the top-level categories.
constexpr int32_t kCategoryBasic = 400, kCategoryHardware = 401, kCategorySystem = 402,
                  kCategoryTestResults = 403, kCategoryPreinstallation = 404,
                  kCategoryCommentary = 405, kCategorySensors = 406, kCategorySensorLog = 407,
                  kCategoryIamt = 408, kCategoryIpmi = 409, kCategorySnmp = 410,
                  kCategorySystemOverview = 450, kCategoryProgramModules = 451;

// The category's name: the fixed English text, or with `english` false the text in the
// interface language (through the translator the UI installs). Empty for other codes.
std::string CategoryName(int32_t code, bool english);
// Installs the translation of category names (English text in, interface-language text out,
// both Windows-1252). Without one, the English text is used.
void SetCategoryNameTranslator(std::string (*translate)(const char* english));

// The icon-list entry of an image code (-1 for 0).
int ImageListIndex(int32_t code);
// The keyword of icon numbers 1..122 (empty for numbers without one).
const char* IconKeyword(int32_t iconNumber);

} // namespace ostero::report
