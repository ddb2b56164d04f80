#pragma once
// The operating-system services the program needs, as one interface. Callers never use POSIX or
// Qt for these services directly; the Linux implementation lives in linux/, chosen in CMake.
//
// Strings are UTF-8 (file-system paths as the system stores them, registry texts as the
// registry file stores them). Failures give empty results or false, never exceptions.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace ostero::platform {

// Error numbers the callers hand on as operation results when a library or entry is missing.
constexpr int kErrorModNotFound = 126;  // library file could not be loaded
constexpr int kErrorProcNotFound = 127; // entry point missing in a loaded library

// Shell folder numbers the program asks for.
constexpr int kFolderPersonal = 5;       // the user's documents folder
constexpr int kFolderCommonAppData = 35; // application data shared by all users

enum class TRegistryHive {
    CurrentUser,  // $XDG_CONFIG_HOME/Taveric/registry.reg
    LocalMachine, // /etc/Taveric/registry.reg
};

enum class TServiceState {
    NotInstalled, // no such service on this system
    Stopped,
    StartPending,
    Running,
    StopPending,
    Unknown, // the service manager could not be asked
};

using TLibraryHandle = void*;

class TPlatform {
public:
    virtual ~TPlatform() = default;

    // --- Registry (settings store in .reg syntax; key paths like "Software\Taveric\Ostero",
    //     compared without regard to case). Each call sees what other processes wrote before it.
    virtual bool RegKeyExists(TRegistryHive hive, const std::string& key) = 0;
    // The value as text: strings as stored, dwords as decimal text. Empty optional when absent.
    virtual std::optional<std::string> RegReadString(TRegistryHive hive, const std::string& key,
                                                     const std::string& name) = 0;
    virtual std::vector<std::string> RegValueNames(TRegistryHive hive, const std::string& key) = 0;
    virtual std::vector<std::string> RegSubKeyNames(TRegistryHive hive, const std::string& key) = 0;
    // Writes create missing keys; each write replaces the file atomically under a lock.
    virtual bool RegCreateKey(TRegistryHive hive, const std::string& key) = 0;
    virtual bool RegWriteString(TRegistryHive hive, const std::string& key, const std::string& name,
                                const std::string& value) = 0;
    virtual bool RegWriteDword(TRegistryHive hive, const std::string& key, const std::string& name,
                               uint32_t value) = 0;
    virtual bool RegDeleteValue(TRegistryHive hive, const std::string& key,
                                const std::string& name) = 0;
    // Removes the key with all its sub keys; false when it did not exist.
    virtual bool RegDeleteKey(TRegistryHive hive, const std::string& key) = 0;

    // --- Dynamic libraries.
    // `path` is a full path or a bare file name (then the system's search order applies).
    // Returns nullptr on failure; LastLibraryError() then tells kErrorModNotFound.
    virtual TLibraryHandle LoadLibrary(const std::string& path) = 0;
    // nullptr when missing; LastLibraryError() then tells kErrorProcNotFound.
    virtual void* GetProcAddress(TLibraryHandle library, const char* name) = 0;
    virtual void FreeLibrary(TLibraryHandle library) = 0;
    virtual int LastLibraryError() = 0;
    // The system's own description of the last load failure (for diagnostics).
    virtual std::string LastLibraryErrorDetail() = 0;
    // The full path of the file in `folder` whose name equals `name` without regard to case
    // (an exact match wins); empty when there is none.
    virtual std::string FindFileNoCase(const std::string& folder, const std::string& name) = 0;

    // --- Folders, names and rights.
    virtual std::string ProgramPath() = 0; // full path of the running program's file
    virtual std::string
    SpecialFolder(int folderNumber) = 0;    // kFolderPersonal, kFolderCommonAppData
    virtual std::string TempFolder() = 0;   // with a trailing separator
    virtual std::string ComputerName() = 0; // at most 15 characters
    virtual bool IsAdministrator() = 0;
    virtual bool IsWow64() = 0; // a 32-bit process on a 64-bit system
    virtual std::string SystemErrorText(int code) = 0;
    virtual std::string OsVersionFallbackText() = 0; // distribution, version, architecture, kernel
    // Opens a file, folder or web address with the user's default application.
    virtual bool ShellExecute(const std::string& target) = 0;
    // True when the path (existing or not) lies on a network file system.
    virtual bool IsNetworkPath(const std::string& path) = 0;

    // --- File version: the key=value texts of the file's version section; false without one.
    virtual bool ReadVersionSection(const std::string& path,
                                    std::map<std::string, std::string>& values) = 0;

    // --- Services (the agent "VIGANT" is the systemd unit vigant.service).
    virtual TServiceState ServiceState(const std::string& name) = 0;
    virtual bool StartService(const std::string& name) = 0;
};

// The platform of this system.
TPlatform& Platform();
// Tests replace the platform to provoke failures a real system cannot be made to show.
// Returns the previous one; nullptr restores the system's own.
TPlatform* SetPlatform(TPlatform* platform);

} // namespace ostero::platform
