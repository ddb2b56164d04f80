#include "support/XmlDocument.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include <unistd.h>

namespace ostero::support {
namespace {

namespace fs = std::filesystem;

// One step of making a document, done alike on an XmlDocument and on a TXmlStreamWriter.
struct TStep {
    enum TKind { Open, Attribute, Text, Value, Close } Kind;
    std::string A;
    std::string B;
};

TStep Open(std::string name) {
    return {TStep::Open, std::move(name), {}};
}
TStep Attr(std::string name, std::string value) {
    return {TStep::Attribute, std::move(name), std::move(value)};
}
TStep Text(std::string text) {
    return {TStep::Text, std::move(text), {}};
}
TStep Value(std::string escaped) {
    return {TStep::Value, std::move(escaped), {}};
}
TStep Close() {
    return {TStep::Close, {}, {}};
}

void Build(const std::vector<TStep>& steps, XmlDocument& doc) {
    XmlNodeList& root = doc.Root();
    for (const TStep& step : steps) {
        switch (step.Kind) {
        case TStep::Open:
            root.OpenElement(step.A);
            break;
        case TStep::Attribute:
            root.Cursor()->SetAttribute(step.A, step.B);
            break;
        case TStep::Text:
            root.Cursor()->SetAsText(step.A);
            break;
        case TStep::Value:
            root.Cursor()->SetValue(step.A);
            break;
        case TStep::Close:
            root.CloseElement();
            break;
        }
    }
}

void Stream(const std::vector<TStep>& steps, TXmlStreamWriter& writer) {
    for (const TStep& step : steps) {
        switch (step.Kind) {
        case TStep::Open:
            writer.OpenElement(step.A);
            break;
        case TStep::Attribute:
            writer.AddAttribute(step.A, step.B);
            break;
        case TStep::Text:
            writer.SetAsText(step.A);
            break;
        case TStep::Value:
            writer.SetValue(step.A);
            break;
        case TStep::Close:
            writer.CloseElement();
            break;
        }
    }
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class TempDir : public ::testing::Test {
protected:
    void SetUp() override {
        Dir = fs::temp_directory_path() /
              ("ostero_xmlstream_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(Dir);
        fs::create_directories(Dir);
    }
    void TearDown() override { fs::remove_all(Dir); }
    fs::path Dir;
};

struct TSameTextRow {
    const char* Name;
    std::vector<TStep> Steps;
};

class XmlStreamWriterSameText : public TempDir,
                                public ::testing::WithParamInterface<TSameTextRow> {};

// Byte for byte what the document writes, in memory and in a file.
TEST_P(XmlStreamWriterSameText, AsTheDocumentWithTheSameElements) {
    XmlDocument doc;
    Build(GetParam().Steps, doc);
    const std::string expected = doc.XmlText();

    TXmlStreamWriter memory;
    Stream(GetParam().Steps, memory);
    EXPECT_EQ(memory.Finish(), expected);

    const fs::path file = Dir / "stream.xml";
    TXmlStreamWriter writer(file.string());
    Stream(GetParam().Steps, writer);
    EXPECT_EQ(writer.Finish(), "");
    EXPECT_EQ(ReadFile(file), expected);
    const fs::path saved = Dir / "doc.xml";
    doc.SaveToFile(saved.string());
    EXPECT_EQ(ReadFile(saved), ReadFile(file));
}

INSTANTIATE_TEST_SUITE_P(
    Xml, XmlStreamWriterSameText,
    ::testing::Values(
        TSameTextRow{"Empty", {}}, TSameTextRow{"OneLeaf", {Open("a"), Text("x"), Close()}},
        TSameTextRow{"EmptyElementPair", {Open("a"), Close()}},
        TSameTextRow{"NestedGroupsAndEmptyGroup",
                     {Open("r"), Attr("k", "v"), Open("g"), Attr("Name", "G"), Attr("ID", "3"),
                      Open("n"), Text("1"), Close(), Open("e"), Close(), Close(), Open("e2"),
                      Attr("Name", ""), Close(), Close()}},
        TSameTextRow{"EscapedValuesAndAttributes",
                     {Open("r"), Open("n"), Attr("Name", "a<b & \"c\">"),
                      Text("<&>\"\x80\x93\x9F\xE9"), Close(), Open("n"),
                      Value("&amp;lt; kept as given"), Close(), Close()}},
        TSameTextRow{"ValueDroppedWhenChildrenFollow",
                     {Open("r"), Text("dropped"), Open("c"), Text("kept"), Close(),
                      Text("after children"), Close()}},
        TSameTextRow{"ValueReplaced", {Open("a"), Text("first and longer"), Text("2nd"), Close()}},
        TSameTextRow{"SeveralTopLevelElements",
                     {Open("a"), Close(), Open("b"), Text("y"), Close(), Open("c"), Open("d"),
                      Close(), Close()}},
        TSameTextRow{"ElementsLeftOpen", {Open("a"), Open("b"), Open("c"), Text("z")}},
        TSameTextRow{"CloseWithNothingOpen", {Close(), Open("a"), Close(), Close(), Close()}},
        TSameTextRow{"Deep",
                     {Open("l0"), Open("l1"), Open("l2"), Open("l3"), Open("l4"), Text("v"),
                      Close(), Close(), Open("m2"), Close(), Close(), Close(), Close()}}),
    [](const ::testing::TestParamInfo<TSameTextRow>& info) { return info.param.Name; });

// Many elements, so that the text is handed to the file in several pieces between them; values
// dropped and replaced on the way must still come out as the document writes them.
TEST_F(TempDir, XmlStreamWriterBigDocumentAcrossFlushes) {
    std::vector<TStep> steps{Open("Taveric_Report")};
    for (int i = 0; i < 30000; ++i) {
        steps.push_back(Open("Node"));
        steps.push_back(Attr("Name", "Group " + std::to_string(i)));
        steps.push_back(Text("value that goes"));
        steps.push_back(Open("Node"));
        steps.push_back(Text(std::string(static_cast<std::size_t>(i % 40), 'x') + "&"));
        steps.push_back(Text("second " + std::to_string(i)));
        steps.push_back(Close());
        steps.push_back(Close());
    }
    XmlDocument doc;
    Build(steps, doc);
    const std::string expected = doc.XmlText();
    ASSERT_GT(expected.size(), std::size_t{1} << 20);

    const fs::path file = Dir / "big.xml";
    TXmlStreamWriter writer(file.string());
    Stream(steps, writer);
    writer.Finish();
    EXPECT_TRUE(ReadFile(file) == expected);
}

TEST(XmlStreamWriter, EncoderGivesTheWrittenForm) {
    const TXmlEncoder upper = [](std::string& out, std::string_view text) {
        for (const char c : text)
            out += static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
    };
    TXmlStreamWriter writer;
    writer.OpenElement("a");
    writer.AddAttribute("n", "v<", upper);
    writer.SetAsText("x&y", upper);
    EXPECT_EQ(writer.Finish(), "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\r\n"
                               "<a n=\"V<\">X&Y</a>\r\n");
}

TEST(XmlStreamWriter, DepthLimitAsTheDocumentAndMisuseRaises) {
    TXmlStreamWriter writer;
    XmlDocument doc;
    for (int i = 0; i < XmlDocument::kMaxDepth; ++i) {
        writer.OpenElement("e");
        doc.Root().OpenElement("e");
    }
    EXPECT_THROW(writer.OpenElement("e"), XmlError);
    EXPECT_THROW(doc.Root().OpenElement("e"), XmlError);
    writer.SetAsText("v");
    EXPECT_THROW(writer.AddAttribute("late", "1"), std::logic_error);
    doc.Root().Cursor()->SetAsText("v");
    EXPECT_EQ(writer.Finish(), doc.XmlText());
    EXPECT_THROW(writer.OpenElement("e"), std::logic_error);
    EXPECT_THROW(writer.Finish(), std::logic_error);
}

TEST_F(TempDir, XmlStreamWriterReplacesTheFileOnlyWhenFinished) {
    const fs::path file = Dir / "keep.xml";
    std::ofstream(file) << "previous";
    {
        TXmlStreamWriter writer(file.string());
        writer.OpenElement("a");
        writer.SetAsText("new");
        EXPECT_EQ(ReadFile(file), "previous");
    } // gone without Finish
    EXPECT_EQ(ReadFile(file), "previous");
    EXPECT_EQ(std::distance(fs::directory_iterator(Dir), fs::directory_iterator()), 1);

    // One missing folder level is made, and taken away again when the writer does not finish.
    const fs::path inNew = Dir / "new" / "x.xml";
    {
        TXmlStreamWriter writer(inNew.string());
        writer.OpenElement("a");
        EXPECT_TRUE(fs::is_directory(Dir / "new"));
    }
    EXPECT_FALSE(fs::exists(Dir / "new"));
    {
        TXmlStreamWriter writer(inNew.string());
        writer.OpenElement("a");
        writer.Finish();
    }
    EXPECT_EQ(ReadFile(inNew), "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\r\n<a></a>\r\n");

    EXPECT_THROW(TXmlStreamWriter((Dir / "no" / "such" / "x.xml").string()), XmlError);
    EXPECT_FALSE(fs::exists(Dir / "no"));
}

} // namespace
} // namespace ostero::support
