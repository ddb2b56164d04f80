// Report core figures: building, searching and the memory of trees of 10k, 100k and 1M nodes.
// Run: build/release/bench/bench_report (preset release).
#include "ReportGenerator.h"

#include "report/ReportFile.h"
#include "report/TreeSearch.h"

#include <filesystem>
#include <string>

#include <benchmark/benchmark.h>

#include <malloc.h>

using namespace ostero;

namespace {

void BM_BuildWithAddNode(benchmark::State& state) {
    const size_t nodes = static_cast<size_t>(state.range(0));
    for (auto _ : state) {
        report::TReportDocument doc;
        bench::GenerateReport(doc, nodes);
        benchmark::DoNotOptimize(doc.Tree.First());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(nodes));
}
BENCHMARK(BM_BuildWithAddNode)
    ->Arg(10000)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond);

void BM_FindTextThroughTheWholeTree(benchmark::State& state) {
    report::TReportDocument doc;
    bench::GenerateReport(doc, static_cast<size_t>(state.range(0)));
    report::TTreeSearch search(doc.Tree);
    for (auto _ : state) {
        // No node is titled like this: the walk visits every node.
        benchmark::DoNotOptimize(search.FindText("no such title"));
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_FindTextThroughTheWholeTree)
    ->Arg(10000)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond);

std::string BenchFile(size_t nodes) {
    return (std::filesystem::temp_directory_path() /
            ("ostero-bench-" + std::to_string(nodes) + ".trp"))
        .string();
}

void BM_SaveReport(benchmark::State& state) {
    const size_t nodes = static_cast<size_t>(state.range(0));
    report::TReportDocument doc;
    bench::GenerateReport(doc, nodes);
    const std::string file = BenchFile(nodes);
    for (auto _ : state) {
        if (!report::SaveReport(doc, file, true))
            state.SkipWithError("save failed");
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(nodes));
    std::filesystem::remove(file);
}
BENCHMARK(BM_SaveReport)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

void BM_LoadReport(benchmark::State& state) {
    const size_t nodes = static_cast<size_t>(state.range(0));
    const std::string file = BenchFile(nodes);
    {
        report::TReportDocument doc;
        bench::GenerateReport(doc, nodes);
        report::SaveReport(doc, file, true);
    }
    report::TReportDocument doc;
    for (auto _ : state) {
        if (report::LoadReport(doc, file, nullptr) != 0)
            state.SkipWithError("load failed");
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(nodes));
    std::filesystem::remove(file);
}
BENCHMARK(BM_LoadReport)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

// Heap bytes per node, and the bytes of its texts (name and value) for comparison.
void BM_MemoryPerNode(benchmark::State& state) {
    const size_t nodes = static_cast<size_t>(state.range(0));
    for (auto _ : state) {
        malloc_trim(0);
        const size_t before = mallinfo2().uordblks;
        auto doc = std::make_unique<report::TReportDocument>();
        bench::GenerateReport(*doc, nodes);
        const size_t after = mallinfo2().uordblks;
        size_t count = 0, textBytes = 0;
        for (auto* node = doc->Tree.First(); node; node = node->NextInTree()) {
            ++count;
            textBytes += node->Text().size();
            if (const auto* property = node->Property())
                textBytes += property->Value.size();
        }
        state.counters["nodes"] = static_cast<double>(count);
        state.counters["heap_bytes_per_node"] = static_cast<double>(after - before) / count;
        state.counters["text_bytes_per_node"] = static_cast<double>(textBytes) / count;
    }
}
BENCHMARK(BM_MemoryPerNode)
    ->Arg(100000)
    ->Arg(1000000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

} // namespace
