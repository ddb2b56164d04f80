#include "support/platform/RegistryFile.h"

#include <algorithm>
#include <cstdio>
#include <unordered_map>
#include <unordered_set>

namespace ostero::platform {

namespace {

constexpr std::string_view kRegedit4Header = "REGEDIT4";
constexpr std::string_view kDwordPrefix = "dword:";

char FoldChar(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string Fold(std::string_view text) {
    std::string folded(text);
    for (char& c : folded)
        c = FoldChar(c);
    return folded;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

// True when `path` lies strictly below `ancestor` (both normalised).
bool IsBelow(std::string_view path, std::string_view ancestor) {
    return path.size() > ancestor.size() && path[ancestor.size()] == '\\' &&
           StartsWithNoCase(path, ancestor);
}

bool IsSameOrBelow(std::string_view path, std::string_view ancestor) {
    return EqualsNoCase(path, ancestor) || IsBelow(path, ancestor);
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view TrimLeft(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && IsBlank(text[i]))
        ++i;
    return text.substr(i);
}

std::string_view TrimRight(std::string_view text) {
    size_t end = text.size();
    while (end > 0 && IsBlank(text[end - 1]))
        --end;
    return text.substr(0, end);
}

bool IsBlankLine(std::string_view line) {
    return TrimLeft(line).empty();
}

std::string ParentPath(std::string_view path) {
    const size_t slash = path.rfind('\\');
    return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash));
}

// Reads a quoted text starting at text[0] == '"'. Returns false when the closing quote is
// missing; `used` is the number of characters up to and including it.
bool ReadQuoted(std::string_view text, std::string& out, size_t& used) {
    out.clear();
    for (size_t i = 1; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') {
            used = i + 1;
            return true;
        }
        if (c == '\\' && i + 1 < text.size()) {
            const char next = text[i + 1];
            switch (next) {
            case '\\':
            case '"':
                out += next;
                ++i;
                continue;
            case 'n':
                out += '\n';
                ++i;
                continue;
            case 'r':
                out += '\r';
                ++i;
                continue;
            case '0':
                out += '\0';
                ++i;
                continue;
            default:
                break; // any other backslash stands for itself
            }
        }
        out += c;
    }
    return false;
}

void AppendQuoted(std::string& out, std::string_view text) {
    out += '"';
    for (const char c : text) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '"':
            out += "\\\"";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\0':
            out += "\\0";
            break;
        default:
            out += c;
        }
    }
    out += '"';
}

bool ParseDword(std::string_view data, uint32_t& value) {
    if (!StartsWithNoCase(data, kDwordPrefix))
        return false;
    const std::string_view digits = TrimRight(data.substr(kDwordPrefix.size()));
    if (digits.empty() || digits.size() > 8)
        return false;
    uint32_t result = 0;
    for (const char c : digits) {
        uint32_t digit = 0;
        if (c >= '0' && c <= '9')
            digit = static_cast<uint32_t>(c - '0');
        else if (c >= 'a' && c <= 'f')
            digit = static_cast<uint32_t>(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F')
            digit = static_cast<uint32_t>(c - 'A' + 10);
        else
            return false;
        result = (result << 4) | digit;
    }
    value = result;
    return true;
}

// The text split into lines at LF; trailing CRs are dropped (files written on Windows).
class TLineReader {
public:
    explicit TLineReader(std::string_view text) : Text_(text) {}
    bool Next(std::string_view& line) {
        if (Pos_ >= Text_.size())
            return false;
        const size_t end = Text_.find('\n', Pos_);
        const size_t stop = end == std::string_view::npos ? Text_.size() : end;
        line = Text_.substr(Pos_, stop - Pos_);
        while (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        Pos_ = end == std::string_view::npos ? Text_.size() : end + 1;
        ++Number_;
        return true;
    }
    // The next line without consuming it.
    bool Peek(std::string_view& line) const {
        TLineReader copy = *this;
        return copy.Next(line);
    }
    size_t Number() const { return Number_; }

private:
    std::string_view Text_;
    size_t Pos_ = 0;
    size_t Number_ = 0;
};

// A value line: `"Name"=data` or `@=data`. False when the line is not one.
bool ParseValueLine(std::string_view line, TRegValue& value, std::string_view& data) {
    std::string_view rest = TrimLeft(line);
    if (rest.empty())
        return false;
    if (rest.front() == '@') {
        value.Name.clear();
        rest.remove_prefix(1);
    } else if (rest.front() == '"') {
        size_t used = 0;
        if (!ReadQuoted(rest, value.Name, used))
            return false;
        rest.remove_prefix(used);
    } else {
        return false;
    }
    rest = TrimLeft(rest);
    if (rest.empty() || rest.front() != '=')
        return false;
    data = TrimLeft(rest.substr(1));
    return true;
}

void ParseValueData(std::string_view data, TRegValue& value) {
    if (!data.empty() && data.front() == '"') {
        size_t used = 0;
        std::string text;
        if (ReadQuoted(data, text, used) && TrimLeft(data.substr(used)).empty()) {
            value.Kind = TRegValueKind::String;
            value.Text = std::move(text);
            return;
        }
    } else if (uint32_t number = 0; ParseDword(data, number)) {
        value.Kind = TRegValueKind::Dword;
        value.Dword = number;
        return;
    }
    value.Kind = TRegValueKind::Raw;
    value.Text = std::string(data);
}

} // namespace

std::string TRegistryParseResult::Message() const {
    switch (Status) {
    case TRegistryStatus::Ok:
        if (SkippedLines == 0)
            return "no error";
        return std::to_string(SkippedLines) + " line(s) not understood, the first in line " +
               std::to_string(FirstSkippedLine);
    case TRegistryStatus::NotARegistryFile:
        return "not a registry file (the first line is not \"" + std::string(kRegistryHeader) +
               "\")";
    case TRegistryStatus::TooLarge:
        return "the registry file is larger than " + std::to_string(kRegistryMaxFileSize) +
               " bytes";
    case TRegistryStatus::IoError:
        return "the registry file could not be accessed: " + Detail;
    }
    return {};
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (FoldChar(a[i]) != FoldChar(b[i]))
            return false;
    }
    return true;
}

std::string NormalizeKeyPath(std::string_view path) {
    std::string normalized;
    normalized.reserve(path.size());
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('\\', start);
        if (end == std::string_view::npos)
            end = path.size();
        if (end > start) {
            if (!normalized.empty())
                normalized += '\\';
            normalized.append(path.substr(start, end - start));
        }
        start = end + 1;
    }
    return normalized;
}

bool IsValidKeyPath(std::string_view path) {
    // A section line "[-...]" asks an importer to delete a key, so no key may start with '-'.
    if (!path.empty() && path.front() == '-')
        return false;
    return std::none_of(path.begin(), path.end(),
                        [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; });
}

TRegistryParseResult TRegistryFile::Parse(std::string_view text, size_t maxSize) {
    Preamble_.clear();
    Keys_.clear();
    TRegistryParseResult result;
    if (text.size() > maxSize) {
        result.Status = TRegistryStatus::TooLarge;
        return result;
    }
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);

    TLineReader lines(text);
    std::string_view line;
    bool headerSeen = false;
    while (!headerSeen && lines.Next(line)) {
        if (IsBlankLine(line))
            continue;
        const std::string_view header = TrimRight(line);
        if (header != kRegistryHeader && header != kRegedit4Header) {
            result.Status = TRegistryStatus::NotARegistryFile;
            return result;
        }
        headerSeen = true;
    }

    // Merging repeated sections and values must not cost a scan per line (a hostile file may
    // hold a million of them), so both are indexed by their folded names while reading.
    std::unordered_map<std::string, size_t> keyIndex;
    std::vector<std::unordered_map<std::string, size_t>> valueIndex;
    TRegKey* current = nullptr;
    std::unordered_map<std::string, size_t>* currentValues = nullptr;

    auto keep = [&](std::string_view kept) {
        ++result.SkippedLines;
        if (result.FirstSkippedLine == 0)
            result.FirstSkippedLine = lines.Number();
        // Leading blanks are dropped so that a kept line can never pass for the continuation
        // of a raw value written before it.
        TRegValue value;
        value.Kind = TRegValueKind::Line;
        value.Text = std::string(TrimLeft(kept));
        if (current)
            current->Values.push_back(std::move(value));
        else
            Preamble_.push_back(std::move(value.Text));
    };

    while (lines.Next(line)) {
        if (IsBlankLine(line))
            continue;
        const std::string_view trimmed = TrimLeft(line);
        if (trimmed.front() == '[') {
            const size_t close = trimmed.rfind(']');
            if (close != std::string_view::npos && TrimLeft(trimmed.substr(close + 1)).empty()) {
                std::string path = NormalizeKeyPath(trimmed.substr(1, close - 1));
                if (!path.empty() && IsValidKeyPath(path)) {
                    auto [it, added] = keyIndex.try_emplace(Fold(path), Keys_.size());
                    if (added) {
                        Keys_.push_back({std::move(path), {}});
                        valueIndex.emplace_back();
                    }
                    current = &Keys_[it->second];
                    currentValues = &valueIndex[it->second];
                    continue;
                }
            }
            keep(line);
            continue;
        }
        TRegValue value;
        std::string_view data;
        if (!current || !ParseValueLine(line, value, data)) {
            keep(line);
            continue;
        }
        ParseValueData(data, value);
        if (value.Kind == TRegValueKind::Raw) {
            // Long binary values go on over lines ending in a backslash, the next one indented.
            std::string_view next;
            while (!value.Text.empty() && value.Text.back() == '\\' && lines.Peek(next) &&
                   !next.empty() && IsBlank(next.front())) {
                lines.Next(next);
                value.Text += '\n';
                value.Text.append(next);
            }
        }
        auto [it, added] = currentValues->try_emplace(Fold(value.Name), current->Values.size());
        if (added) {
            current->Values.push_back(std::move(value));
        } else {
            TRegValue& existing = current->Values[it->second];
            existing.Kind = value.Kind;
            existing.Text = std::move(value.Text);
            existing.Dword = value.Dword;
        }
    }
    return result;
}

std::string TRegistryFile::Serialize() const {
    std::string out;
    out.append(kRegistryHeader);
    out += "\n\n";
    for (const std::string& line : Preamble_) {
        out += line;
        out += '\n';
    }
    if (!Preamble_.empty())
        out += '\n';
    for (const TRegKey& key : Keys_) {
        out += '[';
        out += key.Path;
        out += "]\n";
        for (const TRegValue& value : key.Values) {
            if (value.Kind == TRegValueKind::Line) {
                out += value.Text;
                out += '\n';
                continue;
            }
            if (value.Name.empty())
                out += '@';
            else
                AppendQuoted(out, value.Name);
            out += '=';
            switch (value.Kind) {
            case TRegValueKind::String:
                AppendQuoted(out, value.Text);
                break;
            case TRegValueKind::Dword: {
                char digits[16];
                std::snprintf(digits, sizeof digits, "%08x", static_cast<unsigned>(value.Dword));
                out += kDwordPrefix;
                out += digits;
                break;
            }
            case TRegValueKind::Raw:
            case TRegValueKind::Line:
                out += value.Text;
                break;
            }
            out += '\n';
        }
        out += '\n';
    }
    return out;
}

TRegKey* TRegistryFile::Find(std::string_view normalizedPath) {
    for (TRegKey& key : Keys_) {
        if (EqualsNoCase(key.Path, normalizedPath))
            return &key;
    }
    return nullptr;
}

const TRegKey* TRegistryFile::Find(std::string_view normalizedPath) const {
    return const_cast<TRegistryFile*>(this)->Find(normalizedPath);
}

bool TRegistryFile::KeyExists(std::string_view path) const {
    const std::string normalized = NormalizeKeyPath(path);
    if (normalized.empty())
        return false;
    return std::any_of(Keys_.begin(), Keys_.end(),
                       [&](const TRegKey& key) { return IsSameOrBelow(key.Path, normalized); });
}

const TRegValue* TRegistryFile::FindValue(std::string_view path, std::string_view name) const {
    const TRegKey* key = Find(NormalizeKeyPath(path));
    if (!key)
        return nullptr;
    for (const TRegValue& value : key->Values) {
        if (value.Kind != TRegValueKind::Line && EqualsNoCase(value.Name, name))
            return &value;
    }
    return nullptr;
}

std::vector<std::string> TRegistryFile::ValueNames(std::string_view path) const {
    std::vector<std::string> names;
    if (const TRegKey* key = Find(NormalizeKeyPath(path))) {
        for (const TRegValue& value : key->Values) {
            if (value.Kind != TRegValueKind::Line)
                names.push_back(value.Name);
        }
    }
    return names;
}

std::vector<std::string> TRegistryFile::SubKeyNames(std::string_view path) const {
    const std::string normalized = NormalizeKeyPath(path);
    std::vector<std::string> names;
    std::unordered_set<std::string> seen;
    for (const TRegKey& key : Keys_) {
        std::string_view rest;
        if (normalized.empty())
            rest = key.Path;
        else if (IsBelow(key.Path, normalized))
            rest = std::string_view(key.Path).substr(normalized.size() + 1);
        else
            continue;
        const std::string_view child = rest.substr(0, rest.find('\\'));
        if (seen.insert(Fold(child)).second)
            names.emplace_back(child);
    }
    return names;
}

TRegKey& TRegistryFile::Create(const std::string& normalizedPath, bool& changed) {
    if (TRegKey* existing = Find(normalizedPath))
        return *existing;
    changed = true;
    // A new key goes after the block of its closest relative, so that the file stays grouped
    // by subtree.
    size_t insertAt = Keys_.size();
    for (std::string ancestor = ParentPath(normalizedPath); !ancestor.empty();
         ancestor = ParentPath(ancestor)) {
        size_t last = Keys_.size();
        for (size_t i = 0; i < Keys_.size(); ++i) {
            if (IsSameOrBelow(Keys_[i].Path, ancestor))
                last = i;
        }
        if (last != Keys_.size()) {
            insertAt = last + 1;
            break;
        }
    }
    return *Keys_.insert(Keys_.begin() + static_cast<std::ptrdiff_t>(insertAt),
                         TRegKey{normalizedPath, {}});
}

bool TRegistryFile::CreateKey(std::string_view path, bool* changed) {
    const std::string normalized = NormalizeKeyPath(path);
    if (normalized.empty() || !IsValidKeyPath(normalized))
        return false;
    bool created = false;
    Create(normalized, created);
    if (changed)
        *changed = created;
    return true;
}

bool TRegistryFile::SetValue(std::string_view path, TRegValue value, bool* changed) {
    const std::string normalized = NormalizeKeyPath(path);
    if (normalized.empty() || !IsValidKeyPath(normalized))
        return false;
    bool modified = false;
    TRegKey& key = Create(normalized, modified);
    auto existing = std::find_if(key.Values.begin(), key.Values.end(), [&](const TRegValue& v) {
        return v.Kind != TRegValueKind::Line && EqualsNoCase(v.Name, value.Name);
    });
    if (existing == key.Values.end()) {
        key.Values.push_back(std::move(value));
        modified = true;
    } else {
        // The name keeps the spelling it was created with.
        value.Name = existing->Name;
        if (!(*existing == value)) {
            *existing = std::move(value);
            modified = true;
        }
    }
    if (changed)
        *changed = modified;
    return true;
}

bool TRegistryFile::SetString(std::string_view path, std::string_view name, std::string_view text,
                              bool* changed) {
    TRegValue value;
    value.Kind = TRegValueKind::String;
    value.Name = std::string(name);
    value.Text = std::string(text);
    return SetValue(path, std::move(value), changed);
}

bool TRegistryFile::SetDword(std::string_view path, std::string_view name, uint32_t number,
                             bool* changed) {
    TRegValue value;
    value.Kind = TRegValueKind::Dword;
    value.Name = std::string(name);
    value.Dword = number;
    return SetValue(path, std::move(value), changed);
}

bool TRegistryFile::DeleteValue(std::string_view path, std::string_view name) {
    TRegKey* key = Find(NormalizeKeyPath(path));
    if (!key)
        return false;
    auto it = std::find_if(key->Values.begin(), key->Values.end(), [&](const TRegValue& v) {
        return v.Kind != TRegValueKind::Line && EqualsNoCase(v.Name, name);
    });
    if (it == key->Values.end())
        return false;
    key->Values.erase(it);
    return true;
}

bool TRegistryFile::DeleteKey(std::string_view path) {
    const std::string normalized = NormalizeKeyPath(path);
    const std::string parent = ParentPath(normalized);
    if (parent.empty())
        return false;
    const size_t before = Keys_.size();
    std::erase_if(Keys_, [&](const TRegKey& key) { return IsSameOrBelow(key.Path, normalized); });
    if (Keys_.size() == before)
        return false;
    // The parent stays, even when it existed only through the removed key. A root (one part)
    // needs no section of its own.
    if (ParentPath(parent).size() > 0 && !KeyExists(parent)) {
        bool created = false;
        Create(parent, created);
    }
    return true;
}

} // namespace ostero::platform
