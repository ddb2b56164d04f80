#pragma once
// A small in-memory XML tree with its own reader and writer, for the device list store and the
// XML export of reports. It knows elements, attributes written as name="value", text content of
// leaf elements, a leading declaration (skipped on reading), the entities &amp; &lt; &gt; &quot;
// and one feature of its own: an element whose content is stored scrambled and guarded by a
// CRC-16 (attribute CryptingID).
//
// Not supported: comments, other processing instructions, CDATA, character references, DOCTYPE,
// empty-element tags ("<a/>" opens an element named "a/" that stays open), mixed content, UTF-8.
//
// Texts are 8-bit Windows-1252 strings; paths are UTF-8.
//
// Reading rules (ParseXml):
// - "<...>" is a tag: "</..." closes the open element (its name is not checked; with no open
//   element it is ignored), "<?..." is skipped, anything else opens an element below the open
//   one. A tag without its ">" raises XmlError.
// - The text between tags becomes the value of the open element, stored in its escaped form as
//   found, with every CR LF pair removed and both ends trimmed of blanks and control characters.
//   The last character of a text never counts as text.
// - Crypted content (open element with crypting id 1 or more) is checked against the attribute
//   CryptingChecksum, unescaped twice, unscrambled and read as the element's children; text runs
//   inside it are stored as they are. A missing or wrong checksum drops the content and marks the
//   element CryptingID="-1" (crypting id -1); that is not an error.
//
// Writing (XmlText): the declaration and CR LF (IncludeHeader), then each top-level element.
// With AutoIndent every element stands on its own line, indented by two blanks per level; leaf
// elements keep their value between their tags. An element with a crypting id other than 0 writes
// its children on one line; with id 1 that content is scrambled and escaped twice, and the
// element gets the attributes CryptingID and CryptingChecksum (the CRC-16/ARC of the written
// content, unsigned decimal).
//
// Limits, so that a hostile file can neither exhaust the stack nor blow up the written text:
// elements nest at most kMaxDepth levels deep, crypted elements at most kMaxCryptedNesting
// within each other when written, and XmlText stops at kMaxTextSize. Each raises XmlError.

#include <cstddef>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace ostero::support {

// A tag without its ">", a CryptingID or integer value that is not a number, a limit exceeded,
// or a file that could not be read or written. The document keeps the nodes built so far.
class XmlError : public std::runtime_error {
public:
    static constexpr std::size_t kNoPosition = static_cast<std::size_t>(-1);

    explicit XmlError(const std::string& message, std::size_t position = kNoPosition);

    // The message without the position.
    const std::string& Message() const { return FMessage; }
    // Byte offset (from 0) in the text being parsed where the fault lies; for faults inside
    // crypted content, the offset of that content. kNoPosition when not about a text.
    std::size_t Position() const { return FPosition; }

private:
    std::string FMessage;
    std::size_t FPosition;
};

// Escaping for values and attribute values: '&' first, then '<', '>' and '"'.
std::string XmlEscape(std::string_view text);
// Appends XmlEscape(text) to `out`.
void AppendXmlEscaped(std::string& out, std::string_view text);
// How a writer gives a text its written form: appends it to `out`.
using TXmlEncoder = void (*)(std::string& out, std::string_view text);
// Decodes each of the four entities once ("&amp;lt;" gives "&lt;"); others stay as they are.
std::string XmlUnescape(std::string_view text);

class XmlNode;

// The nodes of a document's top level or of one node's children, in order; the list owns them.
// Its cursor is the node under which OpenElement adds: the owning node at first, none for the
// document's root list.
class XmlNodeList {
public:
    explicit XmlNodeList(XmlNode* owner);
    ~XmlNodeList();
    XmlNodeList(const XmlNodeList&) = delete;
    XmlNodeList& operator=(const XmlNodeList&) = delete;

    XmlNode* Owner() const { return FOwner; }
    XmlNode* Cursor() const { return FCursor; }

    // Creates a node below the cursor, lets it parse `tag` (a bare name, or a whole tag text),
    // appends it to the cursor's children (to this list when there is no cursor) and makes it the
    // cursor. Raises XmlError, adding nothing, when the node would lie deeper than kMaxDepth
    // levels or its CryptingID is not a number.
    XmlNode* OpenElement(std::string_view tag);
    // OpenElement followed by CloseElement.
    XmlNode* AddLeafElement(std::string_view tag);
    // Moves the cursor to its parent; nothing when there is no cursor.
    void CloseElement();
    // Frees all nodes and empties the list; the cursor becomes none. Cursors of other lists are
    // not moved: a cursor left on a freed node must not be used again.
    void Clear();

    int Count() const { return static_cast<int>(FNodes.size()); }
    // Indexes outside 0 .. Count()-1 throw std::out_of_range.
    XmlNode* Item(int index) const {
        if (index < 0 || index >= Count())
            ThrowOutOfRange(index);
        return FNodes[static_cast<std::size_t>(index)].get();
    }
    // The first node named exactly `name` (case-sensitive); nullptr when there is none.
    XmlNode* NodeByName(std::string_view name) const;
    // The stored (escaped) value of NodeByName(name); empty when there is none.
    std::string RawValueByName(std::string_view name) const;
    // The unescaped value of NodeByName(name); empty when there is none.
    std::string TextByName(std::string_view name) const;
    // Takes the node out of the list and hands it to the caller. Its Parent() still names the
    // node it was under, and cursors are not moved.
    std::unique_ptr<XmlNode> Remove(int index);

private:
    friend class XmlDocument;
    friend class XmlNode;

    [[noreturn]] static void ThrowOutOfRange(int index);
    // Frees nodes without recursing, so that a deep tree cannot exhaust the stack.
    static void DestroyNodes(std::vector<std::unique_ptr<XmlNode>>& nodes);

    XmlNode* FOwner;
    XmlNode* FCursor;
    std::vector<std::unique_ptr<XmlNode>> FNodes;
};

class XmlNode {
public:
    // `parent` is the node one level up, nullptr for a top-level node.
    explicit XmlNode(XmlNode* parent);
    virtual ~XmlNode();
    XmlNode(const XmlNode&) = delete;
    XmlNode& operator=(const XmlNode&) = delete;

    const std::string& Name() const { return FName; }
    XmlNode* Parent() const { return FParent; }
    XmlNodeList& Children() { return FChildren; }
    const XmlNodeList& Children() const { return FChildren; }
    // Each attribute as written: name, "=", the escaped value in double quotes. The list is
    // created on first use of the non-const form.
    std::vector<std::string>& Attributes() {
        FHasAttributes = true;
        return FAttributes;
    }
    const std::vector<std::string>& Attributes() const { return FAttributes; }
    bool HasAttributeList() const { return FHasAttributes; }

    // The value in its stored, escaped form (as it stands between the tags in a file).
    const std::string& Value() const { return FValue; }
    void SetValue(std::string escaped) { FValue = std::move(escaped); }

    // The unescaped value; setting escapes the text.
    std::string AsText() const;
    void SetAsText(std::string_view text);
    // The value as a 32-bit decimal number (optional sign); XmlError when it is not one or out of
    // range. Setting stores the decimal text.
    int AsInteger() const;
    void SetAsInteger(int value);
    // Stores "1" or "0"; read such values with AsInteger.
    void SetAsBoolean(bool value);

    // Stores name="escaped value", replacing an attribute of that name in place, else appending.
    // Returns the attribute's index.
    int SetAttribute(std::string_view name, std::string_view value);

    // The number of ancestors: 0 for a top-level node.
    int Level() const { return FLevel; }

    // 0: plain element; 1: content written scrambled with a checksum; -1: crypted content that
    // failed its check on reading. Taken from the attribute CryptingID by ParseTag.
    int CryptingID() const { return FCryptingID; }
    void SetCryptingID(int id) { FCryptingID = id; }

    // Takes a tag text ("<name attr=\"v\" ...>" or a bare name) and sets the name, the attributes
    // and the crypting id. Raises XmlError when CryptingID is not a number.
    virtual void ParseTag(std::string_view tag);

private:
    friend class XmlNodeList;

    std::string FName;
    XmlNode* FParent;
    int FLevel;
    XmlNodeList FChildren;
    // Held in the node (no list of its own to allocate): a document of many small elements
    // is made of as few allocations as possible.
    std::vector<std::string> FAttributes;
    std::string FValue;
    int FCryptingID = 0;
    bool FHasAttributes = false;
};

class XmlDocument {
public:
    // Elements nest at most this many levels deep (a top-level element lies on the first).
    static constexpr int kMaxDepth = 256;
    // How many crypted elements with children may lie within each other when written; each one
    // can multiply the size of what it holds.
    static constexpr int kMaxCryptedNesting = 4;
    // Largest text XmlText produces.
    static constexpr std::size_t kMaxTextSize = std::size_t{1} << 30;
    // Largest file LoadFromFile reads.
    static constexpr std::size_t kMaxFileSize = std::size_t{256} << 20;

    XmlDocument();
    ~XmlDocument();
    XmlDocument(const XmlDocument&) = delete;
    XmlDocument& operator=(const XmlDocument&) = delete;

    XmlNodeList& Root() { return FRoot; }
    const XmlNodeList& Root() const { return FRoot; }

    bool AutoIndent() const { return FAutoIndent; }
    void SetAutoIndent(bool value) { FAutoIndent = value; }
    bool IncludeHeader() const { return FIncludeHeader; }
    void SetIncludeHeader(bool value) { FIncludeHeader = value; }
    // Names the encoding in the declaration when not empty (iso-8859-1 otherwise). The texts are
    // written as they are stored either way.
    const std::string& Encoding() const { return FEncoding; }
    void SetEncoding(std::string value) { FEncoding = std::move(value); }

    // Reads the whole file and gives it to LoadFromStream. XmlError when the file cannot be
    // read or is larger than kMaxFileSize (nothing is added then).
    void LoadFromFile(const std::string& path);
    // `bytes` are the stream from its current position to its end. Below 3 bytes nothing is read;
    // FF FE at the start means UTF-16 little-endian (the rest is taken as whole code units and
    // mapped to Windows-1252), anything else is Windows-1252 text. Adds to the existing tree.
    void LoadFromStream(std::string_view bytes);
    // Writes XmlText to the file, replacing it; creates the file's folder when missing (one level
    // only). The new text goes to a temporary file beside the target that is then renamed over
    // it, so a failed save leaves the previous file as it was. A symbolic link is followed and the
    // target keeps its permissions. XmlError on failure.
    void SaveToFile(const std::string& path);
    // The document as text; empty when the root list is empty. Writing updates the CryptingID
    // and CryptingChecksum attributes of crypted elements.
    std::string XmlText();
    // Builds nodes from `text` under the root list, starting at its cursor.
    void ParseXml(std::string_view text);

private:
    // Reads `text`. Without `floor` this is a document text; with it, the decoded content of the
    // crypted element `floor`: end tags never close `floor`, text runs are stored unchanged, and
    // every error is reported at `errorPosition`.
    void Parse(std::string_view text, XmlNode* floor, std::size_t errorPosition);
    // Gives a text run of a document text to the open element.
    void SetValueFromText(std::string_view run, std::size_t position);

    XmlNodeList FRoot;
    bool FAutoIndent = true;
    bool FIncludeHeader = true;
    std::string FEncoding;
};

// Writes a document element by element as it is made, without holding a tree: the text is
// byte for byte the one an XmlDocument with default settings saves when it holds the same
// elements (the declaration, two blanks of indentation per level, CR LF line ends, a leaf's value
// between its tags, a value of an element with children left out). Crypted elements are not
// made here. The writer suits a big document written once, like the XML export of a report.
//
// Each attribute name is given once per element (XmlNode::SetAttribute would replace a second
// one; here both are written).
class TXmlStreamWriter {
public:
    // Makes the text in memory; Finish hands it out.
    TXmlStreamWriter();
    // Writes to the file as the text is made, replacing it whole on Finish; creates the file's
    // folder when missing (one level only). Until Finish succeeds the previous file stays as it
    // was, and a writer that goes without it removes the new file (and a folder made for it).
    // XmlError when the file cannot be created.
    explicit TXmlStreamWriter(const std::string& path);
    ~TXmlStreamWriter();
    TXmlStreamWriter(const TXmlStreamWriter&) = delete;
    TXmlStreamWriter& operator=(const TXmlStreamWriter&) = delete;

    // Opens an element named `name` below the open one (a top-level element when none is open).
    // XmlError, adding nothing, beyond XmlDocument::kMaxDepth levels.
    void OpenElement(std::string_view name);
    // Adds an attribute to the element just opened: name="value", the value in the form
    // `encode` gives it. Ignored once the element has a value or children.
    void AddAttribute(std::string_view name, std::string_view value,
                      TXmlEncoder encode = AppendXmlEscaped);
    // Sets the value of the open element, in the form `encode` gives it (XmlNode::SetAsText);
    // replaces a value set before. An element that gets children writes no value.
    void SetAsText(std::string_view text, TXmlEncoder encode = AppendXmlEscaped);
    // Sets the value in its written, escaped form (XmlNode::SetValue).
    void SetValue(std::string_view escaped);
    // Closes the open element; nothing when none is open.
    void CloseElement();
    // Closes the elements still open and completes the text: in memory it is returned; a file
    // is replaced and an empty text is returned. Nothing may be written afterwards. XmlError
    // when the text would exceed XmlDocument::kMaxTextSize or the file cannot be written (the
    // previous file stays then).
    std::string Finish();

private:
    struct TState;
    std::unique_ptr<TState> FState;
};

} // namespace ostero::support
