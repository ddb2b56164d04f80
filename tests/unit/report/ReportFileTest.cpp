#include "report/ReportFile.h"

#include "ChildProcess.h"
#include "SiblingReport.h"

#include "support/SysUtils.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using namespace ostero::report;
using ostero::support::ScrambleText;
namespace fs = std::filesystem;
using namespace ostero::testing;

namespace {

// Texts of a tree in tree order with their depth, image code and value, for comparisons.
std::vector<std::string> Dump(const TReportTree& tree) {
    std::vector<std::string> lines;
    for (TTreeNode* node = tree.First(); node != nullptr; node = node->NextInTree()) {
        std::string line = std::to_string(node->Level()) + ":" + std::to_string(node->ImageCode()) +
                           ":" + node->Text();
        if (const TTreeListObj* prop = node->Property())
            line += "=" + prop->Value + "/" + std::to_string(prop->TypeCode) + "/" +
                    std::to_string(prop->Flags);
        lines.push_back(line);
    }
    return lines;
}

class ReportFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetLoadRetryDelay(std::chrono::milliseconds(0));
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = "ReportFileTest_" + std::to_string(getpid()) + "_" + test->name();
        for (char& c : name)
            if (c == '/')
                c = '_';
        Folder = fs::temp_directory_path() / name;
        fs::remove_all(Folder);
        fs::create_directories(Folder);
    }
    void TearDown() override {
        fs::remove_all(Folder);
        SetLoadRetryDelay(std::chrono::milliseconds(200));
    }
    std::string Path(const std::string& name) const { return (Folder / name).string(); }
    void Write(const std::string& name, const std::string& bytes) const {
        std::ofstream out(Path(name), std::ios::binary | std::ios::trunc);
        out << bytes;
    }
    std::string Read(const std::string& name) const {
        std::ifstream in(Path(name), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    fs::path Folder;
};

// A small report: a category with a group, properties (one without value, one flagged).
void BuildTree(TReportDocument& doc) {
    TTreeNode* ctx = AddNode(doc.Tree, nullptr, kCategoryHardware, 0, "Hardwaredevices", 0);
    ctx = AddNode(doc.Tree, ctx, 500, 0, "PCI", 1);
    ctx = AddNode(doc.Tree, ctx, 10, nfLink, "Vendor=www.example.com", 10);
    ctx = AddNode(doc.Tree, ctx, 0, 0, "Serial=", 31);
    ctx = AddNode(doc.Tree, ctx, 3, 0, "Sub", 2);
    ctx = AddNode(doc.Tree, ctx, 0, nfVolatile | 0x100, "Clock=A=B", 21);
    AddNode(doc.Tree, ctx, 0, 0, "Second", 0);
}

TEST_F(ReportFileTest, RoundTripKeepsTreeValuesAndFlags) {
    TReportDocument doc;
    BuildTree(doc);
    ASSERT_TRUE(SaveReport(doc, Path("a.trp"), false));
    TReportDocument back;
    back.FileVersion = 7;
    ASSERT_EQ(LoadReport(back, Path("a.trp"), nullptr), 0);
    EXPECT_EQ(Dump(back.Tree), Dump(doc.Tree));
    EXPECT_EQ(back.FileVersion, 1);
    // The empty value is stored as "name=" and read back without a value.
    const TTreeNode* serial = back.Tree.First()->Child(0)->Child(1);
    ASSERT_NE(serial->Property(), nullptr);
    EXPECT_EQ(serial->Text(), "Serial");
    EXPECT_EQ(serial->Property()->Value, "");
}

TEST_F(ReportFileTest, GoldenBytesOfSmallFile) {
    TReportDocument doc;
    TTreeNode* ctx = AddNode(doc.Tree, nullptr, 16, 0, "G", 0);
    AddNode(doc.Tree, ctx, 2, nfAlert, "A=b", 11);
    ASSERT_TRUE(SaveReport(doc, Path("g.trp"), false));
    std::string expected("\4TRPT\1", 6);
    expected += std::string(15, '\0');
    expected += std::string("\x0A\0\0\0\x10\0\0\0\0\0\0\0", 12) + ScrambleText("G") + '\0';
    expected += std::string("\x0C\0\0\0\x02\0\x0B\0\x02\0\0\0", 12) + ScrambleText("A=b") + '\0';
    EXPECT_EQ(Read("g.trp"), expected);
    EXPECT_EQ(ScrambleText("G"), "J"); // n = 1, i = 1: shift 3
}

TEST_F(ReportFileTest, PrivatePropertiesLeftOutUnlessKeptButDescendantsWritten) {
    TReportDocument doc;
    TTreeNode* group = doc.Tree.AppendTop("Top");
    TTreeNode* secret = AddNode(doc.Tree, group, 0, nfPrivate, "Key=123", 10);
    (void)secret;
    TTreeNode* priv = group->Child(0);
    priv->AppendChild("Below", 5); // a descendant of a left-out node
    ASSERT_TRUE(SaveReport(doc, Path("p.trp"), false));
    TReportDocument back;
    ASSERT_EQ(LoadReport(back, Path("p.trp"), nullptr), 0);
    ASSERT_EQ(back.Tree.TopCount(), 1u);
    // The descendant is written as a level-2 group; AddNode puts a filler above it.
    EXPECT_EQ(Dump(back.Tree), (std::vector<std::string>{"0:0:Top", "1:14:", "2:5:Below"}));

    ASSERT_TRUE(SaveReport(doc, Path("k.trp"), true));
    ASSERT_EQ(LoadReport(back, Path("k.trp"), nullptr), 0);
    EXPECT_EQ(back.Tree.First()->Child(0)->Text(), "Key");
}

TEST_F(ReportFileTest, CategoryStoredInEnglishAndReadInInterfaceLanguage) {
    TReportDocument doc;
    doc.Tree.AppendTop("Hardware, localized", kCategoryHardware);
    ASSERT_TRUE(SaveReport(doc, Path("c.trp"), false));
    EXPECT_NE(Read("c.trp").find(ScrambleText("Hardwaredevices")), std::string::npos);
    SetCategoryNameTranslator([](const char* english) { return std::string("T:") + english; });
    TReportDocument back;
    const int result = LoadReport(back, Path("c.trp"), nullptr);
    SetCategoryNameTranslator(nullptr);
    ASSERT_EQ(result, 0);
    EXPECT_EQ(back.Tree.First()->Text(), "T:Hardwaredevices");
}

TEST_F(ReportFileTest, ReadsBelowTargetOneLevelDeeper) {
    TReportDocument doc;
    BuildTree(doc);
    ASSERT_TRUE(SaveReport(doc, Path("t.trp"), false));
    TReportDocument live;
    TTreeNode* target = live.Tree.AppendTop("Testresults", kCategoryTestResults);
    target->AppendChild("old");
    live.Tree.AppendTop("After");
    ASSERT_EQ(LoadReport(live, Path("t.trp"), target), 0);
    ASSERT_EQ(live.Tree.TopCount(), 2u);
    ASSERT_EQ(target->ChildCount(), 2u);
    EXPECT_EQ(target->Child(0)->Text(), "Hardwaredevices");
    EXPECT_EQ(target->Child(0)->Level(), 1);
    EXPECT_EQ(target->Child(1)->Text(), "Second");
}

TEST_F(ReportFileTest, ChartRecordsAndGapReadBack) {
    TReportDocument doc;
    TTreeNode* node = doc.Tree.AppendTop("Sensorlog", kCategorySensorLog);
    TChart chart;
    for (const char* title : {"CPU [V]", "Fan [RPM]", "Vcore [V]"}) {
        TChartSeries& s = chart.AddSeries(title);
        s.AddPoint(44000.5, 1.5);
        s.AddPoint(44000.75, 2.5);
    }
    chart.Series[1].Points[1].Missing = true;
    auto object = std::make_unique<TChartObject>();
    object->Chart = &chart;
    node->SetObject(std::move(object));
    ASSERT_TRUE(SaveReport(doc, Path("ch.trp"), false));

    const std::string bytes = Read("ch.trp");
    const std::string titles = "CPU [V];Fan [RPM];Vcore [V]";
    size_t pos = 21;
    std::vector<uint32_t> lengths;
    while (pos + 4 <= bytes.size()) {
        uint32_t length;
        std::memcpy(&length, bytes.data() + pos, 4);
        lengths.push_back(length);
        pos += 4 + length;
    }
    EXPECT_EQ(pos, bytes.size());
    EXPECT_EQ(lengths,
              (std::vector<uint32_t>{9 + 9, static_cast<uint32_t>(titles.size() + 9), 28, 28}));
    EXPECT_NE(bytes.find(titles), std::string::npos);

    TReportDocument back;
    ASSERT_EQ(LoadReport(back, Path("ch.trp"), nullptr), 0);
    TTreeNode* chartNode = back.Tree.First();
    ASSERT_NE(chartNode->ChartObject(), nullptr);
    EXPECT_EQ(chartNode->ChartObject()->Chart, &back.Chart);
    ASSERT_EQ(back.Chart.Series.size(), 3u);
    ASSERT_EQ(chartNode->ChildCount(), 3u);
    EXPECT_EQ(chartNode->Child(2)->Text(), "Vcore [V]");
    const TChartSeries& fan = back.Chart.Series[1];
    ASSERT_EQ(fan.Points.size(), 2u);
    EXPECT_FALSE(fan.Points[0].Missing);
    EXPECT_TRUE(fan.Points[1].Missing);
    EXPECT_DOUBLE_EQ(fan.Points[1].Y, 1.5);
    EXPECT_DOUBLE_EQ(fan.Points[1].X, 44000.75);
    EXPECT_DOUBLE_EQ(back.Chart.Series[2].Points[1].Y, 2.5);
}

TEST_F(ReportFileTest, LongTextCutTo1023) {
    TReportDocument doc;
    std::string text;
    for (int i = 0; i < 2000; ++i)
        text.push_back(static_cast<char>('a' + i % 26));
    doc.Tree.AppendTop(text);
    ASSERT_TRUE(SaveReport(doc, Path("l.trp"), false));
    TReportDocument back;
    ASSERT_EQ(LoadReport(back, Path("l.trp"), nullptr), 0);
    EXPECT_EQ(back.Tree.First()->Text(), text.substr(0, 1023));
}

TEST_F(ReportFileTest, FailedSaveKeepsOldFile) {
    TReportDocument doc;
    doc.Tree.AppendTop("x", 70000);
    Write("o.trp", "old");
    EXPECT_FALSE(SaveReport(doc, Path("o.trp"), false));
    EXPECT_EQ(Read("o.trp"), "old");
    doc.Tree.First()->SetImageCode(1);
    EXPECT_FALSE(SaveReport(doc, Path("missing/dir/o.trp"), false));
}

TEST_F(ReportFileTest, SiblingVersionsTwoAndThreeGiveSameTree) {
    std::vector<std::vector<std::string>> dumps;
    for (uint8_t version : {2, 3}) {
        std::string file = SiblingHeader(version);
        file += SiblingRecord(version, kCategorySystem, 0, "Systeminformation");
        file += SiblingRecord(version, 3, 1, "Board");
        file += SiblingRecord(version, 0, 10, "Name=Value");
        file += SiblingRecord(version, 0, 21, "Empty=");
        const std::string name = "s" + std::to_string(version) + ".srp";
        Write(name, file);
        TReportDocument doc;
        ASSERT_EQ(LoadReport(doc, Path(name), nullptr), 0) << int(version);
        EXPECT_EQ(doc.FileVersion, version);
        dumps.push_back(Dump(doc.Tree));
    }
    EXPECT_EQ(dumps[0], dumps[1]);
    EXPECT_EQ(dumps[0], (std::vector<std::string>{"0:402:Systeminformation", "1:3:Board",
                                                  "2:0:Name=Value/10/0", "2:0:Empty=/21/0"}));
}

struct TResultCase {
    const char* Name;
    std::string Bytes;
    int Expected;
};

class ReportFileResultTest : public ReportFileTest,
                             public ::testing::WithParamInterface<TResultCase> {};

TEST_P(ReportFileResultTest, LoadAnswers) {
    Write("r.trp", GetParam().Bytes);
    TReportDocument doc;
    TTreeNode* target = doc.Tree.AppendTop("T");
    target->AppendChild("old");
    EXPECT_EQ(LoadReport(doc, Path("r.trp"), target), GetParam().Expected);
    if (GetParam().Expected != 0) {
        EXPECT_EQ(target->ChildCount(), 0u); // cleared in every case
    }
}

const std::string kOwnHeader = std::string("\4TRPT\1", 6) + std::string(15, '\0');

INSTANTIATE_TEST_SUITE_P(
    ReportFile, ReportFileResultTest,
    ::testing::Values(
        TResultCase{"SiblingVersion5", SiblingHeader(5) + SiblingRecord(3, 0, 0, "x"), 2},
        TResultCase{"OwnVersion2", std::string("\4TRPT\2", 6) + std::string(15, '\0'), 2},
        TResultCase{"OwnNoRecords", kOwnHeader, 1},
        TResultCase{"UnknownSignature", std::string("\4XRPT\1", 6) + std::string(15, '\0'), 1},
        TResultCase{"ShortFile", "\4TR", 1},
        TResultCase{"PropertyCode300",
                    kOwnHeader + U32(10) + U16(0) + U16(300) + U32(0) + "a" + '\0', 1},
        TResultCase{"OverlongRecord", kOwnHeader + U32(1033) + std::string(1033, 'a'), 1},
        TResultCase{"SiblingVersion4",
                    SiblingHeader(4) + SiblingRecord(4, 0, 0, "G") + SiblingRecord(4, 0, 10, "a=b"),
                    0}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(ReportFileTest, EveryTruncationOfValidFileFails) {
    TReportDocument doc;
    BuildTree(doc);
    TChart chart;
    chart.AddSeries("A [V]").AddPoint(1, 2);
    auto object = std::make_unique<TChartObject>();
    object->Chart = &chart;
    doc.Tree.First()->SetObject(std::move(object));
    ASSERT_TRUE(SaveReport(doc, Path("v.trp"), false));
    const std::string bytes = Read("v.trp");
    std::vector<size_t> boundaries; // file lengths that end after a whole record
    for (size_t pos = 21; pos + 4 <= bytes.size();) {
        uint32_t length;
        std::memcpy(&length, bytes.data() + pos, 4);
        pos += 4 + length;
        boundaries.push_back(pos);
    }
    ASSERT_EQ(boundaries.back(), bytes.size());
    for (size_t length = 0; length < bytes.size(); ++length) {
        TReportDocument back;
        const bool whole =
            std::find(boundaries.begin(), boundaries.end(), length) != boundaries.end();
        EXPECT_EQ(LoadReportFromBytes(back, std::string_view(bytes.data(), length), nullptr),
                  whole ? 0 : 1)
            << length;
    }
    Write("cut.trp", bytes.substr(0, bytes.size() - 1));
    TReportDocument back;
    EXPECT_EQ(LoadReport(back, Path("cut.trp"), nullptr), 1);
    EXPECT_EQ(LoadReport(back, Path("none.trp"), nullptr), 1);
}

// Chart records as a hostile file would hold them: many series, and data records that store no
// values, each standing for a missing point in every series.
std::string Titles(size_t series) {
    std::string titles;
    for (size_t i = 0; i < series; ++i) {
        if (i > 0)
            titles += ';';
        titles += static_cast<char>('a' + i % 26);
    }
    return titles;
}
std::string OwnChartHeader(size_t series) {
    const std::string titles = Titles(series);
    return U32(static_cast<uint32_t>(titles.size() + 9)) + U16(0) + U16(0xFF00) + U32(0) + titles +
           '\0';
}
std::string OwnEmptyData() {
    return U32(16) + U16(0) + U16(0xFF01) + U32(0) + std::string(8, '\0');
}
std::string OwnNode(uint32_t image, uint32_t code, const std::string& text) {
    const std::string stored = ScrambleText(text);
    return U32(static_cast<uint32_t>(stored.size() + 9)) + U16(image) + U16(code) + U32(0) +
           stored + '\0';
}
std::string SiblingChartHeader(size_t series) {
    const std::string titles = Titles(series);
    return U32(static_cast<uint32_t>(titles.size() + 5)) + U16(0) + U16(0xFF00) + titles + '\0';
}
std::string SiblingEmptyData() {
    return U32(12) + U16(0) + U16(0xFF01) + std::string(8, '\0');
}

std::string Repeat(const std::string& record, size_t times) {
    std::string out;
    out.reserve(record.size() * times);
    for (size_t i = 0; i < times; ++i)
        out += record;
    return out;
}

const std::string kOwnChartNode = OwnNode(kCategorySensorLog, 0, "Sensorlog");

TEST_F(ReportFileTest, RepeatedChartHeadersStopAt255SeriesInAll) {
    TReportDocument doc;
    const std::string bytes = kOwnHeader + kOwnChartNode + OwnChartHeader(200) +
                              OwnChartHeader(200) + OwnEmptyData() + OwnEmptyData();
    ASSERT_EQ(LoadReportFromBytes(doc, bytes, nullptr), 0);
    ASSERT_EQ(doc.Chart.Series.size(), 255u);
    EXPECT_EQ(doc.Chart.Series[254].Title, "c"); // field 55 of the second header
    EXPECT_EQ(doc.Chart.Series[254].Points.size(), 2u);
    EXPECT_EQ(doc.Tree.First()->ChildCount(), 255u); // one line node per series
}

TEST_F(ReportFileTest, ChartPointsAreBoundByTheBytesThatHoldThem) {
    // The largest chart a file holds: 255 series, whose data records pass the record buffer of
    // the texts, and points that all take their 4 bytes. It reads back whole although its points
    // outnumber what any file gets without bytes behind them.
    TReportDocument doc;
    TTreeNode* node = doc.Tree.AppendTop("Sensorlog", kCategorySensorLog);
    TChart chart;
    for (size_t i = 0; i < 255; ++i) {
        // One-letter titles: the header keeps only 1023 bytes of them.
        TChartSeries& series = chart.AddSeries(std::string(1, static_cast<char>('a' + i % 26)));
        for (int p = 0; p < 600; ++p)
            series.AddPoint(44000 + p / 86400.0, static_cast<double>(i + p));
    }
    auto object = std::make_unique<TChartObject>();
    object->Chart = &chart;
    node->SetObject(std::move(object));
    ASSERT_TRUE(SaveReport(doc, Path("big.trp"), false));
    TReportDocument back;
    ASSERT_EQ(LoadReport(back, Path("big.trp"), nullptr), 0);
    ASSERT_EQ(back.Chart.Series.size(), 255u);
    EXPECT_EQ(back.Chart.Series[254].Points.size(), 600u);
    EXPECT_DOUBLE_EQ(back.Chart.Series[254].Points[599].Y, 254 + 599);

    // The same number of data records without their values: damaged, not a chart out of nothing.
    Write("hollow.trp",
          kOwnHeader + kOwnChartNode + OwnChartHeader(255) + Repeat(OwnEmptyData(), 6000));
    back.Tree.AppendTop("old");
    EXPECT_EQ(LoadReport(back, Path("hollow.trp"), nullptr), 1);
    EXPECT_TRUE(back.Tree.Empty());
    EXPECT_TRUE(back.Chart.Series.empty());
}

// Files whose chart records ask for far more memory than their size: each data record adds a
// point to every series, and every header adds up to 255 series.
struct TBombCase {
    const char* Name;
    std::string Bytes;
    int Expected;          // the capped chart (0) or damaged (1)
    size_t ExpectedSeries; // with 0
};

class ReportFileBombTest : public ReportFileTest, public ::testing::WithParamInterface<TBombCase> {
protected:
    // The answer the case expects, and with a chart the series it is capped at.
    static void ExpectAnswer(const TChildRun& run) {
        EXPECT_EQ(run.Answer.Result, GetParam().Expected);
        if (GetParam().Expected == 0) {
            EXPECT_EQ(run.Answer.Count, static_cast<int64_t>(GetParam().ExpectedSeries));
        }
    }
    TChildRun LoadInChild(size_t addressSpaceHeadroom) {
        Write("bomb.trp", GetParam().Bytes);
        const std::string path = Path("bomb.trp");
        return RunInChild(
            [&path] {
                TReportDocument doc;
                const int result = LoadReport(doc, path, nullptr);
                return TChildAnswer{result, static_cast<int64_t>(doc.Chart.Series.size())};
            },
            addressSpaceHeadroom);
    }
};

TEST_P(ReportFileBombTest, PeakMemoryStaysWithinAFewTimesTheFileSize) {
    if (kAddressSanitizer)
        GTEST_SKIP() << "AddressSanitizer's quarantine and shadow memory make the peak meaningless";
    const TChildRun run = LoadInChild(0);
    ASSERT_TRUE(run.Exited) << "the load ended with signal " << run.Signal;
    ExpectAnswer(run);
    // The tree of an ordinary report takes some 15 times its file; a chart at most 6 times.
    const int64_t boundKb = static_cast<int64_t>(24 * GetParam().Bytes.size() / 1024) + 16 * 1024;
    ASSERT_GE(run.BaseKb, 0) << "the child's peak could not be reset";
    RecordProperty("peak_growth_kB", std::to_string(run.GrowthKb()));
    EXPECT_LE(run.GrowthKb(), boundKb) << "file of " << GetParam().Bytes.size() << " bytes";
}

TEST_P(ReportFileBombTest, AnsweredWithoutRunningOutOfAddressSpace) {
    if (kAddressSanitizer)
        GTEST_SKIP() << "an address-space limit stops AddressSanitizer itself";
    const TChildRun run = LoadInChild(size_t{32} << 20);
    ASSERT_TRUE(run.Exited) << "the load ended with signal " << run.Signal;
    ExpectAnswer(run);
}

INSTANTIATE_TEST_SUITE_P(
    ReportFile, ReportFileBombTest,
    ::testing::Values(
        TBombCase{"OneHeaderManyEmptyDataRecords",
                  kOwnHeader + kOwnChartNode + OwnChartHeader(255) + Repeat(OwnEmptyData(), 10000),
                  1, 0},
        TBombCase{"RepeatedHeadersThenData",
                  kOwnHeader + kOwnChartNode + Repeat(OwnChartHeader(255), 4) +
                      Repeat(OwnEmptyData(), 8000),
                  1, 0},
        TBombCase{"SiblingEmptyDataRecords",
                  SiblingHeader(3) + SiblingRecord(3, kCategorySensorLog, 0, "Sensorlog") +
                      SiblingChartHeader(255) + Repeat(SiblingEmptyData(), 12000),
                  1, 0},
        TBombCase{"HeadersOnly", kOwnHeader + kOwnChartNode + Repeat(OwnChartHeader(255), 1000), 0,
                  255}),
    [](const auto& info) { return std::string(info.param.Name); });

// A report of one category with `properties` properties.
std::string PropertiesReport(size_t properties) {
    return kOwnHeader + OwnNode(kCategoryHardware, 0, "Hardwaredevices") +
           Repeat(OwnNode(10, 10, "Name=Value"), properties);
}

TEST_F(ReportFileTest, RunningOutOfMemoryIsADamagedFile) {
    if (kAddressSanitizer)
        GTEST_SKIP() << "an address-space limit stops AddressSanitizer itself";
    // The file is sound (a small one of its kind loads), only too large for the memory left:
    // 600000 properties take some 100 MB.
    TReportDocument doc;
    Write("small.trp", PropertiesReport(1000));
    ASSERT_EQ(LoadReport(doc, Path("small.trp"), nullptr), 0);
    EXPECT_EQ(doc.Tree.Count(), 1001u);
    Write("large.trp", PropertiesReport(600000));
    const std::string path = Path("large.trp");
    const TChildRun run = RunInChild(
        [&path] {
            TReportDocument doc;
            doc.Tree.AppendTop("old");
            const int result = LoadReport(doc, path, nullptr);
            return TChildAnswer{result, static_cast<int64_t>(doc.Tree.Count())};
        },
        size_t{16} << 20);
    ASSERT_TRUE(run.Exited) << "the load ended with signal " << run.Signal;
    EXPECT_EQ(run.Answer.Result, 1);
    EXPECT_EQ(run.Answer.Count, 0); // nothing half-read is left
}

struct TScanCase {
    const char* Name;
    std::string Bytes;
    std::string Search;
    std::vector<int> Codes;
    int Expected;
};

class ReportFileScanTest : public ReportFileTest,
                           public ::testing::WithParamInterface<TScanCase> {};

TEST_P(ReportFileScanTest, Answers) {
    Write("s.srp", GetParam().Bytes);
    EXPECT_EQ(ScanReportFile(Path("s.srp"), GetParam().Search, GetParam().Codes),
              GetParam().Expected);
}

std::string ScanFile() {
    std::string chartHeader = U16(0) + U16(0xFF00) + "A;B" + '\0';
    std::string chartData = U16(0) + U16(0xFF01) + std::string(8, '\0') + std::string(8, '\0');
    return SiblingHeader(3) + SiblingRecord(3, 16, 0, "Info") + U32(uint32_t(chartHeader.size())) +
           chartHeader + U32(uint32_t(chartData.size())) + chartData +
           SiblingRecord(3, 31, 10, "Clock=Fast 100 MHz");
}

INSTANTIATE_TEST_SUITE_P(
    ReportFile, ReportFileScanTest,
    ::testing::Values(
        TScanCase{"TextHitCountsChartRecords", ScanFile(), "fast 100", {}, 4},
        TScanCase{"ImageCodeHit", ScanFile(), "", {30}, 4},
        TScanCase{"FirstRecordHit", ScanFile(), "NFO", {}, 1},
        TScanCase{"NoHit", ScanFile(), "absent", {7}, 0},
        TScanCase{"EmptySearch", ScanFile(), "", {}, -1},
        TScanCase{"OwnFormat", kOwnHeader + U32(10) + std::string(10, '\0'), "x", {}, -1},
        TScanCase{"Version4", SiblingHeader(4) + SiblingRecord(4, 0, 0, "x"), "x", {}, -2},
        TScanCase{"Truncated", ScanFile().substr(0, 30), "x", {}, -1}),
    [](const auto& info) { return std::string(info.param.Name); });

} // namespace
