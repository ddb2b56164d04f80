#include "report/ReportScan.h"

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
