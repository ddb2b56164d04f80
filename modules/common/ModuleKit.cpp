#include "ModuleKit.h"

#include "support/TextCodec.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ostero::modules {

namespace {

// Natural order: runs of digits compare by value.
bool NaturalLess(const std::string& a, const std::string& b) {
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (std::isdigit(static_cast<unsigned char>(a[i])) &&
            std::isdigit(static_cast<unsigned char>(b[j]))) {
            size_t ie = i, je = j;
            while (ie < a.size() && std::isdigit(static_cast<unsigned char>(a[ie])))
                ++ie;
            while (je < b.size() && std::isdigit(static_cast<unsigned char>(b[je])))
                ++je;
            const std::string na = a.substr(i, ie - i), nb = b.substr(j, je - j);
            const size_t za = na.find_first_not_of('0'), zb = nb.find_first_not_of('0');
            const std::string ta = za == std::string::npos ? "" : na.substr(za);
            const std::string tb = zb == std::string::npos ? "" : nb.substr(zb);
            if (ta.size() != tb.size())
                return ta.size() < tb.size();
            if (ta != tb)
                return ta < tb;
            i = ie;
            j = je;
        } else {
            if (a[i] != b[j])
                return a[i] < b[j];
            ++i;
            ++j;
        }
    }
    return a.size() - i < b.size() - j;
}

} // namespace

std::string SysRoot() {
    const char* root = std::getenv("OSTERO_SYSROOT");
    std::string folder = root && *root ? root : "/";
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return folder;
}

bool ReadingLiveSystem() {
    return SysRoot() == "/";
}

std::string SysPath(std::string_view path) {
    const std::string root = SysRoot();
    return root == "/" ? std::string(path) : root + std::string(path);
}

TReadResult ReadSysFile(std::string_view path, size_t maxBytes) {
    TReadResult result;
    // O_NONBLOCK: a FIFO or device node where a file was expected must not stall the read.
    const int fd = ::open(SysPath(path).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        result.Denied = errno == EACCES || errno == EPERM;
        return result;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(fd);
        return result;
    }
    std::string text;
    char buffer[8192];
    while (text.size() < maxBytes) {
        const ssize_t n = ::read(fd, buffer, std::min(sizeof(buffer), maxBytes - text.size()));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            result.Denied = errno == EACCES || errno == EPERM;
            ::close(fd);
            // Attributes that refuse reading (a link speed while the link is down) give nothing.
            return text.empty() ? result : TReadResult{text, false};
        }
        if (n == 0)
            break;
        text.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    result.Text = std::move(text);
    return result;
}

std::string ReadText(std::string_view path, size_t maxBytes) {
    auto result = ReadSysFile(path, maxBytes);
    return result.Text ? *result.Text : std::string();
}

std::string ReadValue(std::string_view path) {
    const std::string text = ReadText(path, 4096);
    return Trim(text.substr(0, text.find('\n')));
}

std::vector<std::string> ListFolder(std::string_view path) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(SysPath(path).c_str());
    if (!dir)
        return names;
    while (const dirent* entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            names.emplace_back(entry->d_name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end(), NaturalLess);
    return names;
}

bool PathExists(std::string_view path) {
    struct stat st {};
    return ::stat(SysPath(path).c_str(), &st) == 0;
}

std::string LinkName(std::string_view path) {
    char buffer[4096];
    const ssize_t n = ::readlink(SysPath(path).c_str(), buffer, sizeof(buffer) - 1);
    if (n <= 0)
        return {};
    const std::string target(buffer, static_cast<size_t>(n));
    const size_t slash = target.rfind('/');
    return slash == std::string::npos ? target : target.substr(slash + 1);
}

std::string Trim(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos)
        return {};
    const size_t last = text.find_last_not_of(" \t\r\n");
    return std::string(text.substr(first, last - first + 1));
}

std::string FormatBytes(uint64_t bytes) {
    static const char* const units[] = {"Bytes", "KiB", "MiB", "GiB", "TiB", "PiB"};
    if (bytes < 1024)
        return std::to_string(bytes) + " Bytes";
    double value = static_cast<double>(bytes);
    int unit = 0;
    while (value >= 1024 && unit < 5) {
        value /= 1024;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof(text), "%.1f %s", value, units[unit]);
    return text;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

std::vector<std::string> SplitLines(std::string_view text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        std::string line(text.substr(start, end - start));
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(std::move(line));
        start = end + 1;
    }
    return lines;
}

void CopyText(char* buffer, size_t size, std::string_view text) {
    const size_t n = std::min(text.size(), size - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
}

void TSubList::Add(uint16_t level, uint16_t image, const std::string& text, int32_t flags) {
    SubInfoRecord record{};
    record.Level = level;
    record.ImageCode = image;
    record.Flags = flags;
    CopyText(record.Text, sizeof(record.Text), support::Utf8ToAnsi(text));
    if (record.Text[0] != '\0')
        Records_.push_back(record);
}

void TSubList::Group(uint16_t level, uint16_t image, std::string_view text) {
    Add(level, image, std::string(text), 0);
}

void TSubList::Property(std::string_view name, std::string_view value, uint16_t image,
                        int32_t flags, uint16_t type) {
    // An "=" in the name would move the split; the name keeps its text with a look-alike.
    std::string clean(name);
    std::replace(clean.begin(), clean.end(), '=', ':');
    Add(type, image, clean + "=" + std::string(value), flags);
}

void TSubList::Note(std::string_view text, uint16_t image, int32_t flags, uint16_t type) {
    std::string clean(text);
    std::replace(clean.begin(), clean.end(), '=', ':');
    Add(type, image, clean, flags);
}

int32_t TInfoModule::Initialize() {
    std::lock_guard lock(Lock_);
    Initialised_ = true;
    CachedRoot_ = -1;
    return 0;
}

int32_t TInfoModule::EnumRoot(RootInfoRecord* record, int32_t index, uint8_t) {
    std::lock_guard lock(Lock_);
    if (!Initialised_)
        return kErrorNotInitialised;
    if (!record || index < 0 || static_cast<size_t>(index) >= Roots_.size())
        return 0;
    const TRootDefinition& root = Roots_[static_cast<size_t>(index)];
    *record = RootInfoRecord{};
    record->ImageCode = root.ImageCode;
    record->Kind = root.Kind;
    CopyText(record->Name, sizeof(record->Name), support::Utf8ToAnsi(root.Name));
    CopyText(record->Key, sizeof(record->Key), root.Key);
    return 1;
}

int32_t TInfoModule::EnumSub(SubInfoRecord* record, int32_t rootIndex, int32_t subIndex) {
    std::lock_guard lock(Lock_);
    if (!Initialised_)
        return kErrorNotInitialised;
    if (rootIndex < 0 || static_cast<size_t>(rootIndex) >= Roots_.size())
        return kErrorUnknownRoot;
    if (!record || subIndex < 0)
        return 0;
    if (subIndex == 0 || CachedRoot_ != rootIndex) {
        try {
            TSubList list;
            Roots_[static_cast<size_t>(rootIndex)].Fill(list);
            Cached_ = list.Records();
            CachedRoot_ = rootIndex;
        } catch (...) {
            CachedRoot_ = -1;
            Cached_.clear();
            return kErrorInternal;
        }
    }
    if (static_cast<size_t>(subIndex) >= Cached_.size())
        return 0;
    *record = Cached_[static_cast<size_t>(subIndex)];
    return 1;
}

void TInfoModule::ErrorMessage(int32_t code, char* buffer) {
    if (!buffer)
        return;
    const char* text = "Unknown error";
    switch (code) {
    case kErrorUnknownRoot:
        text = "There is no root entry with this number";
        break;
    case kErrorNotInitialised:
        text = "The module was not initialised (InitializeDLL)";
        break;
    case kErrorInternal:
        text = "Reading the information failed";
        break;
    }
    CopyText(buffer, 256, std::string(text) + " (error " + std::to_string(code) + ")");
}

int32_t TInfoModule::Destroy() {
    std::lock_guard lock(Lock_);
    Initialised_ = false;
    CachedRoot_ = -1;
    Cached_.clear();
    Cached_.shrink_to_fit();
    return 0;
}

} // namespace ostero::modules
