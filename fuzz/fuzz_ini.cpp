// Loads arbitrary bytes as an INI text, answers typed reads for what it found, changes the store
// and checks that what it writes back reads in to the same store.
#include "support/IniFile.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

using ostero::support::TByteStream;
using ostero::support::TMemIniFile;
using ostero::support::TStringList;

namespace {

void ReadEverything(const TMemIniFile& ini, const std::string& section) {
    TStringList names;
    ini.ReadSection(section, names);
    for (int i = 0; i < names.Count() && i < 32; ++i) {
        const std::string& name = names[i];
        ini.ReadString(section, name, "");
        ini.ReadInteger(section, name, -1);
        ini.ReadBool(section, name, true);
        ini.ReadFloat(section, name, 0);
        ini.ReadDate(section, name, 0);
        ini.ReadDateTime(section, name, 0);
        ini.ReadTime(section, name, 0);
        TByteStream stream{{1, 2, 3}, 1};
        const std::size_t count = ini.ReadBinaryStream(section, name, stream);
        if (stream.Position != 1 || (count != 0 && count != stream.Data.size() - 1))
            std::abort();
    }
    ini.ReadSectionValues(section, names);
    ini.SectionExists(section);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    TMemIniFile ini("");
    ini.SetText(text);

    TStringList sections;
    ini.ReadSections(sections);
    for (int i = 0; i < sections.Count() && i < 8; ++i)
        ReadEverything(ini, sections[i]);
    ini.SetCaseSensitive(true);
    if (sections.Count() > 0)
        ReadEverything(ini, sections[0]);
    ini.SetCaseSensitive(false);

    // Names and sections from the input hold no line breaks, so these writes are accepted.
    if (sections.Count() > 0) {
        TStringList names;
        ini.ReadSection(sections[0], names);
        if (names.Count() > 0) {
            ini.WriteString(sections[0], names[0], "changed");
            if (ini.ReadString(sections[0], names[0], "") != "changed" && !names[0].empty())
                std::abort();
            ini.DeleteKey(sections[0], names[names.Count() - 1]);
        }
        ini.EraseSection(sections[sections.Count() - 1]);
    }
    ini.WriteDateTime("Fuzz", "When", 45351.5);
    ini.WriteInteger("Fuzz", "Count", static_cast<int>(size));

    // What the store writes must read back to the same store.
    const std::string written = ini.GetText();
    TMemIniFile again("");
    again.SetText(written);
    if (again.GetText() != written)
        std::abort();
    return 0;
}
