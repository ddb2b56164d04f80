#include "report/ReportCompare.h"

#include "report/ReportFile.h"

#include "ChildProcess.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using namespace ostero::report;
namespace fs = std::filesystem;

namespace {

// One record as AddNode takes it: level-or-type code, image code, flags, text.
struct TRec {
    uint32_t Code;
    int32_t Image;
    uint32_t Flags;
    std::string Text;
};

void Build(TReportTree& tree, const std::vector<TRec>& records) {
    TTreeNode* context = nullptr;
    for (const TRec& rec : records)
        context = AddNode(tree, context, rec.Image, rec.Flags, rec.Text, rec.Code);
}

// The bytes of an own-format report holding `records`.
std::string FileOf(const std::vector<TRec>& records) {
    TReportTree tree;
    Build(tree, records);
    std::string bytes("\4TRPT\1", 6);
    bytes.append(15, '\0');
    EXPECT_TRUE(WriteRecords(bytes, tree.First(), 0, true));
    return bytes;
}

// Merges `second` into a document built from `first`.
void Compare(TReportDocument& doc, const std::vector<TRec>& first,
             const std::vector<TRec>& second) {
    Build(doc.Tree, first);
    ASSERT_EQ(LoadCompareReportFromBytes(doc, FileOf(second)), 0);
}

// "depth state text[=value]" per node in tree order.
std::vector<std::string> States(const TReportTree& tree) {
    std::vector<std::string> lines;
    for (TTreeNode* node = tree.First(); node != nullptr; node = node->NextInTree()) {
        std::string line = std::to_string(node->Level()) + " " +
                           std::to_string(node->StateIndex()) + " " + node->Text();
        if (const TTreeListObj* property = node->Property())
            line += "=" + property->Value;
        lines.push_back(line);
    }
    return lines;
}

using Lines = std::vector<std::string>;

const std::vector<TRec> kBase = {
    {0, kCategoryHardware, 0, "Hardwaredevices"},
    {1, 3, 0, "CPUs"},
    {2, 11, 0, "CPU 0"},
    {10, 20, 0, "Name=Xeon"},
    {10, 20, nfVolatile, "Clock=2400 MHz"},
    {10, 20, 0, "Cores=8"},
    {1, 4, 0, "Memory"},
    {10, 20, 0, "Size=32 GB"},
};

} // namespace

TEST(ReportCompare, EqualReportsAreSameEverywhereAndHaveNoDifference) {
    TReportDocument doc;
    Compare(doc, kBase, kBase);
    for (const std::string& line : States(doc.Tree))
        EXPECT_NE(line.find(" 99 "), std::string::npos) << line;
    TViewPosition view{true};
    EXPECT_FALSE(NextDifference(doc.Tree, view));
    EXPECT_EQ(view.Selected, nullptr);
}

TEST(ReportCompare, StatesOfChangedAddedAndRemovedNodes) {
    struct TCase {
        const char* Name;
        std::vector<TRec> First, Second;
        Lines Expected;
    };
    const std::vector<TCase> cases = {
        {"value changed only in case is equal",
         {{0, 1, 0, "G"}, {10, 20, 0, "Name=Xeon"}},
         {{0, 1, 0, "g"}, {10, 20, 0, "NAME=XEON"}},
         {"0 99 G", "1 99 Name=Xeon"}},
        {"changed value keeps old and new and marks its group",
         {{0, 1, 0, "G"}, {10, 20, 0, "Name=Xeon"}},
         {{0, 1, 0, "G"}, {10, 20, 0, "Name=Epyc"}},
         {"0 7 G", "1 8 Name=Xeon|Epyc"}},
        {"properties of one name match the second file's records in order",
         {{0, 1, 0, "G"}, {10, 20, 0, "Slot=A"}, {10, 20, 0, "Slot=B"}},
         {{0, 1, 0, "G"}, {10, 20, 0, "Slot=B"}, {10, 20, 0, "Slot=A"}},
         {"0 7 G", "1 8 Slot=A|B", "1 8 Slot=B|A"}},
        {"another image code does not match",
         {{0, 1, 0, "G"}, {10, 20, 0, "Name=X"}},
         {{0, 1, 0, "G"}, {10, 21, 0, "Name=X"}},
         {"0 7 G", "1 6 Name=X", "1 5 Name=X"}},
        {"added property goes to the end of its group, which stays equal",
         {{0, 1, 0, "G"}, {10, 20, 0, "A=1"}, {10, 20, 0, "B=2"}},
         {{0, 1, 0, "G"}, {10, 20, 0, "New=0"}, {10, 20, 0, "A=1"}, {10, 20, 0, "B=2"}},
         {"0 99 G", "1 99 A=1", "1 99 B=2", "1 5 New=0"}},
        {"added volatile property",
         {{0, 1, 0, "G"}, {10, 20, 0, "A=1"}},
         {{0, 1, 0, "G"}, {10, 20, 0, "A=1"}, {10, 20, nfVolatile, "Up=5 s"}},
         {"0 99 G", "1 99 A=1", "1 19 Up=5 s"}},
        {"removed property three levels deep marks two ancestors only",
         {{0, 1, 0, "T"}, {1, 2, 0, "S"}, {2, 3, 0, "D"}, {10, 20, 0, "A=1"}, {10, 20, 0, "B=2"}},
         {{0, 1, 0, "T"}, {1, 2, 0, "S"}, {2, 3, 0, "D"}, {10, 20, 0, "A=1"}},
         {"0 99 T", "1 7 S", "2 7 D", "3 99 A=1", "3 6 B=2"}},
        {"volatile change on both sides marks its ancestors volatile",
         {{0, 1, 0, "T"}, {1, 2, 0, "S"}, {10, 20, nfVolatile, "Up=1"}},
         {{0, 1, 0, "T"}, {1, 2, 0, "S"}, {10, 20, nfVolatile, "Up=2"}},
         {"0 18 T", "1 18 S", "2 18 Up=1|2"}},
        {"volatile on one side only is a change",
         {{0, 1, 0, "T"}, {10, 20, nfVolatile, "Up=1"}},
         {{0, 1, 0, "T"}, {10, 20, 0, "Up=2"}},
         {"0 7 T", "1 8 Up=1|2"}},
        {"a removal wins over a volatile change in the same group",
         {{0, 1, 0, "T"}, {10, 20, nfVolatile, "Up=1"}, {10, 20, 0, "A=1"}},
         {{0, 1, 0, "T"}, {10, 20, nfVolatile, "Up=2"}},
         {"0 7 T", "1 18 Up=1|2", "1 6 A=1"}},
        {"removed volatile property",
         {{0, 1, 0, "T"}, {10, 20, nfVolatile, "Up=1"}},
         {{0, 1, 0, "T"}},
         {"0 18 T", "1 20 Up=1"}},
        {"added group marks its parent",
         {{0, 1, 0, "T"}, {10, 20, 0, "A=1"}},
         {{0, 1, 0, "T"}, {10, 20, 0, "A=1"}, {1, 2, 0, "New"}},
         {"0 7 T", "1 99 A=1", "1 5 New"}},
        {"empty groups at depth 0 and 1 stay without state, deeper ones are removed",
         {{0, 1, 0, "T"}, {1, 2, 0, "S1"}, {1, 2, 0, "S2"}, {2, 3, 0, "D"}, {0, 1, 0, "Gone"}},
         {{0, 1, 0, "T"}},
         {"0 7 T", "1 -1 S1", "1 6 S2", "2 6 D", "0 -1 Gone"}},
        {"removed group with children",
         {{0, 1, 0, "T"}, {0, 1, 0, "Gone"}, {10, 20, 0, "A=1"}},
         {{0, 1, 0, "T"}},
         {"0 99 T", "0 6 Gone", "1 6 A=1"}},
        {"a property without group gets an added filler",
         {{0, 1, 0, "T"}},
         {{10, 20, 0, "A=1"}, {0, 1, 0, "T"}},
         {"0 99 T", "0 5 ", "1 5 A=1"}},
        {"the fillers of missing levels are added groups",
         {{0, 1, 0, "T"}},
         {{0, 1, 0, "T"}, {3, 2, 0, "Deep"}},
         {"0 7 T", "1 5 ", "2 5 ", "3 5 Deep"}},
        {"a property record matches a group node by its name",
         {{0, 1, 0, "T"}, {1, 20, 0, "Flag"}, {1, 20, 0, "Other"}},
         {{0, 1, 0, "T"}, {10, 20, 0, "Flag="}, {10, 20, 0, "Other=x"}},
         {"0 7 T", "1 99 Flag", "1 8 Other"}},
        {"groups deeper than level 1 match by text",
         {{0, 1, 0, "T"}, {1, 2, 0, "S"}, {2, 3, 0, "Disk A"}, {2, 3, 0, "Disk B"}},
         {{0, 1, 0, "T"}, {1, 2, 0, "S"}, {2, 3, 0, "disk b"}, {2, 3, 0, "Disk C"}},
         {"0 7 T", "1 7 S", "2 6 Disk A", "2 99 Disk B", "2 5 Disk C"}},
    };
    for (const TCase& c : cases) {
        TReportDocument doc;
        Compare(doc, c.First, c.Second);
        EXPECT_EQ(States(doc.Tree), c.Expected) << c.Name;
    }
}

TEST(ReportCompare, MergeNodeFillsMissingLevelsWithAddedFillers) {
    TReportTree tree;
    TTreeNode* top = AddNode(tree, nullptr, 1, 0, "T", 0);
    TReportMerger merger(tree);
    // A property without context gets a top-level filler.
    TTreeNode* filler = merger.MergeNode(nullptr, 20, "A=1", 0, 10);
    EXPECT_EQ(filler->Level(), 0);
    EXPECT_EQ(filler->ImageCode(), kFillerImageCode);
    // A group two levels below its context gets two fillers.
    TTreeNode* deep = merger.MergeNode(top, 2, "Deep", 0, 3);
    EXPECT_EQ(deep->Level(), 3);
    EXPECT_EQ(top->StateIndex(), -1) << "a group record at level 0 was not merged";
    EXPECT_THROW(merger.MergeNode(top, 1, "X", 0, 256), TReportError);
    EXPECT_EQ(States(tree), (Lines{"0 -1 T", "1 5 ", "2 5 ", "3 5 Deep", "0 5 ", "1 5 A=1"}));
}

TEST(ReportCompare, CategoriesMatchAcrossInterfaceLanguages) {
    // The first report is shown in German; the second file stores the English names.
    SetCategoryNameTranslator([](const char* english) {
        return std::string(english) == "Hardwaredevices" ? std::string("Hardwaregeraete")
                                                         : std::string(english);
    });
    TReportDocument doc;
    const std::string first = FileOf(kBase);
    ASSERT_EQ(LoadReportFromBytes(doc, first, nullptr), 0);
    ASSERT_EQ(doc.Tree.First()->Text(), "Hardwaregeraete");
    ASSERT_EQ(LoadCompareReportFromBytes(doc, first), 0);
    SetCategoryNameTranslator(nullptr);
    EXPECT_EQ(doc.Tree.First()->StateIndex(), ssSame);
    EXPECT_EQ(doc.Tree.First()->Text(), "Hardwaregeraete");
}

TEST(ReportCompare, LargeGroupsKeepTheFirstMatchOrder) {
    // Enough children that the matching goes through the index: 30 "Item" properties in two
    // pictures, interleaved; the second file lists picture 6 first and the values reversed.
    std::vector<TRec> first = {{0, 1, 0, "G"}};
    std::vector<TRec> second = {{0, 1, 0, "G"}};
    for (int i = 0; i < 30; ++i)
        first.push_back({10, i % 2 == 0 ? 5 : 6, 0, "Item=" + std::to_string(i)});
    for (int image : {6, 5}) {
        for (int i = 29; i >= 0; --i) {
            if ((i % 2 == 0 ? 5 : 6) == image)
                second.push_back({10, image, 0, "ITEM=" + std::to_string(i)});
        }
    }
    second.push_back({10, 5, 0, "item=extra"});
    TReportDocument doc;
    Compare(doc, first, second);
    TTreeNode* group = doc.Tree.First();
    ASSERT_EQ(group->ChildCount(), 31u);
    // The k-th child of a picture met the k-th record of that picture.
    std::vector<int> order[2];
    for (int i = 29; i >= 0; --i)
        order[i % 2].push_back(i);
    int seen[2] = {0, 0};
    for (size_t i = 0; i < 30; ++i) {
        TTreeNode* child = group->Child(i);
        const int parity = static_cast<int>(i % 2);
        const int expected = order[parity][seen[parity]++];
        const std::string old = std::to_string(i);
        if (expected == static_cast<int>(i)) {
            EXPECT_EQ(child->StateIndex(), ssSame) << i;
        } else {
            EXPECT_EQ(child->StateIndex(), ssChanged) << i;
            EXPECT_EQ(child->Property()->Value, old + "|" + std::to_string(expected)) << i;
        }
    }
    EXPECT_EQ(group->Child(30)->StateIndex(), ssAdded);
    EXPECT_EQ(group->Child(30)->Text(), "item");
}

TEST(ReportCompare, ChartRecordsAreSkippedAndLineNodesDropped) {
    TReportDocument doc;
    TTreeNode* node = AddNode(doc.Tree, nullptr, kCategorySensorLog, 0, "Sensorlog", 0);
    doc.Chart.AddSeries("CPU [C]");
    doc.Chart.AddSeries("Fan [rpm]");
    doc.Chart.Series[0].AddPoint(45000.0, 40);
    doc.Chart.Series[1].AddPoint(45000.0, 1200);
    auto object = std::make_unique<TChartObject>();
    object->Chart = &doc.Chart;
    node->SetObject(std::move(object));
    AddChartLineNodes(*node, doc.Chart);
    ASSERT_EQ(node->ChildCount(), 2u);

    std::string bytes("\4TRPT\1", 6);
    bytes.append(15, '\0');
    ASSERT_TRUE(WriteRecords(bytes, doc.Tree.First(), 0, true));
    ASSERT_EQ(LoadCompareReportFromBytes(doc, bytes), 0);
    EXPECT_EQ(States(doc.Tree), (Lines{"0 99 Sensorlog"}));
    EXPECT_EQ(doc.Chart.Series.size(), 2u);
}

TEST(ReportCompare, BadFilesAnswerTheirResultAndLeaveTheTreeAsItWas) {
    const std::string good = FileOf(kBase);
    std::string newer = good;
    newer[5] = 2;
    std::string sibling = good;
    sibling.replace(1, 4, "SRPT");
    std::string truncated = good.substr(0, good.size() - 3);
    std::string badCode = FileOf({{0, 1, 0, "T"}});
    badCode[28] = 0x01; // the high byte of the first record's code: 256
    struct TCase {
        const char* Name;
        std::string Bytes;
        int Result;
    };
    const std::vector<TCase> cases = {
        {"empty", "", 1},
        {"short", "\4TR", 1},
        {"header only, cut", good.substr(0, 12), 1},
        {"newer version", newer, 2},
        {"sibling format", sibling, 1},
        {"record cut at the end", truncated, 1},
        {"level-or-type code 256", badCode, 1},
    };
    for (const TCase& c : cases) {
        TReportDocument doc;
        Build(doc.Tree, kBase);
        const Lines before = States(doc.Tree);
        EXPECT_EQ(LoadCompareReportFromBytes(doc, c.Bytes), c.Result) << c.Name;
        EXPECT_EQ(States(doc.Tree), before) << c.Name;
    }
}

TEST(ReportCompare, LoadCompareReportReadsFiles) {
    const fs::path file =
        fs::temp_directory_path() / ("ReportCompareTest_" + std::to_string(getpid()) + ".trp");
    {
        std::ofstream out(file, std::ios::binary);
        const std::string bytes = FileOf(kBase);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    TReportDocument doc;
    Build(doc.Tree, kBase);
    EXPECT_EQ(LoadCompareReport(doc, file.string()), 0);
    EXPECT_EQ(doc.Tree.First()->StateIndex(), ssSame);
    EXPECT_EQ(LoadCompareReport(doc, file.string() + ".missing"), 1);
    fs::remove(file);
}

// A file larger than the memory left is not comparable; the program goes on.
TEST(ReportCompare, AFileTooLargeForTheMemoryLeftIsAnsweredAsNotComparable) {
    if (ostero::testing::kAddressSanitizer)
        GTEST_SKIP() << "an address-space limit stops AddressSanitizer before the reader";
    const fs::path file =
        fs::temp_directory_path() / ("ReportCompareTest_big_" + std::to_string(getpid()) + ".trp");
    {
        std::ofstream out(file, std::ios::binary);
        const std::string bytes = FileOf(kBase);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    fs::resize_file(file, uintmax_t{256} << 20); // sparse on disk
    const ostero::testing::TChildRun run = ostero::testing::RunInChild(
        [&file] {
            TReportDocument doc;
            Build(doc.Tree, kBase);
            return ostero::testing::TChildAnswer{LoadCompareReport(doc, file.string()), 0};
        },
        size_t{64} << 20);
    fs::remove(file);
    ASSERT_TRUE(run.Exited) << "the compare ended with signal " << run.Signal;
    EXPECT_EQ(run.Answer.Result, 1);
}

TEST(ReportCompare, DifferenceNavigationWalksStates5_6And8) {
    TReportDocument doc;
    // Differences: Name (8), Cores (6), Memory/Size (8), the added group "Disk" (5);
    // Clock changes volatile on both sides (18) and is passed over.
    std::vector<TRec> second = kBase;
    second[3].Text = "Name=Epyc";
    second[4].Text = "Clock=3000 MHz";
    second.erase(second.begin() + 5);
    second[6].Text = "Size=64 GB";
    second.push_back({1, 9, 0, "Disk"});
    Compare(doc, kBase, second);

    TViewPosition view;
    EXPECT_FALSE(NextDifference(doc.Tree, view)) << "only in compare mode";
    view.CompareMode = true;
    EXPECT_FALSE(PreviousDifference(doc.Tree, view)) << "needs a selection";

    std::vector<std::string> forward;
    while (NextDifference(doc.Tree, view)) {
        forward.push_back(view.Selected->Text());
        EXPECT_EQ(view.TopRow, view.Selected->PrevInTree());
    }
    EXPECT_EQ(forward, (Lines{"Name", "Cores", "Size", "Disk"}));
    EXPECT_EQ(view.Selected->Text(), "Disk") << "a failed step keeps the selection";

    std::vector<std::string> backward;
    while (PreviousDifference(doc.Tree, view))
        backward.push_back(view.Selected->Text());
    EXPECT_EQ(backward, (Lines{"Size", "Cores", "Name"}));

    // From a node that is no difference the walk starts at that node.
    view.Selected = doc.Tree.First()->Child(0)->Child(0)->Child(1); // Clock
    ASSERT_TRUE(NextDifference(doc.Tree, view));
    EXPECT_EQ(view.Selected->Text(), "Cores");
    view.Selected = doc.Tree.First()->Child(0)->Child(0)->Child(1);
    ASSERT_TRUE(PreviousDifference(doc.Tree, view));
    EXPECT_EQ(view.Selected->Text(), "Name");
}
