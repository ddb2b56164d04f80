// The interface language: table, default language from the locale, and the module switch.
#include "support/Language.h"

#include "support/platform/Platform.h"

#include <cstdlib>
#include <string_view>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ostero::support {

// Windows-1252: n tilde is 0xF1 (octal 361), c cedilla 0xE7 (octal 347).
const std::array<TLanguage, 9> LanguageTable = {{
    {"DE", "Deutsch"},
    {"EN", "English"},
    {"ES", "Espa\361ol"},
    {"FR", "Fran\347ais"},
    {"IT", "Italiano"},
    {"NL", "Nederlands"},
    {"PT", "Portuguese"},
    {"PL", "Polski"},
    {"", ""},
}};

namespace {

uint8_t gDefaultLanguage = 0;
uint8_t gCurrentLanguage = kNoLanguage;
// The locale's language was one of the table at program start (DefaultLanguage is its index).
bool gLocaleInTable = false;

// Windows-1252 lower case: ASCII, the Latin-1 letters 0xC0-0xDE (not the sign 0xD7) and the
// four pairs placed in 0x80-0x9F.
unsigned char FoldCase(unsigned char c) {
    if (c >= 'A' && c <= 'Z')
        return static_cast<unsigned char>(c + 0x20);
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7)
        return static_cast<unsigned char>(c + 0x20);
    switch (c) {
    case 0x8A: // S caron
    case 0x8C: // OE
    case 0x8E: // Z caron
        return static_cast<unsigned char>(c + 0x10);
    case 0x9F: // Y diaeresis
        return 0xFF;
    default:
        return c;
    }
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (FoldCase(static_cast<unsigned char>(a[i])) !=
            FoldCase(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

std::string_view Environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string_view(value) : std::string_view();
}

// The language part of a locale name ("de_DE.UTF-8@euro" -> "de").
std::string_view LanguagePart(std::string_view locale) {
    return locale.substr(0, locale.find_first_of("_.@"));
}

bool IsCLocale(std::string_view locale) {
    const std::string_view language = LanguagePart(locale);
    return language.empty() || language == "C" || language == "POSIX";
}

bool IsAsciiLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool FileExists(const std::string& path) {
    struct stat info {};
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

// Stands for loading the module file: a file we cannot read is no module.
bool FileReadable(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

} // namespace

uint8_t DefaultLanguage() {
    return gDefaultLanguage;
}

uint8_t CurrentLanguage() {
    return gCurrentLanguage;
}

std::string CurrentLanguageCode() {
    return gCurrentLanguage < LanguageTable.size() ? LanguageTable[gCurrentLanguage].Code : "";
}

std::string DetectUiLanguage() {
    std::string_view locale;
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        locale = Environment(name);
        if (!locale.empty())
            break;
    }
    // As gettext does: LANGUAGE's first entry goes before the locale, but not for the C locale.
    if (!IsCLocale(locale)) {
        std::string_view list = Environment("LANGUAGE");
        while (!list.empty()) {
            const size_t colon = list.find(':');
            const std::string_view entry = list.substr(0, colon);
            if (!entry.empty()) {
                locale = entry;
                break;
            }
            list = colon == std::string_view::npos ? std::string_view() : list.substr(colon + 1);
        }
    }
    if (IsCLocale(locale))
        return {};
    const std::string_view language = LanguagePart(locale);
    if (language.size() < 2 || !IsAsciiLetter(language[0]) || !IsAsciiLetter(language[1]))
        return {};
    std::string code(language.substr(0, 2));
    for (char& c : code)
        c = static_cast<char>(c & ~0x20); // ASCII letters only, checked above
    return code;
}

void InitLanguage() {
    const std::string code = DetectUiLanguage();
    gDefaultLanguage = 0;
    gLocaleInTable = false;
    for (uint8_t i = 0; i < kNoLanguage; ++i) {
        if (code == LanguageTable[i].Code) {
            gDefaultLanguage = i;
            gLocaleInTable = true;
            break;
        }
    }
    gCurrentLanguage = kNoLanguage;
}

int LanguageIndexOfCode(const std::string& code) {
    if (code.empty())
        return -1;
    for (int i = 0; i < kNoLanguage; ++i) {
        if (EqualsIgnoreCase(code, LanguageTable[i].Code))
            return i;
    }
    return -1;
}

int LanguageIndexOfName(const std::string& displayName) {
    if (displayName.empty())
        return -1;
    for (int i = 0; i < kNoLanguage; ++i) {
        if (EqualsIgnoreCase(displayName, LanguageTable[i].DisplayName))
            return i;
    }
    return -1;
}

std::string LanguageModulePath(uint8_t index, const std::string& programPath) {
    if (index >= kNoLanguage || programPath.empty())
        return {};
    // The extension is what follows the last dot of the file name, not of a folder name.
    const size_t slash = programPath.rfind('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const size_t dot = programPath.rfind('.');
    const std::string base =
        dot != std::string::npos && dot >= nameStart ? programPath.substr(0, dot) : programPath;
    return base + "." + LanguageTable[index].Code;
}

std::string LanguageModulePath(uint8_t index) {
    return LanguageModulePath(index, platform::Platform().ProgramPath());
}

bool InstallLocaleModule(TLanguageModuleLoader& loader, const std::string& programPath) {
    if (!gLocaleInTable || gDefaultLanguage == kLanguageEnglish)
        return false;
    const std::string file = LanguageModulePath(gDefaultLanguage, programPath);
    return FileExists(file) && FileReadable(file) && loader.InstallModule(file, false);
}

bool InstallLocaleModule(TLanguageModuleLoader& loader) {
    return InstallLocaleModule(loader, platform::Platform().ProgramPath());
}

bool SwitchLanguage(uint8_t index, bool startup, TLanguageModuleLoader& loader,
                    const std::string& programPath) {
    if (index >= kNoLanguage)
        return false;

    // The first switch after start-up records the language already in place: the built-in one,
    // or the default language's module when there is one.
    if (!startup && gCurrentLanguage == kNoLanguage) {
        if (gDefaultLanguage == kLanguageEnglish)
            gCurrentLanguage = kLanguageEnglish;
        else if (FileExists(LanguageModulePath(gDefaultLanguage, programPath)))
            gCurrentLanguage = gDefaultLanguage;
    }
    if (index == gCurrentLanguage)
        return false;

    const bool builtIn = index == kLanguageEnglish;
    const std::string file = builtIn ? programPath : LanguageModulePath(index, programPath);
    if (!FileExists(file) || !FileReadable(file))
        return false;

    const bool installed = loader.InstallModule(file, builtIn);
    // The index becomes current whether or not the loader took the module, so a refused
    // module is not tried again until another language was chosen in between.
    gCurrentLanguage = index;
    if (!installed)
        return false;
    loader.ReloadFormResources();
    return true;
}

bool SwitchLanguage(uint8_t index, bool startup, TLanguageModuleLoader& loader) {
    return SwitchLanguage(index, startup, loader, platform::Platform().ProgramPath());
}

void ResetLanguageState() {
    gDefaultLanguage = 0;
    gLocaleInTable = false;
    gCurrentLanguage = kNoLanguage;
}

} // namespace ostero::support
