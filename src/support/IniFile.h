#pragma once
// The INI store: a whole INI file read into memory once, answering typed reads through hash
// indexes, changed in memory and written back as a whole.
//
// Texts are 8-bit strings holding the bytes as they stand in the file (Windows-1252); nothing is
// converted. File names are UTF-8.
//
// File rules (TMemIniFile):
// - Lines end with LF, CR LF or CR. Each line is trimmed of bytes up to and including the space
//   (blanks and control characters) at both ends; empty lines and lines beginning with ';' are
//   skipped.
// - "[name]" opens a section named by the trimmed text between the brackets; a repeated name
//   opens another section of the same name. Lines before the first section are ignored.
// - "name = value" is stored as "name=value" (both sides trimmed, split at the first '='); a line
//   without '=' is kept as it is (a bare line, whose name is empty).
// - Where names repeat, lookups find the last one: the later entry, the later section.
// - Writing back produces "[name]", the section's lines and one empty line per section, every
//   line ended by CR LF.
//
// Typed values are written in fixed formats that do not depend on the user's locale, and read
// back from the same formats:
//   integer   decimal, e.g. "-42". Reading also takes "$1F" and "0x1F" (hexadecimal, up to eight
//             digits, read as a 32-bit pattern so "0xFFFFFFFF" is -1), an optional leading sign
//             and leading spaces. "0x" alone, "12abc" and values outside 32 bits give the
//             default.
//   bool      "1" / "0"; reading takes any integer as above, true when not 0.
//   float     the shortest text that reads back to the same double, with '.' as the decimal
//             point, e.g. "0.1", "-2.5e-07", "inf", "nan". Reading takes what strtod would in the
//             "C" locale (no hexadecimal), with an optional '+' and surrounding spaces.
//   date      "YYYY-MM-DD", e.g. "2024-02-29" (years 1 to 9999).
//   time      "hh:mm:ss", with ".zzz" milliseconds when not 0, e.g. "07:05:09.250". Reading
//             also takes "h:mm" and one to three fraction digits (a decimal fraction of a second).
//   date-time "YYYY-MM-DD hh:mm:ss[.zzz]"; reading also takes 'T' between the two, a date alone
//             or a time alone.
// A text that does not convert gives the default; an empty text gives the default.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace ostero::support {

// Days since 1899-12-30 00:00; the fraction is the time of day. Before that day the integer part
// counts backwards while the fraction still counts forwards (-1.25 is 1899-12-29 06:00).
using TDateTime = double;

// A growable block of bytes with a position, the stream of ReadBinaryStream and
// WriteBinaryStream.
struct TByteStream {
    std::vector<uint8_t> Data;
    std::size_t Position = 0;
};

// A fixed number of buckets, each a chain of (key, value) items with the newest at its head, so
// a key added twice answers the later value.
class TStringHash {
public:
    explicit TStringHash(std::size_t bucketCount = 256);

    void Add(std::string_view key, int value);
    void Clear();
    // The value of the most recently added item whose key equals `key` byte for byte; -1 when
    // there is none.
    int ValueOf(std::string_view key) const;

    // Starts at 0; per byte: rotate the 32-bit value left by 2, then exclusive-or the byte.
    static uint32_t HashOf(std::string_view key);

private:
    struct TItem {
        std::string Key;
        int Value;
        int Next; // index into FItems of the next item of the chain, -1 at its end
    };
    std::vector<int> FBuckets; // index into FItems of each chain's head, -1 when empty
    std::vector<TItem> FItems; // chains live in one array: no per-item allocation, no recursion
};

// An ordered list of text lines. Each line may own an object (another list). Names are the text
// before the first '=' of a line; a line without '=' has an empty name. Lookups here walk the
// list and find the first match; THashedStringList finds the last one through its indexes.
// Indexes outside 0 .. Count()-1 throw std::out_of_range.
class TStringList {
public:
    TStringList() = default;
    virtual ~TStringList() = default;
    TStringList(const TStringList&) = delete;
    TStringList& operator=(const TStringList&) = delete;

    int Count() const { return static_cast<int>(FItems.size()); }
    const std::string& Strings(int index) const;
    const std::string& operator[](int index) const { return Strings(index); }
    // The owned object of the line, nullptr when it has none.
    TStringList* Objects(int index) const;
    std::string Names(int index) const;
    // The text after the first '=' of the line; empty for a bare line.
    std::string ValueFromIndex(int index) const;
    // All lines, for callers that want a plain vector.
    std::vector<std::string> Texts() const;

    int Add(std::string text);
    int AddObject(std::string text, std::unique_ptr<TStringList> object);
    void Insert(int index, std::string text);
    // Replaces the text of a line; its object stays.
    void Put(int index, std::string text);
    void Delete(int index);
    void Clear();

    // -1 when absent.
    virtual int IndexOf(std::string_view text) const;
    virtual int IndexOfName(std::string_view name) const;

    // Off by default: texts then compare after upper-casing (ASCII and the Windows-1252 letters).
    bool CaseSensitive() const { return FCaseSensitive; }
    void SetCaseSensitive(bool value);

protected:
    // Called after every change of the lines or of the case setting.
    virtual void Changed() {}
    // The form in which a text is compared: itself, or upper-cased when not case-sensitive.
    std::string CompareKey(std::string_view text) const;

private:
    struct TLine {
        std::string Text;
        std::unique_ptr<TStringList> Object;
    };
    TLine& Line(int index);
    const TLine& Line(int index) const;

    std::vector<TLine> FItems;
    bool FCaseSensitive = false;
};

// A TStringList with two hash indexes (TStringHash, 256 buckets): one over whole lines, one over
// names (lines without '=' are not in it). Each index is built on the first lookup after a
// change, in line order, so lookups answer the last of equal keys at constant cost.
class THashedStringList : public TStringList {
public:
    THashedStringList();
    ~THashedStringList() override;

    int IndexOf(std::string_view text) const override;
    int IndexOfName(std::string_view name) const override;

protected:
    void Changed() override;

private:
    void UpdateValueHash() const;
    void UpdateNameHash() const;

    // Made on first use: a store with many sections keeps no buckets for lists never searched.
    mutable std::unique_ptr<TStringHash> FValueHash;
    mutable std::unique_ptr<TStringHash> FNameHash;
    mutable bool FValueHashValid = false;
    mutable bool FNameHashValid = false;
};

// The abstract store. The typed reads and writes are built on ReadString and WriteString;
// conversion failures of typed reads give the default.
class TCustomIniFile {
public:
    explicit TCustomIniFile(std::string fileName);
    virtual ~TCustomIniFile();
    TCustomIniFile(const TCustomIniFile&) = delete;
    TCustomIniFile& operator=(const TCustomIniFile&) = delete;

    const std::string& FileName() const { return FFileName; }

    // True when the section holds at least one line; a present but empty section counts as
    // absent.
    bool SectionExists(std::string_view section) const;

    virtual std::string ReadString(std::string_view section, std::string_view ident,
                                   std::string_view defaultValue) const = 0;
    // Texts containing CR or LF throw std::invalid_argument: they could not be read back and
    // would plant foreign lines in the file.
    virtual void WriteString(std::string_view section, std::string_view ident,
                             std::string_view value) = 0;
    virtual int ReadInteger(std::string_view section, std::string_view ident,
                            int defaultValue) const;
    virtual void WriteInteger(std::string_view section, std::string_view ident, int value);
    virtual bool ReadBool(std::string_view section, std::string_view ident,
                          bool defaultValue) const;
    virtual void WriteBool(std::string_view section, std::string_view ident, bool value);
    // The value is hexadecimal text; its pairs of digits are decoded into the stream at its
    // position, overwriting what lies there, and the stream grows by half the text length (a
    // trailing odd digit is ignored; decoding stops at the first pair that is not hexadecimal,
    // leaving the rest as it was, zero in the grown part). The position is restored. Returns the
    // number of bytes from the position to the end; 0 (stream untouched) for an empty value.
    virtual std::size_t ReadBinaryStream(std::string_view section, std::string_view ident,
                                         TByteStream& stream) const;
    virtual TDateTime ReadDate(std::string_view section, std::string_view ident,
                               TDateTime defaultValue) const;
    virtual TDateTime ReadDateTime(std::string_view section, std::string_view ident,
                                   TDateTime defaultValue) const;
    virtual double ReadFloat(std::string_view section, std::string_view ident,
                             double defaultValue) const;
    virtual TDateTime ReadTime(std::string_view section, std::string_view ident,
                               TDateTime defaultValue) const;
    // Writes the bytes from the stream's position to its end as upper-case hexadecimal digits;
    // the position does not move.
    virtual void WriteBinaryStream(std::string_view section, std::string_view ident,
                                   const TByteStream& stream);
    // The date and time writes throw std::out_of_range for values outside years 1 to 9999 and
    // for values that are not finite.
    virtual void WriteDate(std::string_view section, std::string_view ident, TDateTime value);
    virtual void WriteDateTime(std::string_view section, std::string_view ident, TDateTime value);
    virtual void WriteFloat(std::string_view section, std::string_view ident, double value);
    virtual void WriteTime(std::string_view section, std::string_view ident, TDateTime value);
    // The names of the section's entries in order (empty for a bare line). These three clear
    // their target list first.
    virtual void ReadSection(std::string_view section, TStringList& strings) const = 0;
    virtual void ReadSections(TStringList& strings) const = 0;
    // The section's lines as stored.
    virtual void ReadSectionValues(std::string_view section, TStringList& strings) const = 0;
    // Nothing happens when the section or entry is absent.
    virtual void EraseSection(std::string_view section) = 0;
    virtual void DeleteKey(std::string_view section, std::string_view ident) = 0;
    // Writes the store to FileName(); false when that failed.
    virtual bool UpdateFile() = 0;

private:
    std::string FFileName;
};

// The store in memory. Sections and entries keep file order; the section list owns one entry
// list per section.
class TMemIniFile : public TCustomIniFile {
public:
    // Files above this size are not read (the store stays empty and LastError() says why).
    static constexpr std::size_t kMaxFileSize = 64u * 1024u * 1024u;

    // Loads the file; a missing file or an empty name gives an empty store.
    explicit TMemIniFile(std::string fileName);
    ~TMemIniFile() override;

    // Replaces the store by the file's content. A missing file gives an empty store and true; a
    // file that exists but cannot be read (or is too large) also leaves the store empty and
    // answers false.
    bool Reload();
    // Replaces the store by the entries of `text`, read by the same rules as a file.
    void SetText(std::string_view text);
    // The text UpdateFile writes.
    std::string GetText() const;
    void Clear();

    // Off by default; applies to the section names and to every section's entries.
    bool CaseSensitive() const { return FSections.CaseSensitive(); }
    void SetCaseSensitive(bool value);

    // What the last failed Reload or UpdateFile ran into; empty after a success.
    const std::string& LastError() const { return FLastError; }

    std::string ReadString(std::string_view section, std::string_view ident,
                           std::string_view defaultValue) const override;
    void WriteString(std::string_view section, std::string_view ident,
                     std::string_view value) override;
    void ReadSection(std::string_view section, TStringList& strings) const override;
    void ReadSections(TStringList& strings) const override;
    void ReadSectionValues(std::string_view section, TStringList& strings) const override;
    void EraseSection(std::string_view section) override;
    void DeleteKey(std::string_view section, std::string_view ident) override;
    // Replaces the file atomically: the text goes to a new file in the same folder, which is
    // then renamed over the target (keeping the target's permissions; a symbolic link is
    // followed). On failure the previous file is untouched and no temporary file is left.
    bool UpdateFile() override;

private:
    THashedStringList* AddSection(std::string_view section);
    // The entry list of the (last) section of that name; nullptr when absent.
    THashedStringList* FindSection(std::string_view section) const;

    THashedStringList FSections;
    std::string FLastError;
};

} // namespace ostero::support
