#include "support/XmlDocument.h"

#include "support/Crc16.h"
#include "support/SysUtils.h"
#include "support/TextCodec.h"
#include "support/platform/FileReplace.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <optional>
#include <system_error>

namespace ostero::support {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kCryptingId = "CryptingID";
constexpr std::string_view kCryptingChecksum = "CryptingChecksum";
constexpr std::size_t kTokenWindow = 255;

bool IsBlankOrControl(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}

std::string PositionText(const std::string& message, std::size_t position) {
    if (position == XmlError::kNoPosition)
        return message;
    return message + " (at byte offset " + std::to_string(position) + ")";
}

// A decimal number with an optional sign and nothing around it.
template <typename T> bool ParseDecimal(std::string_view text, T& value) {
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && text.front() == '-')
            return false;
    }
    if (text.empty())
        return false;
    const char* end = text.data() + text.size();
    T parsed{};
    const auto [ptr, ec] = std::from_chars(text.data(), end, parsed);
    if (ec != std::errc() || ptr != end)
        return false;
    value = parsed;
    return true;
}

std::string WithoutQuotes(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        if (c != '"')
            out += c;
    }
    return out;
}

// True when the attribute string `attribute` ("name=...") has the name `name`.
bool AttributeHasName(std::string_view attribute, std::string_view name) {
    return attribute.size() > name.size() && attribute[name.size()] == '=' &&
           attribute.starts_with(name) && name.find('=') == std::string_view::npos;
}

// The raw text after the "=" of the first attribute named `name`; false when there is none.
bool FindAttribute(const std::vector<std::string>& attributes, std::string_view name,
                   std::string_view& value) {
    for (const std::string& attribute : attributes) {
        if (AttributeHasName(attribute, name)) {
            value = std::string_view(attribute).substr(name.size() + 1);
            return true;
        }
    }
    return false;
}

std::size_t EscapedSize(std::string_view text) {
    std::size_t size = text.size();
    for (const char c : text) {
        switch (c) {
        case '&':
            size += 4;
            break;
        case '<':
        case '>':
            size += 3;
            break;
        case '"':
            size += 5;
            break;
        default:
            break;
        }
    }
    return size;
}

// A text run of a document as a value: CR LF pairs removed, both ends trimmed.
std::string CleanTextRun(std::string_view run) {
    std::string out;
    out.reserve(run.size());
    for (std::size_t i = 0; i < run.size(); ++i) {
        if (run[i] == '\r' && i + 1 < run.size() && run[i + 1] == '\n') {
            ++i;
            continue;
        }
        out += run[i];
    }
    std::size_t begin = 0;
    while (begin < out.size() && IsBlankOrControl(out[begin]))
        ++begin;
    std::size_t end = out.size();
    while (end > begin && IsBlankOrControl(out[end - 1]))
        --end;
    return out.substr(begin, end - begin);
}

// --- Writing

// An attribute as written: name="value", the value in the form `encode` gives it.
void AppendAttributeText(std::string& out, std::string_view name, std::string_view value,
                         TXmlEncoder encode) {
    out.append(name);
    out.append("=\"");
    encode(out, value);
    out.push_back('"');
}

// Where the text goes: a string, and with a file, that string is handed to the file whenever
// it has grown past kFlushSize, so that a big document is never held whole in memory.
class TOutput {
public:
    static constexpr std::size_t kFlushSize = std::size_t{1} << 18;

    explicit TOutput(platform::TFileReplacement* file = nullptr) : FFile(file) {
        if (FFile)
            FText.reserve(kFlushSize + 4096);
    }

    std::string& Text() { return FText; }
    // Everything written so far, flushed or not.
    std::size_t Size() const { return FFlushed + FText.size(); }

    void Append(std::string_view piece) {
        CheckRoom(piece.size());
        FText.append(piece);
    }
    void Append(char c) {
        CheckRoom(1);
        FText.push_back(c);
    }
    void AppendBlanks(std::size_t count) {
        CheckRoom(count);
        FText.append(count, ' ');
    }
    // Appends `text` in the form `encode` gives it.
    void AppendEncoded(TXmlEncoder encode, std::string_view text) {
        encode(FText, text);
        CheckRoom(0);
    }
    // Drops what was written after `size` bytes of the part not yet flushed.
    void Truncate(std::size_t size) { FText.resize(size); }
    void CheckRoom(std::size_t more) const {
        if (Size() > XmlDocument::kMaxTextSize || more > XmlDocument::kMaxTextSize - Size())
            [[unlikely]]
            ThrowTooLarge();
    }
    // Called between elements. A failed write is kept by the file and reported when it is
    // committed; what follows is not written any more.
    void MaybeFlush() {
        if (FText.size() >= kFlushSize)
            Flush();
    }
    void Flush() {
        if (!FFile)
            return;
        if (!FFailed)
            FFailed = !FFile->Write(FText);
        FFlushed += FText.size();
        FText.clear();
    }

private:
    // Apart, so that the checks on every piece stay small enough to be inlined.
    [[noreturn, gnu::noinline, gnu::cold]] static void ThrowTooLarge() {
        throw XmlError("The XML text would be larger than " +
                       std::to_string(XmlDocument::kMaxTextSize) + " bytes");
    }

    platform::TFileReplacement* FFile;
    std::string FText;
    std::size_t FFlushed = 0;
    bool FFailed = false;
};

// The layout of one element, the one place that decides it: XmlText and TXmlStreamWriter both
// write through it, so that the two cannot drift apart. An element is StartTag, its attributes,
// EndStartTag; then a leaf's value, or StartContent, its children and EndContent; then
// EndElement.
struct TElementLayout {
    static void Declaration(TOutput& out, std::string_view encoding) {
        out.Append("<?xml version=\"1.0\" encoding=\"");
        out.Append(encoding.empty() ? std::string_view("iso-8859-1") : encoding);
        out.Append("\"?>\r\n");
    }
    static void StartTag(TOutput& out, bool indent, int level, std::string_view name) {
        if (indent)
            out.AppendBlanks(2 * static_cast<std::size_t>(level));
        out.Append('<');
        out.Append(name);
    }
    // Before each attribute as written (name="value").
    static void AttributeSeparator(TOutput& out) { out.Append(' '); }
    static void EndStartTag(TOutput& out) { out.Append('>'); }
    static void StartContent(TOutput& out, bool indent) {
        if (indent)
            out.Append("\r\n");
    }
    static void EndContent(TOutput& out, bool indent, int level) {
        if (indent)
            out.AppendBlanks(2 * static_cast<std::size_t>(level));
    }
    static void EndElement(TOutput& out, bool indent, std::string_view name) {
        out.Append("</");
        out.Append(name);
        out.Append('>');
        if (indent)
            out.Append("\r\n");
    }
    // About the size of a plain element without its children, its value or its content.
    static std::size_t FrameSize(std::string_view name, bool indent, int level) {
        return 2 * name.size() + 5 + (indent ? 2 * static_cast<std::size_t>(level) + 2 : 0);
    }
};

[[noreturn]] void ThrowTooDeep() {
    throw XmlError("Elements are nested deeper than " + std::to_string(XmlDocument::kMaxDepth) +
                   " levels");
}

class TWriter {
public:
    static void WriteDocument(XmlDocument& doc, TOutput& out) {
        XmlNodeList& root = doc.Root();
        if (root.Count() == 0)
            return;
        if (doc.IncludeHeader())
            TElementLayout::Declaration(out, doc.Encoding());
        for (int i = 0; i < root.Count(); ++i) {
            XmlNode& node = *root.Item(i);
            Write(node, doc.AutoIndent(), node.Level(), 1, 0, out);
        }
    }

    // About the size of the document's text, so that it can be made in one buffer: exact for
    // plain elements, crypted content counted as its plain text.
    static std::size_t SizeOf(const XmlDocument& doc) {
        const XmlNodeList& root = doc.Root();
        std::size_t size = doc.IncludeHeader() ? 48 + doc.Encoding().size() : 0;
        for (int i = 0; i < root.Count(); ++i) {
            const XmlNode& node = *root.Item(i);
            size += SizeOf(node, doc.AutoIndent(), node.Level(), 1);
        }
        return size;
    }

private:
    static std::size_t SizeOf(const XmlNode& node, bool indent, int level, int depth) {
        if (depth > XmlDocument::kMaxDepth)
            return 0; // Write refuses it
        std::size_t size = TElementLayout::FrameSize(node.Name(), indent, level);
        for (const std::string& attribute : node.Attributes())
            size += 1 + attribute.size();
        const XmlNodeList& children = node.Children();
        if (children.Count() == 0)
            return size + node.Value().size();
        const bool inner = indent && node.CryptingID() == 0;
        if (inner)
            size += 2 * static_cast<std::size_t>(level) + 2;
        for (int i = 0; i < children.Count(); ++i) {
            const XmlNode& child = *children.Item(i);
            size += SizeOf(child, inner, ChildLevel(child, node, level), depth + 1);
        }
        return size;
    }

    static void WriteStartTag(const XmlNode& node, bool indent, int level, TOutput& out) {
        TElementLayout::StartTag(out, indent, level, node.Name());
        for (const std::string& attribute : node.Attributes()) {
            TElementLayout::AttributeSeparator(out);
            out.Append(attribute);
        }
        TElementLayout::EndStartTag(out);
    }

    static std::string EscapeWithinLimit(std::string_view text) {
        if (EscapedSize(text) > XmlDocument::kMaxTextSize)
            throw XmlError("The XML text would be larger than " +
                           std::to_string(XmlDocument::kMaxTextSize) + " bytes");
        return XmlEscape(text);
    }

    // The level of a child: one below its parent, unless it was made without one.
    static int ChildLevel(const XmlNode& child, const XmlNode& node, int level) {
        return child.Parent() == &node ? level + 1 : child.Level();
    }

    // `depth` counts the nodes on the way down (the stack in use); `crypted` the crypted
    // elements around this one.
    static void Write(XmlNode& node, bool indent, int level, int depth, int crypted, TOutput& out) {
        if (depth > XmlDocument::kMaxDepth)
            ThrowTooDeep();
        XmlNodeList& children = node.Children();
        const int id = node.CryptingID();
        if (children.Count() == 0) {
            WriteStartTag(node, indent, level, out);
            out.Append(node.Value());
        } else if (id == 0) {
            // The content does not change the open tag: write the children straight out.
            WriteStartTag(node, indent, level, out);
            TElementLayout::StartContent(out, indent);
            for (int i = 0; i < children.Count(); ++i) {
                XmlNode& child = *children.Item(i);
                Write(child, indent, ChildLevel(child, node, level), depth + 1, crypted, out);
            }
            TElementLayout::EndContent(out, indent, level);
        } else {
            if (crypted >= XmlDocument::kMaxCryptedNesting)
                throw XmlError("Crypted elements are nested deeper than " +
                               std::to_string(XmlDocument::kMaxCryptedNesting) + " levels");
            // The open tag carries the checksum of the content: the content is made apart.
            TOutput inner;
            for (int i = 0; i < children.Count(); ++i) {
                XmlNode& child = *children.Item(i);
                Write(child, false, ChildLevel(child, node, level), depth + 1, crypted + 1, inner);
            }
            std::string& content = inner.Text();
            if (id == 1)
                content = EscapeWithinLimit(EscapeWithinLimit(ScrambleText(content)));

            std::vector<std::string>& attributes = node.Attributes();
            std::erase_if(attributes, [](const std::string& attribute) {
                return AttributeHasName(attribute, kCryptingId) ||
                       AttributeHasName(attribute, kCryptingChecksum);
            });
            attributes.push_back(std::string(kCryptingId) + "=\"" + std::to_string(id) + "\"");
            if (id > 0)
                attributes.push_back(std::string(kCryptingChecksum) + "=\"" +
                                     std::to_string(Crc16Arc(content)) + "\"");

            WriteStartTag(node, indent, level, out);
            out.Append(content);
        }
        TElementLayout::EndElement(out, indent, node.Name());
        out.MaybeFlush();
    }
};

// Where a save goes: a file replaced whole, with its folder created when missing (one level).
// Until Commit the previous file stays; without Commit the new file, and a folder made for it,
// are removed when the target goes.
class TSaveTarget {
public:
    explicit TSaveTarget(const std::string& path) {
        const fs::path folder = fs::path(path).parent_path();
        std::error_code ec;
        if (!folder.empty() && !fs::exists(folder, ec) && fs::create_directory(folder, ec))
            FCreatedFolder = folder; // one level; a failure shows in the write
        std::string error;
        if (!FFile->Begin(path, error)) {
            RemoveFolder();
            throw XmlError(error);
        }
    }
    ~TSaveTarget() {
        if (FCommitted)
            return;
        FFile.reset(); // the new file goes first, so that its folder is empty
        RemoveFolder();
    }
    TSaveTarget(const TSaveTarget&) = delete;
    TSaveTarget& operator=(const TSaveTarget&) = delete;

    platform::TFileReplacement& File() { return *FFile; }
    void Commit() {
        std::string error;
        if (!FFile->Commit(error))
            throw XmlError(error);
        FCommitted = true;
    }

private:
    void RemoveFolder() {
        std::error_code ec;
        if (!FCreatedFolder.empty())
            fs::remove(FCreatedFolder, ec); // leave the disk as it was
    }

    fs::path FCreatedFolder;
    std::optional<platform::TFileReplacement> FFile{std::in_place};
    bool FCommitted = false;
};

// --- Saving

} // namespace

// --- XmlError

XmlError::XmlError(const std::string& message, std::size_t position)
    : std::runtime_error(PositionText(message, position)), FMessage(message), FPosition(position) {}

// --- Escaping

std::string XmlEscape(std::string_view text) {
    std::string out;
    out.reserve(EscapedSize(text));
    AppendXmlEscaped(out, text);
    return out;
}

void AppendXmlEscaped(std::string& out, std::string_view text) {
    std::size_t plain = 0; // start of the run of characters that stay as they are
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::string_view entity;
        switch (text[i]) {
        case '&':
            entity = "&amp;";
            break;
        case '<':
            entity = "&lt;";
            break;
        case '>':
            entity = "&gt;";
            break;
        case '"':
            entity = "&quot;";
            break;
        default:
            continue;
        }
        out.append(text.data() + plain, i - plain);
        out.append(entity);
        plain = i + 1;
    }
    out.append(text.data() + plain, text.size() - plain);
}

std::string XmlUnescape(std::string_view text) {
    static constexpr struct {
        std::string_view Entity;
        char Character;
    } kEntities[] = {{"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}};

    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] == '&') {
            bool decoded = false;
            for (const auto& entity : kEntities) {
                if (text.substr(i).starts_with(entity.Entity)) {
                    out += entity.Character;
                    i += entity.Entity.size();
                    decoded = true;
                    break;
                }
            }
            if (decoded)
                continue;
        }
        out += text[i++];
    }
    return out;
}

// --- XmlNodeList

XmlNodeList::XmlNodeList(XmlNode* owner) : FOwner(owner), FCursor(owner) {}

XmlNodeList::~XmlNodeList() {
    DestroyNodes(FNodes);
}

void XmlNodeList::DestroyNodes(std::vector<std::unique_ptr<XmlNode>>& nodes) {
    std::vector<std::unique_ptr<XmlNode>> pending = std::move(nodes);
    nodes.clear();
    while (!pending.empty()) {
        std::unique_ptr<XmlNode> node = std::move(pending.back());
        pending.pop_back();
        // Take the children over before the node goes, so its own list frees nothing.
        for (std::unique_ptr<XmlNode>& child : node->FChildren.FNodes)
            pending.push_back(std::move(child));
        node->FChildren.FNodes.clear();
    }
}

XmlNode* XmlNodeList::OpenElement(std::string_view tag) {
    if (FCursor && FCursor->Level() + 1 >= XmlDocument::kMaxDepth)
        ThrowTooDeep();
    auto node = std::make_unique<XmlNode>(FCursor);
    node->ParseTag(tag);
    XmlNode* added = node.get();
    std::vector<std::unique_ptr<XmlNode>>& siblings = FCursor ? FCursor->FChildren.FNodes : FNodes;
    if (siblings.empty())
        siblings.reserve(4); // fewer steps of growth for the short lists most elements have
    siblings.push_back(std::move(node));
    FCursor = added;
    return added;
}

XmlNode* XmlNodeList::AddLeafElement(std::string_view tag) {
    XmlNode* node = OpenElement(tag);
    CloseElement();
    return node;
}

void XmlNodeList::CloseElement() {
    if (FCursor)
        FCursor = FCursor->Parent();
}

void XmlNodeList::Clear() {
    DestroyNodes(FNodes);
    FCursor = nullptr;
}

void XmlNodeList::ThrowOutOfRange(int index) {
    throw std::out_of_range("XML node index " + std::to_string(index) + " out of range");
}

XmlNode* XmlNodeList::NodeByName(std::string_view name) const {
    for (const std::unique_ptr<XmlNode>& node : FNodes) {
        if (node->Name() == name)
            return node.get();
    }
    return nullptr;
}

std::string XmlNodeList::RawValueByName(std::string_view name) const {
    const XmlNode* node = NodeByName(name);
    return node ? node->Value() : std::string();
}

std::string XmlNodeList::TextByName(std::string_view name) const {
    const XmlNode* node = NodeByName(name);
    return node ? node->AsText() : std::string();
}

std::unique_ptr<XmlNode> XmlNodeList::Remove(int index) {
    Item(index); // range check
    const auto at = FNodes.begin() + index;
    std::unique_ptr<XmlNode> node = std::move(*at);
    FNodes.erase(at);
    return node;
}

// --- XmlNode

XmlNode::XmlNode(XmlNode* parent)
    : FParent(parent), FLevel(parent ? parent->FLevel + 1 : 0), FChildren(this) {}

XmlNode::~XmlNode() = default;

std::string XmlNode::AsText() const {
    return XmlUnescape(FValue);
}

void XmlNode::SetAsText(std::string_view text) {
    FValue = XmlEscape(text);
}

int XmlNode::AsInteger() const {
    const std::string text = AsText();
    long long value = 0;
    if (!ParseDecimal(text, value))
        throw XmlError("'" + text + "' is not a valid integer value");
    if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max())
        throw XmlError("'" + text + "' is out of the integer range");
    return static_cast<int>(value);
}

void XmlNode::SetAsInteger(int value) {
    FValue = std::to_string(value);
}

void XmlNode::SetAsBoolean(bool value) {
    FValue = value ? "1" : "0";
}

int XmlNode::SetAttribute(std::string_view name, std::string_view value) {
    std::string attribute;
    attribute.reserve(name.size() + EscapedSize(value) + 3);
    AppendAttributeText(attribute, name, value, AppendXmlEscaped);
    std::vector<std::string>& attributes = Attributes();
    for (std::size_t i = 0; i < attributes.size(); ++i) {
        if (AttributeHasName(attributes[i], name)) {
            attributes[i] = std::move(attribute);
            return static_cast<int>(i);
        }
    }
    attributes.push_back(std::move(attribute));
    return static_cast<int>(attributes.size() - 1);
}

void XmlNode::ParseTag(std::string_view tag) {
    if (!tag.empty() && tag.front() == '<')
        tag.remove_prefix(1);
    if (!tag.empty() && tag.back() == '>')
        tag.remove_suffix(1);
    while (!tag.empty() && tag.front() == ' ')
        tag.remove_prefix(1);
    while (!tag.empty() && tag.back() == ' ')
        tag.remove_suffix(1);
    if (tag.find('=') == std::string_view::npos) {
        FName = tag;
        return;
    }

    // Tokens: up to the next blank, or, when a double quote comes first, up to the closing one.
    // Boundaries are looked for in the next kTokenWindow characters only; without one there, the
    // rest is one token.
    bool first = true;
    std::size_t pos = 0;
    while (true) {
        while (pos < tag.size() && tag[pos] == ' ')
            ++pos;
        if (pos >= tag.size())
            break;
        const std::string_view rest = tag.substr(pos);
        const std::string_view window = rest.substr(0, kTokenWindow);
        const std::size_t blank = window.find(' ');
        const std::size_t quote = window.substr(0, blank).find('"');
        std::size_t length = rest.size();
        if (quote != std::string_view::npos) {
            const std::size_t closing = window.find('"', quote + 1);
            if (closing != std::string_view::npos)
                length = closing + 1;
        } else if (blank != std::string_view::npos) {
            length = blank;
        }
        if (first)
            FName = rest.substr(0, length);
        else
            Attributes().emplace_back(rest.substr(0, length));
        first = false;
        pos += length;
    }

    std::string_view id;
    if (FindAttribute(FAttributes, kCryptingId, id)) {
        const std::string number = WithoutQuotes(id);
        if (!ParseDecimal(number, FCryptingID))
            throw XmlError("CryptingID '" + number + "' of element '" + FName +
                           "' is not a valid integer value");
    }
}

// --- XmlDocument

XmlDocument::XmlDocument() : FRoot(nullptr) {}

XmlDocument::~XmlDocument() = default;

void XmlDocument::LoadFromFile(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        throw XmlError("Cannot open " + path + ": " + std::generic_category().message(errno));
    std::string bytes;
    char buffer[65536];
    bool tooLarge = false;
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        if (got > kMaxFileSize - bytes.size()) {
            tooLarge = true;
            break;
        }
        bytes.append(buffer, got);
    }
    const int readError = std::ferror(file) ? errno : 0;
    std::fclose(file);
    if (tooLarge)
        throw XmlError("Cannot read " + path + ": larger than " + std::to_string(kMaxFileSize) +
                       " bytes");
    if (readError != 0)
        throw XmlError("Cannot read " + path + ": " + std::generic_category().message(readError));
    LoadFromStream(bytes);
}

void XmlDocument::LoadFromStream(std::string_view bytes) {
    if (bytes.size() < 3)
        return;
    if (static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        std::u16string units((bytes.size() - 2) / 2, u'\0');
        for (std::size_t i = 0; i < units.size(); ++i) {
            const auto low = static_cast<unsigned char>(bytes[2 + 2 * i]);
            const auto high = static_cast<unsigned char>(bytes[3 + 2 * i]);
            units[i] = static_cast<char16_t>(low | (high << 8));
        }
        ParseXml(Utf16ToAnsi(units));
        return;
    }
    ParseXml(bytes);
}

void XmlDocument::SaveToFile(const std::string& path) {
    // The text goes to the new file as it is made; until the commit the old file stays.
    TSaveTarget target(path);
    TOutput out(&target.File());
    TWriter::WriteDocument(*this, out);
    out.Flush();
    target.Commit();
}

std::string XmlDocument::XmlText() {
    TOutput out;
    out.Text().reserve(std::min(TWriter::SizeOf(*this), kMaxTextSize));
    TWriter::WriteDocument(*this, out);
    return std::move(out.Text());
}

void XmlDocument::ParseXml(std::string_view text) {
    Parse(text, nullptr, 0);
}

void XmlDocument::Parse(std::string_view text, XmlNode* floor, std::size_t errorPosition) {
    const bool nested = floor != nullptr;
    const std::size_t length = text.size();
    std::size_t i = 0;
    // The last character never starts anything.
    while (i + 1 < length) {
        if (text[i] == '<') {
            const std::size_t position = nested ? errorPosition : i;
            const std::size_t close = text.find('>', i + 1);
            if (close == std::string_view::npos)
                throw XmlError("Tag not closed by '>'", position);
            const std::string_view tag = text.substr(i, close - i + 1);
            if (tag[1] == '/') {
                if (FRoot.FCursor != floor)
                    FRoot.CloseElement();
            } else if (tag[1] != '?') {
                try {
                    FRoot.OpenElement(tag);
                } catch (const XmlError& error) {
                    if (error.Position() != XmlError::kNoPosition)
                        throw;
                    throw XmlError(error.Message(), position);
                }
            }
            i = close + 1;
        } else {
            std::size_t end = text.find('<', i);
            if (end == std::string_view::npos || end > length - 1)
                end = length - 1;
            const std::string_view run = text.substr(i, end - i);
            if (nested)
                FRoot.FCursor->SetValue(std::string(run));
            else
                SetValueFromText(run, i);
            i = end;
        }
    }
}

void XmlDocument::SetValueFromText(std::string_view run, std::size_t position) {
    XmlNode* node = FRoot.FCursor;
    if (!node)
        return;
    if (node->CryptingID() < 1) {
        node->SetValue(CleanTextRun(run));
        return;
    }

    long long expected = -1;
    std::string_view checksum;
    if (FindAttribute(node->Attributes(), kCryptingChecksum, checksum) &&
        !ParseDecimal(WithoutQuotes(checksum), expected))
        expected = -1; // not a number: cannot match
    if (expected != static_cast<long long>(Crc16Arc(run))) {
        node->SetCryptingID(-1);
        node->SetAttribute(kCryptingId, "-1");
        return;
    }
    Parse(UnscrambleText(XmlUnescape(XmlUnescape(run))), node, position);
    FRoot.FCursor = node;
}

// --- TXmlStreamWriter

struct TXmlStreamWriter::TState {
    struct TOpenElement {
        std::string Name;
        std::size_t ValueStart = 0; // where its value begins in the unflushed text
        bool TagOpen = true;        // the ">" of its start tag is still to come
        bool HasValue = false;
        bool HasChildren = false;
    };

    std::optional<TSaveTarget> Target;
    TOutput Out;
    // The open elements are the first Depth; the entries beyond keep their names' room.
    std::vector<TOpenElement> Open;
    std::size_t Depth = 0;
    bool Started = false;
    bool Finished = false;

    TOpenElement& Current() {
        if (Finished)
            throw std::logic_error("TXmlStreamWriter: written after Finish");
        if (Depth == 0)
            throw std::logic_error("TXmlStreamWriter: no element is open");
        return Open[Depth - 1];
    }
    int Level() const { return static_cast<int>(Depth) - 1; }
};

TXmlStreamWriter::TXmlStreamWriter() : FState(std::make_unique<TState>()) {}

TXmlStreamWriter::TXmlStreamWriter(const std::string& path) : FState(std::make_unique<TState>()) {
    FState->Target.emplace(path);
    FState->Out = TOutput(&FState->Target->File());
}

TXmlStreamWriter::~TXmlStreamWriter() = default;

void TXmlStreamWriter::OpenElement(std::string_view name) {
    TState& s = *FState;
    if (s.Finished)
        throw std::logic_error("TXmlStreamWriter: written after Finish");
    if (s.Depth >= static_cast<std::size_t>(XmlDocument::kMaxDepth))
        ThrowTooDeep();
    if (!s.Started) {
        TElementLayout::Declaration(s.Out, {});
        s.Started = true;
    }
    if (s.Depth > 0) {
        TState::TOpenElement& parent = s.Open[s.Depth - 1];
        if (!parent.HasChildren) {
            if (parent.TagOpen)
                TElementLayout::EndStartTag(s.Out);
            else if (parent.HasValue)
                s.Out.Truncate(parent.ValueStart); // an element with children writes no value
            parent.TagOpen = false;
            parent.HasChildren = true;
            TElementLayout::StartContent(s.Out, true);
        }
    }
    if (s.Depth == s.Open.size())
        s.Open.emplace_back();
    TState::TOpenElement& element = s.Open[s.Depth];
    element.Name.assign(name);
    element.TagOpen = true;
    element.HasValue = false;
    element.HasChildren = false;
    TElementLayout::StartTag(s.Out, true, static_cast<int>(s.Depth), name);
    ++s.Depth;
}

void TXmlStreamWriter::AddAttribute(std::string_view name, std::string_view value,
                                    TXmlEncoder encode) {
    TState& s = *FState;
    if (!s.Current().TagOpen)
        throw std::logic_error("TXmlStreamWriter: attribute after the element's value or children");
    TElementLayout::AttributeSeparator(s.Out);
    AppendAttributeText(s.Out.Text(), name, value, encode);
    s.Out.CheckRoom(0);
}

void TXmlStreamWriter::SetAsText(std::string_view text, TXmlEncoder encode) {
    TState& s = *FState;
    TState::TOpenElement& element = s.Current();
    if (element.HasChildren)
        return; // never written
    if (element.TagOpen) {
        TElementLayout::EndStartTag(s.Out);
        element.TagOpen = false;
        element.ValueStart = s.Out.Text().size();
    } else {
        s.Out.Truncate(element.ValueStart);
    }
    s.Out.AppendEncoded(encode, text);
    element.HasValue = true;
}

void TXmlStreamWriter::SetValue(std::string_view escaped) {
    SetAsText(escaped, [](std::string& out, std::string_view text) { out.append(text); });
}

void TXmlStreamWriter::CloseElement() {
    TState& s = *FState;
    if (s.Depth == 0 || s.Finished)
        return;
    TState::TOpenElement& element = s.Open[s.Depth - 1];
    if (element.TagOpen)
        TElementLayout::EndStartTag(s.Out);
    if (element.HasChildren)
        TElementLayout::EndContent(s.Out, true, s.Level());
    TElementLayout::EndElement(s.Out, true, element.Name);
    --s.Depth;
    s.Out.MaybeFlush(); // nothing before this point can change any more
}

std::string TXmlStreamWriter::Finish() {
    TState& s = *FState;
    if (s.Finished)
        throw std::logic_error("TXmlStreamWriter: finished twice");
    while (s.Depth > 0)
        CloseElement();
    s.Finished = true;
    if (!s.Target)
        return std::move(s.Out.Text());
    s.Out.Flush();
    s.Target->Commit();
    return {};
}

} // namespace ostero::support
