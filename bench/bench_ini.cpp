// Lookups in the INI store: the test launcher reads up to 31 numbered keys from each section.
// Time per lookup should stay flat as sections grow (hash indexes, one build per list).
#include "support/IniFile.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

using ostero::support::TMemIniFile;

namespace {

constexpr int kSections = 200;
constexpr int kKeysPerSection = 31;

std::string SectionName(int section) {
    return "Test" + std::to_string(section);
}

std::string KeyName(int key) {
    return "Description.DE." + std::to_string(key);
}

std::string MakeText(int sections, int keysPerSection) {
    std::string text;
    for (int s = 1; s <= sections; ++s) {
        text += "[" + SectionName(s) + "]\r\n";
        for (int k = 1; k <= keysPerSection; ++k)
            text += KeyName(k) + " = Test number " + std::to_string(k) + "\r\n";
        text += "\r\n";
    }
    return text;
}

struct TKeys {
    std::vector<std::string> Sections;
    std::vector<std::string> Names;
};

TKeys MakeKeys(int sections, int keysPerSection) {
    TKeys keys;
    for (int s = 1; s <= sections; ++s)
        keys.Sections.push_back(SectionName(s));
    for (int k = 1; k <= keysPerSection; ++k)
        keys.Names.push_back(KeyName(k));
    return keys;
}

std::size_t ReadAll(const TMemIniFile& ini, const TKeys& keys) {
    std::size_t total = 0;
    for (const std::string& section : keys.Sections) {
        for (const std::string& name : keys.Names)
            total += ini.ReadString(section, name, "").size();
    }
    return total;
}

// Reads once the indexes are built.
void BM_ReadNumberedKeys(benchmark::State& state) {
    TMemIniFile ini("");
    ini.SetText(MakeText(kSections, kKeysPerSection));
    const TKeys keys = MakeKeys(kSections, kKeysPerSection);
    for (auto _ : state)
        benchmark::DoNotOptimize(ReadAll(ini, keys));
    state.SetItemsProcessed(state.iterations() * kSections * kKeysPerSection);
}
BENCHMARK(BM_ReadNumberedKeys);

// Loading plus the first reads, which build every index once.
void BM_LoadAndReadNumberedKeys(benchmark::State& state) {
    const std::string text = MakeText(kSections, kKeysPerSection);
    const TKeys keys = MakeKeys(kSections, kKeysPerSection);
    for (auto _ : state) {
        TMemIniFile ini("");
        ini.SetText(text);
        benchmark::DoNotOptimize(ReadAll(ini, keys));
    }
    state.SetItemsProcessed(state.iterations() * kSections * kKeysPerSection);
}
BENCHMARK(BM_LoadAndReadNumberedKeys);

// One section of growing size: the time per lookup should hardly change.
void BM_LookupBySectionSize(benchmark::State& state) {
    const int keysPerSection = static_cast<int>(state.range(0));
    TMemIniFile ini("");
    ini.SetText(MakeText(1, keysPerSection));
    const TKeys keys = MakeKeys(1, keysPerSection);
    for (auto _ : state)
        benchmark::DoNotOptimize(ReadAll(ini, keys));
    state.SetItemsProcessed(state.iterations() * keysPerSection);
}
BENCHMARK(BM_LookupBySectionSize)->Arg(8)->Arg(31)->Arg(256)->Arg(1024);

// A change between reads costs one rebuild of the changed list only.
void BM_WriteThenRead(benchmark::State& state) {
    TMemIniFile ini("");
    ini.SetText(MakeText(kSections, kKeysPerSection));
    const TKeys keys = MakeKeys(kSections, kKeysPerSection);
    int round = 0;
    for (auto _ : state) {
        ini.WriteInteger(keys.Sections[round % kSections], "Reboot.1.1", round);
        benchmark::DoNotOptimize(
            ini.ReadInteger(keys.Sections[round % kSections], "Reboot.1.1", 0));
        ++round;
    }
}
BENCHMARK(BM_WriteThenRead);

} // namespace
