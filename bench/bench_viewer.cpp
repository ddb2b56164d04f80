// Viewer figures: opening a report of 100k and 1M nodes until its first rows are painted (the
// tree-list view alone, and the main window's open path), the memory the opened report holds
// (op: 1 view, 3 main window), and expanding a group of 10k children.
// Run: build/bench-qt/bench/bench_viewer (a Release build with OSTERO_BUILD_BENCH=ON). The
// display platform is "offscreen" unless QT_QPA_PLATFORM says otherwise.
#include "ReportGenerator.h"

#include "report/ReportFile.h"
#include "ui/report/ExtTreeView.h"
#include "ui/shell/FormMain.h"
#include "ui/shell/QtBridge.h"

#include <QApplication>
#include <QScrollBar>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include <benchmark/benchmark.h>

#include <unistd.h>

using namespace ostero;

namespace {

// The main window's design size; the view gets it too, so that as many rows are painted.
constexpr int kWidth = 821;
constexpr int kHeight = 546;

std::string BenchFile(const std::string& name) {
    return (std::filesystem::temp_directory_path() /
            ("ostero-viewer-" + std::to_string(::getpid()) + "-" + name + ".trp"))
        .string();
}

// The generated report of `nodes` nodes as a file, written once per run.
const std::string& ReportFile(size_t nodes) {
    static std::map<size_t, std::string> files;
    auto& file = files[nodes];
    if (file.empty()) {
        file = BenchFile(std::to_string(nodes));
        report::TReportDocument doc;
        bench::GenerateReport(doc, nodes);
        report::SaveReport(doc, file, true);
    }
    return file;
}

// A category holding one group of `children` properties.
const std::string& WideGroupFile(size_t children) {
    static std::string file;
    if (file.empty()) {
        file = BenchFile("wide");
        report::TReportDocument doc;
        report::TTreeNode* context =
            report::AddNode(doc.Tree, nullptr, report::kCategoryHardware, 0, "Hardware", 0);
        report::TTreeNode* group = context = report::AddNode(doc.Tree, context, 3, 0, "Wide", 1);
        for (size_t i = 0; i < children; ++i)
            context = report::AddNode(
                doc.Tree, context, 33, 0,
                "Property " + std::to_string(i) + "=Value " + std::to_string(i), 10);
        benchmark::DoNotOptimize(group);
        report::SaveReport(doc, file, true);
    }
    return file;
}

void RemoveFiles() {
    std::error_code error;
    for (const auto& entry :
         std::filesystem::directory_iterator(std::filesystem::temp_directory_path(), error)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("ostero-viewer-" + std::to_string(::getpid()) + "-", 0) == 0)
            std::filesystem::remove(entry.path(), error);
    }
}

// Paints the visible rows now, as the first paint after opening would.
void PaintNow(ui::TExtTreeView& view) {
    view.TreeView().viewport()->repaint();
}

std::unique_ptr<ui::TExtTreeView> ShownView() {
    auto view = std::make_unique<ui::TExtTreeView>();
    view->resize(kWidth, kHeight);
    view->show();
    QApplication::processEvents();
    return view;
}

void BM_ViewLoadUntilFirstPaint(benchmark::State& state) {
    const std::string& file = ReportFile(static_cast<size_t>(state.range(0)));
    auto view = ShownView();
    view->LoadReport(file); // warm-up: the first touch of the memory is not the viewer's cost
    PaintNow(*view);
    // Each load replaces the report before: freeing the old tree is counted, as on a reopen.
    for (auto _ : state) {
        if (view->LoadReport(file) != 0)
            state.SkipWithError("load failed");
        PaintNow(*view);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ViewLoadUntilFirstPaint)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

// A private settings and documents folder, so that the window reads no user's settings.
void PrivateSettingsFolder() {
    static bool done = false;
    if (done)
        return;
    done = true;
    const auto root = std::filesystem::temp_directory_path() /
                      ("ostero-viewer-" + std::to_string(::getpid()) + "-home");
    std::filesystem::create_directories(root / "config");
    std::filesystem::create_directories(root / "Documents");
    ::setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
    std::ofstream(root / "config" / "user-dirs.dirs")
        << "XDG_DOCUMENTS_DIR=\"" << (root / "Documents").string() << "\"\n";
}

struct TMainWindow {
    TMainWindow() : Form({}, "", Loader) {
        Form.resize(kWidth, kHeight);
        Form.show();
        QApplication::processEvents();
    }
    ui::TQtLanguageLoader Loader;
    ui::TFormMain Form;
};

// The main window's open path (given the name, no dialog): clearing, loading, selecting the
// first node, the search for error entries, and the first paint. The previous report is
// cleared outside the measurement, as before a first open.
void BM_MainWindowOpenUntilFirstPaint(benchmark::State& state) {
    const QString file = QString::fromStdString(ReportFile(static_cast<size_t>(state.range(0))));
    PrivateSettingsFolder();
    TMainWindow window;
    window.Form.OpenReport(file);
    PaintNow(window.Form.ReportView());
    for (auto _ : state) {
        state.PauseTiming();
        window.Form.ReportView().ClearReport();
        state.ResumeTiming();
        window.Form.OpenReport(file);
        PaintNow(window.Form.ReportView());
    }
    if (window.Form.ReportView().Tree().Empty())
        state.SkipWithError("nothing was loaded");
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_MainWindowOpenUntilFirstPaint)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond);

// Expanding a group of 10k children and painting it.
void BM_ExpandGroupOf10kChildren(benchmark::State& state) {
    auto view = ShownView();
    view->LoadReport(WideGroupFile(static_cast<size_t>(state.range(0))));
    ui::TReportModel& model = view->Model();
    const QModelIndex category = model.index(0, 0);
    const QModelIndex group = model.index(0, 0, category);
    view->TreeView().expand(category);
    PaintNow(*view);
    for (auto _ : state) {
        state.PauseTiming();
        view->TreeView().collapse(group);
        PaintNow(*view);
        state.ResumeTiming();
        view->TreeView().expand(group);
        PaintNow(*view);
    }
    state.counters["rows"] = static_cast<double>(model.rowCount(group));
}
BENCHMARK(BM_ExpandGroupOf10kChildren)->Arg(10000)->Unit(benchmark::kMillisecond);

// Memory of an opened report, measured in a fresh process of this program (started with
// "--memory OP FILE"): its peak and its resident size after the paint, minus those of a
// process that showed the same window empty.
enum class TMemoryOp : int64_t { IdleView, View, IdleWindow, Window };

struct TMemory {
    double Peak = -1;
    double Resident = -1;
};

double StatusBytes(const char* key) {
    std::ifstream status("/proc/self/status");
    const std::string prefix = std::string(key) + ":";
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(prefix, 0) == 0)
            return std::stod(line.substr(prefix.size())) * 1024.0;
    }
    return -1;
}

void RunMemoryOperation(TMemoryOp op, const std::string& file) {
    if (op == TMemoryOp::IdleView || op == TMemoryOp::View) {
        auto view = ShownView();
        if (op == TMemoryOp::View)
            view->LoadReport(file);
        PaintNow(*view);
        QApplication::processEvents();
        std::printf("%.0f %.0f\n", StatusBytes("VmHWM"), StatusBytes("VmRSS"));
    } else {
        PrivateSettingsFolder();
        TMainWindow window;
        if (op == TMemoryOp::Window)
            window.Form.OpenReport(QString::fromStdString(file));
        PaintNow(window.Form.ReportView());
        QApplication::processEvents();
        std::printf("%.0f %.0f\n", StatusBytes("VmHWM"), StatusBytes("VmRSS"));
    }
}

TMemory ChildMemory(TMemoryOp op, const std::string& file) {
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    const std::string command =
        "'" + self + "' --memory " + std::to_string(static_cast<int64_t>(op)) + " '" + file + "'";
    FILE* child = popen(command.c_str(), "r");
    TMemory memory;
    if (child == nullptr)
        return memory;
    if (std::fscanf(child, "%lf %lf", &memory.Peak, &memory.Resident) != 2)
        memory = {};
    if (pclose(child) != 0)
        memory = {};
    return memory;
}

void BM_MemoryOfAnOpenedReport(benchmark::State& state) {
    const auto op = static_cast<TMemoryOp>(state.range(0));
    const auto idleOp = op == TMemoryOp::View ? TMemoryOp::IdleView : TMemoryOp::IdleWindow;
    const size_t nodes = static_cast<size_t>(state.range(1));
    const std::string& file = ReportFile(nodes);
    TMemory idle, used;
    for (auto _ : state) {
        idle = ChildMemory(idleOp, file);
        used = ChildMemory(op, file);
        if (idle.Peak < 0 || used.Peak < 0)
            state.SkipWithError("the measuring process failed");
    }
    const double count = static_cast<double>(nodes);
    state.counters["peak_MB"] = (used.Peak - idle.Peak) / 1e6;
    state.counters["resident_MB"] = (used.Resident - idle.Resident) / 1e6;
    state.counters["resident_bytes_per_node"] = (used.Resident - idle.Resident) / count;
}
BENCHMARK(BM_MemoryOfAnOpenedReport)
    ->ArgNames({"op", "nodes"})
    ->ArgsProduct({{static_cast<int64_t>(TMemoryOp::View), static_cast<int64_t>(TMemoryOp::Window)},
                   {100000, 1000000}})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);
    if (argc == 4 && std::string(argv[1]) == "--memory") {
        RunMemoryOperation(static_cast<TMemoryOp>(std::stoll(argv[2])), argv[3]);
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    RemoveFiles();
    return 0;
}
