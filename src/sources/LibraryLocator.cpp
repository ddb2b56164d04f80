#include "sources/LibraryLocator.h"

#include "support/SysUtils.h"

#include <cstdlib>
#include <sstream>

namespace ostero::sources {

using platform::Platform;

namespace {

std::string ProgramFolderOr(const std::string& programFolder) {
    std::string folder = programFolder.empty() ? support::ProgramFolder() : programFolder;
    support::AddTrailingBackslash(folder);
    return folder;
}

std::string SharedFolderForLibraries(const std::string& programFolder) {
    const std::string folder = ProgramFolderOr(programFolder);
    if (support::DirectoryPresent(folder + "Shared"))
        return folder + "Shared/";
    // The "Shared" folder beside the program folder, in its parent.
    const std::string withoutSeparator = folder.substr(0, folder.size() - 1);
    const size_t slash = withoutSeparator.rfind('/');
    const std::string parent =
        slash == std::string::npos ? "" : withoutSeparator.substr(0, slash + 1);
    return parent + "Shared/";
}

// The file in the first folder of PATH that has it; empty when none does. The system's own
// search for a bare library name does not look there, so the full path is handed on.
std::string FindOnPath(const std::string& fileName) {
    const char* path = std::getenv("PATH");
    if (!path)
        return {};
    std::stringstream folders(path);
    std::string folder;
    while (std::getline(folders, folder, ':')) {
        if (folder.empty())
            continue;
        std::string found = Platform().FindFileNoCase(folder, fileName);
        if (!found.empty())
            return found;
    }
    return {};
}

} // namespace

std::string LocateSharedLibrary(const std::string& fileName, const std::string& programFolder) {
    std::string found =
        Platform().FindFileNoCase(SharedFolderForLibraries(programFolder), fileName);
    if (found.empty())
        found = FindOnPath(fileName);
    return found.empty() ? fileName : found;
}

bool SharedLibraryPresent(const std::string& fileName, const std::string& programFolder) {
    return !Platform().FindFileNoCase(SharedFolderForLibraries(programFolder), fileName).empty() ||
           !FindOnPath(fileName).empty();
}

std::string FindInProgramFolder(const std::string& fileName, const std::string& programFolder) {
    return Platform().FindFileNoCase(ProgramFolderOr(programFolder), fileName);
}

TLibrary& TLibrary::operator=(TLibrary&& other) noexcept {
    if (this != &other) {
        Free();
        Handle_ = other.Handle_;
        other.Handle_ = nullptr;
    }
    return *this;
}

bool TLibrary::Load(const std::string& path) {
    Free();
    Handle_ = Platform().LoadLibrary(path);
    return Handle_ != nullptr;
}

void TLibrary::Free() {
    if (Handle_) {
        Platform().FreeLibrary(Handle_);
        Handle_ = nullptr;
    }
}

} // namespace ostero::sources
