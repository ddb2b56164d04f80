#pragma once
// The program's start: the dispatch of the first command-line argument, the joined arguments
// of the first showing, and the settings read from the registry, the INI file and the help
// files beside the program. Qt-free, so the rules are tested without a display.

#include <cstdint>
#include <string>
#include <vector>

namespace ostero::app {

enum class TStartMode {
    Interactive,     // the main window and its message loop
    ConfigSharedMem, // the dialog library's shared-memory configuration dialog, then end
    ConfigRegistry,  // the dialog library's registry configuration dialog, then end
    CreateReport,    // the main window, never shown; the automatic report, then end
};

struct TStartCommand {
    TStartMode Mode = TStartMode::Interactive;
    // ConfigRegistry: the text for the dialog (upper-cased, untrimmed);
    // CreateReport: the target folder (its case kept: Linux paths are case-sensitive).
    std::string Text;
};

// Only the first argument (after the program name) steers the start: it is upper-cased and one
// leading "/" or "-" is removed. "CONFIG" and "CREATEREPORT" are followed by one separator
// character ("/CONFIG:SharedMem", "-CREATEREPORT=/srv/reports").
TStartCommand ParseFirstArgument(const std::vector<std::string>& args);

// All arguments, each preceded by one blank, trimmed: a report path with blanks needs no quotes.
std::string JoinArguments(const std::vector<std::string>& args);

enum class TFirstShowKind { None, ReadTestResults, OpenReport };
struct TFirstShowAction {
    TFirstShowKind Kind = TFirstShowKind::None;
    std::string ReportPath; // OpenReport
};
// What the first showing of the main window does with the command line.
TFirstShowAction FirstShowAction(const std::vector<std::string>& args);

// The language index for "SessionLanguage": its code matched without regard to case against
// the table, else DefaultLanguage.
uint8_t SessionLanguageIndex(const char* sessionLanguage);

// Settings held by the main window.
struct TSettings {
    int32_t RemotePort = 2027;
    int32_t QueryTimeout = 5000; // milliseconds
    std::string SensorLogFile;
    std::string TestResultFile;
    std::string HelpFile;     // the application help file beside the program, or empty
    std::string HelpDocument; // from the INI file when there is no help file
    bool RemoteVariant = false;
};

// Registry keys of the settings.
inline constexpr const char* kSettingsKey = "Software\\Taveric\\Ostero\\Config\\Settings";
inline constexpr const char* kRemoteSettingsKey =
    "Software\\Taveric\\Ostero\\Config\\Settings\\Remote";
inline constexpr const char* kSensorLoggerKey = "Software\\Taveric\\Melko\\Config\\Settings";
inline constexpr const char* kHardwareTestKey =
    "Software\\Taveric\\Dorvo\\Hardwaretests\\Parameters";

// Reads the registry values of the settings (field 2 of each record; an empty or non-numeric
// field keeps the value). Answers the index of the interface language the "Language" value asks
// for when it differs from the current one, else -1.
int ReadRegistrySettings(TSettings& settings);
// "ResultFileName" of the hardware-test program, the whole string.
std::string ReadTestResultFile();

// The application help file for the language code: base + "_" + code + ".chm", else
// base + ".chm", then the same with ".hlp". Empty when none exists.
std::string SelectHelpFile(const std::string& programPath, const std::string& languageCode);
// "HelpFile." + code, else "HelpFile", in section "Program" of the INI file, resolved with
// LocateFile. Empty when neither names an existing file.
std::string ReadHelpDocument(const std::string& iniPath, const std::string& languageCode);
// The INI file beside the program: its path with the extension replaced by ".INI".
std::string IniFilePath(const std::string& programPath);
// The remote variant is in force when the remote-query library lies in the program's folder.
bool IsRemoteVariant(const std::string& programFolder);
// "Taveric Ostero", or "Taveric Ostero Remote" in the remote variant.
std::string ApplicationTitle(bool remoteVariant);

// The path with its extension (if any, after the last separator) replaced by `extension`.
std::string ReplaceExtension(const std::string& path, const std::string& extension);

} // namespace ostero::app
