// Writing a report in each export format, beside loading it: a writer should not be slower than
// reading the report it writes, and its time should grow with the report's size only.
// Run: build/release/bench/bench_export (preset release).
#include "ReportGenerator.h"

#include "export/HtmlExport.h"
#include "report/ReportFile.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

using namespace ostero;

namespace {

std::string File(const char* name) {
    return (std::filesystem::temp_directory_path() / name).string();
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
BENCHMARK(BM_LoadReport)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

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
    ->ArgsProduct({{10000, 100000}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

} // namespace
