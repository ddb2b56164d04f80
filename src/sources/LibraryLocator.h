#pragma once
// Where the outside libraries are looked for, and a loaded library that frees itself.

#include "support/platform/Platform.h"

#include <string>

namespace ostero::sources {

// The file names of the outside libraries on this system.
inline constexpr const char* kDialogLibraryName = "tDialogs.so";
inline constexpr const char* kRemoteQueryLibraryName = "Tav_Rem.so";

// The "Shared" folder rule: the subfolder "Shared" of the program folder when that subfolder
// exists, else the "Shared" folder beside the program folder. Returns the full path of the
// file there (name matched without regard to case), else of the file in the first folder of
// PATH that has it, else the bare name for the system's search.
// `programFolder` (with a trailing separator) defaults to the running program's folder.
std::string LocateSharedLibrary(const std::string& fileName, const std::string& programFolder = {});
// True when the file is in the places above or in one of the folders of PATH.
bool SharedLibraryPresent(const std::string& fileName, const std::string& programFolder = {});
// The file in the program's own folder (name matched without regard to case), else empty.
std::string FindInProgramFolder(const std::string& fileName, const std::string& programFolder = {});

// A library loaded through the platform; freed when the object goes.
class TLibrary {
public:
    TLibrary() = default;
    explicit TLibrary(const std::string& path) { Load(path); }
    ~TLibrary() { Free(); }
    TLibrary(const TLibrary&) = delete;
    TLibrary& operator=(const TLibrary&) = delete;
    TLibrary(TLibrary&& other) noexcept : Handle_(other.Handle_) { other.Handle_ = nullptr; }
    TLibrary& operator=(TLibrary&& other) noexcept;

    bool Load(const std::string& path);
    void Free();
    bool Loaded() const { return Handle_ != nullptr; }
    // The entry point, or nullptr when the library lacks it.
    template <typename Fn> Fn Entry(const char* name) const {
        return Handle_ ? reinterpret_cast<Fn>(platform::Platform().GetProcAddress(Handle_, name))
                       : nullptr;
    }

private:
    platform::TLibraryHandle Handle_ = nullptr;
};

} // namespace ostero::sources
