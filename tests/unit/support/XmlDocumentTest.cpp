#include "support/XmlDocument.h"
#include "support/Crc16.h"
#include "support/SysUtils.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace ostero::support {
namespace {

namespace fs = std::filesystem;

const std::string kHeader = "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\r\n";

// The tree in one line: name, {attributes}, =value when not empty, [children]; siblings
// separated by commas.
std::string Dump(const XmlNodeList& list);

std::string Dump(const XmlNode& node) {
    std::string out = node.Name();
    if (!node.Attributes().empty()) {
        out += '{';
        for (std::size_t i = 0; i < node.Attributes().size(); ++i)
            out += (i ? "," : "") + node.Attributes()[i];
        out += '}';
    }
    if (!node.Value().empty())
        out += "=" + node.Value();
    if (node.Children().Count() > 0)
        out += "[" + Dump(node.Children()) + "]";
    return out;
}

std::string Dump(const XmlNodeList& list) {
    std::string out;
    for (int i = 0; i < list.Count(); ++i)
        out += (i ? "," : "") + Dump(*list.Item(i));
    return out;
}

// --- Checksum

TEST(XmlCrc16, ArcCheckValuesAndContinuation) {
    EXPECT_EQ(Crc16Arc("123456789"), 0xBB3D);
    EXPECT_EQ(Crc16Arc("A"), 0x30C0);
    EXPECT_EQ(Crc16Arc(""), 0);
    // Bytes above 0x7F must be taken unsigned.
    EXPECT_EQ(Crc16Arc("\xFF\x80<a>"), 38997);
    EXPECT_EQ(Crc16Arc("56789", Crc16Arc("1234")), 0xBB3D);
}

// --- Escaping

struct TEscapeRow {
    const char* Name;
    const char* Plain;
    const char* Escaped;
};

class XmlEscaping : public ::testing::TestWithParam<TEscapeRow> {};

TEST_P(XmlEscaping, EscapesAndReadsBack) {
    EXPECT_EQ(XmlEscape(GetParam().Plain), GetParam().Escaped);
    EXPECT_EQ(XmlUnescape(GetParam().Escaped), GetParam().Plain);
}

INSTANTIATE_TEST_SUITE_P(
    Xml, XmlEscaping,
    ::testing::Values(TEscapeRow{"Plain", "Disk 1", "Disk 1"},
                      TEscapeRow{"AllFour", "a<b>&\"c\"", "a&lt;b&gt;&amp;&quot;c&quot;"},
                      // The ampersand goes first, or "<" would come out as "&amp;lt;".
                      TEscapeRow{"EntityLookingText", "&lt;", "&amp;lt;"},
                      TEscapeRow{"HighBytesPass", "Gr\xFC\xDF\x80'", "Gr\xFC\xDF\x80'"},
                      TEscapeRow{"Empty", "", ""}),
    [](const auto& info) { return std::string(info.param.Name); });

struct TUnescapeRow {
    const char* Name;
    const char* Input;
    const char* Expected;
};

class XmlUnescaping : public ::testing::TestWithParam<TUnescapeRow> {};

TEST_P(XmlUnescaping, DecodesTheFourEntitiesOnce) {
    EXPECT_EQ(XmlUnescape(GetParam().Input), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(Xml, XmlUnescaping,
                         ::testing::Values(TUnescapeRow{"DecodedOnce", "&amp;lt;", "&lt;"},
                                           TUnescapeRow{"UnknownEntitiesStay", "&apos;&#65;&nbsp;",
                                                        "&apos;&#65;&nbsp;"},
                                           TUnescapeRow{"WithoutSemicolon", "&amp &lt", "&amp &lt"},
                                           TUnescapeRow{"LoneAmpersandAtEnd", "a&", "a&"},
                                           TUnescapeRow{"AmpersandBeforeEntity", "&&gt;", "&>"}),
                         [](const auto& info) { return std::string(info.param.Name); });

// --- Writing

// r > (b{id="7"}=1, c > d=x&y), built through the public interface as the export does.
void BuildSample(XmlDocument& doc) {
    XmlNodeList& root = doc.Root();
    root.OpenElement("r");
    XmlNode* b = root.AddLeafElement("b");
    b->SetAttribute("id", "7");
    b->SetAsInteger(1);
    root.OpenElement("c");
    root.AddLeafElement("d")->SetAsText("x&y");
    root.CloseElement();
    root.CloseElement();
}

struct TWriteRow {
    const char* Name;
    bool AutoIndent;
    bool IncludeHeader;
    const char* Expected;
};

class XmlWriteOptions : public ::testing::TestWithParam<TWriteRow> {};

TEST_P(XmlWriteOptions, WritesTheExpectedText) {
    XmlDocument doc;
    BuildSample(doc);
    doc.SetAutoIndent(GetParam().AutoIndent);
    doc.SetIncludeHeader(GetParam().IncludeHeader);
    EXPECT_EQ(doc.XmlText(), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Xml, XmlWriteOptions,
    ::testing::Values(TWriteRow{"Defaults", true, true,
                                "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\r\n"
                                "<r>\r\n"
                                "  <b id=\"7\">1</b>\r\n"
                                "  <c>\r\n"
                                "    <d>x&amp;y</d>\r\n"
                                "  </c>\r\n"
                                "</r>\r\n"},
                      TWriteRow{"NoIndent", false, true,
                                "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\r\n"
                                "<r><b id=\"7\">1</b><c><d>x&amp;y</d></c></r>"},
                      TWriteRow{"NoHeader", true, false,
                                "<r>\r\n  <b id=\"7\">1</b>\r\n  <c>\r\n"
                                "    <d>x&amp;y</d>\r\n  </c>\r\n</r>\r\n"}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(XmlWrite, OneElementWithDefaultsAndEmptyDocument) {
    XmlDocument doc;
    EXPECT_EQ(doc.XmlText(), ""); // no declaration without elements
    doc.Root().AddLeafElement("a")->SetAsText("x");
    EXPECT_EQ(doc.XmlText(), kHeader + "<a>x</a>\r\n");
    doc.SetEncoding("windows-1252");
    EXPECT_EQ(doc.XmlText(), "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\r\n<a>x</a>\r\n");
}

// --- Reading

struct TReadRow {
    const char* Name;
    const char* Input;
    const char* Tree;
};

class XmlRead : public ::testing::TestWithParam<TReadRow> {};

TEST_P(XmlRead, BuildsTheTree) {
    XmlDocument doc;
    doc.ParseXml(GetParam().Input);
    EXPECT_EQ(Dump(doc.Root()), GetParam().Tree);
}

INSTANTIATE_TEST_SUITE_P(
    Xml, XmlRead,
    ::testing::Values(
        TReadRow{"DeclarationSkipped",
                 "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\r\n<a>x</a>\r\n", "a=x"},
        TReadRow{"CrLfRemovedEndsTrimmed", "<a> x \r\n y </a>", "a=x  y"},
        TReadRow{"LoneCrAndLfStayInside", "<a>\tx\ry\n\rz\x01</a>", "a=x\ry\n\rz"},
        TReadRow{"EntitiesStayEscaped", "<a>&lt;b&gt; &amp;</a>", "a=&lt;b&gt; &amp;"},
        TReadRow{"EmptyElementTagStaysOpen", "<a/><b>1</b>", "a/[b=1]"},
        TReadRow{"EndTagNameNotChecked", "<a><b>1</x><c>2</c></y><d/>", "a[b=1,c=2],d/"},
        TReadRow{"StrayEndTagIgnored", "</z><a>1</a></a></a><b>2</b>", "a=1,b=2"},
        TReadRow{"TextOutsideElementsDropped", "lead<a>1</a>trail", "a=1"},
        TReadRow{"LastCharacterNeverText", "<a>xy", "a=x"},
        TReadRow{"LastCharacterNeverStartsATag", "<a>1</a><", "a=1"},
        TReadRow{"WhiteSpaceBetweenElements", "<a>\r\n  <b>1</b>\r\n  <c>2</c>\r\n</a>\r\n",
                 "a[b=1,c=2]"},
        TReadRow{"AttributesAsWritten", "<d name=\"Disk 1\"  id=\"7\" ><x>1</x></d>",
                 "d{name=\"Disk 1\",id=\"7\"}[x=1]"},
        TReadRow{"UnquotedAttribute", "<a k=v m=\"1 2\">1</a>", "a{k=v,m=\"1 2\"}=1"},
        TReadRow{"UnclosedQuoteTakesTheRest", "<a k=\"x y>1</a>", "a{k=\"x y}=1"},
        TReadRow{"NoEqualsSignWholeTextIsName", "< a b >1</a>", "a b=1"},
        TReadRow{"EmptyTagGivesEmptyName", "<><x>1</x></>", "[x=1]"}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(XmlReadTag, BoundariesAreFoundWithinTheTokenWindow) {
    // A quoted value whose closing quote lies beyond the window takes the rest of the tag.
    const std::string longValue(300, 'v');
    XmlDocument doc;
    doc.ParseXml("<a k=\"" + longValue + "\" m=\"1\">1</a>");
    ASSERT_EQ(doc.Root().Count(), 1);
    EXPECT_EQ(doc.Root().Item(0)->Attributes(),
              std::vector<std::string>{"k=\"" + longValue + "\" m=\"1\""});

    const std::string shortValue(240, 'v');
    XmlDocument fits;
    fits.ParseXml("<a k=\"" + shortValue + "\" m=\"1\">1</a>");
    EXPECT_EQ(fits.Root().Item(0)->Attributes(),
              (std::vector<std::string>{"k=\"" + shortValue + "\"", "m=\"1\""}));
}

TEST(XmlReadStream, Utf16LittleEndianIsMappedToWindows1252) {
    // FF FE, then "<a>" U+00FC U+20AC "</a>" and one odd byte that makes no code unit.
    std::string bytes = "\xFF\xFE";
    for (const char16_t unit : std::u16string(u"<a>\u00FC\u20AC</a>")) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    bytes += '\x7F';
    XmlDocument doc;
    doc.LoadFromStream(bytes);
    ASSERT_EQ(doc.Root().Count(), 1);
    EXPECT_EQ(doc.Root().Item(0)->Value(), "\xFC\x80");
}

struct TShortStreamRow {
    const char* Name;
    std::string Bytes;
    int Nodes;
};

class XmlShortStream : public ::testing::TestWithParam<TShortStreamRow> {};

TEST_P(XmlShortStream, BelowThreeBytesNothingIsRead) {
    XmlDocument doc;
    EXPECT_NO_THROW(doc.LoadFromStream(GetParam().Bytes));
    EXPECT_EQ(doc.Root().Count(), GetParam().Nodes);
}

INSTANTIATE_TEST_SUITE_P(Xml, XmlShortStream,
                         ::testing::Values(TShortStreamRow{"Empty", "", 0},
                                           // Read, this would be an unterminated tag.
                                           TShortStreamRow{"TwoBytes", "<a", 0},
                                           TShortStreamRow{"ByteOrderMarkOnly", "\xFF\xFE", 0},
                                           TShortStreamRow{"ThreeBytes", "<a>", 1},
                                           TShortStreamRow{"ByteOrderMarkAndOneByte",
                                                           std::string("\xFF\xFE<", 3), 0}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(XmlReadStream, AddsToTheExistingTreeAtTheCursor) {
    XmlDocument doc;
    doc.Root().OpenElement("list");
    doc.LoadFromStream("<a>1</a>");
    doc.Root().CloseElement();
    doc.LoadFromStream("<b>2</b>");
    EXPECT_EQ(Dump(doc.Root()), "list[a=1],b=2");
}

// --- Errors

TEST(XmlErrors, UnterminatedTagRaisesAndKeepsTheNodesBuilt) {
    XmlDocument doc;
    try {
        doc.ParseXml("<a><b>1</b><c x=\"1\"");
        FAIL() << "no error";
    } catch (const XmlError& error) {
        EXPECT_EQ(error.Position(), 11u);
        EXPECT_NE(std::string(error.what()).find("11"), std::string::npos);
    }
    EXPECT_EQ(Dump(doc.Root()), "a[b=1]");
}

TEST(XmlErrors, NonNumericCryptingIdRaisesAndAddsNoNode) {
    XmlDocument doc;
    try {
        doc.ParseXml("<a><b>1</b><c CryptingID=\"one\">x</c></a>");
        FAIL() << "no error";
    } catch (const XmlError& error) {
        EXPECT_EQ(error.Position(), 11u);
    }
    EXPECT_EQ(Dump(doc.Root()), "a[b=1]");
    EXPECT_THROW(doc.Root().OpenElement("d CryptingID=\"12x\""), XmlError);
    EXPECT_EQ(doc.Root().Item(0)->Children().Count(), 1);
}

struct TIntegerRow {
    const char* Name;
    const char* Value;
    std::optional<int> Expected;
};

class XmlAsInteger : public ::testing::TestWithParam<TIntegerRow> {};

TEST_P(XmlAsInteger, ConvertsOrRaises) {
    XmlNode node(nullptr);
    node.SetValue(GetParam().Value);
    if (GetParam().Expected)
        EXPECT_EQ(node.AsInteger(), *GetParam().Expected);
    else
        EXPECT_THROW(node.AsInteger(), XmlError);
}

INSTANTIATE_TEST_SUITE_P(Xml, XmlAsInteger,
                         ::testing::Values(TIntegerRow{"Plain", "42", 42},
                                           TIntegerRow{"Negative", "-7", -7},
                                           TIntegerRow{"PlusSign", "+7", 7},
                                           TIntegerRow{"Smallest", "-2147483648", -2147483647 - 1},
                                           TIntegerRow{"TooLarge", "2147483648", std::nullopt},
                                           TIntegerRow{"Empty", "", std::nullopt},
                                           TIntegerRow{"TrailingLetters", "12abc", std::nullopt},
                                           TIntegerRow{"TwoSigns", "+-1", std::nullopt},
                                           TIntegerRow{"Blank", " 1", std::nullopt}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(XmlErrors, HundredThousandNestedTagsStopAtTheDepthLimit) {
    std::string text;
    for (int i = 0; i < 100000; ++i)
        text += "<a>";
    XmlDocument doc;
    try {
        doc.ParseXml(text);
        FAIL() << "no error";
    } catch (const XmlError& error) {
        EXPECT_EQ(error.Position(), 3u * XmlDocument::kMaxDepth);
    }
    int depth = 0;
    for (const XmlNodeList* list = &doc.Root(); list->Count() > 0;
         list = &list->Item(0)->Children())
        ++depth;
    EXPECT_EQ(depth, XmlDocument::kMaxDepth);
    // What was kept can still be written: 256 lines of open tags and 256 of end tags.
    const std::string written = doc.XmlText();
    EXPECT_EQ(std::count(written.begin(), written.end(), '\n'), 2 * XmlDocument::kMaxDepth);
}

// --- Node lists and nodes

TEST(XmlNodeList, CursorsOfRootAndChildLists) {
    XmlDocument doc;
    XmlNodeList& root = doc.Root();
    EXPECT_EQ(root.Cursor(), nullptr);
    root.CloseElement(); // nothing to close
    XmlNode* a = root.OpenElement("a");
    EXPECT_EQ(root.Cursor(), a);
    EXPECT_EQ(a->Children().Cursor(), a); // a child list starts at its owner
    EXPECT_EQ(a->Children().Owner(), a);

    // Adding through a's own list goes below its cursor and moves that cursor only.
    XmlNode* b = a->Children().OpenElement("b");
    XmlNode* c = a->Children().AddLeafElement("c");
    EXPECT_EQ(b->Parent(), a);
    EXPECT_EQ(c->Parent(), b);
    EXPECT_EQ(c->Level(), 2);
    EXPECT_EQ(a->Children().Cursor(), b);
    EXPECT_EQ(root.Cursor(), a);
    EXPECT_EQ(Dump(root), "a[b[c]]");

    root.CloseElement();
    root.AddLeafElement("d");
    EXPECT_EQ(Dump(root), "a[b[c]],d");
    root.Clear();
    EXPECT_EQ(root.Count(), 0);
    EXPECT_EQ(root.Cursor(), nullptr);
}

TEST(XmlNodeList, LookupsByNameAndByIndex) {
    XmlDocument doc;
    doc.ParseXml("<n>1</n><Name>&lt;x&gt;</Name><Name>second</Name>");
    const XmlNodeList& root = doc.Root();
    EXPECT_EQ(root.NodeByName("Name"), root.Item(1)); // the first of equal names
    EXPECT_EQ(root.NodeByName("name"), nullptr);      // case-sensitive
    EXPECT_EQ(root.RawValueByName("Name"), "&lt;x&gt;");
    EXPECT_EQ(root.TextByName("Name"), "<x>");
    EXPECT_EQ(root.TextByName("missing"), "");
    EXPECT_EQ(root.RawValueByName("missing"), "");
    EXPECT_THROW(root.Item(3), std::out_of_range);
    EXPECT_THROW(root.Item(-1), std::out_of_range);
}

TEST(XmlNodeList, RemoveHandsTheNodeOutWithItsChildren) {
    XmlDocument doc;
    doc.ParseXml("<a>1</a><b><c>2</c></b><d>3</d>");
    std::unique_ptr<XmlNode> b = doc.Root().Remove(1);
    ASSERT_TRUE(b);
    EXPECT_EQ(Dump(*b), "b[c=2]");
    EXPECT_EQ(Dump(doc.Root()), "a=1,d=3");
    EXPECT_THROW(doc.Root().Remove(2), std::out_of_range);
}

TEST(XmlNode, ValueAccessorsEscapeAndConvert) {
    XmlNode node(nullptr);
    node.SetAsText("a<b & \"c\"");
    EXPECT_EQ(node.Value(), "a&lt;b &amp; &quot;c&quot;");
    EXPECT_EQ(node.AsText(), "a<b & \"c\"");
    node.SetAsBoolean(true);
    EXPECT_EQ(node.Value(), "1");
    node.SetAsBoolean(false);
    EXPECT_EQ(node.AsInteger(), 0);
    node.SetAsInteger(-12);
    EXPECT_EQ(node.Value(), "-12");
}

TEST(XmlNode, SetAttributeReplacesInPlaceElseAppends) {
    XmlNode node(nullptr);
    EXPECT_FALSE(node.HasAttributeList());
    node.ParseTag("<dev bb=\"0\" b=\"1\" c=\"2\">");
    EXPECT_EQ(node.Name(), "dev");
    EXPECT_EQ(node.SetAttribute("b", "x<y"), 1); // "bb" is another name
    EXPECT_EQ(node.SetAttribute("d", "\"q\""), 3);
    EXPECT_EQ(node.Attributes(), (std::vector<std::string>{"bb=\"0\"", "b=\"x&lt;y\"", "c=\"2\"",
                                                           "d=\"&quot;q&quot;\""}));
}

// --- Crypted content

// c (crypting id 1) holding three leaves, below r.
void BuildCrypted(XmlDocument& doc) {
    XmlNodeList& root = doc.Root();
    root.OpenElement("r");
    XmlNode* c = root.OpenElement("c");
    c->SetCryptingID(1);
    root.AddLeafElement("a")->SetAsInteger(1);
    root.AddLeafElement("b")->SetAsText("x & y");
    root.AddLeafElement("d")->SetValue(" 2 ");
    root.CloseElement();
    root.CloseElement();
}

// "<a>1</a><b>x &amp; y</b><d> 2 </d>" scrambled, then escaped twice, and its CRC-16/ARC.
const std::string kCryptedContent = "?b@4=1d?&amp;gt;e?z#'cpq=#z&amp;gt;2c@?e@#3&amp;quot;?0fA";
const std::string kCryptedLine =
    "  <c CryptingID=\"1\" CryptingChecksum=\"3535\">" + kCryptedContent + "</c>\r\n";

TEST(XmlCrypted, WrittenOnOneLineScrambledAndEscapedTwice) {
    XmlDocument doc;
    BuildCrypted(doc);
    EXPECT_EQ(doc.XmlText(), kHeader + "<r>\r\n" + kCryptedLine + "</r>\r\n");
    // Writing again replaces the two attributes instead of adding more.
    EXPECT_EQ(doc.XmlText(), kHeader + "<r>\r\n" + kCryptedLine + "</r>\r\n");
}

TEST(XmlCrypted, ReadingRestoresTheChildrenExactly) {
    XmlDocument doc;
    doc.ParseXml(kHeader + "<r>\r\n" + kCryptedLine + "</r>\r\n");
    EXPECT_EQ(Dump(doc.Root()),
              "r[c{CryptingID=\"1\",CryptingChecksum=\"3535\"}[a=1,b=x &amp; y,d= 2 ]]");
    const XmlNode& c = *doc.Root().Item(0)->Children().Item(0);
    EXPECT_EQ(c.CryptingID(), 1);
    EXPECT_EQ(c.Children().TextByName("b"), "x & y");
    EXPECT_EQ(doc.Root().Cursor(), nullptr); // the end tags closed c and r
    EXPECT_EQ(doc.XmlText(), kHeader + "<r>\r\n" + kCryptedLine + "</r>\r\n");
}

struct TBadChecksumRow {
    const char* Name;
    std::string Line;
    const char* KeptAttributes; // what the element carries afterwards
};

class XmlCryptedBadChecksum : public ::testing::TestWithParam<TBadChecksumRow> {};

TEST_P(XmlCryptedBadChecksum, DropsTheContentAndMarksTheElement) {
    XmlDocument doc;
    doc.ParseXml("<r>" + GetParam().Line + "<e>1</e></r>");
    EXPECT_EQ(Dump(doc.Root()), "r[c{" + std::string(GetParam().KeptAttributes) + "},e=1]");
    EXPECT_EQ(doc.Root().Item(0)->Children().Item(0)->CryptingID(), -1);
}

INSTANTIATE_TEST_SUITE_P(
    Xml, XmlCryptedBadChecksum,
    ::testing::Values(TBadChecksumRow{"OneCharacterChanged",
                                      "<c CryptingID=\"1\" CryptingChecksum=\"3535\">" +
                                          std::string(kCryptedContent).replace(4, 1, "X") + "</c>",
                                      "CryptingID=\"-1\",CryptingChecksum=\"3535\""},
                      TBadChecksumRow{"ChecksumMissing",
                                      "<c CryptingID=\"1\">" + kCryptedContent + "</c>",
                                      "CryptingID=\"-1\""},
                      TBadChecksumRow{"ChecksumNotANumber",
                                      "<c CryptingChecksum=\"x3535\" CryptingID=\"1\">" +
                                          kCryptedContent + "</c>",
                                      "CryptingChecksum=\"x3535\",CryptingID=\"-1\""}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(XmlCrypted, AfterAFailedCheckTheNextSaveWritesMinusOne) {
    std::string line = kCryptedLine;
    line[line.find("?b@4") + 1] = 'c';
    XmlDocument doc;
    doc.ParseXml(kHeader + "<r>\r\n" + line + "</r>\r\n");
    EXPECT_EQ(doc.XmlText(), kHeader + "<r>\r\n" +
                                 "  <c CryptingID=\"-1\" CryptingChecksum=\"3535\"></c>\r\n" +
                                 "</r>\r\n");
}

struct TCryptingIdRow {
    const char* Name;
    int Id;
    const char* Expected;
};

class XmlCryptingIds : public ::testing::TestWithParam<TCryptingIdRow> {};

TEST_P(XmlCryptingIds, WriteTheirChildrenOnOneLine) {
    XmlDocument doc;
    // No text run lies directly in c, so nothing is checked on reading.
    doc.ParseXml("<c CryptingChecksum=\"9\" k=\"v\" CryptingID=\"5\"><x>&lt;1</x></c>");
    ASSERT_EQ(doc.Root().Item(0)->CryptingID(), 5);
    doc.Root().Item(0)->SetCryptingID(GetParam().Id);
    EXPECT_EQ(doc.XmlText(), kHeader + GetParam().Expected + "\r\n");
}

INSTANTIATE_TEST_SUITE_P(
    Xml, XmlCryptingIds,
    ::testing::Values(
        TCryptingIdRow{
            "Zero", 0,
            "<c CryptingChecksum=\"9\" k=\"v\" CryptingID=\"5\">\r\n  <x>&lt;1</x>\r\n</c>"},
        // Not scrambled, but the checksum covers the content as written.
        TCryptingIdRow{"Two", 2,
                       "<c k=\"v\" CryptingID=\"2\" CryptingChecksum=\"59094\"><x>&lt;1</x></c>"},
        TCryptingIdRow{"MinusOne", -1, "<c k=\"v\" CryptingID=\"-1\"><x>&lt;1</x></c>"}),
    [](const auto& info) { return std::string(info.param.Name); });

// Builds crypted content by hand, as a foreign writer might.
std::string CryptedElement(const std::string& content) {
    const std::string stored = XmlEscape(XmlEscape(ScrambleText(content)));
    return "<c CryptingID=\"1\" CryptingChecksum=\"" + std::to_string(Crc16Arc(stored)) + "\">" +
           stored + "</c>";
}

TEST(XmlCrypted, ContentCannotCloseItsElementAndOpenElementsEndWithIt) {
    XmlDocument doc;
    doc.ParseXml("<r>" + CryptedElement("</x></y><a>1</a><b><d>2</d>") + "<e>3</e></r><f>4</f>");
    ASSERT_EQ(doc.Root().Count(), 2);
    EXPECT_EQ(Dump(doc.Root().Item(0)->Children().Item(0)->Children()), "a=1,b[d=2]");
    EXPECT_EQ(doc.Root().Item(0)->Children().TextByName("e"), "3");
    EXPECT_EQ(Dump(*doc.Root().Item(1)), "f=4");
}

TEST(XmlCrypted, UnterminatedTagInsideIsReportedAtTheContent) {
    XmlDocument doc;
    const std::string text = "<r>" + CryptedElement("<a>1</a><b") + "</r>";
    try {
        doc.ParseXml(text);
        FAIL() << "no error";
    } catch (const XmlError& error) {
        EXPECT_EQ(error.Position(), text.find('>', 3) + 1);
    }
    EXPECT_EQ(Dump(doc.Root().Item(0)->Children().Item(0)->Children()), "a=1");
}

// Crypted content inside crypted content is read back as the inner element's stored text, so
// writing it again gives the same bytes.
TEST(XmlCrypted, NestedCryptedContentSurvivesARewrite) {
    XmlDocument doc;
    XmlNodeList& root = doc.Root();
    root.OpenElement("outer")->SetCryptingID(1);
    root.OpenElement("inner")->SetCryptingID(1);
    root.AddLeafElement("secret")->SetAsText("p&ss \"word\"");
    const std::string written = doc.XmlText();

    XmlDocument again;
    again.ParseXml(written);
    EXPECT_EQ(again.XmlText(), written);
    const XmlNode& inner = *again.Root().Item(0)->Children().Item(0);
    EXPECT_EQ(inner.Name(), "inner");
    EXPECT_EQ(inner.CryptingID(), 1);
}

TEST(XmlLimits, CryptedNestingBeyondTheLimitIsRefusedOnWriting) {
    XmlDocument doc;
    for (int i = 0; i <= XmlDocument::kMaxCryptedNesting; ++i)
        doc.Root().OpenElement("c")->SetCryptingID(1);
    doc.Root().AddLeafElement("x")->SetAsText("&&&&&&&&");
    EXPECT_THROW(doc.XmlText(), XmlError);
    // One level less is written.
    XmlDocument fits;
    for (int i = 0; i < XmlDocument::kMaxCryptedNesting; ++i)
        fits.Root().OpenElement("c")->SetCryptingID(1);
    fits.Root().AddLeafElement("x")->SetAsText("&&&&&&&&");
    EXPECT_FALSE(fits.XmlText().empty());
}

TEST(XmlLimits, OpenElementRefusesToNestDeeperThanTheLimit) {
    XmlDocument doc;
    for (int i = 0; i < XmlDocument::kMaxDepth; ++i)
        doc.Root().OpenElement("a");
    EXPECT_EQ(doc.Root().Cursor()->Level(), XmlDocument::kMaxDepth - 1);
    EXPECT_THROW(doc.Root().OpenElement("a"), XmlError);
    EXPECT_EQ(doc.Root().Cursor()->Children().Count(), 0);
}

// --- Files

class XmlFiles : public ::testing::Test {
protected:
    void SetUp() override {
        Root_ = fs::temp_directory_path() /
                ("ostero-xml-" + std::to_string(getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(Root_);
        fs::create_directories(Root_);
    }
    void TearDown() override { fs::remove_all(Root_); }

    static std::string ReadBytes(const fs::path& file) {
        std::ifstream in(file, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    static void WriteBytes(const fs::path& file, const std::string& bytes) {
        std::ofstream(file, std::ios::binary) << bytes;
    }
    static std::set<std::string> Listing(const fs::path& folder) {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder))
            names.insert(entry.path().filename().string());
        return names;
    }

    fs::path Root_;
};

TEST_F(XmlFiles, SaveCreatesOneFolderLevelAndLoadsBack) {
    const fs::path file = Root_ / "new" / "devices.xml";
    XmlDocument doc;
    BuildCrypted(doc);
    doc.SaveToFile(file.string());
    EXPECT_EQ(ReadBytes(file), kHeader + "<r>\r\n" + kCryptedLine + "</r>\r\n");
    EXPECT_EQ(Listing(file.parent_path()), std::set<std::string>{"devices.xml"});

    XmlDocument loaded;
    loaded.LoadFromFile(file.string());
    EXPECT_EQ(Dump(loaded.Root()), Dump(doc.Root()));

    XmlDocument twoLevels;
    twoLevels.Root().AddLeafElement("a");
    EXPECT_THROW(twoLevels.SaveToFile((Root_ / "x" / "y" / "a.xml").string()), XmlError);
    EXPECT_FALSE(fs::exists(Root_ / "x" / "y"));
}

// A document far larger than what is held before it goes to the file, with crypted content
// between plain elements: the file holds exactly the text.
TEST_F(XmlFiles, SaveOfALargeDocumentWritesExactlyItsText) {
    const fs::path file = Root_ / "large.xml";
    XmlDocument doc;
    XmlNodeList& root = doc.Root();
    root.OpenElement("report");
    for (int i = 0; i < 60000; ++i) {
        XmlNode* node = root.OpenElement("Node");
        node->SetAttribute("Name", "Item <" + std::to_string(i) + ">");
        if (i == 30000) {
            root.OpenElement("secret")->SetCryptingID(1);
            for (int k = 0; k < 3; ++k)
                root.AddLeafElement("k")->SetAsText("v&" + std::to_string(k));
            root.CloseElement();
        }
        root.AddLeafElement("Value")->SetAsText("x\"" + std::to_string(i));
        root.CloseElement();
    }
    root.CloseElement();
    doc.SaveToFile(file.string());
    const std::string text = doc.XmlText();
    EXPECT_GT(text.size(), std::size_t{4} << 20);
    EXPECT_EQ(ReadBytes(file), text);
    EXPECT_EQ(Listing(Root_), std::set<std::string>{"large.xml"});
}

TEST_F(XmlFiles, LoadingAMissingFileRaises) {
    XmlDocument doc;
    EXPECT_THROW(doc.LoadFromFile((Root_ / "none.xml").string()), XmlError);
    EXPECT_THROW(doc.LoadFromFile(Root_.string()), XmlError); // a folder
}

TEST_F(XmlFiles, SaveReplacesTheFileKeepingItsPermissions) {
    const fs::path file = Root_ / "a.xml";
    WriteBytes(file, "old");
    fs::permissions(file, fs::perms(0600));
    XmlDocument doc;
    doc.Root().AddLeafElement("a")->SetAsText("x");
    doc.SaveToFile(file.string());
    EXPECT_EQ(ReadBytes(file), kHeader + "<a>x</a>\r\n");
    EXPECT_EQ(fs::status(file).permissions() & fs::perms::all, fs::perms(0600));
    EXPECT_EQ(Listing(Root_), std::set<std::string>{"a.xml"});
}

// A file size limit makes the system refuse the write half-way, as a full disk would. A folder
// made for the file goes again.
TEST_F(XmlFiles, SaveCutShortLeavesThePreviousFile) {
    const fs::path file = Root_ / "a.xml";
    WriteBytes(file, "<a>old</a>");
    // One long value, and many elements whose text reaches the file in several pieces.
    XmlDocument doc;
    doc.Root().AddLeafElement("a")->SetAsText(std::string(100000, 'n'));
    XmlDocument many;
    many.Root().OpenElement("list");
    for (int i = 0; i < 100000; ++i)
        many.Root().AddLeafElement("item")->SetAsInteger(i);

    const pid_t child = fork();
    if (child == 0) {
        const rlimit limit{4096, 4096};
        if (std::signal(SIGXFSZ, SIG_IGN) == SIG_ERR || setrlimit(RLIMIT_FSIZE, &limit) != 0)
            _exit(2);
        int failed = 0;
        for (XmlDocument* saved : {&doc, &many}) {
            for (const fs::path& target : {file, Root_ / "fresh" / "b.xml"}) {
                try {
                    saved->SaveToFile(target.string());
                } catch (const XmlError&) {
                    ++failed;
                }
            }
        }
        _exit(failed == 4 ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1) << "the save did not fail as it should";
    EXPECT_EQ(ReadBytes(file), "<a>old</a>");
    EXPECT_EQ(Listing(Root_), std::set<std::string>{"a.xml"});
}

TEST_F(XmlFiles, SaveThatCannotWriteItsTextTouchesNothing) {
    const fs::path file = Root_ / "a.xml";
    WriteBytes(file, "<a>old</a>");
    XmlDocument doc;
    for (int i = 0; i <= XmlDocument::kMaxCryptedNesting; ++i)
        doc.Root().OpenElement("c")->SetCryptingID(1);
    doc.Root().AddLeafElement("x");
    EXPECT_THROW(doc.SaveToFile(file.string()), XmlError);
    EXPECT_THROW(doc.SaveToFile((Root_ / "sub" / "b.xml").string()), XmlError);
    EXPECT_EQ(ReadBytes(file), "<a>old</a>");
    EXPECT_EQ(Listing(Root_), std::set<std::string>{"a.xml"});
}

TEST_F(XmlFiles, SaveOverAFolderFails) {
    fs::create_directory(Root_ / "dir.xml");
    XmlDocument doc;
    doc.Root().AddLeafElement("a");
    EXPECT_THROW(doc.SaveToFile((Root_ / "dir.xml").string()), XmlError);
    EXPECT_EQ(Listing(Root_), std::set<std::string>{"dir.xml"});
}

} // namespace
} // namespace ostero::support
