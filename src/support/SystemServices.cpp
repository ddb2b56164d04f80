// The parts of the system utilities that ask the operating system: files and folders, names,
// file versions, rights and the operating-system text.
#include "support/SysUtils.h"

#include "support/TextCodec.h"
#include "support/platform/Platform.h"

#include <array>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ostero::support {

using platform::Platform;

namespace {

// An existing file system entry that is not a folder (a folder of that name is no file).
bool FileExists(const std::string& path) {
    struct stat info {};
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

bool StatDirectory(const std::string& path) {
    struct stat info {};
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string CurrentFolder() {
    std::vector<char> buffer(4096);
    for (;;) {
        if (::getcwd(buffer.data(), buffer.size()))
            return buffer.data();
        if (errno != ERANGE || buffer.size() >= 65536)
            return {};
        buffer.resize(buffer.size() * 2);
    }
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind(kPathSeparator);
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

void Wait400Ms() {
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
}

} // namespace

// --- Files and folders.

std::string ProgramFolder() {
    return FolderOf(Platform().ProgramPath());
}

std::string SharedFolder() {
    std::string folder = ProgramFolder();
    if (folder.empty())
        return {};
    // Drop the trailing separator, then the program folder's own name; the root is its own
    // parent.
    folder.pop_back();
    std::string parent = FolderOf(folder);
    if (parent.empty())
        parent = "/";
    return parent + "Shared/";
}

std::string LocateFile(const std::string& name) {
    if (name.empty())
        return {};
    if (name.find(kPathSeparator) != std::string::npos)
        return FileExists(name) ? name : std::string();

    std::string folder = CurrentFolder();
    if (!folder.empty()) {
        AddTrailingBackslash(folder);
        if (FileExists(folder + name))
            return folder + name;
    }
    folder = ProgramFolder();
    if (!folder.empty() && FileExists(folder + name))
        return folder + name;

    // The name as passed, then the PATH folders. An empty PATH entry stands for the current
    // folder, which was tried first already.
    if (FileExists(name))
        return name;
    const char* path = std::getenv("PATH");
    if (!path)
        return {};
    const std::string_view entries(path);
    size_t start = 0;
    while (start <= entries.size()) {
        size_t end = entries.find(':', start);
        if (end == std::string_view::npos)
            end = entries.size();
        std::string entry(entries.substr(start, end - start));
        start = end + 1;
        if (entry.empty())
            continue;
        AddTrailingBackslash(entry);
        if (FileExists(entry + name))
            return entry + name;
    }
    return {};
}

bool DirectoryPresent(const std::string& path) {
    if (StatDirectory(path))
        return true;
    // A dropped network connection may come back while pending events are handled.
    ProcessMessages();
    return StatDirectory(path);
}

bool IsDirectoryWritable(const std::string& path) {
    if (path.empty())
        return false; // not the current folder
    std::string file = path;
    AddTrailingBackslash(file);
    file += "TestFile.tmp";
    // O_NOFOLLOW: a link planted under that name must not make us truncate its target.
    const int fd = ::open(file.c_str(), O_CREAT | O_TRUNC | O_RDWR | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return false;
    ::close(fd);
    ::unlink(file.c_str());
    return true;
}

bool WaitForNetworkDirectory(const std::string& path, bool* onNetwork) {
    if (onNetwork)
        *onNetwork = false;
    if (path.empty() || DirectoryPresent(path))
        return true;
    // Only a network file system can come back by waiting; a local path is missing for good.
    if (!Platform().IsNetworkPath(path))
        return false;
    if (onNetwork)
        *onNetwork = true;

    ProcessMessages();
    Wait400Ms();
    ProcessMessages();
    Wait400Ms();
    ProcessMessages();
    if (DirectoryPresent(path))
        return true;

    // Touching the folder revives a dropped connection.
    IsDirectoryWritable(path);
    Wait400Ms();
    ProcessMessages();
    Wait400Ms();
    ProcessMessages();
    return DirectoryPresent(path);
}

// --- Names, versions, rights.

std::string GetLocalComputerName() {
    return Platform().ComputerName();
}

std::string GetSpecialFolder(int folderNumber) {
    return Platform().SpecialFolder(folderNumber);
}

std::string SystemErrorText(int code) {
    return Utf8ToAnsi(Platform().SystemErrorText(code));
}

namespace {

// "1.2" -> "1.2.0.0": up to four dot-separated numbers of 0..65535 (the width a version part
// has); anything after the fourth is dropped. Empty when the text is no such version.
std::string NormaliseVersion(std::string_view text) {
    std::array<unsigned, 4> parts{};
    size_t count = 0;
    size_t pos = 0;
    while (count < parts.size()) {
        while (pos < text.size() && text[pos] == ' ')
            ++pos;
        size_t digits = 0;
        unsigned value = 0;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
            value = value * 10 + static_cast<unsigned>(text[pos] - '0');
            ++pos;
            ++digits;
            if (value > 65535)
                return {};
        }
        if (digits == 0)
            return {};
        while (pos < text.size() && text[pos] == ' ')
            ++pos;
        parts[count++] = value;
        if (pos >= text.size())
            break;
        if (text[pos] != '.')
            return {};
        ++pos;
    }
    return std::to_string(parts[0]) + "." + std::to_string(parts[1]) + "." +
           std::to_string(parts[2]) + "." + std::to_string(parts[3]);
}

std::string ValueOf(const std::map<std::string, std::string>& values, const char* key) {
    const auto it = values.find(key);
    return it == values.end() ? std::string() : Utf8ToAnsi(it->second);
}

} // namespace

std::string GetFileVersionText(const std::string& file) {
    std::map<std::string, std::string> values;
    if (!Platform().ReadVersionSection(file, values))
        return {};
    const auto it = values.find("FileVersion");
    return it == values.end() ? std::string() : NormaliseVersion(it->second);
}

bool GetFileVersionDetails(const std::string& file, TFileVersionDetails& details) {
    details = {};
    std::map<std::string, std::string> values;
    if (!Platform().ReadVersionSection(file, values))
        return false;
    if (const auto it = values.find("FileVersion"); it != values.end())
        details.Version = NormaliseVersion(it->second);
    details.FileDescription = ValueOf(values, "FileDescription");
    details.CompanyName = ValueOf(values, "CompanyName");
    details.LegalCopyright = ValueOf(values, "LegalCopyright");
    details.ProductName = ValueOf(values, "ProductName");
    details.InternalName = ValueOf(values, "InternalName");
    return true;
}

bool HasAdministratorRights() {
    return Platform().IsAdministrator();
}

bool IsWow64() {
    return Platform().IsWow64();
}

// --- The operating-system text.

namespace {

constexpr const char* kOsModuleName = "SysFacts.so";
constexpr size_t kOsTextBuffer = 260;
// Room behind the buffer, so that a module writing a little past its 260 characters damages
// nothing of ours.
constexpr size_t kOsTextSlack = 64;

using TGetOsVersionString = void (*)(char* buffer);

} // namespace

std::string BuildOsVersionText() {
    return Utf8ToAnsi(Platform().OsVersionFallbackText());
}

std::string GetOsVersionText(const std::string& sharedFolder) {
    auto& system = Platform();
    std::string module;
    if (!sharedFolder.empty())
        module = system.FindFileNoCase(sharedFolder, kOsModuleName);
    if (module.empty())
        module = kOsModuleName; // the system's search order

    std::string text;
    if (platform::TLibraryHandle library = system.LoadLibrary(module)) {
        if (auto entry = reinterpret_cast<TGetOsVersionString>(
                system.GetProcAddress(library, "GetOSVersionString"))) {
            std::array<char, kOsTextBuffer + kOsTextSlack> buffer{};
            entry(buffer.data());
            // The module's text is Windows-1252 already; cut it at 259 characters in case it
            // forgot the terminator.
            text.assign(buffer.data(), ::strnlen(buffer.data(), kOsTextBuffer - 1));
        }
        system.FreeLibrary(library);
    }
    return text.empty() ? BuildOsVersionText() : text;
}

std::string GetOsVersionText() {
    return GetOsVersionText(SharedFolder());
}

} // namespace ostero::support
