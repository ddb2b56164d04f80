#include "sources/InfoModule.h"

#include "sources/LibraryLocator.h"
#include "support/SysUtils.h"

#include <cstring>

namespace ostero::sources {

using platform::Platform;

namespace {

template <typename Fn> Fn Export(TModuleHandle handle, const char* name) {
    return reinterpret_cast<Fn>(Platform().GetProcAddress(handle, name));
}

void ShowError(support::TMessageSink* sink, const std::string& text) {
    if (sink)
        sink->ShowError({"%s", {text}});
}

// A text of a fixed-size field: up to its zero, never beyond the field.
std::string FieldText(const char* field, size_t width) {
    return std::string(field, strnlen(field, width));
}

std::string TrimBlanks(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    const size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

// Enumeration results above the limit are module errors (signed: negative values end quietly).
int32_t CheckedResult(TModuleHandle handle, int32_t result, support::TMessageSink* sink) {
    if (result > kModuleResultLimit) {
        ShowError(sink, ModuleErrorText(handle, result));
        return -1;
    }
    return result;
}

} // namespace

std::string LocateInfoModule(const std::string& fileName, const std::string& programFolder) {
    std::string folder = programFolder.empty() ? support::ProgramFolder() : programFolder;
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    // A module runs with the program's rights (often root's): it is taken only from where the
    // program was installed, never from the working folder or PATH, where anybody may have put
    // a file of that name. A relative or unknown program folder would mean the working folder.
    if (folder.empty() || folder.front() != '/')
        return {};
    const size_t slash = folder.rfind('/');
    const std::string shared = folder.substr(0, slash + 1) + "Shared/";
    const std::string found = Platform().FindFileNoCase(shared, fileName);
    if (!found.empty())
        return found;
    return FindInProgramFolder(fileName, folder == "/" ? folder : folder + "/");
}

TModuleHandle LoadInfoModule(const std::string& path, support::TMessageSink* sink) {
    TModuleHandle handle = Platform().LoadLibrary(path);
    if (!handle) {
        if (sink)
            sink->ShowError({"Cannot load library '%s'", {path}});
        return nullptr;
    }
    const auto initialize = Export<TInitializeDLL>(handle, "InitializeDLL");
    // A library without the export is no information module: treated like a failed start.
    const int32_t result = initialize ? initialize() : -1;
    if (static_cast<uint32_t>(result) > static_cast<uint32_t>(kModuleResultLimit)) {
        ShowError(sink, ModuleErrorText(handle, result));
        Platform().FreeLibrary(handle);
        return nullptr;
    }
    return handle;
}

int32_t ModuleRootInfo(TModuleHandle handle, RootInfoRecord& record, int32_t index, uint8_t debug,
                       support::TMessageSink* sink) {
    if (!handle)
        return -1;
    const auto enumRoots = Export<TEnumRootInfos>(handle, "EnumRootInfos");
    if (!enumRoots)
        return -1;
    return CheckedResult(handle, enumRoots(&record, index, debug), sink);
}

int32_t ModuleSubInfo(TModuleHandle handle, int32_t rootIndex, int32_t subIndex,
                      TSubInfoValues& values, support::TMessageSink* sink) {
    if (!handle)
        return -1;
    const auto enumSubs = Export<TEnumSubInfos>(handle, "EnumSubInfos");
    if (!enumSubs)
        return -1;
    SubInfoRecord record{};
    const int32_t result = CheckedResult(handle, enumSubs(&record, rootIndex, subIndex), sink);
    if (result == kModuleEntry) {
        values.Level = record.Level;
        values.ImageCode = record.ImageCode;
        values.Text = FieldText(record.Text, sizeof(record.Text));
        values.Flags = record.Flags;
    }
    return result;
}

std::string ModuleErrorText(TModuleHandle handle, int32_t code) {
    const auto errorMsg = handle ? Export<TGetDLLErrorMsg>(handle, "GetDLLErrorMsg") : nullptr;
    if (!errorMsg)
        return "Errorcode: " + std::to_string(code);
    // One spare byte so that a module that fills all 256 characters cannot run us off the end.
    char buffer[257] = {};
    errorMsg(code, buffer);
    return FieldText(buffer, 256);
}

int32_t UnloadInfoModule(TModuleHandle& handle, support::TMessageSink* sink) {
    if (!handle)
        return 0;
    int32_t result = 0;
    if (const auto destroy = Export<TDestroyDLL>(handle, "DestroyDLL")) {
        result = destroy();
        if (result > kModuleResultLimit) {
            ShowError(sink, ModuleErrorText(handle, result));
            result = -1;
        }
    }
    Platform().FreeLibrary(handle);
    handle = nullptr;
    return result;
}

void DecodeRootKind(uint16_t value, uint16_t& kind, bool& sorted) {
    sorted = value >= 256;
    kind = sorted ? static_cast<uint16_t>(value - 256) : value;
}

int32_t ShiftModuleLevel(int32_t level) {
    return level < 10 ? level + 1 : level;
}

std::vector<TModuleRootEntry> EnumModuleRoots(TModuleHandle handle, uint8_t debug,
                                              support::TMessageSink* sink) {
    std::vector<TModuleRootEntry> entries;
    for (int32_t index = 0; index < kMaxRootEntries; ++index) {
        RootInfoRecord record{};
        if (ModuleRootInfo(handle, record, index, debug, sink) != kModuleEntry)
            break;
        TModuleRootEntry entry;
        entry.Name = FieldText(record.Name, sizeof(record.Name));
        if (entry.Name.empty())
            continue;
        entry.ImageCode = record.ImageCode;
        DecodeRootKind(record.Kind, entry.Kind, entry.Sorted);
        entry.Key = FieldText(record.Key, sizeof(record.Key));
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::vector<TModuleSubEntry> EnumModuleSubs(TModuleHandle handle, int32_t rootIndex,
                                            support::TMessageSink* sink) {
    std::vector<TModuleSubEntry> entries;
    for (int32_t index = 0; index < kMaxSubEntries; ++index) {
        TSubInfoValues values;
        if (ModuleSubInfo(handle, rootIndex, index, values, sink) != kModuleEntry)
            break;
        if (values.Text.empty())
            continue;
        entries.push_back({ShiftModuleLevel(values.Level), values.ImageCode, std::move(values.Text),
                           values.Flags});
    }
    return entries;
}

std::string DmiField(const DmiRecord& record, int index) {
    if (index < 0 || index >= kDmiFieldCount)
        return {};
    return TrimBlanks(FieldText(record.Data + index * kDmiFieldWidth, kDmiFieldWidth));
}

TDmiTexts DmiTextsFromRecord(const DmiRecord& record) {
    TDmiTexts texts;
    const std::string maker = DmiField(record, kDmiSystemMaker);
    const std::string product = DmiField(record, kDmiSystemProduct);
    texts.SystemName = product.size() < 2 ? maker : maker + " " + product;
    const std::string serial = DmiField(record, kDmiSystemSerial);
    if (serial.size() >= 2)
        texts.SerialNumber = serial;
    const std::string board = DmiField(record, kDmiBoardProduct);
    if (board.size() >= 2)
        texts.Mainboard = TrimBlanks(DmiField(record, kDmiBoardMaker) + " " + board);
    return texts;
}

bool ReadModuleDmi(TModuleHandle handle, TDmiTexts& texts) {
    const auto scan = handle ? Export<TDevScanDMI>(handle, "fnDevScanDMI") : nullptr;
    if (!scan)
        return false;
    DmiRecord record{};
    scan(&record);
    texts = DmiTextsFromRecord(record);
    return true;
}

} // namespace ostero::sources
