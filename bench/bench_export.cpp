// Writing a report in each export format, beside loading it: a writer should not be slower than
// reading the report it writes, and its time should grow with the report's size only.
// Run: build/release/bench/bench_export (preset release); --benchmark_filter=/100000 (or
// /1000000) for one size. Wall time of the saves includes flushing the file to disk; CPU time
// and BM_Render show the writing alone.
#include "ReportGenerator.h"

#include "export/HtmlExport.h"
#include "export/JsonExport.h"
#include "export/TextExport.h"
#include "export/XmlExport.h"
#include "report/ReportFile.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

using namespace ostero;

namespace {

std::string File(const char* name) {
    return (std::filesystem::temp_directory_path() / name).string();
}

// A chart of four series with one point per four report nodes: as many values as nodes, with
// two decimals like sensor readings.
void AddChart(report::TReportDocument& doc, size_t nodes) {
    for (int s = 0; s < 4; ++s)
        doc.Chart.AddSeries("Sensor " + std::to_string(s) + " [V]");
    for (size_t p = 0; p < nodes / 4; ++p) {
        for (auto& series : doc.Chart.Series)
            series.AddPoint(45000 + p / 1440.0, 1.0 + static_cast<double>(p % 701) / 100);
    }
}

// The load of the same report, for comparison.
void BM_LoadReport(benchmark::State& state) {
    const size_t nodes = static_cast<size_t>(state.range(0));
    const std::string file = File("ostero-bench-export.trp");
    {
        report::TReportDocument doc;
        bench::GenerateReport(doc, nodes);
        report::SaveReport(doc, file, true);
    }
    report::TReportDocument doc;
    report::LoadReport(doc, file, nullptr);
    for (auto _ : state)
        report::LoadReport(doc, file, nullptr);
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(nodes));
    std::filesystem::remove(file);
}
BENCHMARK(BM_LoadReport)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

void BM_Html(benchmark::State& state) {
    const size_t nodes = static_cast<size_t>(state.range(0));
    report::TReportDocument doc;
    bench::GenerateReport(doc, nodes);
    exporting::THtmlOptions options;
    options.Mime = state.range(1) != 0;
    options.KeepPrivate = true;
    const std::string file = File(options.Mime ? "ostero-bench.mht" : "ostero-bench.htm");
    exporting::SaveHtml(doc.Tree, file, options);
    size_t bytes = 0;
    for (auto _ : state) {
        if (!exporting::SaveHtml(doc.Tree, file, options))
            state.SkipWithError("write failed");
    }
    bytes = std::filesystem::file_size(file);
    state.counters["MB"] = static_cast<double>(bytes) / 1e6;
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(nodes));
    std::filesystem::remove(file);
}
BENCHMARK(BM_Html)
    ->ArgNames({"nodes", "mime"})
    ->ArgsProduct({{10000, 100000, 1000000}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

// The other writers: 0 text, 1 XML, 2 JSON, 3 chart CSV (of a chart with one point per node).
void BM_Writer(benchmark::State& state) {
    const size_t nodes = static_cast<size_t>(state.range(0));
    const int format = static_cast<int>(state.range(1));
    report::TReportDocument doc;
    bench::GenerateReport(doc, nodes);
    if (format == 3)
        AddChart(doc, nodes);
    const char* names[] = {"ostero-bench.txt", "ostero-bench.xml", "ostero-bench.json",
                           "ostero-bench.csv"};
    const std::string file = File(names[format]);
    const auto write = [&] {
        switch (format) {
        case 0:
            return exporting::SaveText(doc.Tree, file, true);
        case 1:
            return exporting::SaveXml(doc.Tree, file, true);
        case 2:
            return exporting::SaveJson(doc, file, true);
        default:
            return exporting::SaveChartCsv(&doc.Chart, file);
        }
    };
    write();
    for (auto _ : state) {
        if (!write())
            state.SkipWithError("write failed");
    }
    state.counters["MB"] = static_cast<double>(std::filesystem::file_size(file)) / 1e6;
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(nodes));
    std::filesystem::remove(file);
}
BENCHMARK(BM_Writer)
    ->ArgNames({"nodes", "format"})
    ->ArgsProduct({{10000, 100000, 1000000}, {0, 1, 2, 3}})
    ->Unit(benchmark::kMillisecond);

// The same writers without the file: the text made in memory, so that the writing itself can
// be told apart from the disk (the saves above flush the file to disk before they answer).
// 0 HTML page, 1 MIME HTML, 2 XML, 3 JSON, 4 chart CSV.
void BM_Render(benchmark::State& state) {
    const size_t nodes = static_cast<size_t>(state.range(0));
    const int format = static_cast<int>(state.range(1));
    report::TReportDocument doc;
    bench::GenerateReport(doc, nodes);
    if (format == 4)
        AddChart(doc, nodes);
    exporting::THtmlOptions options;
    options.Mime = format == 1;
    options.KeepPrivate = true;
    const auto render = [&] {
        switch (format) {
        case 0:
        case 1:
            return exporting::RenderHtml(doc.Tree, "ostero-bench.htm", options).Document.size();
        case 2:
            return exporting::RenderXml(doc.Tree, true).size();
        case 3:
            return exporting::RenderJson(doc, true).size();
        default:
            return exporting::RenderChartCsv(doc.Chart).size();
        }
    };
    size_t bytes = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(bytes = render());
    state.counters["MB"] = static_cast<double>(bytes) / 1e6;
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(nodes));
}
BENCHMARK(BM_Render)
    ->ArgNames({"nodes", "format"})
    ->ArgsProduct({{10000, 100000, 1000000}, {0, 1, 2, 3, 4}})
    ->Unit(benchmark::kMillisecond);

} // namespace
