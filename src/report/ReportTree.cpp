#include "report/ReportTree.h"

#include <algorithm>
#include <cctype>
#include <string_view>
#include <utility>

namespace ostero::report {

// --- Nodes

TTreeNode::TTreeNode(TReportTree* tree, TTreeNode* parent, int level, std::string text,
                     int32_t image)
    : Text_(std::move(text)), ImageCode_(image), Level_(level), Tree_(tree), Parent_(parent) {}

TTreeNode::~TTreeNode() {
    // Free deep trees without deep recursion: move the descendants out level by level.
    if (!Children_)
        return;
    TChildren pending = std::move(*Children_);
    Children_.reset();
    while (!pending.empty()) {
        std::unique_ptr<TTreeNode> node = std::move(pending.back());
        pending.pop_back();
        if (node->Children_) {
            for (auto& child : *node->Children_)
                pending.push_back(std::move(child));
            node->Children_.reset();
        }
    }
}

TTreeNode* TTreeNode::Parent() const {
    return Parent_ && Parent_->Level_ >= 0 ? Parent_ : nullptr;
}

TTreeNode* TTreeNode::NextSibling() const {
    if (!Parent_ || Index_ + 1 >= Parent_->ChildCount())
        return nullptr;
    return Parent_->Child(Index_ + 1);
}

TTreeNode* TTreeNode::PrevSibling() const {
    if (!Parent_ || Index_ == 0)
        return nullptr;
    return Parent_->Child(Index_ - 1);
}

TTreeNode* TTreeNode::NextInTree() const {
    if (TTreeNode* first = FirstChild())
        return first;
    for (const TTreeNode* node = this; node && node->Level_ >= 0; node = node->Parent_) {
        if (TTreeNode* next = node->NextSibling())
            return next;
    }
    return nullptr;
}

TTreeNode* TTreeNode::PrevInTree() const {
    TTreeNode* previous = PrevSibling();
    if (!previous)
        return Parent();
    while (previous->LastChild())
        previous = previous->LastChild();
    return previous;
}

TTreeNode* TTreeNode::AncestorAtLevel(int level) {
    if (level < 0 || level > Level_)
        return nullptr;
    TTreeNode* node = this;
    while (node->Level_ > level)
        node = node->Parent_;
    return node;
}

bool TTreeNode::IsDescendantOf(const TTreeNode* ancestor) const {
    for (const TTreeNode* node = Parent_; node; node = node->Parent_) {
        if (node == ancestor)
            return true;
    }
    return false;
}

TTreeNode* TTreeNode::AppendChild(std::string text, int32_t imageCode) {
    return InsertChild(ChildCount(), std::move(text), imageCode);
}

TTreeNode* TTreeNode::InsertChild(size_t index, std::string text, int32_t imageCode) {
    if (!Children_)
        Children_ = std::make_unique<TChildren>();
    index = std::min(index, Children_->size());
    auto node = std::unique_ptr<TTreeNode>(
        new TTreeNode(Tree_, this, Level_ + 1, std::move(text), imageCode));
    TTreeNode* raw = node.get();
    Children_->insert(Children_->begin() + static_cast<std::ptrdiff_t>(index), std::move(node));
    Renumber(index);
    return raw;
}

void TTreeNode::DeleteChildren() {
    // Moved out first: the children's destructors free their subtrees without deep recursion.
    std::unique_ptr<TChildren> children = std::move(Children_);
}

void TTreeNode::Delete() {
    TTreeNode* parent = Parent_;
    if (!parent)
        return; // the hidden root is never deleted
    const size_t index = Index_;
    std::unique_ptr<TTreeNode> self = std::move((*parent->Children_)[index]);
    parent->Children_->erase(parent->Children_->begin() + static_cast<std::ptrdiff_t>(index));
    parent->Renumber(index);
}

void TTreeNode::Renumber(size_t from) {
    for (size_t i = from; i < ChildCount(); ++i)
        (*Children_)[i]->Index_ = static_cast<uint32_t>(i);
}

// --- Trees

TReportTree::TReportTree()
    : Root_(std::unique_ptr<TTreeNode>(new TTreeNode(this, nullptr, -1, std::string(), 0))) {}

TReportTree::~TReportTree() = default;

TTreeNode* TReportTree::Last() const {
    TTreeNode* node = Root_->LastChild();
    while (node && node->LastChild())
        node = node->LastChild();
    return node;
}

TTreeNode* TReportTree::AppendTop(std::string text, int32_t imageCode) {
    return Root_->AppendChild(std::move(text), imageCode);
}

size_t TReportTree::Count() const {
    size_t count = 0;
    for (TTreeNode* node = First(); node; node = node->NextInTree())
        ++count;
    return count;
}

// --- AddNode

uint8_t ValueIconOf(const std::string& value) {
    // Called for every property read: compare in place, without an upper-case copy.
    static constexpr struct {
        std::string_view Word;
        uint8_t Icon;
    } kWords[] = {{"YES", 74}, {"NO", 75}, {"OK", 33}, {"ERROR", 32}, {"UNKNOWN", 15}};
    if (value.size() < 2 || value.size() > 7)
        return 0;
    for (const auto& word : kWords) {
        if (word.Word.size() != value.size())
            continue;
        bool same = true;
        for (size_t i = 0; i < value.size() && same; ++i)
            same = std::toupper(static_cast<unsigned char>(value[i])) == word.Word[i];
        if (same)
            return word.Icon;
    }
    return 0;
}

namespace {

// The node that holds the top level: the hidden root stands for "no context".
TTreeNode* Holder(TReportTree& tree, TTreeNode* context) {
    return context ? context : tree.Root();
}

// Appends fillers below `node` (the hidden root for the top) until the last one is at `level`.
TTreeNode* FillDownTo(TTreeNode* node, int level) {
    while (node->Level() < level)
        node = node->AppendChild(std::string(), kFillerImageCode);
    return node;
}

} // namespace

TTreeNode* AddNode(TReportTree& tree, TTreeNode* context, int32_t imageCode, uint32_t flags,
                   const std::string& text, uint32_t code) {
    if (code >= 256)
        throw TReportError("level-or-type code " + std::to_string(code) + " is out of range");

    if (code >= static_cast<uint32_t>(kMinTypeCode)) {
        if (!context)
            context = tree.AppendTop(std::string(), kFillerImageCode);
        std::string name = text;
        std::string value;
        bool hasValue = false;
        const size_t equals = text.find('=');
        if (equals != std::string::npos) {
            if (equals + 1 == text.size()) {
                // The first "=" is the last character, so it is the only one: no value.
                name = text.substr(0, equals);
            } else {
                name = text.substr(0, equals);
                value = text.substr(equals + 1);
                hasValue = true;
            }
        }
        TTreeNode* node = context->AppendChild(std::move(name), imageCode);
        auto object = std::make_unique<TTreeListObj>();
        object->ValueIcon = hasValue ? ValueIconOf(value) : 0;
        object->Value = std::move(value);
        object->TypeCode = static_cast<uint8_t>(code);
        object->Flags = flags;
        node->SetObject(std::move(object));
        return context;
    }

    const int level = static_cast<int>(code);
    TTreeNode* holder = Holder(tree, context);
    if (holder->Level() + 1 < level)
        holder = FillDownTo(holder, level - 1);
    else if (holder->Level() >= level)
        holder = level == 0 ? tree.Root() : holder->AncestorAtLevel(level - 1);
    return holder->AppendChild(text, imageCode > 0 ? imageCode : 0);
}

// --- Tables

namespace {

struct TCategory {
    int32_t Code;
    const char* English;
};

constexpr TCategory kCategories[] = {
    {400, "Basic information"},        {401, "Hardwaredevices"},
    {402, "Systeminformation"},        {403, "Testresults"},
    {404, "Software Preinstallation"}, {405, "Commentary"},
    {406, "Sensors and usage"},        {407, "Sensorlog"},
    {408, "iAMT information"},         {409, "IPMI information"},
    {410, "SNMP information"},         {450, "System Overview"},
    {451, "Program modules"},
};

std::string (*gCategoryTranslator)(const char*) = nullptr;

struct TImageEntry {
    int32_t Code;
    int Entry;
};

constexpr TImageEntry kImageEntries[] = {
    {400, 15}, {401, 0},   {402, 54},  {403, 48},  {404, 51}, {405, 38}, {406, 65},
    {407, 90}, {408, 111}, {409, 112}, {410, 113}, {450, 69}, {451, 52}, {500, 2},
    {501, 1},  {502, 3},   {503, 29},  {504, 5},   {505, 71}, {506, 56}, {507, 17},
    {508, 4},  {509, 65},  {510, 8},   {511, 24},  {512, 21}, {513, 12}, {514, 23},
    {515, 44}, {516, 44},  {517, 112}, {518, 112}, {600, 54}, {601, 0},  {602, 86},
    {603, 5},  {604, 22},  {605, 106}, {606, 3},   {607, 75}, {608, 79}, {609, 52},
    {610, 81}, {611, 78},  {612, 50},  {613, 61},  {900, 33}, {901, 86}, {902, 33},
};

constexpr const char* kIconKeywords[123] = {
    "",
    "Hardware",
    "PCI Devices",
    "CPUs",
    "DIM Modules",
    "DMI Infos",
    "Mass Storage Devices",
    "CDROM",
    "Floppy",
    "Harddisk",
    "PCI Device",
    "CPU",
    "Memory Module",
    "Chip",
    "Port",
    "UnknownRoot",
    "Info",
    "SCSI Device",
    "Ident",
    "Ident Error",
    "Ident Unknown",
    "BIOS",
    "PCI Bridge",
    "PCI Network",
    "PCI Multimedia",
    "PCI Display",
    "PCI USB",
    "PCI Storage Controller",
    "Article",
    "PCI Modem",
    "Mainboard",
    "Frequency",
    "Failed",
    "OK",
    "Tools",
    "PCI Wireless",
    "Ident Blocked",
    "Article Error",
    "Attention",
    "Document",
    "Cancel",
    "Freq. Error",
    "Freq. Unknown",
    "Serialnumber",
    "Connection Error",
    "Red Info",
    "Clock",
    "Check",
    "Exchange",
    "PC-Test",
    "User",
    "Event",
    "Software",
    "Application",
    "Driver",
    "Operatingsystem",
    "Setting",
    "USB Devices",
    "PCMCIA",
    "Image Device",
    "Input Device",
    "Printer",
    "Security Device",
    "Video Device",
    "Storage Device",
    "USB Device",
    "Temperature",
    "Fan",
    "Firewire",
    "Taveric",
    "System",
    "DMI",
    "Monitor",
    "Network Drive",
    "Yes",
    "No",
    "DirectX",
    "SMBus",
    "System Device",
    "Service",
    "Windows Update",
    "Infrared",
    "Power",
    "Document",
    "SequentialStorage",
    "Removable Storage",
    "Voltage",
    "Speed",
    "Windows",
    "Bluetooth",
    "Battery",
    "Chart",
    // 92..106: the chart-line pictures have no keyword
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "",
    "Processes",
    "Running Process",
    "Stopped Process",
    "Error",
    "Warning",
    "iAMT",
    "IPMI",
    "SNMP",
    // 115..117
    "",
    "",
    "",
    "HDD Temperature",
    "CPU Temperature",
    "Memory Temperature",
    "GPU Temperature",
    "Chip Temperature",
};

} // namespace

std::string CategoryName(int32_t code, bool english) {
    for (const auto& category : kCategories) {
        if (category.Code != code)
            continue;
        if (english || !gCategoryTranslator)
            return category.English;
        return gCategoryTranslator(category.English);
    }
    return {};
}

void SetCategoryNameTranslator(std::string (*translate)(const char* english)) {
    gCategoryTranslator = translate;
}

int ImageListIndex(int32_t code) {
    if (code < 400)
        return code - 1;
    for (const auto& entry : kImageEntries) {
        if (entry.Code == code)
            return entry.Entry;
    }
    return 0;
}

bool ChosenForWriting(const TTreeNode& node, bool keepPrivate) {
    const int32_t state = node.StateIndex();
    if (state >= 0 && state != kContentsPartlyChecked && state != kContentsChecked)
        return false;
    const TTreeListObj* prop = node.Property();
    return keepPrivate || prop == nullptr || (prop->Flags & nfPrivate) == 0;
}

bool ChosenWithContent(const TTreeNode& node, bool keepPrivate) {
    if (!ChosenForWriting(node, keepPrivate) || node.ChartLine() != nullptr)
        return false;
    const TReportInfo* info = node.ReportInfo();
    return info == nullptr || info->HasContent();
}

const char* IconKeyword(int32_t iconNumber) {
    if (iconNumber < 1 || iconNumber > 122)
        return "";
    return kIconKeywords[iconNumber];
}

} // namespace ostero::report
