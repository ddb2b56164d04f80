#include "tools/report/ReportTool.h"

#include "report/ReportFile.h"

#include "../report/SiblingReport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include <cstdlib>
#include <ctime>

namespace fs = std::filesystem;
using namespace ostero::report;
using ostero::tools::RunReportTool;

namespace {

class ReportToolTest : public ::testing::Test {
protected:
    void SetUp() override {
        Folder_ = fs::temp_directory_path() /
                  ("ostero-report-tool-" + std::to_string(::getpid()) + "-" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(Folder_);
        fs::create_directories(Folder_);
    }
    void TearDown() override { fs::remove_all(Folder_); }

    int Run(const std::vector<std::string>& args) {
        Out_.str({});
        Err_.str({});
        return RunReportTool(args, Out_, Err_);
    }
    // A report with groups, properties with awkward texts, a private value and a chart.
    std::string WriteSample() {
        TReportDocument doc;
        TTreeNode* c = AddNode(doc.Tree, nullptr, 401, 0, "Hardwaredevices", 0);
        c = AddNode(doc.Tree, c, 3, 0, "CPUs", 1);
        c = AddNode(doc.Tree, c, 11, nfHighlight, "Name=Caf\xE9 CPU\twith tab", 10);
        c = AddNode(doc.Tree, c, 43, nfPrivate, "Serial=AB\\12", 12);
        c = AddNode(doc.Tree, c, 0, 0, "Status=OK", 21);
        TTreeNode* log = AddNode(doc.Tree, c, 407, 0, "Sensorlog", 0);
        auto& cpu = doc.Chart.AddSeries("CPU [\xB0"
                                        "C]");
        cpu.AddPoint(46000.5, 40);
        cpu.AddPoint(46000.6, 41);
        auto& fan = doc.Chart.AddSeries("Fan [RPM]");
        fan.AddPoint(46000.5, 1200);
        fan.AddMissing(46000.6, 1200);
        auto object = std::make_unique<TChartObject>();
        object->Chart = &doc.Chart;
        log->SetObject(std::move(object));
        ArrangeChartAxes(doc.Chart, true);
        AddChartLineNodes(*log, doc.Chart);
        const std::string file = (Folder_ / "sample.trp").string();
        EXPECT_TRUE(SaveReport(doc, file, true));
        return file;
    }
    fs::path Folder_;
    std::ostringstream Out_, Err_;
};

TEST_F(ReportToolTest, DumpPrintsOneLinePerNodeThenTheSeries) {
    const std::string file = WriteSample();
    ASSERT_EQ(Run({"dump", file}), 0) << Err_.str();
    EXPECT_EQ(Out_.str(), "0\t401\t-1\tG\t0\tHardwaredevices\t\n"
                          "1\t3\t-1\tG\t0\tCPUs\t\n"
                          "2\t11\t-1\tP10\t1\tName\tCaf\xC3\xA9 CPU\\twith tab\n"
                          "2\t43\t-1\tP12\t8\tSerial\tAB\\\\12\n"
                          "2\t0\t-1\tP21\t0\tStatus\tOK\n"
                          "0\t407\t-1\tC\t0\tSensorlog\t\n"
                          "1\t93\t-1\tL\t0\tCPU [\xC2\xB0"
                          "C]\t\n"
                          "1\t94\t-1\tL\t0\tFan [RPM]\t\n"
                          "series\t0\tCPU [\xC2\xB0"
                          "C]\t1\tL\t2\t0\n"
                          "series\t1\tFan [RPM]\t1\tR\t2\t1\n");
}

TEST_F(ReportToolTest, ConvertedFileDumpsIdentically) {
    const std::string file = WriteSample();
    ASSERT_EQ(Run({"dump", file}), 0);
    const std::string original = Out_.str();
    const std::string copy = (Folder_ / "copy.trp").string();
    ASSERT_EQ(Run({"convert", file, copy}), 0) << Err_.str();
    ASSERT_EQ(Run({"dump", copy}), 0);
    EXPECT_EQ(Out_.str(), original);

    // Without private data the serial number is gone, the rest stays.
    const std::string open = (Folder_ / "open.trp").string();
    ASSERT_EQ(Run({"convert", file, open, "--no-private"}), 0);
    ASSERT_EQ(Run({"dump", open}), 0);
    EXPECT_EQ(Out_.str().find("Serial"), std::string::npos);
    EXPECT_NE(Out_.str().find("Status"), std::string::npos);
}

TEST_F(ReportToolTest, FindPrintsTheHitsWithTheirTreeOrderIndex) {
    const std::string file = WriteSample();
    EXPECT_EQ(Run({"find", file, "--text", "cpu"}), 0);
    EXPECT_EQ(Out_.str(), "1\tCPUs\n6\tCPU [\xC2\xB0"
                          "C]\n");
    EXPECT_EQ(Run({"find", file, "--text", "nothing like it"}), 1);
    EXPECT_EQ(Out_.str(), "");
    EXPECT_EQ(Run({"find", file, "--errors"}), 1);
    EXPECT_EQ(Run({"find", file, "--warnings"}), 1);
    EXPECT_EQ(Run({"find", file, "--bogus"}), 2);
}

TEST_F(ReportToolTest, CompareMergesTheSecondFileAndReportsDifferences) {
    const std::string file = WriteSample();
    TReportDocument doc;
    ASSERT_EQ(LoadReport(doc, file, nullptr), 0);
    TTreeNode* cpus = doc.Tree.First()->Child(0);
    cpus->Child(0)->Property()->Value = "Other CPU";
    cpus->Child(2)->Delete();
    AddNode(doc.Tree, cpus, 12, 0, "Cache=8 MB", 10);
    const std::string second = (Folder_ / "second.trp").string();
    ASSERT_TRUE(SaveReport(doc, second, true));

    EXPECT_EQ(Run({"compare", file, second}), 1) << Err_.str();
    EXPECT_EQ(Out_.str(), "0\t401\t7\tG\t0\tHardwaredevices\t\n"
                          "1\t3\t7\tG\t0\tCPUs\t\n"
                          "2\t11\t8\tP10\t1\tName\tCaf\xC3\xA9 CPU\\twith tab|Other CPU\n"
                          "2\t43\t99\tP12\t8\tSerial\tAB\\\\12\n"
                          "2\t0\t6\tP21\t0\tStatus\tOK\n"
                          "2\t12\t5\tP10\t0\tCache\t8 MB\n"
                          "0\t407\t99\tC\t0\tSensorlog\t\n"
                          "series\t0\tCPU [\xC2\xB0"
                          "C]\t1\tL\t2\t0\n"
                          "series\t1\tFan [RPM]\t1\tR\t2\t1\n");
    EXPECT_EQ(Run({"compare", file, second, "--summary"}), 1);
    EXPECT_EQ(Out_.str(), "5\tadded\t1\n6\tremoved\t1\n7\tcontains changes\t2\n"
                          "8\tchanged\t1\n99\tsame\t2\n");

    // A report compared with itself has no difference; its chart lines are gone from the tree.
    EXPECT_EQ(Run({"compare", file, file, "--summary"}), 0);
    EXPECT_EQ(Out_.str(), "99\tsame\t6\n");

    EXPECT_EQ(Run({"compare", file, (Folder_ / "none.trp").string()}), 2);
    EXPECT_NE(Err_.str().find("not found"), std::string::npos);
    const std::string sibling = (Folder_ / "sibling.srp").string();
    std::ofstream(sibling, std::ios::binary)
        << ostero::testing::SiblingHeader(3) << ostero::testing::SiblingRecord(3, 1, 0, "X");
    EXPECT_EQ(Run({"compare", file, sibling}), 2) << "only the own format is compared";
    EXPECT_NE(Err_.str().find("is not a valid report file"), std::string::npos);
}

TEST_F(ReportToolTest, ScanListsMatchingSiblingReportsOfAFolder) {
    using ostero::testing::SiblingHeader;
    using ostero::testing::SiblingRecord;
    setenv("TZ", "UTC", 1);
    tzset();
    const fs::path folder = Folder_ / "reports";
    fs::create_directories(folder / "sub.srp");
    auto write = [&](const std::string& name, const std::string& bytes, int day) {
        std::ofstream(folder / name, std::ios::binary) << bytes;
        std::tm tm{};
        tm.tm_year = 126;
        tm.tm_mon = 11;
        tm.tm_mday = day;
        tm.tm_hour = 10;
        const auto time = std::chrono::system_clock::from_time_t(timegm(&tm));
        fs::last_write_time(folder / name, std::chrono::file_clock::from_sys(time));
    };
    // Sibling image codes are one above the codes searched for.
    write("a.srp",
          SiblingHeader(3) + SiblingRecord(3, 2, 0, "Hardware") +
              SiblingRecord(3, 12, 10, "CPU=Xeon"),
          1);
    write("b.SRP", SiblingHeader(2) + SiblingRecord(2, 20, 10, "Device=broken"), 2);
    write("c.tv", SiblingHeader(1) + SiblingRecord(1, 39, 10, "Fan=Xeon cooler"), 3);
    write("d.trp", SiblingHeader(3) + SiblingRecord(3, 20, 10, "CPU=Xeon"), 4);
    write("e.txt", "Xeon", 5);
    const std::string dir = folder.string();

    EXPECT_EQ(Run({"scan", dir, "--text", "xeon"}), 0) << Err_.str();
    EXPECT_EQ(Out_.str(), "a.srp\t2026-12-01 10:00:00\nc.tv\t2026-12-03 10:00:00\n"
                          "Scanned: 3, Found: 2\n");
    EXPECT_EQ(Run({"scan", dir, "--errors"}), 0);
    EXPECT_EQ(Out_.str(), "b.SRP\t2026-12-02 10:00:00\nScanned: 3, Found: 1\n");
    EXPECT_EQ(Run({"scan", dir, "--warnings"}), 0);
    EXPECT_EQ(Out_.str(), "c.tv\t2026-12-03 10:00:00\nScanned: 3, Found: 1\n");

    // The range excludes its start and includes its end.
    EXPECT_EQ(Run({"scan", dir, "--text", "e", "--from", "2026-12-01 10:00:00", "--to",
                   "2026-12-02T10:00"}),
              0);
    EXPECT_EQ(Out_.str(), "b.SRP\t2026-12-02 10:00:00\nScanned: 1, Found: 1\n");
    EXPECT_EQ(Run({"scan", dir, "--errors", "--from", "2026-12-02 10:00:01"}), 1);
    EXPECT_EQ(Out_.str(), "Scanned: 1, Found: 0\n");

    EXPECT_EQ(Run({"scan", dir, "--errors", "--from", "yesterday"}), 2);
    EXPECT_EQ(Run({"scan", (Folder_ / "none").string(), "--errors"}), 2);
    EXPECT_EQ(Run({"scan", dir, "--text", ""}), 2);
    unsetenv("TZ");
    tzset();
}

TEST_F(ReportToolTest, ExportWritesEachTextFormat) {
    const std::string file = WriteSample();
    struct TCase {
        const char* Format;
        const char* Contains;
    };
    for (const TCase& c :
         {TCase{"txt", "    CPU: Name=Caf\xE9 CPU"}, TCase{"xml", "<Taveric_Report>"},
          TCase{"json", "\"children\""}, TCase{"csv", "Date;Time;"}}) {
        const std::string out = (Folder_ / (std::string("out.") + c.Format)).string();
        ASSERT_EQ(Run({"export", file, "--format", c.Format, out}), 0) << c.Format << Err_.str();
        std::ifstream in(out, std::ios::binary);
        const std::string text((std::istreambuf_iterator<char>(in)), {});
        EXPECT_NE(text.find(c.Contains), std::string::npos) << c.Format << "\n" << text;
    }
    // Private data stays out on request.
    const std::string open = (Folder_ / "open.json").string();
    ASSERT_EQ(Run({"export", file, "--format", "json", open, "--no-private"}), 0);
    std::ifstream in(open, std::ios::binary);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(in)), {}).find("Serial"),
              std::string::npos);

    // Without the picture library the picture formats say so; a report without chart has no CSV.
    EXPECT_EQ(Run({"export", file, "--format", "html", (Folder_ / "x.htm").string()}), 2);
    EXPECT_NE(Err_.str().find("picture library"), std::string::npos);
    const std::string plain = (Folder_ / "plain.trp").string();
    TReportDocument doc;
    AddNode(doc.Tree, nullptr, 401, 0, "Hardwaredevices", 0);
    ASSERT_TRUE(SaveReport(doc, plain, true));
    EXPECT_EQ(Run({"export", plain, "--format", "csv", (Folder_ / "x.csv").string()}), 2);
    EXPECT_NE(Err_.str().find("has no chart"), std::string::npos);
    EXPECT_EQ(Run({"export", file, "--format", "pdf", (Folder_ / "x.pdf").string()}), 2);
    EXPECT_EQ(
        Run({"export", file, "--format", "txt", (Folder_ / "x.txt").string(), "--language", "XX"}),
        2);
}

TEST_F(ReportToolTest, SensorLogBecomesASensorlogReport) {
    const std::string log = (Folder_ / "sensors.csv").string();
    std::ofstream(log, std::ios::binary) << "Date;Time;CPU [\xB0"
                                            "C];Fan [RPM]\r\n"
                                            "10.12.2026;08:00:00;40,5;1200\r\n"
                                            "10.12.2026;08:00:10;41;\r\n";
    const std::string out = (Folder_ / "sensors.trp").string();
    ASSERT_EQ(Run({"sensorlog", log, out}), 0) << Err_.str();
    ASSERT_EQ(Run({"dump", out}), 0);
    EXPECT_EQ(Out_.str(), "0\t407\t-1\tC\t0\tSensorlog\t\n"
                          "1\t93\t-1\tL\t0\tCPU [\xC2\xB0"
                          "C]\t\n"
                          "1\t94\t-1\tL\t0\tFan [RPM]\t\n"
                          "series\t0\tCPU [\xC2\xB0"
                          "C]\t1\tL\t2\t0\n"
                          "series\t1\tFan [RPM]\t1\tR\t2\t1\n");

    std::ofstream(log, std::ios::binary) << "Date;Time;CPU\r\n32.13.2026;08:00:00;1\r\n";
    EXPECT_EQ(Run({"sensorlog", log, out}), 2);
    EXPECT_NE(Err_.str().find("An error occurred while reading sensorlogfile"), std::string::npos);
}

TEST_F(ReportToolTest, ErrorsGiveStatusTwoAndTheMessage) {
    const std::string missing = (Folder_ / "missing.trp").string();
    EXPECT_EQ(Run({"dump", missing}), 2);
    EXPECT_EQ(Err_.str(), "File '" + missing + "' not found\n");

    const std::string damaged = (Folder_ / "damaged.trp").string();
    std::ofstream(damaged) << "not a report at all";
    EXPECT_EQ(Run({"dump", damaged}), 2);
    EXPECT_EQ(Err_.str(),
              "File '" + damaged + "' is not a valid report file, or the file is damaged!\n");

    const std::string newer = (Folder_ / "newer.trp").string();
    std::ofstream(newer, std::ios::binary)
        << std::string("\x04TRPT\x07", 6) << std::string(15, '\0') << std::string(20, 'x');
    EXPECT_EQ(Run({"dump", newer}), 2);
    EXPECT_EQ(Err_.str(), "File '" + newer +
                              "' is a new file format. You have to update the program to read "
                              "this file.\n");

    EXPECT_EQ(Run({}), 2);
    EXPECT_EQ(Run({"frobnicate"}), 2);
    EXPECT_EQ(Run({"dump"}), 2);
    EXPECT_TRUE(Out_.str().empty());
}

} // namespace
