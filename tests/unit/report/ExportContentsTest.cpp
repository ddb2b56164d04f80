// The export contents of a shown report: what the wizard offers and where each choice leads.
#include "report/ExportContents.h"

#include "report/Chart.h"

#include <gtest/gtest.h>

#include <memory>

using namespace ostero::report;

namespace {

TEST(ExportContents, CategoriesAndTheirSectionsLeadIntoTheShownTree) {
    TReportTree tree;
    // A commentary category, a category with sections (and a property beside them, which has
    // no entry of its own), one with properties only, an empty one, and the sensor log chart.
    TTreeNode* c = AddNode(tree, nullptr, kCategoryCommentary, 0, "Commentary", 0);
    c = AddNode(tree, c, 0, 0, "Checked by Anna", 1);
    c = AddNode(tree, c, 0, 0, "Second line", 1);
    TTreeNode* hardware = c = AddNode(tree, c, kCategoryHardware, 0, "Hardware", 0);
    c = AddNode(tree, c, 11, 0, "Processor", 1);
    c = AddNode(tree, c, 11, 0, "Cores=8", 10);
    c = AddNode(tree, c, 12, 0, "Memory", 1);
    c = AddNode(tree, c, 12, 0, "Size=16 GB", 10);
    c = AddNode(tree, c, 13, 0, "Empty section", 1);
    TTreeNode* flat = c = AddNode(tree, c, kCategorySystem, 0, "System", 0);
    c = AddNode(tree, c, 55, 0, "Kernel=6.1", 10);
    c = AddNode(tree, c, kCategoryTestResults, 0, "Testresults", 0);
    TTreeNode* log = c = AddNode(tree, c, kCategorySensorLog, 0, "Sensorlog", 0);
    c = AddNode(tree, c, 0, 0, "CPU", 1);
    TChart chart;
    auto object = std::make_unique<TChartObject>();
    object->Chart = &chart;
    log->SetObject(std::move(object));

    TReportTree contents;
    contents.AppendTop("left from before");
    std::vector<std::string> comments;
    FillReportContents(tree, contents, comments);

    EXPECT_EQ(comments, (std::vector<std::string>{"Checked by Anna", "Second line"}));
    ASSERT_EQ(contents.TopCount(), 4u);
    for (size_t i = 0; i < contents.TopCount(); ++i) {
        EXPECT_EQ(contents.Top(i)->StateIndex(), kContentsChecked);
        EXPECT_EQ(contents.Top(i)->Text(), tree.Top(i + 1)->Text());
        EXPECT_EQ(contents.Top(i)->ImageCode(), tree.Top(i + 1)->ImageCode());
    }

    // Sections are offered one by one; the empty one is not.
    const TTreeNode* sections = contents.Top(0);
    EXPECT_EQ(sections->Object(), nullptr);
    ASSERT_EQ(sections->ChildCount(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        const TTreeNode* item = sections->Child(i);
        EXPECT_EQ(item->Text(), hardware->Child(i)->Text());
        EXPECT_EQ(item->ImageCode(), hardware->Child(i)->ImageCode());
        EXPECT_EQ(item->StateIndex(), kContentsChecked);
        ASSERT_NE(item->ReportInfo(), nullptr);
        EXPECT_EQ(item->ReportInfo()->Subtree, hardware->Child(i)->FirstChild());
        EXPECT_EQ(item->ReportInfo()->Chart, nullptr);
    }

    // Without sections the category is chosen as a whole; the chart goes along.
    ASSERT_NE(contents.Top(1)->ReportInfo(), nullptr);
    EXPECT_EQ(contents.Top(1)->ReportInfo()->Subtree, flat->FirstChild());
    EXPECT_EQ(contents.Top(1)->ChildCount(), 0u);
    ASSERT_NE(contents.Top(2)->ReportInfo(), nullptr);
    EXPECT_EQ(contents.Top(2)->ReportInfo()->Subtree, nullptr);
    const TReportInfo* logInfo = contents.Top(3)->ReportInfo();
    ASSERT_NE(logInfo, nullptr);
    EXPECT_EQ(logInfo->Subtree, log->FirstChild());
    EXPECT_EQ(logInfo->Chart, &chart);
    EXPECT_EQ(contents.Top(3)->ChildCount(), 0u) << "a chart's lines are not sections";
}

} // namespace
