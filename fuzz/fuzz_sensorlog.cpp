// Reads arbitrary bytes as a sensor log and checks what must hold for any file: a log that loads
// has a chart object and one line node per series, every series has points and a colour from
// the table, and a log that fails leaves the node alone. A form feed splits the input into the
// older part ("log_1.csv", before it) and the current file ("log.csv", after it). The fields of
// the first line must also read the same as GetSeparatedField reads them.
#include "report/SensorLog.h"
#include "support/SysUtils.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

using namespace ostero::report;
namespace fs = std::filesystem;

namespace {

// Made once and removed at exit; never destroyed, so that the exit handler can still use it.
const fs::path& Folder() {
    static const fs::path* folder = [] {
        std::string pattern = (fs::temp_directory_path() / "fuzz_sensorlog_XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr)
            std::abort();
        return new fs::path(pattern);
    }();
    static const bool removeAtExit = std::atexit([] {
                                         std::error_code ec;
                                         fs::remove_all(*folder, ec);
                                     }) == 0;
    (void)removeAtExit;
    return *folder;
}

void Write(const fs::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void CheckFields(std::string_view input) {
    const std::string_view line =
        input.substr(0, std::min(input.find_first_of("\r\n"), size_t{512}));
    const std::vector<std::string> fields = SensorLogFields(line, 8);
    for (unsigned i = 0; i < fields.size(); ++i) {
        if (fields[i] != ostero::support::GetSeparatedField(line, i + 1))
            std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    CheckFields(input);

    const fs::path current = Folder() / "log.csv";
    const fs::path older = Folder() / "log_1.csv";
    const size_t split = input.find('\f');
    std::error_code ec;
    if (split == std::string_view::npos) {
        fs::remove(older, ec);
        Write(current, input);
    } else {
        Write(older, input.substr(0, split));
        Write(current, input.substr(split + 1));
    }

    TSensorLogLimits limits;
    limits.MaxPoints = 100000;
    limits.MaxLineLength = 4096;
    TReportTree tree;
    TTreeNode* node = tree.AppendTop("Sensorlog", kCategorySensorLog);
    TChart chart;
    std::string error;
    if (LoadSensorLog(current.string(), chart, node, error, limits)) {
        if (!error.empty() || node->ChartObject() == nullptr ||
            node->ChartObject()->Chart != &chart || node->ChildCount() != chart.Series.size())
            std::abort();
        for (size_t i = 0; i < chart.Series.size(); ++i) {
            const TChartSeries& series = chart.Series[i];
            if (series.Points.empty() || series.Points.size() > limits.MaxPoints ||
                ChartLineColorIndex(series.Color) < 0 ||
                node->Child(i)->ChartLine()->Active != series.Active)
                std::abort();
        }
    } else if (node->Object() != nullptr || node->ChildCount() != 0) {
        std::abort();
    }
    return 0;
}
