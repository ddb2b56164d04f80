#pragma once
// What both information modules share: reading the machine below a root folder with bounded
// sizes, the list of sub entries a root entry produces, and the exported functions around a
// table of root entries. Texts are collected as UTF-8 and leave the module as Windows-1252.

#include "sources/InfoModule.h"

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ostero::modules {

using sources::RootInfoRecord;
using sources::SubInfoRecord;

// Node flags of the report model.
inline constexpr int32_t nfHighlight = 1;
inline constexpr int32_t nfAlert = 2;
inline constexpr int32_t nfVolatile = 4;
inline constexpr int32_t nfPrivate = 8;
inline constexpr int32_t nfLink = 16;

// The property type of ordinary lines (plain in the view) and of bold ones.
inline constexpr uint16_t kPlainLine = 20;
inline constexpr uint16_t kBoldLine = 10;

// Error codes of the modules (above 10, as the loader expects).
inline constexpr int32_t kErrorUnknownRoot = 11;
inline constexpr int32_t kErrorNotInitialised = 12;
inline constexpr int32_t kErrorInternal = 13;

// --- The machine, below OSTERO_SYSROOT (default "/").
std::string SysRoot();
// True when the modules read the running machine itself (root folder "/"): only then do
// calls that cannot be pointed at a folder (statvfs, getifaddrs, uname) describe it.
bool ReadingLiveSystem();
// The path below the root folder; `path` begins with "/".
std::string SysPath(std::string_view path);

struct TReadResult {
    std::optional<std::string> Text;
    bool Denied = false; // the file exists but this user may not read it
};
// At most `maxBytes` of the file (below the root folder).
TReadResult ReadSysFile(std::string_view path, size_t maxBytes = 1 << 20);
// The file's text, empty on any failure.
std::string ReadText(std::string_view path, size_t maxBytes = 1 << 20);
// The first line without trailing blanks (sysfs attributes).
std::string ReadValue(std::string_view path);
// Names in the folder (below the root folder), sorted naturally ("cpu2" before "cpu10").
std::vector<std::string> ListFolder(std::string_view path);
bool PathExists(std::string_view path);
// Last part of a symbolic link's target (a driver's name), empty when none.
std::string LinkName(std::string_view path);

std::string Trim(std::string_view text);
// "1.5 GiB" style, from bytes.
std::string FormatBytes(uint64_t bytes);
bool StartsWith(std::string_view text, std::string_view prefix);
// Text lines of a file's content.
std::vector<std::string> SplitLines(std::string_view text);

// --- The sub entries of one root entry.
class TSubList {
public:
    // A group at module level 0..8.
    void Group(uint16_t level, uint16_t image, std::string_view text);
    // A property line "name=value".
    void Property(std::string_view name, std::string_view value, uint16_t image = 0,
                  int32_t flags = 0, uint16_t type = kPlainLine);
    // A line without value.
    void Note(std::string_view text, uint16_t image = 16, int32_t flags = 0,
              uint16_t type = kPlainLine);
    const std::vector<SubInfoRecord>& Records() const { return Records_; }

private:
    void Add(uint16_t level, uint16_t image, const std::string& text, int32_t flags);
    std::vector<SubInfoRecord> Records_;
};

using TFillFunction = void (*)(TSubList& list);

struct TRootDefinition {
    uint16_t ImageCode;
    uint16_t Kind; // 2 = live entry; +256 = show sorted
    const char* Name;
    const char* Key;
    TFillFunction Fill;
};

// The exports' behaviour over a table of root entries. The sub entries of a root entry are
// gathered when its sub index 0 is asked, so each enumeration reads the machine afresh.
class TInfoModule {
public:
    explicit TInfoModule(std::vector<TRootDefinition> roots) : Roots_(std::move(roots)) {}
    int32_t Initialize();
    int32_t EnumRoot(RootInfoRecord* record, int32_t index, uint8_t debug);
    int32_t EnumSub(SubInfoRecord* record, int32_t rootIndex, int32_t subIndex);
    void ErrorMessage(int32_t code, char* buffer);
    int32_t Destroy();

private:
    std::mutex Lock_;
    std::vector<TRootDefinition> Roots_;
    bool Initialised_ = false;
    int32_t CachedRoot_ = -1;
    std::vector<SubInfoRecord> Cached_;
};

// Copies text into a fixed buffer of `size` bytes, always terminated.
void CopyText(char* buffer, size_t size, std::string_view text);

} // namespace ostero::modules

// The five exports of an information module over its TInfoModule.
#define OSTERO_MODULE_EXPORT extern "C" __attribute__((visibility("default")))
#define OSTERO_DEFINE_INFO_MODULE_EXPORTS(module)                                                  \
    OSTERO_MODULE_EXPORT int32_t InitializeDLL() {                                                 \
        return (module).Initialize();                                                              \
    }                                                                                              \
    OSTERO_MODULE_EXPORT int32_t EnumRootInfos(ostero::sources::RootInfoRecord* record,            \
                                               int32_t index, uint8_t debug) {                     \
        return (module).EnumRoot(record, index, debug);                                            \
    }                                                                                              \
    OSTERO_MODULE_EXPORT int32_t EnumSubInfos(ostero::sources::SubInfoRecord* record,              \
                                              int32_t rootIndex, int32_t subIndex) {               \
        return (module).EnumSub(record, rootIndex, subIndex);                                      \
    }                                                                                              \
    OSTERO_MODULE_EXPORT void GetDLLErrorMsg(int32_t code, char* buffer) {                         \
        (module).ErrorMessage(code, buffer);                                                       \
    }                                                                                              \
    OSTERO_MODULE_EXPORT int32_t DestroyDLL() {                                                    \
        return (module).Destroy();                                                                 \
    }
