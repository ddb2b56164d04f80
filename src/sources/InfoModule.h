#pragma once
// Loading and calling the two information modules (DevSurvey.so, SysFacts.so) inside the
// program: the records they fill, their exports, and the loader operations with their result
// conventions. Errors of a module reach the user through the message sink given to each call
// (null: nobody is told); nothing here throws.

#include "support/UserMessage.h"
#include "support/platform/Platform.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ostero::sources {

inline constexpr const char* kHardwareModuleName = "DevSurvey.so";
inline constexpr const char* kSystemModuleName = "SysFacts.so";

// Results of the exports: up to kModuleResultLimit means success (InitializeDLL) or "no further
// entry" (enumerations, except 1 = an entry); anything above is an error code of the module.
inline constexpr int32_t kModuleResultLimit = 10;
inline constexpr int32_t kModuleEntry = 1;
// At most this many root entries are taken from one module.
inline constexpr int kMaxRootEntries = 127;
// A module that keeps answering "an entry" must not hang the program: the sub enumeration of
// one root entry stops after this many records.
inline constexpr int kMaxSubEntries = 1000000;

#pragma pack(push, 1)
// Filled by EnumRootInfos. Texts are Windows-1252, zero-terminated.
struct RootInfoRecord {
    uint16_t ImageCode;
    uint16_t Kind; // 256 and above: kind = value - 256, sub entries shown sorted
    char Name[128];
    char Key[128];
};
// Filled by EnumSubInfos.
struct SubInfoRecord {
    uint16_t Level; // 0..8 group levels, 9 and above see ShiftModuleLevel
    uint16_t ImageCode;
    char Text[1024]; // "name=value" for a property line
    int32_t Flags;
};
#pragma pack(pop)

// Filled by fnDevScanDMI: consecutive zero-terminated text fields of kDmiFieldWidth bytes.
struct DmiRecord {
    char Data[892];
};
inline constexpr size_t kDmiFieldWidth = 66;
inline constexpr int kDmiFieldCount = static_cast<int>(sizeof(DmiRecord) / kDmiFieldWidth);
// The fields the program reads.
inline constexpr int kDmiSystemMaker = 5;
inline constexpr int kDmiSystemProduct = 6;
inline constexpr int kDmiSystemSerial = 8;
inline constexpr int kDmiBoardMaker = 9;
inline constexpr int kDmiBoardProduct = 10;

static_assert(sizeof(RootInfoRecord) == 260);
static_assert(offsetof(RootInfoRecord, Kind) == 2);
static_assert(offsetof(RootInfoRecord, Name) == 4);
static_assert(offsetof(RootInfoRecord, Key) == 132);
static_assert(sizeof(SubInfoRecord) == 1032);
static_assert(offsetof(SubInfoRecord, ImageCode) == 2);
static_assert(offsetof(SubInfoRecord, Text) == 4);
static_assert(offsetof(SubInfoRecord, Flags) == 1028);
static_assert(sizeof(DmiRecord) == 892);

// The exports (C names, the platform's ordinary calling convention).
extern "C" {
using TInitializeDLL = int32_t (*)();
using TEnumRootInfos = int32_t (*)(RootInfoRecord* record, int32_t index, uint8_t debug);
using TEnumSubInfos = int32_t (*)(SubInfoRecord* record, int32_t rootIndex, int32_t subIndex);
using TGetDLLErrorMsg = void (*)(int32_t code, char* buffer /* 256 characters */);
using TDestroyDLL = int32_t (*)();
using TDevScanDMI = void (*)(DmiRecord* record);
using TGetOSVersionString = void (*)(char* buffer /* 260 characters */);
}

using TModuleHandle = platform::TLibraryHandle;

// A sub record's values as copied out by ModuleSubInfo (level not yet shifted).
struct TSubInfoValues {
    uint16_t Level = 0;
    uint16_t ImageCode = 0;
    std::string Text;
    int32_t Flags = 0;
};

// A root entry as the session keeps it.
struct TModuleRootEntry {
    int32_t ImageCode = 0;
    uint16_t Kind = 0;
    bool Sorted = false;
    std::string Name;
    std::string Key;
};

// A sub entry ready for AddNode: the level already shifted.
struct TModuleSubEntry {
    int32_t LevelOrType = 0;
    int32_t ImageCode = 0;
    std::string Text;
    int32_t Flags = 0;
};

// The module's file: the "Shared" folder beside the program folder, else the program folder
// itself (names matched without regard to case). Never the working folder or PATH: a module
// runs with the program's rights. Empty when there is none, or when the program folder is not
// an absolute path. `programFolder` (tests) replaces the running program's folder.
std::string LocateInfoModule(const std::string& fileName, const std::string& programFolder = {});

// Loads the library and initialises it; null (after a message) when either fails.
TModuleHandle LoadInfoModule(const std::string& path, support::TMessageSink* sink);
// -1 for a null handle or an error (shown); else the export's result.
int32_t ModuleRootInfo(TModuleHandle handle, RootInfoRecord& record, int32_t index, uint8_t debug,
                       support::TMessageSink* sink);
// As ModuleRootInfo; with result 1 the record's values are copied into `values`.
int32_t ModuleSubInfo(TModuleHandle handle, int32_t rootIndex, int32_t subIndex,
                      TSubInfoValues& values, support::TMessageSink* sink);
std::string ModuleErrorText(TModuleHandle handle, int32_t code);
// 0 when nothing was loaded, -1 after an error of DestroyDLL, else its result. The library is
// freed and the handle set to null in every case.
int32_t UnloadInfoModule(TModuleHandle& handle, support::TMessageSink* sink);

// Kind and sort flag of a record's kind value.
void DecodeRootKind(uint16_t value, uint16_t& kind, bool& sorted);
// A module level below 10 becomes the group level one deeper (9 becomes the type code 10).
int32_t ShiftModuleLevel(int32_t level);

// The root entries (at most kMaxRootEntries indexes asked, empty names skipped).
std::vector<TModuleRootEntry> EnumModuleRoots(TModuleHandle handle, uint8_t debug,
                                              support::TMessageSink* sink);
// The sub entries of one root entry (empty texts skipped, levels shifted).
std::vector<TModuleSubEntry> EnumModuleSubs(TModuleHandle handle, int32_t rootIndex,
                                            support::TMessageSink* sink);

// The texts the program keeps from the DMI record.
struct TDmiTexts {
    std::string SystemName;
    std::string SerialNumber;
    std::string Mainboard;
};
// Field `index` (0-based) without leading and trailing blanks; a field without its zero stops at
// the field's end.
std::string DmiField(const DmiRecord& record, int index);
TDmiTexts DmiTextsFromRecord(const DmiRecord& record);
// Calls fnDevScanDMI; false (texts untouched) when the module lacks it.
bool ReadModuleDmi(TModuleHandle handle, TDmiTexts& texts);

} // namespace ostero::sources
