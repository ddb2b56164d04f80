#include "export/TextExport.h"
#include "ExportTestTree.h"
#include "export/ExportWalk.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <vector>

#include <unistd.h>

using namespace ostero;
using exporting::RenderChartCsv;
using exporting::RenderText;
using report::TChart;

namespace {

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class TempDir : public ::testing::Test {
protected:
    void SetUp() override {
        Dir = std::filesystem::temp_directory_path() /
              ("ostero_export_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(Dir);
        std::filesystem::create_directories(Dir);
    }
    void TearDown() override { std::filesystem::remove_all(Dir); }
    std::filesystem::path Dir;
};

TEST(TextExport, WritesChosenNodesWithKeywordsAndSubtreeOneStepDeeper) {
    export_test::TContentsFixture f;
    // The chart-only contents node and the unchecked one are absent; the subtree lies one step
    // below its contents node; categories and picture 0 have no keyword; line nodes are listed.
    EXPECT_EQ(RenderText(f.Contents.Tree, false), "Hardwaredevices\r\n"
                                                  "    CPUs: CPUs\r\n"
                                                  "        CPU: CPU=2.4 GHz\r\n"
                                                  "Chart: Sensor chart\r\n"
                                                  "    CPU [\xB0"
                                                  "C]\r\n"
                                                  "Notes\r\n"
                                                  "    Owner=Ann\r\n");
    EXPECT_NE(RenderText(f.Contents.Tree, true).find("        Serialnumber: Serial=A1\r\n"),
              std::string::npos);
}

TEST(TextExport, KeywordOnlyForIconNumbersThatHaveOne) {
    report::TReportTree tree;
    tree.AppendTop("a", 122);
    tree.AppendTop("b", 123);
    tree.AppendTop("c", 399);
    tree.AppendTop("d", 100); // a chart-line picture
    tree.AppendTop("e", -5);
    EXPECT_EQ(RenderText(tree, false), "Chip Temperature: a\r\nb\r\nc\r\nd\r\ne\r\n");
}

TEST(TextExport, PartlyChosenNodesAreWrittenAndLeftOutNodesTakeTheirChildrenAlong) {
    report::TReportTree tree;
    report::TTreeNode* partial = tree.AppendTop("Partial", 0);
    partial->SetStateIndex(1);
    report::TTreeNode* off = partial->AppendChild("Off", 0);
    off->SetStateIndex(2);
    off->AppendChild("Below off", 0); // no state of its own, but its parent is not chosen
    report::TTreeNode* empty = tree.AppendTop("No content", 0);
    export_test::TContentsFixture::Info(empty, 4);
    empty->AppendChild("Below empty", 0);
    EXPECT_EQ(RenderText(tree, false), "Partial\r\n");
}

TEST_F(TempDir, SaveTextReplacesTheFileAndKeepsItWhenTheReportCannotBeWritten) {
    export_test::TContentsFixture f;
    const std::string file = (Dir / "report.txt").string();
    std::string error;
    ASSERT_TRUE(exporting::SaveText(f.Contents.Tree, file, false, &error)) << error;
    const std::string good = ReadFile(file);
    EXPECT_EQ(good, RenderText(f.Contents.Tree, false));

    // A contents node whose subtree leads back to itself would never end.
    report::TReportTree loop;
    report::TTreeNode* node = loop.AppendTop("Loop", 0);
    export_test::TContentsFixture::Info(node, 4)->Subtree = node;
    EXPECT_THROW(RenderText(loop, false), exporting::TExportError);
    EXPECT_FALSE(exporting::SaveText(loop, file, false, &error));
    EXPECT_NE(error.find("nested too deeply"), std::string::npos);
    EXPECT_EQ(ReadFile(file), good);

    EXPECT_FALSE(
        exporting::SaveText(f.Contents.Tree, (Dir / "no/such/folder.txt").string(), false, &error));
    EXPECT_FALSE(error.empty());
}

class ChartCsv : public ::testing::Test {
protected:
    void SetUp() override { std::setlocale(LC_NUMERIC, "C"); }
};

TEST_F(ChartCsv, ActiveSeriesAtEachPointOfTheFirstWithEmptyFieldsForMissingValues) {
    TChart chart;
    chart.AddSeries("CPU [\xB0"
                    "C]");
    chart.AddSeries("Fan [RPM]");
    chart.AddSeries("Vcore [V]");
    report::TChartSeries& cpu = chart.Series[0];
    report::TChartSeries& fan = chart.Series[1];
    report::TChartSeries& volt = chart.Series[2];
    fan.Active = false;
    // 45000 is 15.03.2023; .5 is noon.
    cpu.AddPoint(45000.5, 41.5);
    cpu.AddPoint(45000.5 + 1.0 / 86400, 0.1 + 0.2);
    cpu.AddMissing(45001.25, 0.3);
    fan.AddPoint(45000.5, 1200);
    volt.AddMissing(45000.5, 0);
    volt.AddPoint(45000.5 + 1.0 / 86400, 1e20); // the third point is not there at all
    EXPECT_EQ(RenderChartCsv(chart), "Date;Time;CPU [\xB0"
                                     "C];Vcore [V]\r\n"
                                     "15.03.2023;12:00:00;41.5;\r\n"
                                     "15.03.2023;12:00:01;0.3;1e+20\r\n"
                                     "16.03.2023;06:00:00;;\r\n");
}

TEST_F(ChartCsv, TitlesThatWouldBreakTheTableAreQuoted) {
    struct Case {
        const char* Title;
        const char* Field;
    } cases[] = {
        {"CPU [V]", "CPU [V]"},
        {"Fan \"1\" [RPM]", "\"Fan \"\"1\"\" [RPM]\""},
        {"Vcore, 1 [V]", "\"Vcore, 1 [V]\""},
        {"Vcore; 2 [V]", "\"Vcore; 2 [V]\""},
        {"Two\r\nLines", "\"Two\r\nLines\""},
        {"Line\nFeed", "\"Line\nFeed\""},
        {"Carriage\rReturn", "\"Carriage\rReturn\""},
        {"\"", "\"\"\"\""},
        {"", ""},
    };
    for (const Case& c : cases) {
        TChart chart;
        chart.AddSeries("Plain");
        chart.AddSeries(c.Title);
        EXPECT_EQ(RenderChartCsv(chart), std::string("Date;Time;Plain;") + c.Field + "\r\n")
            << c.Title;
    }
}

TEST_F(ChartCsv, DatesAcrossTheRangeOfTheDateTimeType) {
    struct Case {
        double X;
        const char* Line;
    } cases[] = {
        {0, "30.12.1899;00:00:00"},
        {1, "31.12.1899;00:00:00"},
        {60, "28.02.1900;00:00:00"},
        {-1.25, "29.12.1899;06:00:00"},
        {2.9999999999, "02.01.1900;00:00:00"}, // rounds up to the next midnight
        {36526.75, "01.01.2000;18:00:00"},
        {2958465.5, "31.12.9999;12:00:00"},
        {1e300, ";"},
        {std::nan(""), ";"},
    };
    for (const Case& c : cases) {
        TChart chart;
        report::TChartSeries& series = chart.AddSeries("S");
        series.Active = false;
        series.AddPoint(c.X, 1);
        EXPECT_EQ(RenderChartCsv(chart), std::string("Date;Time\r\n") + c.Line + "\r\n") << c.X;
    }
}

// The values of a chart against what printf's "%.15g" writes for them, one value per line.
std::string ValuesAsPrintfWrites(const std::vector<double>& values) {
    std::string expected = "Date;Time;V\r\n";
    for (const double value : values) {
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "%.15g", value);
        expected += std::string("15.03.2023;12:00:00;") + buffer + "\r\n";
    }
    return expected;
}

TChart ChartOfValues(const std::vector<double>& values) {
    TChart chart;
    report::TChartSeries& series = chart.AddSeries("V");
    for (const double value : values)
        series.AddPoint(45000.5, value);
    return chart;
}

TEST_F(ChartCsv, ValuesAsPrintfGeneralFormatWithFifteenDigits) {
    // Whole numbers, few and many digits, both layouts of printf and the borders between them,
    // subnormal numbers, infinities and NaN.
    std::vector<double> values;
    std::istringstream listed(
        "0 -0 1 -1 41.5 0.30000000000000004 0.3333333333333333 0.6666666666666666 1e-5 1.5e-5 "
        "1e-4 123456 1e14 1e15 999999999999999 999999999999999.4 1000000000000002 "
        "123456789012345678 -123456789.125 1e20 1e100 -1e-300 5e-324 1e-310 "
        "2.2250738585072014e-308 1.7976931348623157e308 0.000123456789012345678 "
        "99999.99999999999 9.9999999999999995 0.0001 0.00012 1.1e-4 0.00009999 0.000100001 "
        "1.5e15 123456789012.345 -0.5 0.1 0.05 999999999.999999 999999999.9999999 1000000000.5 "
        "-12.345678 -12.3456789 3.000001 inf -inf nan");
    for (std::string word; listed >> word;)
        values.push_back(std::strtod(word.c_str(), nullptr));
    // A spread of magnitudes and digit patterns, the same every run.
    uint64_t seed = 0x9E3779B97F4A7C15u;
    for (int i = 0; i < 3000; ++i) {
        seed = seed * 6364136223846793005u + 1442695040888963407u;
        const double mantissa = static_cast<double>(seed >> 11) / 9007199254740992.0;
        const int exponent = static_cast<int>((seed >> 3) % 61) - 30;
        values.push_back((seed & 1 ? -1 : 1) * mantissa * std::pow(10.0, exponent));
        values.push_back(std::round(mantissa * 1e6) / 100); // sensor readings of two decimals
        // Up to 15 significant digits, in every layout printf chooses between.
        char shorter[64];
        std::snprintf(shorter, sizeof shorter, "%.*e", static_cast<int>(seed >> 40) % 16,
                      values[values.size() - 2]);
        values.push_back(std::strtod(shorter, nullptr));
    }
    EXPECT_EQ(RenderChartCsv(ChartOfValues(values)), ValuesAsPrintfWrites(values));
}

TEST_F(ChartCsv, DecimalSeparatorOfTheNumericLocale) {
    const char* commaLocales[] = {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "fr_FR.UTF-8",
                                  "ru_RU.UTF-8"};
    const char* chosen = nullptr;
    for (const char* name : commaLocales) {
        if (std::setlocale(LC_NUMERIC, name) != nullptr) {
            chosen = name;
            break;
        }
    }
    if (chosen == nullptr)
        GTEST_SKIP() << "no locale with a decimal comma is installed";
    const std::vector<double> values = {41.5, 1e-5, 1.25e20, 3};
    const std::string csv = RenderChartCsv(ChartOfValues(values));
    const std::string expected = ValuesAsPrintfWrites(values);
    std::setlocale(LC_NUMERIC, "C");
    EXPECT_EQ(csv, expected) << chosen;
    EXPECT_NE(csv.find("41,5"), std::string::npos);
}

// Points of many days in a row, and back to a day seen before: each line has its own date.
TEST_F(ChartCsv, DateOfEachPointAcrossDays) {
    TChart chart;
    report::TChartSeries& series = chart.AddSeries("S");
    series.Active = false;
    for (const double x : {45000.999, 45001.0, 45001.5, 45000.25, -0.5, -0.25})
        series.AddPoint(x, 1);
    EXPECT_EQ(RenderChartCsv(chart), "Date;Time\r\n"
                                     "15.03.2023;23:58:33\r\n"
                                     "16.03.2023;00:00:00\r\n"
                                     "16.03.2023;12:00:00\r\n"
                                     "15.03.2023;06:00:00\r\n"
                                     "30.12.1899;12:00:00\r\n"
                                     "30.12.1899;06:00:00\r\n");
}

TEST_F(TempDir, SaveChartCsvWithoutChartOrSeriesLeavesTheFileAlone) {
    const std::filesystem::path file = Dir / "chart.csv";
    std::ofstream(file) << "old";
    TChart empty;
    EXPECT_FALSE(exporting::SaveChartCsv(nullptr, file.string()));
    EXPECT_FALSE(exporting::SaveChartCsv(&empty, file.string()));
    EXPECT_EQ(ReadFile(file), "old");

    empty.AddSeries("S").AddPoint(45000.5, 2);
    std::string error;
    ASSERT_TRUE(exporting::SaveChartCsv(&empty, file.string(), &error)) << error;
    EXPECT_EQ(ReadFile(file), RenderChartCsv(empty));
}

} // namespace
