#include "report/SensorLog.h"

#include "support/SysUtils.h"

#include "ChildProcess.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using namespace ostero::report;
using namespace ostero::testing;
namespace fs = std::filesystem;

namespace {

const std::string kCelsius = "[\xB0"
                             "C]";
const std::string kHeader = "Date;Time;CPU " + kCelsius + ";Fan [RPM];Vcore [V]";

// 01.01.2020 00:00:00 as a date-time.
constexpr double kNewYear2020 = 43831.0;

// A folder per test for the log files, and one chart node to load into.
class SensorLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(test->test_suite_name()) + "-" + test->name();
        for (char& c : name) {
            if (c == '/')
                c = '_';
        }
        Root_ = fs::path(::testing::TempDir()) /
                ("SensorLogTest-" + std::to_string(getpid()) + "-" + name);
        fs::remove_all(Root_);
        fs::create_directories(Root_);
        Node_ = Tree_.AppendTop("Sensorlog", 407);
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(Root_, ec);
    }
    std::string Write(const std::string& name, const std::string& bytes) {
        const fs::path path = Root_ / name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path.string();
    }
    bool Load(const std::string& name, const TSensorLogLimits& limits = {}) {
        return LoadSensorLog((Root_ / name).string(), Chart_, Node_, Error_, limits);
    }
    std::vector<std::string> LineTexts() const {
        std::vector<std::string> texts;
        for (size_t i = 0; i < Node_->ChildCount(); ++i)
            texts.push_back(Node_->Child(i)->Text());
        return texts;
    }
    std::vector<double> Ys(size_t series) const {
        std::vector<double> ys;
        for (const TChartPoint& p : Chart_.Series.at(series).Points)
            ys.push_back(p.Y);
        return ys;
    }

    fs::path Root_;
    TReportTree Tree_;
    TTreeNode* Node_ = nullptr;
    TChart Chart_;
    std::string Error_ = "stale";
};

TEST_F(SensorLogTest, ReadsPointsAndBuildsTheLineNodes) {
    Write("log.csv", kHeader + "\r\n"
                               "01.01.2020;12:00:00;45,5;1200;1,2345\r\n"
                               "1.1.2020;12:00:30;;1210;-0,5\r\n"
                               "01.01.2020;12:01;47,12345;;1,2\r\n");
    ASSERT_TRUE(Load("log.csv"));
    EXPECT_EQ(Error_, "");

    ASSERT_EQ(Chart_.Series.size(), 3u);
    const std::vector<TChartPoint>& cpu = Chart_.Series[0].Points;
    ASSERT_EQ(cpu.size(), 3u);
    EXPECT_DOUBLE_EQ(cpu[0].X, kNewYear2020 + 0.5);
    EXPECT_DOUBLE_EQ(cpu[1].X, kNewYear2020 + 0.5 + 30.0 / 86400);
    EXPECT_DOUBLE_EQ(cpu[2].X, kNewYear2020 + 0.5 + 60.0 / 86400);
    // A gap keeps the value before it; more than four decimals are rounded away.
    EXPECT_EQ(Ys(0), (std::vector<double>{45.5, 45.5, 47.1235}));
    EXPECT_FALSE(cpu[0].Missing);
    EXPECT_TRUE(cpu[1].Missing);
    EXPECT_EQ(Chart_.Series[0].MissingCount(), 1u);
    EXPECT_EQ(Ys(2), (std::vector<double>{1.2345, -0.5, 1.2}));

    ASSERT_NE(Node_->ChartObject(), nullptr);
    EXPECT_EQ(Node_->ChartObject()->Chart, &Chart_);
    EXPECT_EQ(LineTexts(), (std::vector<std::string>{"CPU " + kCelsius, "Fan [RPM]", "Vcore [V]"}));
    // Temperatures and fans are shown, the voltage is not.
    EXPECT_TRUE(Chart_.Series[0].Active);
    EXPECT_TRUE(Chart_.Series[1].Active);
    EXPECT_FALSE(Chart_.Series[2].Active);
    EXPECT_EQ(Node_->Child(2)->ImageCode(), 92);
    EXPECT_EQ(Node_->Child(1)->ImageCode(), 94);
    EXPECT_EQ(Chart_.LeftTitle, "Temperature " + kCelsius);
    EXPECT_EQ(Chart_.RightTitle, "Fan [RPM]");
}

TEST_F(SensorLogTest, OlderPartIsReadFirstWhenHeadersMatch) {
    Write("log_1.csv", kHeader + "\n01.01.2020;00:00:00;40;1000;1\n"
                                 "01.01.2020;00:00:10;41;1001;2\n");
    // The gap on the first line of the newer part starts again at 0.
    Write("log.csv", kHeader + "\n01.01.2020;00:00:20;;1002;3\n");
    ASSERT_TRUE(Load("log.csv"));
    EXPECT_EQ(Ys(0), (std::vector<double>{40, 41, 0}));
    EXPECT_EQ(Ys(2), (std::vector<double>{1, 2, 3}));
    EXPECT_DOUBLE_EQ(Chart_.Series[1].Points.back().X, kNewYear2020 + 20.0 / 86400);
}

TEST_F(SensorLogTest, NewerPartWithAnotherHeaderIsLeftOut) {
    Write("log_1.csv", kHeader + "\n01.01.2020;00:00:00;40;1000;1\n");
    // Only the line break differs; the header text must be the same.
    Write("log.csv", kHeader + ";Extra [W]\n01.01.2020;00:00:20;41;1002;3;5\n");
    ASSERT_TRUE(Load("log.csv"));
    ASSERT_EQ(Chart_.Series.size(), 3u);
    EXPECT_EQ(Ys(0), (std::vector<double>{40}));
}

TEST_F(SensorLogTest, OlderPartWithAnErrorStopsBeforeTheNewerPart) {
    Write("log_1.csv", kHeader + "\n01.01.2020;00:00:00;40;x;1\n");
    Write("log.csv", kHeader + "\n01.01.2020;00:00:20;41;1002;3\n");
    EXPECT_FALSE(Load("log.csv"));
    EXPECT_EQ(Error_, "'x' is not a valid floating point value");
    EXPECT_EQ(Ys(0), (std::vector<double>{40})); // read so far, kept
}

TEST_F(SensorLogTest, OlderPartWithoutHeaderIsNotReplacedByTheNewerPart) {
    Write("log_1.csv", "garbage\n");
    Write("log.csv", kHeader + "\n01.01.2020;00:00:20;41;1002;3\n");
    EXPECT_FALSE(Load("log.csv"));
    EXPECT_EQ(Error_, "");
    EXPECT_TRUE(Chart_.Empty());
}

TEST_F(SensorLogTest, OnlyTheOlderPartNeedsNotBeRead) {
    // The continuation alone does not count: the named file must exist.
    Write("log_1.csv", kHeader + "\n01.01.2020;00:00:00;40;1000;1\n");
    EXPECT_FALSE(Load("log.csv"));
    EXPECT_EQ(Error_, "");
    EXPECT_EQ(Node_->Object(), nullptr);
}

TEST_F(SensorLogTest, NoNodeNoFileNoHeader) {
    const std::string path = Write("log.csv", kHeader + "\n01.01.2020;00:00:00;40;1000;1\n");
    EXPECT_FALSE(LoadSensorLog(path, Chart_, nullptr, Error_));
    EXPECT_EQ(Error_, "");
    EXPECT_FALSE(Load("missing.csv"));
    EXPECT_FALSE(Load("")); // the folder itself is no file
    Write("empty.csv", "");
    EXPECT_FALSE(Load("empty.csv"));
    Write("other.csv", "Time;Date;A [V]\n01.01.2020;00:00:00;1\n");
    EXPECT_FALSE(Load("other.csv"));
    EXPECT_EQ(Error_, "");
    EXPECT_TRUE(Chart_.Empty());
    EXPECT_EQ(Node_->Object(), nullptr);
}

TEST_F(SensorLogTest, HeaderIgnoresCaseAndEndsAtTheFirstEmptyTitle) {
    Write("log.csv", "date;TIME;A [V];;B [V]\n01.01.2020;00:00:00;1;2;3\n");
    ASSERT_TRUE(Load("log.csv"));
    EXPECT_EQ(LineTexts(), (std::vector<std::string>{"A [V]"}));
}

TEST_F(SensorLogTest, TitlesEndAtField255) {
    std::string header = "Date;Time";
    std::string values = "01.01.2020;00:00:00";
    for (int i = 0; i < 260; ++i) {
        header += ";S" + std::to_string(i) + " [V]";
        values += ";1";
    }
    Write("log.csv", header + "\n" + values + "\n");
    ASSERT_TRUE(Load("log.csv"));
    ASSERT_EQ(Chart_.Series.size(), 253u);
    EXPECT_EQ(Chart_.Series.back().Title, "S252 [V]");
}

TEST_F(SensorLogTest, SilentSensorsAreRemoved) {
    Write("log.csv", "Date;Time;Gone [V];Zero [V];Late [V]\n"
                     "01.01.2020;00:00:00;;0;\n"
                     "01.01.2020;00:00:01;0;0;\n"
                     "01.01.2020;00:00:02;;0;3\n");
    ASSERT_TRUE(Load("log.csv"));
    // A zero sensor that starts with a value stays; one that starts with a gap goes.
    EXPECT_EQ(LineTexts(), (std::vector<std::string>{"Zero [V]", "Late [V]"}));
    EXPECT_EQ(Chart_.Series.size(), 2u);
}

TEST_F(SensorLogTest, HeaderOnlyGivesAnEmptyChart) {
    Write("log.csv", kHeader + "\n");
    ASSERT_TRUE(Load("log.csv"));
    EXPECT_TRUE(Chart_.Empty());
    EXPECT_NE(Node_->ChartObject(), nullptr);
    EXPECT_EQ(Node_->ChildCount(), 0u);
}

TEST_F(SensorLogTest, LineBreaksOfEveryKind) {
    Write("log.csv", "Date;Time;A [V]\r01.01.2020;00:00:00;1\r\n01.01.2020;00:00:01;2\n"
                     "01.01.2020;00:00:02;3");
    ASSERT_TRUE(Load("log.csv"));
    EXPECT_EQ(Ys(0), (std::vector<double>{1, 2, 3}));
}

TEST_F(SensorLogTest, LoadingReplacesAnEarlierChart) {
    Chart_.AddSeries("Old [V]").AddPoint(1, 1);
    Write("log.csv", "Date;Time;A [V]\n01.01.2020;00:00:00;1\n");
    ASSERT_TRUE(Load("log.csv"));
    EXPECT_EQ(Chart_.Series.size(), 1u);
    EXPECT_EQ(Node_->ChildCount(), 1u);
}

struct TBadLineCase {
    const char* Name;
    std::string Line;
    std::string Error;
};

class SensorLogBadLineTest : public SensorLogTest,
                             public ::testing::WithParamInterface<TBadLineCase> {};

TEST_P(SensorLogBadLineTest, EndsReadingWithTheConversionMessage) {
    const TBadLineCase& c = GetParam();
    Write("log.csv", "Date;Time;A [V];B [V]\n01.01.2020;00:00:00;1;2\n" + c.Line + "\n" +
                         "01.01.2020;00:00:09;7;8\n");
    EXPECT_FALSE(Load("log.csv"));
    EXPECT_EQ(Error_, c.Error);
    // The series read so far stay; the node gets nothing.
    ASSERT_EQ(Chart_.Series.size(), 2u);
    EXPECT_EQ(Chart_.Series[1].Points.size(), 1u);
    EXPECT_EQ(Node_->Object(), nullptr);
    EXPECT_EQ(Node_->ChildCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    SensorLogLines, SensorLogBadLineTest,
    ::testing::Values(
        TBadLineCase{"EmptyLine", "", "'' is not a valid date"},
        TBadLineCase{"SlashDate", "01/01/2020;00:00:01;1;2", "'01/01/2020' is not a valid date"},
        TBadLineCase{"NoLeapDay", "29.02.2019;00:00:01;1;2", "'29.02.2019' is not a valid date"},
        TBadLineCase{"MonthThirteen", "01.13.2020;00:00:01;1;2",
                     "'01.13.2020' is not a valid date"},
        TBadLineCase{"TwoDigitYear", "01.01.20;00:00:01;1;2", "'01.01.20' is not a valid date"},
        TBadLineCase{"Hour24", "01.01.2020;24:00:00;1;2", "'24:00:00' is not a valid time"},
        TBadLineCase{"NoTime", "01.01.2020;;1;2", "'' is not a valid time"},
        TBadLineCase{"PointDecimal", "01.01.2020;00:00:01;1.5;2",
                     "'1.5' is not a valid floating point value"},
        TBadLineCase{"Text", "01.01.2020;00:00:01;1;n/a",
                     "'n/a' is not a valid floating point value"},
        TBadLineCase{"Blanks", "01.01.2020;00:00:01;1;  ",
                     "'  ' is not a valid floating point value"},
        TBadLineCase{"TooLarge", "01.01.2020;00:00:01;1;1e300",
                     "'1e300' is not a valid floating point value"}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(SensorLogTest, AcceptedNumberForms) {
    Write("log.csv", "Date;Time;A [V]\n"
                     " 29.02.2020 ; 23:59:59 ; +3 \n"
                     "01.01.2020;00:00:00;,5\n"
                     "01.01.2020;00:00:00;-2,\n"
                     "01.01.2020;00:00:00;1,5E2\n"
                     "01.01.2020;00:00:00;\"4,25\"\n");
    ASSERT_TRUE(Load("log.csv")) << Error_;
    EXPECT_EQ(Ys(0), (std::vector<double>{3, 0.5, -2, 150, 4.25}));
    EXPECT_DOUBLE_EQ(Chart_.Series[0].Points[0].X, kNewYear2020 + 59 + 86399.0 / 86400);
}

TEST_F(SensorLogTest, LimitsEndReadingWithAMessage) {
    Write("log.csv", "Date;Time;A [V];B [V]\n01.01.2020;00:00:00;1;2\n01.01.2020;00:00:01;1;2\n");
    TSensorLogLimits limits;
    limits.MaxPoints = 3;
    EXPECT_FALSE(Load("log.csv", limits));
    EXPECT_EQ(Error_, "The sensor log holds more than 3 values");
    EXPECT_EQ(Chart_.Series[0].Points.size(), 1u);

    limits = {};
    limits.MaxLineLength = 22; // the header has 21 characters, the data lines 23
    EXPECT_FALSE(Load("log.csv", limits));
    EXPECT_EQ(Error_, "A line of the sensor log is longer than 22 characters");
    limits.MaxLineLength = 10;
    EXPECT_FALSE(Load("log.csv", limits));
    EXPECT_EQ(Error_, "The first line of the sensor log is longer than 10 characters");
}

TEST_F(SensorLogTest, LinesWithoutSeriesStillCountTowardsTheLimit) {
    Write("log.csv", "Date;Time\n01.01.2020;00:00:00\n01.01.2020;00:00:01\n");
    TSensorLogLimits limits;
    limits.MaxPoints = 1;
    EXPECT_FALSE(Load("log.csv", limits));
    EXPECT_EQ(Error_, "The sensor log holds more than 1 values");
}

// Logs that ask for more memory than their size: a line that leaves its values out still gives a
// missing point in every series.
struct TLogBombCase {
    const char* Name;
    std::string (*Log)();
    size_t AddressSpaceHeadroom; // 0: no limit, the peak is measured
    size_t PeakFactor;           // the growth allowed per byte of the file
    std::string Error;           // the start of the error text
};

class SensorLogBombTest : public SensorLogTest,
                          public ::testing::WithParamInterface<TLogBombCase> {};

TEST_P(SensorLogBombTest, EndsWithAMessageInsteadOfExhaustingMemory) {
    if (kAddressSanitizer)
        GTEST_SKIP() << "AddressSanitizer makes peaks meaningless and stops at an address-space "
                        "limit itself";
    const TLogBombCase& c = GetParam();
    const size_t logSize = c.Log().size();
    Write("log.csv", c.Log());
    const TChildRun run = RunInChild(
        [this, &c] {
            const bool read = Load("log.csv");
            return TChildAnswer{read ? 1 : 0, Error_.rfind(c.Error, 0) == 0 ? 1 : 0};
        },
        c.AddressSpaceHeadroom);
    ASSERT_TRUE(run.Exited) << "the load ended with signal " << run.Signal;
    EXPECT_EQ(run.Answer.Result, 0) << "the log was read";
    EXPECT_EQ(run.Answer.Count, 1) << "the error text does not start with " << c.Error;
    if (c.AddressSpaceHeadroom == 0) {
        const int64_t boundKb = static_cast<int64_t>(c.PeakFactor * logSize / 1024) + 16 * 1024;
        ASSERT_GE(run.BaseKb, 0) << "the child's peak could not be reset";
        RecordProperty("peak_growth_kB", std::to_string(run.GrowthKb()));
        EXPECT_LE(run.GrowthKb(), boundKb) << "log of " << logSize << " bytes";
    }
}

// 253 series, and 16000 lines that hold a date and a time but none of their values.
std::string ShortLinesLog() {
    std::string log = "Date;Time";
    for (int i = 0; i < 253; ++i)
        log += ";S" + std::to_string(i) + " [V]";
    log += "\n";
    for (int i = 0; i < 16000; ++i)
        log += "1.1.2020;0:0\n";
    return log;
}

// An honest log of 20 series, some 3 MB, whose 800000 values take about 20 MB.
std::string LargeLog() {
    std::string log = "Date;Time";
    std::string line = "01.01.2020;12:00:00";
    for (int i = 0; i < 20; ++i) {
        log += ";S" + std::to_string(i) + " [V]";
        line += ";1,25";
    }
    log += "\n";
    for (int i = 0; i < 40000; ++i)
        log += line + "\n";
    return log;
}

INSTANTIATE_TEST_SUITE_P(
    SensorLog, SensorLogBombTest,
    ::testing::Values(TLogBombCase{"ShortLinesPeak", ShortLinesLog, 0, 64,
                                   "The sensor log holds more than"},
                      TLogBombCase{"ShortLinesInLittleMemory", ShortLinesLog, size_t{64} << 20, 0,
                                   "The sensor log holds more than"},
                      TLogBombCase{"LargeLogInLittleMemory", LargeLog, size_t{8} << 20, 0,
                                   "There is not enough memory"}),
    [](const auto& info) { return std::string(info.param.Name); });

struct TContinuationCase {
    const char* Name;
    std::string File;
    std::string Older;
};

class SensorLogContinuationTest : public ::testing::TestWithParam<TContinuationCase> {};

TEST_P(SensorLogContinuationTest, InsertsBeforeTheExtension) {
    EXPECT_EQ(SensorLogContinuationName(GetParam().File), GetParam().Older);
}

INSTANTIATE_TEST_SUITE_P(
    SensorLogNames, SensorLogContinuationTest,
    ::testing::Values(TContinuationCase{"Csv", "/var/log/sensors.csv", "/var/log/sensors_1.csv"},
                      TContinuationCase{"TwoDots", "a/log.old.txt", "a/log.old_1.txt"},
                      TContinuationCase{"NoExtension", "log", "log_1"},
                      TContinuationCase{"DotInFolder", "/tmp/x.d/log", "/tmp/x.d/log_1"}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(SensorLogFieldsTest, SameFieldsAsGetSeparatedField) {
    for (const std::string line :
         {"a;b;c", "\"x;y\";\"q\"\"r\";", ";;", "\"open;rest", "a\"b;c", "", "\"\";1"}) {
        const std::vector<std::string> fields = SensorLogFields(line, 5);
        ASSERT_EQ(fields.size(), 5u);
        for (unsigned i = 0; i < 5; ++i)
            EXPECT_EQ(fields[i], ostero::support::GetSeparatedField(line, i + 1))
                << line << " field " << i + 1;
    }
}

} // namespace
