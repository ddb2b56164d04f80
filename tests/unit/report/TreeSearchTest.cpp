#include "report/TreeSearch.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace ostero::report;

namespace {

// Hardware
//   CPUs
//     CPU Temperature (118)
//     Processor=CPU
//   Disk (19: Ident Error)
//     cpu cache (110: Error)
// Sensors
//   Fan (38: Attention)
//   Große Platte=1
//   Broken picture (256 + 19)
class TreeSearchTest : public ::testing::Test {
protected:
    void SetUp() override {
        TTreeNode* c = AddNode(Tree_, nullptr, 401, 0, "Hardware", 0);
        c = AddNode(Tree_, c, 3, 0, "CPUs", 1);
        c = AddNode(Tree_, c, 118, 0, "CPU Temperature=40", 10);
        c = AddNode(Tree_, c, 0, 0, "Processor=CPU", 10);
        c = AddNode(Tree_, c, 19, 0, "Disk", 1);
        c = AddNode(Tree_, c, 110, 0, "cpu cache", 2);
        c = AddNode(Tree_, c, 406, 0, "Sensors", 0);
        c = AddNode(Tree_, c, 38, 0, "Fan=1200", 10);
        c = AddNode(Tree_, c, 0, 0,
                    "Gro\xDF"
                    "e Platte=1",
                    10);
        c = AddNode(Tree_, c, 256 + 19, 0, "Broken picture", 1);
    }
    // Titles of every hit, the first search followed by next searches until false.
    template <typename First, typename Next> std::vector<std::string> Hits(First first, Next next) {
        std::vector<std::string> titles;
        for (bool found = first(); found; found = next())
            titles.push_back(Search_.Current()->Text());
        return titles;
    }
    TReportTree Tree_;
    TTreeSearch Search_{Tree_};
};

TEST_F(TreeSearchTest, TextSearchWalksTitlesInTreeOrder) {
    EXPECT_EQ(Hits([&] { return Search_.FindText("cpu"); }, [&] { return Search_.FindTextNext(); }),
              (std::vector<std::string>{"CPUs", "CPU Temperature", "cpu cache"}));
    // The value "CPU" of Processor is not searched. After the end: false, and false again.
    EXPECT_EQ(Search_.Current(), nullptr);
    EXPECT_FALSE(Search_.FindTextNext());
    EXPECT_FALSE(Search_.FindTextNext());
}

TEST_F(TreeSearchTest, CaseFoldingCoversAToZOnly) {
    EXPECT_TRUE(Search_.FindText("gro\xDF"
                                 "e"));
    EXPECT_EQ(Search_.Current()->Text(), "Gro\xDF"
                                         "e Platte");
    EXPECT_FALSE(Search_.FindText("GRO\xDF"
                                  "E PLATTE=")); // values are not part of the title
    Tree_.First()->AppendChild("\xC4rger");      // Ä
    EXPECT_FALSE(Search_.FindText("\xE4rger"));  // ä does not fold to Ä
    EXPECT_TRUE(Search_.FindText("\xC4RGER"));
}

TEST_F(TreeSearchTest, ImageCodeSearchAndTheErrorFallback) {
    EXPECT_EQ(Hits([&] { return Search_.FindImageCodes(ErrorEntryCodes()); },
                   [&] { return Search_.FindImageCodesNext(); }),
              std::vector<std::string>{"Disk"}); // 256 + 19 never matches
    EXPECT_EQ(Hits([&] { return Search_.FindImageCodes(WarningCodes()); },
                   [&] { return Search_.FindImageCodesNext(); }),
              std::vector<std::string>{"Fan"});

    // A report without the error pictures but with picture 110: the second try finds it and
    // the next search continues with {110}.
    TReportTree tree;
    TTreeNode* c = AddNode(tree, nullptr, 403, 0, "Testresults", 0);
    AddNode(tree, c, 110, 0, "Memory test=failed", 10);
    AddNode(tree, c, 110, 0, "Disk test=failed", 10);
    TTreeSearch search(tree);
    EXPECT_FALSE(search.FindImageCodes(ErrorEntryCodes()));
    ASSERT_TRUE(search.FindImageCodes(ErrorEntrySecondTry()));
    EXPECT_EQ(search.Current()->Text(), "Memory test");
    ASSERT_TRUE(search.FindImageCodesNext());
    EXPECT_EQ(search.Current()->Text(), "Disk test");
    EXPECT_FALSE(search.FindImageCodesNext());
}

TEST_F(TreeSearchTest, OneKindOfSearchEndsTheOther) {
    ASSERT_TRUE(Search_.FindText("cpu"));
    ASSERT_TRUE(Search_.FindImageCodes(WarningCodes()));
    EXPECT_TRUE(Search_.SearchText().empty());
    EXPECT_FALSE(Search_.FindTextNext());
    ASSERT_TRUE(Search_.FindImageCodes(WarningCodes()));
    ASSERT_TRUE(Search_.FindText("sensors"));
    EXPECT_TRUE(Search_.CodeSet().none());
    EXPECT_FALSE(Search_.FindImageCodesNext());
    EXPECT_FALSE(TTreeSearch(Tree_).FindTextNext()); // no search yet
}

} // namespace
