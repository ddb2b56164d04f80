// Gathering this computer's information: every root and sub entry of both information modules,
// loaded in this process and asked through the agent over the shared block, beside `lshw -xml`
// in the same run; and the sub entries of each single root entry through the agent.
// Run: scripts/run-benchmarks.sh (installs lshw), or build/release/bench/bench_sources.
#include "sources/AgentChannel.h"
#include "sources/AgentProtocol.h"
#include "sources/InfoModule.h"
#include "support/SysUtils.h"
#include "support/platform/Ipc.h"

#include <benchmark/benchmark.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

using namespace ostero;
using namespace std::chrono_literals;

namespace {

const std::string kStage = OSTERO_BENCH_STAGE_DIR;
const char* const kModules[] = {"DevSurvey.so", "SysFacts.so"};

struct TCounts {
    size_t Roots = 0, Entries = 0, Properties = 0;
};

TCounts EnumerateInProcess() {
    TCounts counts;
    for (const char* name : kModules) {
        sources::TModuleHandle handle =
            sources::LoadInfoModule(kStage + "/Shared/" + name, nullptr);
        if (handle == nullptr)
            continue;
        const auto roots = sources::EnumModuleRoots(handle, 0, nullptr);
        for (size_t r = 0; r < roots.size(); ++r) {
            ++counts.Roots;
            for (const auto& entry :
                 sources::EnumModuleSubs(handle, static_cast<int32_t>(r), nullptr)) {
                ++counts.Entries;
                counts.Properties += entry.LevelOrType >= 10 ? 1 : 0;
            }
        }
        sources::UnloadInfoModule(handle, nullptr);
    }
    return counts;
}

// The agent of this benchmark, in a namespace of its own.
class TAgent {
public:
    TAgent() {
        setenv("TAVERIC_IPC_NAMESPACE", ("bench-" + std::to_string(getpid())).c_str(), 1);
        Pid_ = fork();
        if (Pid_ == 0) {
            const std::string agent = kStage + "/Vigant/vigantd";
            execl(agent.c_str(), agent.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        for (int i = 0; i < 300 && !sources::AgentOpen(100); ++i)
            std::this_thread::sleep_for(10ms);
    }
    ~TAgent() {
        sources::AgentClose();
        kill(Pid_, SIGTERM);
        waitpid(Pid_, nullptr, 0);
        platform::RemoveProcessLock(sources::kQueryLockName);
        platform::RemoveNamedEvent(sources::kAgentExecEventName);
        platform::RemoveNamedEvent(sources::kAgentDoneEventName);
    }
    bool Ready() const { return sources::QueryChannel().AgentOpened(); }

private:
    pid_t Pid_ = -1;
};

std::string Ask(const std::string& command) {
    std::string answer;
    if (sources::SourceQuery(command, 35000, true, answer) != 0)
        return {};
    return answer;
}

int Field(const std::string& line, unsigned index) {
    return std::atoi(support::GetSeparatedField(line, index).c_str());
}

// The sub entries of one root entry through the agent, as the session asks them.
size_t AgentSubEntries(int module, int root, size_t* properties = nullptr) {
    size_t count = 0;
    sources::QueryLock(35000);
    for (int index = 0;; ++index) {
        const std::string line = Ask("ENUMSUBINFOS:" + std::to_string(module) + ";" +
                                     std::to_string(root) + ";" + std::to_string(index));
        if (Field(line, 4) != 1)
            break;
        ++count;
        if (properties != nullptr && Field(line, 1) >= 9)
            ++*properties;
    }
    sources::QueryUnlock();
    return count;
}

TCounts EnumerateThroughAgent() {
    TCounts counts;
    std::vector<int> numbers;
    for (const char* name : {"DevSurvey.dll", "SysFacts.dll"}) {
        const std::string answer = Ask(std::string("InitializeDLL:") + name);
        if (!answer.empty() && std::isdigit(static_cast<unsigned char>(answer[0])))
            numbers.push_back(std::atoi(answer.c_str()));
    }
    for (int module : numbers) {
        int roots = 0;
        sources::QueryLock(5000);
        while (roots < 127 && Field(Ask("ENUMROOTINFOS:" + std::to_string(module) + ";" +
                                        std::to_string(roots) + ";0"),
                                    5) == 1)
            ++roots;
        sources::QueryUnlock();
        for (int root = 0; root < roots; ++root) {
            ++counts.Roots;
            counts.Entries += AgentSubEntries(module, root, &counts.Properties);
        }
    }
    for (auto it = numbers.rbegin(); it != numbers.rend(); ++it)
        Ask("DESTROYDLL:" + std::to_string(*it));
    return counts;
}

void Report(benchmark::State& state, const TCounts& counts) {
    state.counters["roots"] = static_cast<double>(counts.Roots);
    state.counters["entries"] = static_cast<double>(counts.Entries);
    state.counters["properties"] = static_cast<double>(counts.Properties);
}

void BM_AllEntriesInProcess(benchmark::State& state) {
    TCounts counts;
    for (auto _ : state)
        counts = EnumerateInProcess();
    Report(state, counts);
}
BENCHMARK(BM_AllEntriesInProcess)->Unit(benchmark::kMillisecond)->UseRealTime();

TAgent* gAgent = nullptr;

void BM_AllEntriesThroughAgent(benchmark::State& state) {
    if (gAgent == nullptr || !gAgent->Ready()) {
        state.SkipWithError("the agent did not start");
        return;
    }
    TCounts counts;
    for (auto _ : state)
        counts = EnumerateThroughAgent();
    Report(state, counts);
}
BENCHMARK(BM_AllEntriesThroughAgent)->Unit(benchmark::kMillisecond)->UseRealTime();

// One exchange under the query lock: what the channel itself costs per command.
void BM_AgentExchange(benchmark::State& state) {
    if (gAgent == nullptr || !gAgent->Ready()) {
        state.SkipWithError("the agent did not start");
        return;
    }
    std::string answer;
    for (auto _ : state) {
        if (sources::SourceQueryLocked("GetComputerName", 5000, true, answer) != 0) {
            state.SkipWithError("the exchange failed");
            return;
        }
    }
}
BENCHMARK(BM_AgentExchange)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_LshwXml(benchmark::State& state) {
    if (std::system("command -v lshw >/dev/null 2>&1") != 0) {
        state.SkipWithError("lshw is not installed (scripts/run-benchmarks.sh installs it)");
        return;
    }
    for (auto _ : state) {
        if (std::system("lshw -xml >/dev/null 2>&1") != 0)
            state.SkipWithError("lshw failed");
    }
}
BENCHMARK(BM_LshwXml)->Unit(benchmark::kMillisecond)->UseRealTime();

// One benchmark per root entry of each module: its sub entries through the agent.
void RegisterSingleRoots(TAgent& agent) {
    if (!agent.Ready())
        return;
    for (const char* name : {"DevSurvey.dll", "SysFacts.dll"}) {
        const std::string answer = Ask(std::string("InitializeDLL:") + name);
        if (answer.empty() || !std::isdigit(static_cast<unsigned char>(answer[0])))
            continue;
        const int module = std::atoi(answer.c_str());
        for (int root = 0; root < 127; ++root) {
            const std::string line =
                Ask("ENUMROOTINFOS:" + std::to_string(module) + ";" + std::to_string(root) + ";0");
            if (Field(line, 5) != 1)
                break;
            const std::string title = std::string("BM_RootSubEntriesThroughAgent/") +
                                      std::string(name).substr(0, std::string(name).find('.')) +
                                      "/" + support::GetSeparatedField(line, 3);
            benchmark::RegisterBenchmark(title.c_str(),
                                         [module, root](benchmark::State& state) {
                                             size_t count = 0;
                                             for (auto _ : state)
                                                 count = AgentSubEntries(module, root);
                                             state.counters["entries"] = static_cast<double>(count);
                                         })
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime()
                ->Repetitions(5)
                ->ReportAggregatesOnly(true);
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    {
        TAgent agent;
        gAgent = &agent;
        RegisterSingleRoots(agent);
        benchmark::RunSpecifiedBenchmarks();
        gAgent = nullptr;
    }
    benchmark::Shutdown();
    return 0;
}
