// The XML export writes its text element by element; it must come out exactly as the XML
// document would write the same elements, the layout every reader of these files knows.
#include "ExportTestTree.h"
#include "export/ExportWalk.h"
#include "export/XmlExport.h"
#include "support/XmlDocument.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include <unistd.h>

using namespace ostero;

namespace {

namespace fs = std::filesystem;

// The export made as a document tree: the elements the walk visits, with the export's texts
// put in through the document's raw forms.
class TDocumentBuilder final : public exporting::TExportVisitor {
public:
    explicit TDocumentBuilder(support::XmlNodeList& list) : List_(list) {}

    void Enter(const report::TTreeNode& node, int) override {
        support::XmlNode* element = List_.OpenElement("Node");
        element->Attributes().push_back("Name=\"" + exporting::EncodeXmlExportText(node.Text()) +
                                        "\"");
        element->Attributes().push_back("ID=\"" + std::to_string(node.ImageCode()) + "\"");
        if (const report::TTreeListObj* prop = node.Property(); prop && !prop->Value.empty())
            element->SetValue(exporting::EncodeXmlExportText(prop->Value));
    }
    void Leave(const report::TTreeNode&, int) override { List_.CloseElement(); }

private:
    support::XmlNodeList& List_;
};

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct TTreeRow {
    const char* Name;
    // Fills one of the two and answers the tree to export.
    const report::TReportTree& (*Make)(report::TReportDocument&, export_test::TContentsFixture&);
    bool KeepPrivate;
};

class XmlExportAsDocument : public ::testing::TestWithParam<TTreeRow> {
protected:
    void SetUp() override {
        Dir = fs::temp_directory_path() /
              ("ostero_xmlexport_" + std::to_string(::getpid()) + "_" + GetParam().Name);
        fs::remove_all(Dir);
        fs::create_directories(Dir);
    }
    void TearDown() override { fs::remove_all(Dir); }
    fs::path Dir;
};

TEST_P(XmlExportAsDocument, SavesTheBytesTheDocumentSaves) {
    report::TReportDocument own;
    export_test::TContentsFixture fixture;
    const report::TReportTree& tree = GetParam().Make(own, fixture);

    support::XmlDocument doc;
    doc.Root().OpenElement("Taveric_Report");
    TDocumentBuilder builder(doc.Root());
    exporting::TExportWalkRule rule;
    rule.KeepPrivate = GetParam().KeepPrivate;
    rule.ChartLines = false;
    exporting::WalkExport(tree, rule, builder);
    doc.Root().CloseElement();
    const fs::path expected = Dir / "doc.xml";
    doc.SaveToFile(expected.string());

    const fs::path saved = Dir / "export.xml";
    std::string error;
    ASSERT_TRUE(exporting::SaveXml(tree, saved.string(), GetParam().KeepPrivate, &error)) << error;
    const std::string bytes = ReadFile(saved);
    EXPECT_EQ(bytes, ReadFile(expected));
    EXPECT_EQ(bytes, exporting::RenderXml(tree, GetParam().KeepPrivate));
}

const report::TReportTree& Nested(report::TReportDocument& d, export_test::TContentsFixture&) {
    report::TTreeNode* top = d.Tree.AppendTop("Top", 400);
    report::TTreeNode* group = report::AddNode(d.Tree, top, 3, 0, "Group", 1);
    report::TTreeNode* inner = report::AddNode(d.Tree, group, 5, 0, "Inner", 1);
    report::AddNode(d.Tree, inner, 11, 0, "Leaf=1", 10);
    report::AddNode(d.Tree, group, 0, 0, "Empty group", 1);
    report::AddNode(d.Tree, top, 12, 0, "After=2", 10);
    d.Tree.AppendTop("Empty top", 401);
    return d.Tree;
}

const report::TReportTree& MarkupAndWindowsCharacters(report::TReportDocument& d,
                                                      export_test::TContentsFixture&) {
    report::TTreeNode* top = d.Tree.AppendTop("a<b & \"c\"> \x80\x93\x9F", 400);
    report::AddNode(d.Tree, top, 11, 0, "P\x85=<&>\" \x80 \x8A\x9F \xE9\tx\r\ny\x01", 10);
    report::AddNode(d.Tree, top, 11, 0, "Empty value=", 10);
    report::AddNode(d.Tree, top, -7, 0, "Negative image", 10);
    return d.Tree;
}

const report::TReportTree& PrivateNodes(report::TReportDocument& d,
                                        export_test::TContentsFixture&) {
    report::TTreeNode* top = d.Tree.AppendTop("Machine", 400);
    report::TTreeNode* hidden = report::AddNode(d.Tree, top, 43, report::nfPrivate, "Key=K", 10);
    report::AddNode(d.Tree, hidden, 0, 0, "Below=B", 10);
    report::AddNode(d.Tree, top, 44, 0, "Open=O", 10);
    return d.Tree;
}

const report::TReportTree& Empty(report::TReportDocument& d, export_test::TContentsFixture&) {
    return d.Tree;
}

// The fixture's contents tree: unchecked and chart-only contents nodes, chart lines, a subtree.
const report::TReportTree& Contents(report::TReportDocument&, export_test::TContentsFixture& f) {
    return f.Contents.Tree;
}

INSTANTIATE_TEST_SUITE_P(
    Xml, XmlExportAsDocument,
    ::testing::Values(TTreeRow{"EmptyReport", Empty, false},
                      TTreeRow{"NestedAndEmptyGroups", Nested, false},
                      TTreeRow{"MarkupAndWindowsCharacters", MarkupAndWindowsCharacters, false},
                      TTreeRow{"PrivateLeftOut", PrivateNodes, false},
                      TTreeRow{"PrivateKept", PrivateNodes, true},
                      TTreeRow{"ContentsTreeUncheckedAndChart", Contents, false},
                      TTreeRow{"ContentsTreePrivateKept", Contents, true}),
    [](const ::testing::TestParamInfo<TTreeRow>& info) { return info.param.Name; });

} // namespace
