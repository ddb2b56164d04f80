#pragma once
// The Linux platform, and the parts of it that tests drive directly: the registry files, the
// mount table, systemd's answers, os-release and child processes with a time-out.

#include "support/platform/Platform.h"
#include "support/platform/RegistryFile.h"

#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace ostero::platform {

// The folder of a file path ("." for a bare name, "/" for a file in the root).
std::string FolderOf(const std::string& path);

class TPlatformLinux final : public TPlatform {
public:
    bool RegKeyExists(TRegistryHive hive, const std::string& key) override;
    std::optional<std::string> RegReadString(TRegistryHive hive, const std::string& key,
                                             const std::string& name) override;
    std::vector<std::string> RegValueNames(TRegistryHive hive, const std::string& key) override;
    std::vector<std::string> RegSubKeyNames(TRegistryHive hive, const std::string& key) override;
    bool RegCreateKey(TRegistryHive hive, const std::string& key) override;
    bool RegWriteString(TRegistryHive hive, const std::string& key, const std::string& name,
                        const std::string& value) override;
    bool RegWriteDword(TRegistryHive hive, const std::string& key, const std::string& name,
                       uint32_t value) override;
    bool RegDeleteValue(TRegistryHive hive, const std::string& key,
                        const std::string& name) override;
    bool RegDeleteKey(TRegistryHive hive, const std::string& key) override;

    TLibraryHandle LoadLibrary(const std::string& path) override;
    void* GetProcAddress(TLibraryHandle library, const char* name) override;
    void FreeLibrary(TLibraryHandle library) override;
    int LastLibraryError() override;
    std::string LastLibraryErrorDetail() override;
    std::string FindFileNoCase(const std::string& folder, const std::string& name) override;

    std::string ProgramPath() override;
    std::string SpecialFolder(int folderNumber) override;
    std::string TempFolder() override;
    std::string ComputerName() override;
    bool IsAdministrator() override;
    bool IsWow64() override;
    std::string SystemErrorText(int code) override;
    std::string OsVersionFallbackText() override;
    bool ShellExecute(const std::string& target) override;
    bool IsNetworkPath(const std::string& path) override;

    bool ReadVersionSection(const std::string& path,
                            std::map<std::string, std::string>& values) override;

    TServiceState ServiceState(const std::string& name) override;
    bool StartService(const std::string& name) override;
};

// The instance Platform() answers unless a test replaced it.
TPlatform& SystemPlatform();

// --- Registry files.
// The hive's file: $XDG_CONFIG_HOME/Taveric/registry.reg (default $HOME/.config), and for the
// local machine $TAVERIC_LOCAL_MACHINE_REGISTRY when set, else /etc/Taveric/registry.reg.
std::string RegistryFilePath(TRegistryHive hive);
// "HKEY_CURRENT_USER" or "HKEY_LOCAL_MACHINE".
std::string_view RegistryRootName(TRegistryHive hive);

// Reads the file fresh, without a lock: writers replace it whole, so a reader always sees one
// complete version. A missing file is an empty registry.
TRegistryParseResult ReadRegistryFile(const std::string& path, TRegistryFile& registry);

enum class TRegistryChange {
    Failed,    // nothing written, the call fails
    Unchanged, // nothing to write, the call succeeds
    Changed,   // write the file
};
// Under an exclusive lock on "<path>.lock": reads the current file, applies `change`, writes a
// temporary file in the same folder, syncs it and renames it over the file. Creates the folder
// when missing; a new file gets `newFileMode`, a rewritten one keeps its mode. True when the
// change was applied (or needed no write). On any failure the old file stays as it was;
// `error` then tells why (empty when the change itself declined). A file that is not a
// registry file, or is too large, is never overwritten.
bool UpdateRegistryFile(const std::string& path,
                        const std::function<TRegistryChange(TRegistryFile&)>& change,
                        unsigned newFileMode = 0600, std::string* error = nullptr);

// --- Folders.
// $HOME, else the home folder of the user database.
std::string HomeFolder();
// $XDG_CONFIG_HOME when it is an absolute path, else $HOME/.config.
std::string XdgConfigHome();
// $XDG_DATA_HOME when it is an absolute path, else $HOME/.local/share.
std::string XdgDataHome();

// --- Mount table (/proc/self/mounts).
struct TMountEntry {
    std::string MountPoint; // octal escapes (\040 for a blank) decoded
    std::string Type;
};
std::vector<TMountEntry> ParseMountTable(std::string_view text);
// The type of the mount holding the absolute, normalised `path`: the longest mount point that
// is the path or one of its parent folders. Empty when none is.
std::string MountTypeOfPath(const std::vector<TMountEntry>& mounts, std::string_view path);
bool IsNetworkFileSystemType(std::string_view type);

// --- Services.
// The unit of a service name: "VIGANT" gives "vigant.service"; empty for names that cannot
// be units.
std::string ServiceUnitName(const std::string& name);
// The state from the output of `systemctl show -p LoadState -p ActiveState <unit>`.
TServiceState ParseSystemctlState(std::string_view output);

// --- Operating-system text.
// PRETTY_NAME, else NAME and VERSION, from the text of an os-release file; empty when absent.
std::string OsReleaseName(std::string_view text);

// --- Child processes.
struct TProcessResult {
    bool Started = false;  // the program could be run
    bool TimedOut = false; // it was killed at the time-out
    int ExitCode = -1;     // its exit code when it ended by itself
    std::string Output;    // what it wrote to standard output (at most 64 KiB)
};
// Runs `program` (a full path) with `args` (argv[1..]), no shell, standard input and error on
// /dev/null, and waits at most `timeout`.
TProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                          std::chrono::milliseconds timeout);
// The full path of an executable file `name` in the folders of PATH; empty when none.
std::string FindInPath(std::string_view name);

} // namespace ostero::platform
