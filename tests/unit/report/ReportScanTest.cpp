#include "report/ReportScan.h"

#include "ChildProcess.h"
#include "SiblingReport.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>

using namespace ostero::report;
using namespace ostero::testing;
namespace fs = std::filesystem;

TEST(ReportScan, StopsWhenAskedAndSaysSoInTheStatus) {
    const fs::path folder =
        fs::temp_directory_path() / ("ReportScanTest_" + std::to_string(getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder);
    for (const char* name : {"1.srp", "2.srp", "3.srp", "4.srp"})
        std::ofstream(folder / name, std::ios::binary)
            << SiblingHeader(3) << SiblingRecord(3, 1, 10, "Match=yes");

    TFolderScan scan;
    scan.Folder = folder.string();
    scan.Text = "match";
    std::vector<std::string> hits, progress;
    int asked = 0;
    const TScanProgress result = ScanReportFolder(
        scan, [&](const TScanHit& hit) { hits.push_back(hit.Name); },
        [&](const TScanProgress& now) { progress.push_back(now.StatusText()); },
        [&] { return ++asked > 2; });
    EXPECT_EQ(hits, (std::vector<std::string>{"1.srp", "2.srp"}));
    EXPECT_EQ(progress, (std::vector<std::string>{"Scanned: 1, Found: 1", "Scanned: 2, Found: 2"}));
    EXPECT_TRUE(result.Canceled);
    EXPECT_EQ(result.StatusText(), "Scanned: 2, Found: 2, Search canceled");

    // A folder that does not exist scans nothing and is no error.
    scan.Folder = (folder / "missing").string();
    EXPECT_EQ(ScanReportFolder(scan, {}).StatusText(), "Scanned: 0, Found: 0");
    fs::remove_all(folder);
}

TEST(ReportScan, AFileTooLargeForTheMemoryLeftIsPassedOver) {
    if (kAddressSanitizer)
        GTEST_SKIP() << "an address-space limit stops AddressSanitizer itself";
    const fs::path folder =
        fs::temp_directory_path() / ("ReportScanTest_memory_" + std::to_string(getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder);
    // A sibling report of 256 MB, sparse on disk, and a small one that matches.
    std::ofstream(folder / "big.srp", std::ios::binary)
        << SiblingHeader(3) << SiblingRecord(3, 1, 10, "Match=yes");
    fs::resize_file(folder / "big.srp", uintmax_t{256} << 20);
    std::ofstream(folder / "small.srp", std::ios::binary)
        << SiblingHeader(3) << SiblingRecord(3, 1, 10, "Match=yes");

    TFolderScan scan;
    scan.Folder = folder.string();
    scan.Text = "match";
    const TChildRun run = RunInChild(
        [&scan] {
            int64_t hits = 0;
            const TScanProgress result = ScanReportFolder(scan, [&hits](const TScanHit& hit) {
                hits = hits * 10 + (hit.Name == "small.srp" ? 1 : 2);
            });
            return TChildAnswer{static_cast<int64_t>(result.Scanned), hits};
        },
        size_t{64} << 20);
    fs::remove_all(folder);
    ASSERT_TRUE(run.Exited) << "the scan ended with signal " << run.Signal;
    EXPECT_EQ(run.Answer.Result, 2);
    EXPECT_EQ(run.Answer.Count, 1); // only the small file was found
}
