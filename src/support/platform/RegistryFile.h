#pragma once
// The settings store's file format: the text of a ".reg" file, read into keys and values and
// written back.
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_CURRENT_USER\Software\Taveric\Ostero]
//   @="default value"
//   "Name"="text with \\ and \" escaped"
//   "Count"=dword:0000001f
//   "Blob"=hex:01,02,03,04
//
// Rules of this reader:
// - Key paths and value names compare without regard to ASCII case and keep the spelling they
//   were first created with. Sections naming the same key twice are merged (later values win).
// - A key exists when its section exists or when a section of one of its sub keys exists (the
//   parents of an existing key exist implicitly, as they would in a hierarchical store).
// - In strings, \\ and \" stand for a backslash and a double quote; \n, \r and \0 for a line
//   feed, a carriage return and a NUL (so any text survives on one line); any other backslash
//   stays as it is.
// - Values of other kinds (hex:, hex(2):, a dword that is not 1 to 8 hex digits, ...) are kept as
//   raw text and written back unchanged; a raw value ending in a backslash goes on over the
//   following indented lines, as long binary values do.
// - Lines that are neither sections, values nor blank (comments, damaged lines) are skipped
//   when looking things up but kept in place through a rewrite, so nothing a user wrote is lost.
// - A text that does not start with the header line is not a registry file: it gives an error
//   and no keys, and the store refuses to overwrite it.
//
// Nothing here touches the file system; the platform layer reads and replaces the file.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ostero::platform {

constexpr std::string_view kRegistryHeader = "Windows Registry Editor Version 5.00";
// Larger files are refused: reading one is an error, and a change that would make the file
// larger is not written.
constexpr size_t kRegistryMaxFileSize = 16u * 1024u * 1024u;

enum class TRegistryStatus {
    Ok,
    NotARegistryFile, // the text does not start with the header line
    TooLarge,         // above the size limit
    IoError,          // the file could not be read or written (set by the file layer)
};

struct TRegistryParseResult {
    TRegistryStatus Status = TRegistryStatus::Ok;
    size_t SkippedLines = 0;     // lines that were neither sections, values nor blank
    size_t FirstSkippedLine = 0; // 1-based line number of the first of them, 0 when none
    std::string Detail;          // for IoError: what failed

    bool Ok() const { return Status == TRegistryStatus::Ok; }
    // A sentence for diagnostics, e.g. "not a registry file (no header line)".
    std::string Message() const;
};

enum class TRegValueKind {
    String, // Text holds the unescaped text
    Dword,  // Dword holds the number
    Raw,    // Text holds everything after '=' exactly as written (kind prefix included)
    Line,   // not a value: a kept line (comment or damaged line); Text holds it
};

struct TRegValue {
    TRegValueKind Kind = TRegValueKind::String;
    std::string Name; // empty for the default value "@"
    std::string Text;
    uint32_t Dword = 0;

    bool operator==(const TRegValue&) const = default;
};

struct TRegKey {
    std::string Path;              // full path with the root, e.g. "HKEY_CURRENT_USER\Software"
    std::vector<TRegValue> Values; // in file order, kept lines included

    bool operator==(const TRegKey&) const = default;
};

// Splits a key path at backslashes and drops empty parts ("\A\\B\" is "A\B").
std::string NormalizeKeyPath(std::string_view path);
// True when the key path can be written into a section line: no control characters, and no
// '-' in front (that line would ask an importer to delete the key).
bool IsValidKeyPath(std::string_view path);
// ASCII case folding comparison used for key paths and value names.
bool EqualsNoCase(std::string_view a, std::string_view b);

class TRegistryFile {
public:
    // Replaces the content with the parsed text. On an error the content is empty.
    TRegistryParseResult Parse(std::string_view text, size_t maxSize = kRegistryMaxFileSize);
    // The file text: the header, a blank line, then each key's section followed by a blank line.
    std::string Serialize() const;

    // All paths below are full paths with the root ("HKEY_CURRENT_USER\Software\X"); they are
    // normalised with NormalizeKeyPath.
    bool KeyExists(std::string_view path) const;
    // nullptr when the key or the value is absent (kept lines are never found).
    const TRegValue* FindValue(std::string_view path, std::string_view name) const;
    std::vector<std::string> ValueNames(std::string_view path) const;
    // The names of the direct sub keys, each once, in file order.
    std::vector<std::string> SubKeyNames(std::string_view path) const;

    // The changes answer false when nothing was changed: for CreateKey and the Set functions
    // when the path is not valid (they succeed without change when all is already as asked,
    // see the `changed` flag), for the Delete functions when the key or value was absent.
    bool CreateKey(std::string_view path, bool* changed = nullptr);
    bool SetString(std::string_view path, std::string_view name, std::string_view text,
                   bool* changed = nullptr);
    bool SetDword(std::string_view path, std::string_view name, uint32_t value,
                  bool* changed = nullptr);
    bool DeleteValue(std::string_view path, std::string_view name);
    // Removes the key and all its sub keys. Its parent stays (it is written out when it only
    // existed through the removed key). The root of a path (a single part) cannot be removed.
    bool DeleteKey(std::string_view path);

    const std::vector<TRegKey>& Keys() const { return Keys_; }
    // Kept lines between the header and the first section.
    const std::vector<std::string>& Preamble() const { return Preamble_; }

    bool operator==(const TRegistryFile&) const = default;

private:
    TRegKey* Find(std::string_view normalizedPath);
    const TRegKey* Find(std::string_view normalizedPath) const;
    TRegKey& Create(const std::string& normalizedPath, bool& changed);
    bool SetValue(std::string_view path, TRegValue value, bool* changed);

    std::vector<std::string> Preamble_;
    std::vector<TRegKey> Keys_;
};

} // namespace ostero::platform
