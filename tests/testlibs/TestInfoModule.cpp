// An information module whose answers are chosen by OSTERO_TESTLIB_MODE, to drive the loader
// into the corners a real module does not reach on demand.
#include "TestLog.h"

#include <cstdint>
#include <cstring>
#include <string>

namespace {

bool Mode(const char* mode) {
    return std::strcmp(TestMode(), mode) == 0;
}

#pragma pack(push, 1)
struct Root {
    uint16_t ImageCode;
    uint16_t Kind;
    char Name[128];
    char Key[128];
};
struct Sub {
    uint16_t Level;
    uint16_t ImageCode;
    char Text[1024];
    int32_t Flags;
};
#pragma pack(pop)

void FillRoot(Root* r, uint16_t image, uint16_t kind, const char* name, const char* key) {
    r->ImageCode = image;
    r->Kind = kind;
    std::strcpy(r->Name, name);
    std::strcpy(r->Key, key);
}

void FillSub(Sub* s, uint16_t level, uint16_t image, const char* text, int32_t flags) {
    s->Level = level;
    s->ImageCode = image;
    std::strcpy(s->Text, text);
    s->Flags = flags;
}

} // namespace

TESTLIB_EXPORT int32_t InitializeDLL() {
    TestLogCall("InitializeDLL", {});
    if (Mode("init-minus-one"))
        return -1;
    if (Mode("init-error"))
        return 42;
    return Mode("init-ten") ? 10 : 0;
}

TESTLIB_EXPORT int32_t EnumRootInfos(Root* record, int32_t index, uint8_t debug) {
    TestLogCall("EnumRootInfos", {std::to_string(index), std::to_string(debug)});
    if (Mode("endless"))
        return FillRoot(record, 1, 0, "Again", ""), 1;
    if (Mode("root-minus-one"))
        return -1;
    if (Mode("root-error") && index == 1)
        return 77;
    if (Mode("kinds")) {
        // One entry of each kind a session treats apart.
        switch (index) {
        case 0:
            return FillRoot(record, 3, 258, "Live sorted", "live"), 1;
        case 1:
            return FillRoot(record, 4, 3, "Known empty", "none"), 1;
        case 2:
            return FillRoot(record, 5, 0, "Yields nothing", "nothing"), 1;
        case 3:
            return FillRoot(record, 6, 1, "Again on demand", "again"), 1;
        default:
            return 0;
        }
    }
    switch (index) {
    case 0:
        return FillRoot(record, 3, 260, "Processors", "cpu"), 1;
    case 1:
        return FillRoot(record, 5, 0, "", "skipped"), 1;
    case 2:
        return FillRoot(record, 4, 255, "Memory", "mem"), 1;
    case 3:
        // Name and key without their terminating zeros.
        record->ImageCode = 6;
        record->Kind = 0;
        std::memset(record->Name, 'N', sizeof(record->Name));
        std::memset(record->Key, 'K', sizeof(record->Key));
        return 1;
    default:
        return 0;
    }
}

TESTLIB_EXPORT int32_t EnumSubInfos(Sub* record, int32_t rootIndex, int32_t subIndex) {
    if (Mode("endless"))
        return FillSub(record, 10, 0, "", 0), 1;
    if (Mode("kinds")) {
        // The live entry's lines come in an order its sorting must change.
        if (rootIndex != 0 || subIndex > 2)
            return -1;
        const char* texts[] = {"Unknown=x", "Processor=y", "Mainboard=z"};
        const uint16_t images[] = {0, 11, 30};
        return FillSub(record, 10, images[subIndex], texts[subIndex], 0), 1;
    }
    if (rootIndex != 0)
        return -1;
    switch (subIndex) {
    case 0:
        return FillSub(record, 0, 11, "CPU 0", 0), 1;
    case 1:
        return FillSub(record, 8, 11, "Deep group", 0), 1;
    case 2:
        return FillSub(record, 9, 16, "Model=Test CPU", 4), 1;
    case 3:
        return FillSub(record, 10, 16, "Cores=2", 8), 1;
    case 4:
        return FillSub(record, 20, 16, "", 0), 1;
    case 5:
        record->Level = 20;
        record->ImageCode = 16;
        std::memset(record->Text, 'T', sizeof(record->Text)); // no terminator
        record->Flags = 0;
        return 1;
    case 6:
        return Mode("sub-error") ? 99 : -1;
    default:
        return 1; // never asked: the loader stops at the first result other than 1
    }
}

TESTLIB_EXPORT void GetDLLErrorMsg(int32_t code, char* buffer) {
    TestLogCall("GetDLLErrorMsg", {std::to_string(code)});
    if (Mode("long-error")) {
        std::memset(buffer, 'E', 256); // fills the whole buffer, no terminator
        return;
    }
    std::strcpy(buffer, ("Test module error " + std::to_string(code)).c_str());
}

TESTLIB_EXPORT int32_t DestroyDLL() {
    TestLogCall("DestroyDLL", {});
    return Mode("destroy-error") ? 50 : 3;
}

TESTLIB_EXPORT void fnDevScanDMI(char* record) {
    TestLogCall("fnDevScanDMI", {});
    auto put = [record](int field, const char* text) { std::strcpy(record + field * 66, text); };
    put(5, "  Test Maker ");
    put(6, Mode("dmi-short") ? "X" : "Box 3000");
    put(8, Mode("dmi-short") ? " 1 " : "SN-42");
    put(9, "Board Maker");
    put(10, Mode("dmi-short") ? "B" : " MB-7 ");
}
