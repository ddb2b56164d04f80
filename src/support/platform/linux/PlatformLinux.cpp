#include "support/platform/linux/PlatformLinux.h"

#include "support/platform/ElfVersion.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <dirent.h>
#include <dlfcn.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

namespace ostero::platform {

namespace {

// Like the system's last-error value, the library error belongs to the calling thread.
thread_local int tLibraryError = 0;
thread_local std::string tLibraryErrorDetail;

constexpr size_t kMaxSmallFile = 4 * 1024 * 1024;

std::string EnvValue(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

// A small text file from /etc or /proc (whose sizes read as 0, so it is read to the end).
// Only regular files: a FIFO put in place of a configuration file would block the caller.
std::string ReadSmallFile(const std::string& path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error))
        return {};
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return {};
    std::string text;
    char buffer[8192];
    while (text.size() < kMaxSmallFile) {
        file.read(buffer, sizeof buffer);
        if (file.gcount() <= 0)
            break;
        text.append(buffer, static_cast<size_t>(file.gcount()));
    }
    return text;
}

std::vector<std::string_view> Lines(std::string_view text) {
    std::vector<std::string_view> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    return text;
}

// A shell-style value: "double quoted" (with backslash escapes), 'single quoted' or bare.
std::string Unquote(std::string_view value) {
    value = Trim(value);
    if (value.empty())
        return {};
    const char quote = value.front();
    if (quote != '"' && quote != '\'')
        return std::string(value);
    std::string out;
    for (size_t i = 1; i < value.size(); ++i) {
        const char c = value[i];
        if (c == quote)
            break;
        if (c == '\\' && quote == '"' && i + 1 < value.size()) {
            out += value[++i];
            continue;
        }
        out += c;
    }
    return out;
}

bool EqualsNoCaseAscii(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               auto fold = [](char c) {
                   return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
               };
               return fold(x) == fold(y);
           });
}

bool IsFileNotFolder(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

// The documents folder of the XDG user-dirs file, else $HOME/Documents.
std::string DocumentsFolder() {
    const std::string home = HomeFolder();
    const std::string text = ReadSmallFile(XdgConfigHome() + "/user-dirs.dirs");
    std::string found;
    for (std::string_view line : Lines(text)) {
        line = Trim(line);
        constexpr std::string_view key = "XDG_DOCUMENTS_DIR=";
        if (!line.starts_with(key))
            continue;
        const std::string value = Unquote(line.substr(key.size()));
        // Only "$HOME/..." and absolute paths are valid there.
        if (value.starts_with("$HOME") && (value.size() == 5 || value[5] == '/'))
            found = home + value.substr(5);
        else if (value.starts_with("/"))
            found = value;
    }
    while (found.size() > 1 && found.back() == '/')
        found.pop_back();
    return found.empty() ? home + "/Documents" : found;
}

std::string CommonAppDataFolder() {
    const std::string configured = EnvValue("TAVERIC_COMMON_APPDATA");
    if (!configured.empty())
        return configured;
    if (::access("/var/lib", W_OK) == 0)
        return "/var/lib";
    return XdgDataHome();
}

// Decodes the octal escapes (\040 for a blank) the kernel writes into mount table fields.
std::string DecodeMountField(std::string_view field) {
    std::string out;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            const char a = field[i + 1], b = field[i + 2], c = field[i + 3];
            if (a >= '0' && a <= '3' && b >= '0' && b <= '7' && c >= '0' && c <= '7') {
                out += static_cast<char>((a - '0') * 64 + (b - '0') * 8 + (c - '0'));
                i += 3;
                continue;
            }
        }
        out += field[i];
    }
    return out;
}

// The path made absolute and normalised by its text alone: asking the file system (to follow
// symbolic links) could block for minutes on the very network mount that went away.
std::string AbsoluteNormalPath(const std::string& path) {
    namespace fs = std::filesystem;
    fs::path absolute(path);
    if (!absolute.is_absolute()) {
        std::error_code error;
        absolute = fs::current_path(error) / absolute;
    }
    std::string text = absolute.lexically_normal().string();
    while (text.size() > 1 && text.back() == '/')
        text.pop_back();
    return text;
}

} // namespace

TPlatform& SystemPlatform() {
    static TPlatformLinux platform;
    return platform;
}

// --- Dynamic libraries.

TLibraryHandle TPlatformLinux::LoadLibrary(const std::string& path) {
    ::dlerror();
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* detail = ::dlerror();
        tLibraryError = kErrorModNotFound;
        tLibraryErrorDetail = detail ? detail : "cannot load " + path;
        return nullptr;
    }
    tLibraryError = 0;
    tLibraryErrorDetail.clear();
    return handle;
}

void* TPlatformLinux::GetProcAddress(TLibraryHandle library, const char* name) {
    // dlsym with a null handle would search the whole program instead of failing.
    if (!library || !name) {
        tLibraryError = kErrorProcNotFound;
        tLibraryErrorDetail = "no library or no entry name";
        return nullptr;
    }
    ::dlerror();
    void* entry = ::dlsym(library, name);
    if (!entry) {
        const char* detail = ::dlerror();
        tLibraryError = kErrorProcNotFound;
        tLibraryErrorDetail = detail ? detail : std::string("no entry ") + name;
        return nullptr;
    }
    tLibraryError = 0;
    tLibraryErrorDetail.clear();
    return entry;
}

void TPlatformLinux::FreeLibrary(TLibraryHandle library) {
    if (library)
        ::dlclose(library);
}

int TPlatformLinux::LastLibraryError() {
    return tLibraryError;
}

std::string TPlatformLinux::LastLibraryErrorDetail() {
    return tLibraryErrorDetail;
}

std::string TPlatformLinux::FindFileNoCase(const std::string& folder, const std::string& name) {
    if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..")
        return {};
    std::string prefix = folder;
    if (!prefix.empty() && prefix.back() != '/')
        prefix += '/';
    if (IsFileNotFolder(prefix + name))
        return prefix + name;

    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!dir)
        return {};
    // Among several names differing only in case, the first in byte order wins, so that the
    // answer does not depend on the order of the folder's entries.
    std::string best;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view candidate = entry->d_name;
        if (!EqualsNoCaseAscii(candidate, name))
            continue;
        if ((best.empty() || candidate < best) && IsFileNotFolder(prefix + std::string(candidate)))
            best = candidate;
    }
    ::closedir(dir);
    return best.empty() ? std::string() : prefix + best;
}

// --- Folders, names and rights.

std::string TPlatformLinux::ProgramPath() {
    std::string buffer(256, '\0');
    for (;;) {
        const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0)
            return {};
        if (static_cast<size_t>(length) < buffer.size()) {
            buffer.resize(static_cast<size_t>(length));
            return buffer;
        }
        if (buffer.size() >= 65536)
            return {};
        buffer.resize(buffer.size() * 2);
    }
}

std::string TPlatformLinux::SpecialFolder(int folderNumber) {
    switch (folderNumber) {
    case kFolderPersonal:
        return DocumentsFolder();
    case kFolderCommonAppData:
        return CommonAppDataFolder();
    default:
        return {};
    }
}

std::string TPlatformLinux::TempFolder() {
    std::string folder = EnvValue("TMPDIR");
    if (folder.empty())
        folder = "/tmp";
    if (folder.back() != '/')
        folder += '/';
    return folder;
}

std::string TPlatformLinux::ComputerName() {
    char buffer[256 + 1] = {};
    if (::gethostname(buffer, sizeof buffer - 1) != 0)
        return {};
    std::string name(buffer);
    if (name.size() > 15) {
        // Cut at 15 bytes, but never inside a UTF-8 sequence.
        size_t cut = 15;
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80)
            --cut;
        name.resize(cut);
    }
    return name;
}

bool TPlatformLinux::IsAdministrator() {
    return ::geteuid() == 0;
}

bool TPlatformLinux::IsWow64() {
    if constexpr (sizeof(void*) >= 8) {
        return false;
    } else {
        utsname names{};
        if (::uname(&names) != 0)
            return false;
        const std::string_view machine = names.machine;
        for (const std::string_view wide :
             {"x86_64", "aarch64", "arm64", "ppc64", "ppc64le", "s390x", "mips64", "riscv64",
              "sparc64", "loongarch64"}) {
            if (machine == wide)
                return true;
        }
        return false;
    }
}

std::string TPlatformLinux::SystemErrorText(int code) {
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 32))
    // The C library knows which numbers have a message; strerror_r invents one for the rest.
    if (::strerrordesc_np(code) == nullptr)
        return {};
#endif
    char buffer[512] = {};
    // strerror_r comes in two flavours: the GNU one returns the text, the POSIX one an error.
    struct TPick {
        static const char* From(const char* text, const char*) { return text; }
        static const char* From(int result, const char* buffer) {
            return result == 0 ? buffer : nullptr;
        }
    };
    const char* text = TPick::From(::strerror_r(code, buffer, sizeof buffer), buffer);
    if (!text)
        return {};
    const std::string message(text);
    if (message.starts_with("Unknown error"))
        return {};
    return message;
}

std::string TPlatformLinux::OsVersionFallbackText() {
    std::string text = ReadSmallFile("/etc/os-release");
    if (text.empty())
        text = ReadSmallFile("/usr/lib/os-release");
    std::string result = OsReleaseName(text);
    utsname names{};
    if (::uname(&names) == 0) {
        for (const std::string& part :
             {std::string(names.machine), std::string(names.sysname) + " " + names.release}) {
            if (!result.empty())
                result += ' ';
            result += part;
        }
    }
    return result;
}

bool TPlatformLinux::IsNetworkPath(const std::string& path) {
    if (path.empty())
        return false;
    std::string table = ReadSmallFile("/proc/self/mounts");
    if (table.empty())
        table = ReadSmallFile("/etc/mtab");
    return IsNetworkFileSystemType(
        MountTypeOfPath(ParseMountTable(table), AbsoluteNormalPath(path)));
}

bool TPlatformLinux::ReadVersionSection(const std::string& path,
                                        std::map<std::string, std::string>& values) {
    return ReadElfVersionSection(path, values);
}

// --- Helpers shared with the tests.

std::string OsReleaseName(std::string_view text) {
    std::string pretty, name, version;
    for (std::string_view line : Lines(text)) {
        line = Trim(line);
        if (line.empty() || line.front() == '#')
            continue;
        const size_t equals = line.find('=');
        if (equals == std::string_view::npos)
            continue;
        const std::string_view key = line.substr(0, equals);
        const std::string value = Unquote(line.substr(equals + 1));
        if (key == "PRETTY_NAME")
            pretty = value;
        else if (key == "NAME")
            name = value;
        else if (key == "VERSION")
            version = value;
    }
    if (!pretty.empty())
        return pretty;
    if (!name.empty() && !version.empty())
        return name + " " + version;
    return name;
}

std::vector<TMountEntry> ParseMountTable(std::string_view text) {
    std::vector<TMountEntry> mounts;
    for (const std::string_view line : Lines(text)) {
        std::vector<std::string_view> fields;
        size_t start = 0;
        while (start < line.size() && fields.size() < 3) {
            while (start < line.size() && (line[start] == ' ' || line[start] == '\t'))
                ++start;
            size_t end = start;
            while (end < line.size() && line[end] != ' ' && line[end] != '\t')
                ++end;
            if (end > start)
                fields.push_back(line.substr(start, end - start));
            start = end;
        }
        if (fields.size() < 3)
            continue;
        mounts.push_back({DecodeMountField(fields[1]), DecodeMountField(fields[2])});
    }
    return mounts;
}

std::string MountTypeOfPath(const std::vector<TMountEntry>& mounts, std::string_view path) {
    while (path.size() > 1 && path.back() == '/')
        path.remove_suffix(1);
    const TMountEntry* best = nullptr;
    size_t bestLength = 0;
    for (const TMountEntry& mount : mounts) {
        std::string_view point = mount.MountPoint;
        while (point.size() > 1 && point.back() == '/')
            point.remove_suffix(1);
        if (point.empty() || point.front() != '/')
            continue;
        // A prefix only counts on a folder boundary: /mnt/nfs does not hold /mnt/nfs2.
        const bool holds = point == "/" ? path.starts_with('/')
                                        : path.starts_with(point) && (path.size() == point.size() ||
                                                                      path[point.size()] == '/');
        // On an equal mount point the later mount is the one in effect (it hides the other).
        if (holds && (!best || point.size() >= bestLength)) {
            best = &mount;
            bestLength = point.size();
        }
    }
    return best ? best->Type : std::string();
}

bool IsNetworkFileSystemType(std::string_view type) {
    for (const std::string_view network :
         {"nfs", "nfs4", "cifs", "smb3", "smbfs", "fuse.sshfs", "sshfs", "9p", "afs", "ceph",
          "glusterfs", "fuse.glusterfs", "davfs", "fuse.davfs2"}) {
        if (type == network)
            return true;
    }
    return false;
}

} // namespace ostero::platform
