#include "report/ReportTree.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace ostero::report;

namespace {

// "depth:text" of every node in tree order.
std::vector<std::string> Walk(const TReportTree& tree) {
    std::vector<std::string> out;
    for (TTreeNode* node = tree.First(); node; node = node->NextInTree())
        out.push_back(std::to_string(node->Level()) + ":" + node->Text());
    return out;
}

struct TSplitCase {
    const char* Name;
    std::string Line;
    std::string ExpectedName;
    std::string ExpectedValue;
    uint8_t ExpectedIcon;
};

class PropertyLine : public ::testing::TestWithParam<TSplitCase> {};

TEST_P(PropertyLine, SplitsAtTheFirstEquals) {
    const auto& c = GetParam();
    TReportTree tree;
    TTreeNode* group = AddNode(tree, nullptr, 5, 0, "Group", 0);
    EXPECT_EQ(AddNode(tree, group, 7, nfAlert, c.Line, 12), group);
    ASSERT_EQ(group->ChildCount(), 1u);
    const TTreeNode* node = group->Child(0);
    EXPECT_EQ(node->Text(), c.ExpectedName);
    EXPECT_EQ(node->ImageCode(), 7);
    ASSERT_NE(node->Property(), nullptr);
    EXPECT_EQ(node->Property()->Value, c.ExpectedValue);
    EXPECT_EQ(node->Property()->ValueIcon, c.ExpectedIcon);
    EXPECT_EQ(node->Property()->TypeCode, 12);
    EXPECT_EQ(node->Property()->Flags, nfAlert);
}

INSTANTIATE_TEST_SUITE_P(
    AddNode, PropertyLine,
    ::testing::Values(TSplitCase{"NameAndValue", "Memory=512 MB", "Memory", "512 MB", 0},
                      TSplitCase{"FurtherEqualsBelongToTheValue", "A=B=C", "A", "B=C", 0},
                      TSplitCase{"EqualsAsLastCharacter", "Serial=", "Serial", "", 0},
                      TSplitCase{"NoEquals", "Just a name", "Just a name", "", 0},
                      TSplitCase{"TextOkWithoutEqualsHasNoIcon", "OK", "OK", "", 0},
                      TSplitCase{"EmptyName", "=x", "", "x", 0},
                      TSplitCase{"TwoEquals", "==", "", "=", 0},
                      TSplitCase{"ValueOkAnyCase", "State=oK", "State", "oK", 33},
                      TSplitCase{"ValueOkay", "State=Okay", "State", "Okay", 0},
                      TSplitCase{"Yes", "Present=YES", "Present", "YES", 74},
                      TSplitCase{"No", "Present=no", "Present", "no", 75},
                      TSplitCase{"Error", "Result=Error", "Result", "Error", 32},
                      TSplitCase{"Unknown", "Result=unknown", "Result", "unknown", 15},
                      TSplitCase{"EqualsAndBlankValue", "Serial= ", "Serial", " ", 0}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(AddNode, PropertyWithoutContextGetsAFillerAtTheTop) {
    TReportTree tree;
    TTreeNode* context = AddNode(tree, nullptr, 3, 0, "CPU=x86", 10);
    ASSERT_NE(context, nullptr);
    EXPECT_EQ(context->Level(), 0);
    EXPECT_EQ(context->Text(), "");
    EXPECT_EQ(context->ImageCode(), kFillerImageCode);
    EXPECT_EQ(context->Object(), nullptr);
    EXPECT_EQ(Walk(tree), (std::vector<std::string>{"0:", "1:CPU"}));
}

TEST(AddNode, DeepGroupInAnEmptyTreeGetsFillerLevels) {
    TReportTree tree;
    TTreeNode* node = AddNode(tree, nullptr, 0, 0, "Deep", 2);
    EXPECT_EQ(node->Level(), 2);
    EXPECT_EQ(node->ImageCode(), 0);
    EXPECT_EQ(Walk(tree), (std::vector<std::string>{"0:", "1:", "2:Deep"}));
    EXPECT_EQ(tree.First()->ImageCode(), kFillerImageCode);
    EXPECT_EQ(tree.First()->Child(0)->ImageCode(), kFillerImageCode);
}

TEST(AddNode, GroupsFollowTheirLevels) {
    TReportTree tree;
    TTreeNode* c = AddNode(tree, nullptr, 401, 0, "Hardware", 0);
    c = AddNode(tree, c, 3, 0, "CPUs", 1);
    c = AddNode(tree, c, 11, 0, "CPU 0", 2);
    c = AddNode(tree, c, 0, 0, "Vendor=Intel", 10);
    c = AddNode(tree, c, 0, 0, "Cores=8", 10); // same context: same group, in order
    c = AddNode(tree, c, 11, 0, "CPU 1", 2);   // back up one level
    c = AddNode(tree, c, 0, 0, "Gap", 4);      // two fillers below CPU 1
    c = AddNode(tree, c, 402, 0, "System", 0); // back to the top
    EXPECT_EQ(c->Level(), 0);
    EXPECT_EQ(Walk(tree),
              (std::vector<std::string>{"0:Hardware", "1:CPUs", "2:CPU 0", "3:Vendor", "3:Cores",
                                        "2:CPU 1", "3:", "4:Gap", "0:System"}));
}

TEST(AddNode, GroupImageCodeBelowOneMeansNoPicture) {
    TReportTree tree;
    EXPECT_EQ(AddNode(tree, nullptr, -4, 0, "G", 0)->ImageCode(), 0);
    // A property keeps its image code even when 0.
    TTreeNode* g = tree.First();
    AddNode(tree, g, 0, 0, "P=1", 10);
    EXPECT_EQ(g->Child(0)->ImageCode(), 0);
}

TEST(AddNode, CodesOf256AndAboveAreRejected) {
    TReportTree tree;
    TTreeNode* g = AddNode(tree, nullptr, 0, 0, "G", 0);
    EXPECT_NO_THROW(AddNode(tree, g, 0, 0, "P=1", 255));
    EXPECT_THROW(AddNode(tree, g, 0, 0, "P=1", 256), TReportError);
    EXPECT_THROW(AddNode(tree, g, 0, 0, "P=1", 0xFF00), TReportError);
    EXPECT_EQ(g->ChildCount(), 1u);
}

TEST(ReportTree, WalksDeletesAndCounts) {
    TReportTree tree;
    TTreeNode* a = tree.AppendTop("a");
    TTreeNode* a1 = a->AppendChild("a1");
    a1->AppendChild("a1x");
    TTreeNode* a2 = a->AppendChild("a2");
    TTreeNode* b = tree.AppendTop("b");
    EXPECT_EQ(tree.Count(), 5u);
    EXPECT_EQ(tree.Last(), b);
    EXPECT_EQ(b->PrevInTree(), a2);
    EXPECT_EQ(a2->PrevInTree()->Text(), "a1x");
    EXPECT_EQ(a1->PrevInTree(), a);
    EXPECT_EQ(a->PrevInTree(), nullptr);
    EXPECT_EQ(a->Parent(), nullptr);
    EXPECT_EQ(a1->Parent(), a);
    EXPECT_TRUE(a1->Child(0)->IsDescendantOf(a));
    EXPECT_FALSE(b->IsDescendantOf(a));
    a1->Delete();
    EXPECT_EQ(a2->Index(), 0u);
    EXPECT_EQ(a->FirstChild(), a2);
    EXPECT_EQ(Walk(tree), (std::vector<std::string>{"0:a", "1:a2", "0:b"}));
    TTreeNode* inserted = a->InsertChild(0, "first");
    EXPECT_EQ(inserted->Index(), 0u);
    EXPECT_EQ(a2->Index(), 1u);
    tree.Clear();
    EXPECT_TRUE(tree.Empty());
    EXPECT_EQ(tree.Count(), 0u);
}

TEST(ReportTree, VeryDeepTreesAreFreedWithoutRecursion) {
    auto tree = std::make_unique<TReportTree>();
    TTreeNode* node = tree->AppendTop("0");
    for (int i = 0; i < 200000; ++i)
        node = node->AppendChild("x");
    EXPECT_EQ(node->Level(), 200000);
    tree.reset(); // must not overflow the stack
}

TEST(NodeTables, CategoryNames) {
    EXPECT_EQ(CategoryName(405, true), "Commentary");
    EXPECT_EQ(CategoryName(451, true), "Program modules");
    EXPECT_EQ(CategoryName(411, true), "");
    EXPECT_EQ(CategoryName(405, false), "Commentary"); // no translator installed
    SetCategoryNameTranslator([](const char* english) { return std::string("de:") + english; });
    EXPECT_EQ(CategoryName(407, false), "de:Sensorlog");
    EXPECT_EQ(CategoryName(407, true), "Sensorlog");
    EXPECT_EQ(CategoryName(12, false), "");
    SetCategoryNameTranslator(nullptr);
}

TEST(NodeTables, ImageListEntriesAndKeywords) {
    EXPECT_EQ(ImageListIndex(0), -1);
    EXPECT_EQ(ImageListIndex(1), 0);
    EXPECT_EQ(ImageListIndex(122), 121);
    EXPECT_EQ(ImageListIndex(400), 15);
    EXPECT_EQ(ImageListIndex(407), 90);
    EXPECT_EQ(ImageListIndex(450), 69);
    EXPECT_EQ(ImageListIndex(613), 61);
    EXPECT_EQ(ImageListIndex(902), 33);
    EXPECT_EQ(ImageListIndex(411), 0);
    EXPECT_STREQ(IconKeyword(1), "Hardware");
    EXPECT_STREQ(IconKeyword(91), "Chart");
    EXPECT_STREQ(IconKeyword(92), "");
    EXPECT_STREQ(IconKeyword(106), "");
    EXPECT_STREQ(IconKeyword(107), "Processes");
    EXPECT_STREQ(IconKeyword(114), "SNMP");
    EXPECT_STREQ(IconKeyword(116), "");
    EXPECT_STREQ(IconKeyword(118), "HDD Temperature");
    EXPECT_STREQ(IconKeyword(122), "Chip Temperature");
    EXPECT_STREQ(IconKeyword(0), "");
    EXPECT_STREQ(IconKeyword(123), "");
}

} // namespace
