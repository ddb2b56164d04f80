// Report core figures: building, searching, saving, loading, comparing and scanning reports of
// 10k, 100k and 1M nodes, the memory of their trees and the peak memory of each operation
// (op: 1 build, 2 load, 3 load and save, 4 load and compare, 5 scan).
// Run: build/release/bench/bench_report (preset release).
#include "ReportGenerator.h"

#include "report/ReportCompare.h"
#include "report/ReportFile.h"
#include "report/ReportScan.h"
#include "report/TreeSearch.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include <benchmark/benchmark.h>

#include <malloc.h>

using namespace ostero;

namespace {

// Every benchmark runs its operation once untimed before measuring. Fresh pages cost about
// 10 us each on this kind of virtual machine; a 100k run repeats often enough to reuse its
// memory while a 1M run is timed once, so without a warm-up the 1M figure would mostly measure
// the first touch of a few hundred megabytes.
template <typename F> void WarmUp(F&& operation) {
    operation();
}

void BM_BuildWithAddNode(benchmark::State& state) {
    const size_t nodes = static_cast<size_t>(state.range(0));
    const auto build = [nodes] {
        report::TReportDocument doc;
        bench::GenerateReport(doc, nodes);
        benchmark::DoNotOptimize(doc.Tree.First());
    };
    WarmUp(build);
    for (auto _ : state)
        build();
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

// Writes a generated report of `variant` (0 the reference) to `file`.
void WriteGeneratedReport(size_t nodes, int variant, const std::string& file) {
    report::TReportDocument doc;
    bench::GenerateReport(doc, nodes, variant);
    report::SaveReport(doc, file, true);
}

// A load and a merge of the second file, as the report comparison does.
void LoadAndMerge(const std::string& first, const std::string& second) {
    report::TReportDocument doc;
    report::LoadReport(doc, first, nullptr);
    report::LoadCompareReport(doc, second);
}

void BM_SaveReport(benchmark::State& state) {
    const size_t nodes = static_cast<size_t>(state.range(0));
    report::TReportDocument doc;
    bench::GenerateReport(doc, nodes);
    const std::string file = BenchFile(nodes);
    WarmUp([&] { report::SaveReport(doc, file, true); });
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
    WriteGeneratedReport(nodes, 0, file);
    report::TReportDocument doc;
    WarmUp([&] { report::LoadReport(doc, file, nullptr); });
    for (auto _ : state) {
        if (report::LoadReport(doc, file, nullptr) != 0)
            state.SkipWithError("load failed");
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(nodes));
    std::filesystem::remove(file);
}
BENCHMARK(BM_LoadReport)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

// Loading a report and merging a second one into it, as the report comparison does: the second
// file alike (range 1 = 0) or with about 1 % of the properties changed, added and removed (1).
void BM_LoadAndCompare(benchmark::State& state) {
    const size_t nodes = static_cast<size_t>(state.range(0));
    const std::string first = BenchFile(nodes);
    const std::string second = BenchFile(nodes) + ".second.trp";
    WriteGeneratedReport(nodes, 0, first);
    WriteGeneratedReport(nodes, static_cast<int>(state.range(1)), second);
    size_t differences = 0;
    WarmUp([&] { LoadAndMerge(first, second); });
    for (auto _ : state) {
        report::TReportDocument doc;
        if (report::LoadReport(doc, first, nullptr) != 0 ||
            report::LoadCompareReport(doc, second) != 0)
            state.SkipWithError("load or compare failed");
        state.PauseTiming();
        differences = 0;
        for (auto* node = doc.Tree.First(); node; node = node->NextInTree())
            differences += report::IsDifferenceState(node->StateIndex()) ? 1 : 0;
        state.ResumeTiming();
    }
    state.counters["differences"] = static_cast<double>(differences);
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(nodes));
    std::filesystem::remove(first);
    std::filesystem::remove(second);
}
BENCHMARK(BM_LoadAndCompare)
    ->ArgsProduct({{10000, 100000, 1000000}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

// The merge alone, into a loaded tree.
void BM_CompareOnly(benchmark::State& state) {
    const size_t nodes = static_cast<size_t>(state.range(0));
    const std::string first = BenchFile(nodes);
    const std::string second = BenchFile(nodes) + ".second.trp";
    WriteGeneratedReport(nodes, 0, first);
    WriteGeneratedReport(nodes, 1, second);
    WarmUp([&] { LoadAndMerge(first, second); });
    for (auto _ : state) {
        state.PauseTiming();
        auto doc = std::make_unique<report::TReportDocument>();
        report::LoadReport(*doc, first, nullptr);
        state.ResumeTiming();
        if (report::LoadCompareReport(*doc, second) != 0)
            state.SkipWithError("compare failed");
        state.PauseTiming();
        doc.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(nodes));
    std::filesystem::remove(first);
    std::filesystem::remove(second);
}
BENCHMARK(BM_CompareOnly)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

// Scanning a sibling report for a text that no record holds: every record is read.
void BM_ScanReportFile(benchmark::State& state) {
    const size_t nodes = static_cast<size_t>(state.range(0));
    const std::string file = BenchFile(nodes) + ".srp";
    {
        report::TReportDocument doc;
        bench::GenerateReport(doc, nodes);
        std::ofstream(file, std::ios::binary) << bench::SiblingReportBytes(doc.Tree);
    }
    const std::vector<int> codes = report::FileScanCodes(report::TSearchKind::Errors);
    for (auto _ : state) {
        if (report::ScanReportFile(file, "no such text", codes) != 0)
            state.SkipWithError("scan failed");
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(nodes));
    std::filesystem::remove(file);
}
BENCHMARK(BM_ScanReportFile)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

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

// Peak memory of one operation, measured in a fresh process of this program (started with
// "--peak OP NODES"), so that no earlier benchmark's memory counts: the child's peak resident
// size minus that of a child that does nothing.
enum class TPeakOp : int64_t { Idle, Build, Load, Save, LoadAndCompare, Scan };

std::string PeakFile(size_t nodes, const char* suffix) {
    return BenchFile(nodes) + ".peak" + suffix;
}

void RunPeakOperation(TPeakOp op, size_t nodes) {
    report::TReportDocument doc;
    switch (op) {
    case TPeakOp::Idle:
        break;
    case TPeakOp::Build:
        bench::GenerateReport(doc, nodes);
        break;
    case TPeakOp::Load:
        report::LoadReport(doc, PeakFile(nodes, ".trp"), nullptr);
        break;
    case TPeakOp::Save:
        report::LoadReport(doc, PeakFile(nodes, ".trp"), nullptr);
        report::SaveReport(doc, PeakFile(nodes, ".out.trp"), true);
        break;
    case TPeakOp::LoadAndCompare:
        report::LoadReport(doc, PeakFile(nodes, ".trp"), nullptr);
        report::LoadCompareReport(doc, PeakFile(nodes, ".second.trp"));
        break;
    case TPeakOp::Scan:
        report::ScanReportFile(PeakFile(nodes, ".srp"), "no such text",
                               report::FileScanCodes(report::TSearchKind::Errors));
        break;
    }
    benchmark::DoNotOptimize(doc.Tree.First());
}

// The peak resident bytes of this process's memory image (VmHWM): fresh at exec, unlike the
// peak that wait4 reports, which a spawned child inherits from its parent.
double OwnPeakBytes() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stod(line.substr(6)) * 1024.0;
    }
    return -1;
}

// Peak resident bytes of a child doing `op`; -1 when it could not run.
double ChildPeakBytes(TPeakOp op, size_t nodes) {
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    const std::string command = "'" + self + "' --peak " +
                                std::to_string(static_cast<int64_t>(op)) + " " +
                                std::to_string(nodes);
    FILE* child = popen(command.c_str(), "r");
    if (child == nullptr)
        return -1;
    double peak = -1;
    if (fscanf(child, "%lf", &peak) != 1)
        peak = -1;
    return pclose(child) == 0 ? peak : -1;
}

void BM_PeakMemory(benchmark::State& state) {
    const auto op = static_cast<TPeakOp>(state.range(0));
    const size_t nodes = static_cast<size_t>(state.range(1));
    {
        report::TReportDocument doc;
        bench::GenerateReport(doc, nodes);
        report::SaveReport(doc, PeakFile(nodes, ".trp"), true);
        std::ofstream(PeakFile(nodes, ".srp"), std::ios::binary)
            << bench::SiblingReportBytes(doc.Tree);
        bench::GenerateReport(doc, nodes, 1);
        report::SaveReport(doc, PeakFile(nodes, ".second.trp"), true);
    }
    double idle = 0, peak = 0;
    for (auto _ : state) {
        idle = ChildPeakBytes(TPeakOp::Idle, nodes);
        peak = ChildPeakBytes(op, nodes);
        if (idle < 0 || peak < 0)
            state.SkipWithError("the measuring process failed");
    }
    state.counters["peak_MB"] = (peak - idle) / 1e6;
    state.counters["peak_bytes_per_node"] = (peak - idle) / static_cast<double>(nodes);
    for (const char* suffix : {".trp", ".srp", ".second.trp", ".out.trp"})
        std::filesystem::remove(PeakFile(nodes, suffix));
}
BENCHMARK(BM_PeakMemory)
    ->ArgNames({"op", "nodes"})
    ->ArgsProduct({{static_cast<int64_t>(TPeakOp::Build), static_cast<int64_t>(TPeakOp::Load),
                    static_cast<int64_t>(TPeakOp::Save),
                    static_cast<int64_t>(TPeakOp::LoadAndCompare),
                    static_cast<int64_t>(TPeakOp::Scan)},
                   {100000, 1000000}})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--peak") {
        RunPeakOperation(static_cast<TPeakOp>(std::stoll(argv[2])), std::stoull(argv[3]));
        std::printf("%.0f\n", OwnPeakBytes());
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
