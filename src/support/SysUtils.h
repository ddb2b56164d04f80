#pragma once
// Small system services shared by the whole program: bit sets, separated fields of setting
// values, the keyless text scrambling, paths and folders, the file locator, directory tests,
// names, file versions, rights and the operating-system text.
//
// Paths are UTF-8 (as the file system stores them). None of these report errors: failures give
// empty texts or false.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace ostero::support {

// --- Bit sets addressed by numbers 1 to 32 (number n is the mask 1 << (n - 1)).
bool BitIsSet(uint32_t set, unsigned bit);
// Sets the bit; false (set unchanged) for 0 or a number above 32.
bool SetBit(uint32_t& set, unsigned bit);

// Field `index` (1-based) of a semicolon-separated record; fields end at ';', CR, LF or the end;
// a field in double quotes runs over separators. Empty when absent.
std::string GetSeparatedField(std::string_view record, unsigned index);

// The keyless character shift used for report texts, stored passwords and the agent's
// authentication command. Characters outside 32..126 pass unchanged; the length stays.
std::string ScrambleText(std::string_view text);
std::string UnscrambleText(std::string_view text);

// The platform's path separator.
constexpr char kPathSeparator = '/';
// Appends the separator unless the path is empty or already ends with one.
void AddTrailingBackslash(std::string& path);

// --- Files and folders.
// A name without a separator: the current folder, the program's folder, then the folders of
// PATH; a name with a separator: itself when it exists. The first existing file, else empty.
std::string LocateFile(const std::string& name);
bool DirectoryPresent(const std::string& path);
// True when the file "TestFile.tmp" could be created (and is removed again) in the directory.
bool IsDirectoryWritable(const std::string& path);
// True when the directory is, or became, reachable. A path on a network file system is given
// about 1.6 s (with pending messages processed) to come back. `onNetwork` tells whether it
// lay on a network file system.
bool WaitForNetworkDirectory(const std::string& path, bool* onNetwork = nullptr);

// The UI installs its event processing here; the waits above call it between steps.
void SetProcessMessagesHandler(std::function<void()> handler);
void ProcessMessages();

// --- Names, versions, rights.
std::string GetLocalComputerName();
std::string GetSpecialFolder(int folderNumber);
std::string SystemErrorText(int code);

struct TFileVersionDetails {
    std::string Version; // four numbers joined by dots
    std::string FileDescription;
    std::string CompanyName;
    std::string LegalCopyright;
    std::string ProductName;
    std::string InternalName;
};
std::string GetFileVersionText(const std::string& file);
bool GetFileVersionDetails(const std::string& file, TFileVersionDetails& details);

bool HasAdministratorRights();
bool IsWow64();

// The operating-system text: from GetOSVersionString of the operating-system module
// ("Shared/SysFacts.so" beside the program folder, else by name), else BuildOsVersionText.
std::string GetOsVersionText();
// The same with the "Shared" folder given (with its trailing separator; empty: by name only).
std::string GetOsVersionText(const std::string& sharedFolder);
std::string BuildOsVersionText();

// The folder of the program's own file, with a trailing separator.
std::string ProgramFolder();
// The "Shared" folder beside the program folder (in its parent), with a trailing separator.
std::string SharedFolder();

} // namespace ostero::support
