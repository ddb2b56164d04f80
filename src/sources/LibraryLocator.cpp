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

} // namespace

std::string LocateSharedLibrary(const std::string& fileName, const std::string& programFolder) {
    const std::string found =
        Platform().FindFileNoCase(SharedFolderForLibraries(programFolder), fileName);
    return found.empty() ? fileName : found;
}

bool SharedLibraryPresent(const std::string& fileName, const std::string& programFolder) {
    if (!Platform().FindFileNoCase(SharedFolderForLibraries(programFolder), fileName).empty())
        return true;
    const char* path = std::getenv("PATH");
    if (!path)
        return false;
    std::stringstream folders(path);
    std::string folder;
    while (std::getline(folders, folder, ':')) {
        if (!folder.empty() && !Platform().FindFileNoCase(folder, fileName).empty())
            return true;
    }
    return false;
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
