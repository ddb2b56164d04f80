#include "app/Startup.h"

#include "sources/LibraryLocator.h"
#include "support/IniFile.h"
#include "support/Language.h"
#include "support/SysUtils.h"
#include "support/TextCodec.h"
#include "support/platform/Platform.h"

#include <charconv>
#include <filesystem>

namespace ostero::app {

using platform::Platform;
using platform::TRegistryHive;

namespace {

std::string UpperAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

bool EqualsIgnoreCase(const std::string& a, const std::string& b) {
    return UpperAscii(a) == UpperAscii(b);
}

std::string Trim(const std::string& text) {
    size_t begin = 0, end = text.size();
    while (begin < end && static_cast<unsigned char>(text[begin]) <= ' ')
        ++begin;
    while (end > begin && static_cast<unsigned char>(text[end - 1]) <= ' ')
        --end;
    return text.substr(begin, end - begin);
}

bool StartsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

// Field 2 of a stored record as a decimal number; false (value kept) when empty or not a number.
bool ReadDecimalField(const std::string& key, const char* name, int32_t& value) {
    const auto stored = Platform().RegReadString(TRegistryHive::CurrentUser, key, name);
    if (!stored)
        return false;
    const std::string field = Trim(support::GetSeparatedField(*stored, 2));
    if (field.empty())
        return false;
    int32_t parsed = 0;
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), parsed);
    if (error != std::errc() || end != field.data() + field.size())
        return false;
    value = parsed;
    return true;
}

bool FileExists(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(path, error);
}

} // namespace

TStartCommand ParseFirstArgument(const std::vector<std::string>& args) {
    if (args.empty())
        return {};
    std::string original = args.front();
    if (!original.empty() && (original.front() == '/' || original.front() == '-'))
        original.erase(0, 1);
    const std::string first = UpperAscii(original);

    if (StartsWith(first, "CONFIG")) {
        // "CONFIG" and one separator character are removed.
        const std::string rest = first.size() > 7 ? first.substr(7) : std::string();
        if (EqualsIgnoreCase(Trim(rest), "SharedMem"))
            return {TStartMode::ConfigSharedMem, {}};
        return {TStartMode::ConfigRegistry, rest};
    }
    if (StartsWith(first, "CREATEREPORT")) {
        // The folder keeps its case: unlike on systems whose paths ignore case, an upper-cased
        // folder would be another folder here.
        return {TStartMode::CreateReport,
                original.size() > 13 ? original.substr(13) : std::string()};
    }
    return {};
}

std::string JoinArguments(const std::vector<std::string>& args) {
    std::string joined;
    for (const auto& arg : args)
        joined += " " + arg;
    return Trim(joined);
}

TFirstShowAction FirstShowAction(const std::vector<std::string>& args) {
    if (args.empty())
        return {};
    const std::string joined = JoinArguments(args);
    if (EqualsIgnoreCase(joined, "ReadTestResults"))
        return {TFirstShowKind::ReadTestResults, {}};
    return {TFirstShowKind::OpenReport, joined};
}

uint8_t SessionLanguageIndex(const char* sessionLanguage) {
    if (sessionLanguage && *sessionLanguage) {
        for (uint8_t i = 0; i < support::kNoLanguage; ++i) {
            if (EqualsIgnoreCase(sessionLanguage, support::LanguageTable[i].Code))
                return i;
        }
    }
    return support::DefaultLanguage();
}

int ReadRegistrySettings(TSettings& settings) {
    int language = -1;
    if (!Platform().RegKeyExists(TRegistryHive::CurrentUser, kSettingsKey))
        return language;

    if (const auto stored =
            Platform().RegReadString(TRegistryHive::CurrentUser, kSettingsKey, "Language")) {
        // Display names are Windows-1252; the registry file holds UTF-8.
        const std::string name = support::Utf8ToAnsi(support::GetSeparatedField(*stored, 2));
        const uint8_t current = support::CurrentLanguage();
        if (!name.empty() && support::LanguageIndexOfName(name) != current) {
            const int index = support::LanguageIndexOfName(name);
            if (index >= 0 && index < support::kNoLanguage)
                language = index;
        }
    }
    if (Platform().RegKeyExists(TRegistryHive::CurrentUser, kRemoteSettingsKey)) {
        ReadDecimalField(kRemoteSettingsKey, "Port", settings.RemotePort);
        ReadDecimalField(kRemoteSettingsKey, "Timeout [ms]", settings.QueryTimeout);
    }
    if (const auto stored =
            Platform().RegReadString(TRegistryHive::CurrentUser, kSensorLoggerKey, "Logfile")) {
        const std::string field = support::GetSeparatedField(*stored, 2);
        if (!field.empty())
            settings.SensorLogFile = field;
    }
    return language;
}

std::string ReadTestResultFile() {
    return Platform()
        .RegReadString(TRegistryHive::CurrentUser, kHardwareTestKey, "ResultFileName")
        .value_or(std::string());
}

std::string ReplaceExtension(const std::string& path, const std::string& extension) {
    const size_t slash = path.rfind('/');
    const size_t dot = path.rfind('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
        return path.substr(0, dot) + extension;
    return path + extension;
}

std::string SelectHelpFile(const std::string& programPath, const std::string& languageCode) {
    const std::string base = ReplaceExtension(programPath, "");
    for (const char* extension : {".chm", ".hlp"}) {
        std::string candidate = base + "_" + languageCode + extension;
        if (!FileExists(candidate))
            candidate = base + extension;
        if (FileExists(candidate))
            return candidate;
    }
    return {};
}

std::string ReadHelpDocument(const std::string& iniPath, const std::string& languageCode) {
    support::TMemIniFile ini(iniPath);
    std::string document =
        support::LocateFile(ini.ReadString("Program", "HelpFile." + languageCode, ""));
    if (document.empty())
        document = support::LocateFile(ini.ReadString("Program", "HelpFile", ""));
    return FileExists(document) ? document : std::string();
}

std::string IniFilePath(const std::string& programPath) {
    return ReplaceExtension(programPath, ".INI");
}

bool IsRemoteVariant(const std::string& programFolder) {
    return !sources::FindInProgramFolder(sources::kRemoteQueryLibraryName, programFolder).empty();
}

std::string ApplicationTitle(bool remoteVariant) {
    return remoteVariant ? "Taveric Ostero Remote" : "Taveric Ostero";
}

} // namespace ostero::app
