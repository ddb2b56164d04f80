#include "ModuleHost.h"

#include "AgentCommands.h"
#include "sources/LibraryLocator.h"
#include "support/TextCodec.h"
#include "support/platform/Platform.h"

#include <array>
#include <cstring>
#include <map>

namespace ostero::vigant {

namespace {

// The exports of an information module.
using TInitializeFn = int32_t (*)();
using TEnumRootInfosFn = int32_t (*)(void* record, int32_t index, uint8_t debug);
using TEnumSubInfosFn = int32_t (*)(void* record, int32_t rootIndex, int32_t index);
using TErrorMessageFn = void (*)(int32_t code, char* buffer);
using TDestroyFn = int32_t (*)();
using TScanDmiFn = void (*)(void* record);
using TOsVersionFn = void (*)(char* buffer);

constexpr size_t kRootRecordSize = 260;
constexpr size_t kSubRecordSize = 1032;
constexpr size_t kDmiRecordSize = 892;
constexpr size_t kDmiFieldSize = 66;

uint32_t U16(const unsigned char* at) {
    return at[0] | (static_cast<uint32_t>(at[1]) << 8);
}

std::string Text(const unsigned char* at, size_t capacity) {
    const char* text = reinterpret_cast<const char*>(at);
    return std::string(text, strnlen(text, capacity));
}

std::string Trim(std::string text) {
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

} // namespace

struct TModuleHost::TModule {
    std::string BaseName; // "DevSurvey" or "SysFacts"
    std::string Path;
    sources::TLibrary Library;
    int Users = 0;
    TEnumRootInfosFn EnumRootInfos = nullptr;
    TEnumSubInfosFn EnumSubInfos = nullptr;
    TErrorMessageFn ErrorMessage = nullptr;
    TDestroyFn Destroy = nullptr;

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

TModuleHost::TModuleHost(std::string sharedFolder) : SharedFolder_(std::move(sharedFolder)) {
    if (!SharedFolder_.empty() && SharedFolder_.back() != '/')
        SharedFolder_ += '/';
}

TModuleHost::~TModuleHost() {
    for (auto& module : Modules_) {
        if (module && module->Users > 0 && module->Destroy != nullptr)
            module->Destroy();
    }
}

TModuleHost::TModule* TModuleHost::Find(int number) {
    if (number < 0 || static_cast<size_t>(number) >= Modules_.size())
        return nullptr;
    TModule* module = Modules_[static_cast<size_t>(number)].get();
    return module != nullptr && module->Users > 0 ? module : nullptr;
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
        if (Modules_[i] && Modules_[i]->BaseName == baseName && Modules_[i]->Users > 0) {
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
    const auto initialize = module->Library.Entry<TInitializeFn>("InitializeDLL");
    module->EnumRootInfos = module->Library.Entry<TEnumRootInfosFn>("EnumRootInfos");
    module->EnumSubInfos = module->Library.Entry<TEnumSubInfosFn>("EnumSubInfos");
    module->ErrorMessage = module->Library.Entry<TErrorMessageFn>("GetDLLErrorMsg");
    module->Destroy = module->Library.Entry<TDestroyFn>("DestroyDLL");
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
    // Reuse the slot of a module that was shut down, so numbers stay small.
    for (size_t i = 0; i < Modules_.size(); ++i) {
        if (!Modules_[i] || Modules_[i]->Users == 0) {
            Modules_[i] = std::move(module);
            return static_cast<int>(i);
        }
    }
    Modules_.push_back(std::move(module));
    return static_cast<int>(Modules_.size() - 1);
}

std::string TModuleHost::RootInfoLine(int number, int index, bool debug) {
    TModule* module = Find(number);
    if (module == nullptr)
        return "Module " + std::to_string(number) + " is not initialised";
    std::array<unsigned char, kRootRecordSize> record{};
    const int32_t result = module->EnumRootInfos(record.data(), index, debug ? 1 : 0);
    if (result > 10)
        return module->ErrorText(result);
    if (result != 1)
        return AnswerLine({"0", "0", "", "", std::to_string(result)});
    return AnswerLine({std::to_string(U16(&record[0])), std::to_string(U16(&record[2])),
                       Text(&record[4], 128), Text(&record[132], 128), "1"});
}

std::string TModuleHost::SubInfoLine(int number, int rootIndex, int index) {
    TModule* module = Find(number);
    if (module == nullptr)
        return "Module " + std::to_string(number) + " is not initialised";
    std::array<unsigned char, kSubRecordSize> record{};
    const int32_t result = module->EnumSubInfos(record.data(), rootIndex, index);
    if (result > 10)
        return module->ErrorText(result);
    if (result != 1)
        return AnswerLine({"0", "0", "", std::to_string(result), ""});
    int32_t flags;
    std::memcpy(&flags, &record[1028], sizeof flags);
    return AnswerLine({std::to_string(U16(&record[0])), std::to_string(U16(&record[2])),
                       Text(&record[4], 1024), "1", std::to_string(flags)});
}

std::string TModuleHost::Destroy(int number) {
    TModule* module = Find(number);
    if (module == nullptr)
        return "Module " + std::to_string(number) + " is not initialised";
    if (--module->Users > 0)
        return "OK";
    const int32_t result = module->Destroy ? module->Destroy() : 0;
    const std::string answer = result > 10 ? module->ErrorText(result) : "OK";
    Modules_[static_cast<size_t>(number)].reset();
    return answer;
}

std::string TModuleHost::OsVersionText() {
    const std::string path = platform::Platform().FindFileNoCase(SharedFolder_, "SysFacts.so");
    sources::TLibrary library(path);
    const auto version = library.Entry<TOsVersionFn>("GetOSVersionString");
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
    const auto scan = library.Entry<TScanDmiFn>("fnDevScanDMI");
    if (!scan)
        return {};
    std::array<unsigned char, kDmiRecordSize> record{};
    scan(record.data());
    const auto field = [&record](size_t index) {
        return Trim(Text(&record[index * kDmiFieldSize], kDmiFieldSize));
    };
    const std::string maker = field(5), product = field(6);
    if (product.size() < 2)
        return maker;
    return Trim(maker + " " + product);
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
