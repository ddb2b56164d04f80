#include "ModuleHost.h"

#include "AgentCommands.h"
#include "sources/InfoModule.h"
#include "sources/LibraryLocator.h"
#include "support/TextCodec.h"
#include "support/platform/Platform.h"

#include <array>
#include <cstring>
#include <map>

namespace ostero::vigant {

namespace {

template <size_t N> std::string Text(const char (&field)[N]) {
    return std::string(field, strnlen(field, N));
}

// A line without value, as the modules write their notes.
constexpr int kEnvironmentNoteLevel = 20;

} // namespace

struct TModuleHost::TModule {
    std::string BaseName; // "DevSurvey" or "SysFacts"
    std::string Path;
    sources::TLibrary Library;
    int Users = 0;
    sources::TEnumRootInfos EnumRootInfos = nullptr;
    sources::TEnumSubInfos EnumSubInfos = nullptr;
    sources::TGetDLLErrorMsg ErrorMessage = nullptr;
    sources::TDestroyDLL Destroy = nullptr;

    std::string ErrorText(int32_t code) const {
        std::array<char, 257> buffer{};
        if (ErrorMessage != nullptr)
            ErrorMessage(code, buffer.data());
        buffer.back() = '\0';
        const std::string text = buffer.data();
        return "Error " + std::to_string(code) + " in " + BaseName +
               (text.empty() ? std::string() : ": " + text);
    }
};

bool TModuleHost::IsEnvironmentRoot(TModule& module, int rootIndex) {
    if (module.BaseName != "SysFacts")
        return false;
    sources::RootInfoRecord record{};
    return module.EnumRootInfos(&record, rootIndex, 0) == 1 &&
           support::AnsiSameText(Text(record.Key), "ENVIRONMENT");
}

TModuleHost::TModuleHost(std::string sharedFolder) : SharedFolder_(std::move(sharedFolder)) {
    if (!SharedFolder_.empty() && SharedFolder_.back() != '/')
        SharedFolder_ += '/';
}

TModuleHost::~TModuleHost() {
    for (auto& module : Modules_) {
        if (module && module->Destroy != nullptr)
            module->Destroy();
    }
}

TModuleHost::TModule* TModuleHost::Find(int number) {
    if (number < 0 || static_cast<size_t>(number) >= Modules_.size())
        return nullptr;
    return Modules_[static_cast<size_t>(number)].get();
}

std::optional<int> TModuleHost::Initialize(std::string_view fileName, std::string& error) {
    // Only the two information modules, by their names: a caller must not make the agent load
    // a library of its choice.
    std::string baseName;
    for (const char* known : {"DevSurvey", "SysFacts"}) {
        const std::string dll = std::string(known) + ".dll";
        const std::string so = std::string(known) + ".so";
        if (support::AnsiSameText(fileName, dll) || support::AnsiSameText(fileName, so) ||
            support::AnsiSameText(fileName, known))
            baseName = known;
    }
    const bool sysFacts = baseName == "SysFacts";
    if (baseName.empty()) {
        error = "Unknown module '" + std::string(fileName.substr(0, 100)) + "'";
        return std::nullopt;
    }
    for (size_t i = 0; i < Modules_.size(); ++i) {
        if (Modules_[i] && Modules_[i]->BaseName == baseName) {
            ++Modules_[i]->Users;
            return static_cast<int>(i);
        }
    }
    auto module = std::make_unique<TModule>();
    module->BaseName = baseName;
    module->Path = platform::Platform().FindFileNoCase(SharedFolder_, baseName + ".so");
    if (module->Path.empty() || !module->Library.Load(module->Path)) {
        error = sysFacts ? "Please retry!"
                         : "Cannot load library '" + SharedFolder_ + baseName + ".so'";
        return std::nullopt;
    }
    const auto initialize = module->Library.Entry<sources::TInitializeDLL>("InitializeDLL");
    module->EnumRootInfos = module->Library.Entry<sources::TEnumRootInfos>("EnumRootInfos");
    module->EnumSubInfos = module->Library.Entry<sources::TEnumSubInfos>("EnumSubInfos");
    module->ErrorMessage = module->Library.Entry<sources::TGetDLLErrorMsg>("GetDLLErrorMsg");
    module->Destroy = module->Library.Entry<sources::TDestroyDLL>("DestroyDLL");
    if (!initialize || !module->EnumRootInfos || !module->EnumSubInfos) {
        error = sysFacts ? "Please retry!" : module->Path + " is not an information module";
        return std::nullopt;
    }
    const int32_t result = initialize();
    if (static_cast<uint32_t>(result) > 10) {
        error = sysFacts ? "Please retry!" : module->ErrorText(result);
        return std::nullopt;
    }
    module->Users = 1;
    Modules_.push_back(std::move(module));
    return static_cast<int>(Modules_.size() - 1);
}

std::string TModuleHost::RootInfoLine(int number, int index, bool debug) {
    TModule* module = Find(number);
    if (module == nullptr)
        return "Module " + std::to_string(number) + " is not initialised";
    sources::RootInfoRecord record{};
    const int32_t result = module->EnumRootInfos(&record, index, debug ? 1 : 0);
    if (result > 10)
        return module->ErrorText(result);
    if (result != 1)
        return AnswerLine({"0", "0", "", "", std::to_string(result)});
    return AnswerLine({std::to_string(record.ImageCode), std::to_string(record.Kind),
                       Text(record.Name), Text(record.Key), "1"});
}

std::string TModuleHost::SubInfoLine(int number, int rootIndex, int index) {
    TModule* module = Find(number);
    if (module == nullptr)
        return "Module " + std::to_string(number) + " is not initialised";
    // The environment entry describes the program that reads it. In the agent that is the
    // agent's own environment, which may hold the service's secrets: it is not served.
    if (IsEnvironmentRoot(*module, rootIndex)) {
        if (index != 0)
            return AnswerLine({"0", "0", "", "0", ""});
        return AnswerLine({std::to_string(kEnvironmentNoteLevel), "16",
                           "Not available through the agent", "1", "0"});
    }
    sources::SubInfoRecord record{};
    const int32_t result = module->EnumSubInfos(&record, rootIndex, index);
    if (result > 10)
        return module->ErrorText(result);
    if (result != 1)
        return AnswerLine({"0", "0", "", std::to_string(result), ""});
    return AnswerLine({std::to_string(record.Level), std::to_string(record.ImageCode),
                       Text(record.Text), "1", std::to_string(record.Flags)});
}

std::string TModuleHost::Destroy(int number) {
    TModule* module = Find(number);
    if (module == nullptr)
        return "Module " + std::to_string(number) + " is not initialised";
    // One use given back. The module stays initialised while the agent runs: uses are not tied
    // to the viewer that took them, so one viewer's DESTROYDLL must never pull the module from
    // under the others. The agent shuts its modules down when it stops.
    if (module->Users > 0)
        --module->Users;
    return "OK";
}

std::string TModuleHost::OsVersionText() {
    const std::string path = platform::Platform().FindFileNoCase(SharedFolder_, "SysFacts.so");
    sources::TLibrary library(path);
    const auto version = library.Entry<sources::TGetOSVersionString>("GetOSVersionString");
    if (!version)
        return {};
    std::array<char, 261> buffer{};
    version(buffer.data());
    buffer.back() = '\0';
    return buffer.data();
}

std::string TModuleHost::SystemName() {
    const std::string path = platform::Platform().FindFileNoCase(SharedFolder_, "DevSurvey.so");
    sources::TLibrary library(path);
    const auto scan = library.Entry<sources::TDevScanDMI>("fnDevScanDMI");
    if (!scan)
        return {};
    sources::DmiRecord record{};
    scan(&record);
    return sources::DmiTextsFromRecord(record).SystemName;
}

std::vector<std::pair<std::string, std::string>> TModuleHost::ModuleVersions() const {
    std::vector<std::pair<std::string, std::string>> versions;
    for (const char* file : {"DevSurvey.so", "SysFacts.so"}) {
        const std::string path = platform::Platform().FindFileNoCase(SharedFolder_, file);
        if (path.empty())
            continue;
        std::map<std::string, std::string> values;
        platform::Platform().ReadVersionSection(path, values);
        versions.emplace_back(file, values["FileVersion"]);
    }
    return versions;
}

} // namespace ostero::vigant
