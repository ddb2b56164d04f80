// Loading reports that carry a sensor-log chart: the chart's data records are the bulk of such a
// file, so these figures show what reading the points costs (series x points per run).
// Run: build/release/bench/bench_chart_load (preset release).
#include "report/ReportFile.h"

#include <filesystem>
#include <memory>
#include <string>

#include <benchmark/benchmark.h>

#include <unistd.h>

using namespace ostero;

namespace {

// A report of one chart node with `series` series of `points` points each, some of them missing.
std::string WriteChartReport(size_t series, size_t points) {
    report::TReportDocument doc;
    report::TTreeNode* node = doc.Tree.AppendTop("Sensorlog", report::kCategorySensorLog);
    report::TChart chart;
    for (size_t s = 0; s < series; ++s) {
        // Short titles, so that all of them fit the header's 1023 bytes.
        const std::string title = {static_cast<char>('a' + s / 26),
                                   static_cast<char>('a' + s % 26)};
        report::TChartSeries& line = chart.AddSeries(title);
        line.Points.reserve(points);
        for (size_t p = 0; p < points; ++p) {
            if ((p + s) % 97 == 0)
                line.AddMissing(44000 + p / 86400.0, 0);
            else
                line.AddPoint(44000 + p / 86400.0, static_cast<double>(s * 10 + p % 50));
        }
    }
    auto object = std::make_unique<report::TChartObject>();
    object->Chart = &chart;
    node->SetObject(std::move(object));
    const std::string file = (std::filesystem::temp_directory_path() /
                              ("bench_chart_load_" + std::to_string(getpid()) + "_" +
                               std::to_string(series) + "x" + std::to_string(points) + ".trp"))
                                 .string();
    report::SaveReport(doc, file, true);
    return file;
}

void BM_LoadChartReport(benchmark::State& state) {
    const size_t series = static_cast<size_t>(state.range(0));
    const size_t points = static_cast<size_t>(state.range(1));
    const std::string file = WriteChartReport(series, points);
    report::TReportDocument doc;
    report::LoadReport(doc, file, nullptr); // untimed: the first touch of the pages
    for (auto _ : state) {
        if (report::LoadReport(doc, file, nullptr) != 0 || doc.Chart.Series.size() != series ||
            doc.Chart.Series[0].Points.size() != points)
            state.SkipWithError("the chart did not load whole");
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(series * points));
    std::filesystem::remove(file);
}
BENCHMARK(BM_LoadChartReport)
    ->Args({16, 86400}) // a day of 16 sensors, one line a second
    ->Args({64, 20000})
    ->Args({254, 4000}) // as many series as a data record holds
    ->Unit(benchmark::kMillisecond);

} // namespace
