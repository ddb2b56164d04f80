// System information figures: the time from the System information action until this
// computer's categories and root entries are painted, through the agent process and through
// the modules loaded into the program, and the time of one refresh of the processes entry (the
// biggest live entry) including its repaint.
// Run: build/bench-qt/bench/bench_session (a Release build with OSTERO_BUILD_BENCH=ON; it uses
// the staged modules and agent of that build). The display platform is "offscreen" unless
// QT_QPA_PLATFORM says otherwise.
#include "report/ReportTree.h"
#include "sources/AgentChannel.h"
#include "sources/AgentProtocol.h"
#include "support/Language.h"
#include "support/UserMessage.h"
#include "support/platform/Ipc.h"
#include "ui/report/ExtTreeView.h"
#include "ui/shell/FormMain.h"
#include "ui/shell/QtBridge.h"
#include "ui/shell/SysInfoSession.h"

#include <QApplication>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include <benchmark/benchmark.h>

#include <sys/wait.h>
#include <unistd.h>

using namespace ostero;

namespace {

const std::string kStage = OSTERO_BENCH_STAGE_DIR;

// Messages would open boxes that wait for a click; a benchmark only counts them.
struct TCountingSink : support::TMessageSink {
    void ShowError(const support::TUserMessage&) override { ++Count; }
    void ShowInformation(const support::TUserMessage&) override { ++Count; }
    int Count = 0;
};

// The agent program of this build, serving a namespace of its own.
class TAgentProcess {
public:
    TAgentProcess() {
        const std::string agent = kStage + "/Vigant/vigantd";
        Pid_ = ::fork();
        if (Pid_ == 0) {
            ::execl(agent.c_str(), agent.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        for (int i = 0; i < 500; ++i) {
            if (platform::OpenSharedBlock(sources::kAgentBlockName, sources::kAgentBlockSize))
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    ~TAgentProcess() {
        ::kill(Pid_, SIGTERM);
        int status = 0;
        ::waitpid(Pid_, &status, 0);
        platform::RemoveSharedBlock(sources::kAgentBlockName);
        platform::RemoveProcessLock(sources::kQueryLockName);
        platform::RemoveNamedEvent(sources::kAgentExecEventName);
        platform::RemoveNamedEvent(sources::kAgentDoneEventName);
    }

private:
    pid_t Pid_ = -1;
};

// The main window at its design size, shown, without a session.
struct TWindow {
    TWindow() : Form({}, "", Loader) {
        Form.SetMessageSink(&Messages);
        Form.SysInfoSession().SetProgramFolder(kStage + "/Ostero/");
        Form.resize(821, 546);
        Form.show(); // the first showing connects; each measurement starts without a session
        QApplication::processEvents();
        Form.SysInfoSession().DisconnectSession();
    }
    void Paint() {
        ui::TExtTreeView& view = Form.SysInfoView();
        view.TreeView().viewport()->repaint();
    }
    ui::TQtLanguageLoader Loader;
    TCountingSink Messages;
    ui::TFormMain Form;
};

enum class TChannel { Modules = 0, Agent = 1 };

void BM_ShowThisComputer(benchmark::State& state) {
    const auto channel = static_cast<TChannel>(state.range(0));
    std::unique_ptr<TAgentProcess> agent;
    if (channel == TChannel::Agent)
        agent = std::make_unique<TAgentProcess>();
    TWindow window;
    ui::TSysInfoSession& session = window.Form.SysInfoSession();
    const auto wanted = channel == TChannel::Agent ? ui::TConnectionMode::LocalAgent
                                                   : ui::TConnectionMode::LocalModules;
    size_t entries = 0;
    for (auto _ : state) {
        window.Form.SysInfoButtonClick(true);
        window.Paint();
        state.PauseTiming();
        if (session.Mode() != wanted) {
            state.SkipWithError("the session did not use the expected channel");
            break;
        }
        entries = 0;
        for (size_t i = 0; i < window.Form.SysInfoView().Tree().TopCount(); ++i)
            entries += window.Form.SysInfoView().Tree().Top(i)->ChildCount();
        session.DisconnectSession();
        QApplication::processEvents();
        state.ResumeTiming();
    }
    state.counters["root_entries"] = static_cast<double>(entries);
    state.counters["messages"] = window.Messages.Count;
}
BENCHMARK(BM_ShowThisComputer)
    ->ArgName("agent")
    ->Arg(static_cast<int64_t>(TChannel::Modules))
    ->Arg(static_cast<int64_t>(TChannel::Agent))
    ->Unit(benchmark::kMillisecond);

void BM_RefreshProcesses(benchmark::State& state) {
    const auto channel = static_cast<TChannel>(state.range(0));
    std::unique_ptr<TAgentProcess> agent;
    if (channel == TChannel::Agent)
        agent = std::make_unique<TAgentProcess>();
    TWindow window;
    window.Form.SysInfoButtonClick(true);
    ui::TSysInfoSession& session = window.Form.SysInfoSession();
    ui::TExtTreeView& view = window.Form.SysInfoView();
    report::TTreeNode* processes = nullptr;
    for (size_t i = 0; i < view.Tree().TopCount(); ++i) {
        report::TTreeNode* category = view.Tree().Top(i);
        if (category->ImageCode() != report::kCategorySystem)
            continue;
        for (size_t c = 0; c < category->ChildCount(); ++c)
            if (category->Child(c)->Text() == "Processes")
                processes = category->Child(c);
    }
    if (processes == nullptr) {
        state.SkipWithError("no processes entry");
        return;
    }
    view.TreeView().expand(view.Model().IndexOf(processes->Parent()));
    view.SetSelected(processes);
    session.LoadEntryOnDemand();
    session.UpdateTimer().stop(); // the benchmark refreshes, not the timer
    size_t lines = 0;
    for (auto _ : state) {
        session.RefreshCurrentEntry();
        window.Paint();
        lines = 0;
        for (const report::TTreeNode* n = processes->FirstChild(); n != nullptr;
             n = n->NextInTree()) {
            if (!n->IsDescendantOf(processes))
                break;
            ++lines;
        }
    }
    state.counters["lines"] = static_cast<double>(lines);
    state.counters["messages"] = window.Messages.Count;
}
BENCHMARK(BM_RefreshProcesses)
    ->ArgName("agent")
    ->Arg(static_cast<int64_t>(TChannel::Modules))
    ->Arg(static_cast<int64_t>(TChannel::Agent))
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // No agent of the machine answers: the benchmark starts its own where it wants one.
    ::setenv("TAVERIC_IPC_NAMESPACE", ("bench-session-" + std::to_string(::getpid())).c_str(), 1);
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
