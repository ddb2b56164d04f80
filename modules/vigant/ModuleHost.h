#pragma once
// The information modules the agent loads for its callers: one instance of each module, shared
// by every viewer, loaded by the first InitializeDLL and kept until the agent stops.

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ostero::vigant {

class TModuleHost {
public:
    explicit TModuleHost(std::string sharedFolder);
    ~TModuleHost();
    TModuleHost(const TModuleHost&) = delete;
    TModuleHost& operator=(const TModuleHost&) = delete;

    // Loads and initialises the module of that file name ("DevSurvey.dll", "SysFacts.dll";
    // only those two) and answers its number, or nothing with the reason in `error`.
    std::optional<int> Initialize(std::string_view fileName, std::string& error);
    // A root or sub entry as an answer line, or an error text when the module fails.
    std::string RootInfoLine(int module, int index, bool debug);
    std::string SubInfoLine(int module, int rootIndex, int index);
    // Gives one use of the module back; the module stays initialised until the agent stops.
    // Answers "OK", or an error for a number no module has.
    std::string Destroy(int module);

    // For the overview: the operating-system text and the system name from the DMI tables
    // (empty when the modules cannot tell), and the version of each module file.
    std::string OsVersionText();
    std::string SystemName();
    std::vector<std::pair<std::string, std::string>> ModuleVersions() const;

private:
    struct TModule;
    TModule* Find(int module);
    static bool IsEnvironmentRoot(TModule& module, int rootIndex);
    TModule* LoadUnused(const std::string& baseName, std::string& error);

    std::string SharedFolder_;
    std::vector<std::unique_ptr<TModule>> Modules_;
};

} // namespace ostero::vigant
