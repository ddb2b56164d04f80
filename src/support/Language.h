#pragma once
// The interface language: the table of the eight languages, the default language chosen at
// program start from the user's locale, and the switch of the language module.

#include <array>
#include <cstdint>
#include <string>

namespace ostero::support {

struct TLanguage {
    const char* Code;        // two upper-case letters, empty for index 8
    const char* DisplayName; // Windows-1252, at most 15 characters
};

constexpr uint8_t kNoLanguage = 8;
constexpr uint8_t kLanguageEnglish = 1; // the program's built-in texts

// Index 0..7 as below; index 8 means no language.
extern const std::array<TLanguage, 9> LanguageTable;

uint8_t DefaultLanguage();
uint8_t CurrentLanguage();
// The code of CurrentLanguage (empty for 8).
std::string CurrentLanguageCode();

// Two-letter upper-case code of the user's interface language, from the locale environment
// (LC_ALL, LC_MESSAGES, LANG, LANGUAGE). Empty when none is set or it is "C"/"POSIX".
std::string DetectUiLanguage();
// Program start: DefaultLanguage from DetectUiLanguage (0 when the code is not in the table),
// CurrentLanguage 8.
void InitLanguage();
// Index of `code` in the table, matched without regard to case; -1 when absent.
int LanguageIndexOfCode(const std::string& code);
// Index of a display name (Windows-1252), matched without regard to case; -1 when absent.
int LanguageIndexOfName(const std::string& displayName);

// What actually puts the translated texts in place; the UI implements it with QTranslator.
class TLanguageModuleLoader {
public:
    virtual ~TLanguageModuleLoader() = default;
    // Makes the module file (or, for `builtIn`, the program's own texts) the source of texts,
    // dropping the previous one. False when the file cannot be used.
    virtual bool InstallModule(const std::string& path, bool builtIn) = 0;
    // Re-applies the texts to every open window.
    virtual void ReloadFormResources() = 0;
};

// The language module of an index: the program's path with its extension replaced by "." and
// the code (ostero.DE beside ostero).
std::string LanguageModulePath(uint8_t index);
// The same for a given program path (empty for index 8 or an empty path).
std::string LanguageModulePath(uint8_t index, const std::string& programPath);

// Puts the language of `index` in place; true when a module was installed and the windows
// re-read. See the rules for index 8, the start-up flag and missing modules.
// Before any window exists: puts the module of the user's locale in place when there is one
// (ostero.DE for a German locale), so the texts follow the locale even when no explicit switch
// happens. CurrentLanguage stays 8; the first later switch records it. True when installed.
bool InstallLocaleModule(TLanguageModuleLoader& loader);
bool InstallLocaleModule(TLanguageModuleLoader& loader, const std::string& programPath);

bool SwitchLanguage(uint8_t index, bool startup, TLanguageModuleLoader& loader);
// The same with the program's path given (tests use a program folder of their own).
bool SwitchLanguage(uint8_t index, bool startup, TLanguageModuleLoader& loader,
                    const std::string& programPath);

// Tests only: back to the state at program start (DefaultLanguage 0, CurrentLanguage 8).
void ResetLanguageState();

} // namespace ostero::support
