#include "support/IniFile.h"

#include "support/TextCodec.h"
#include "support/platform/FileReplace.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <system_error>

namespace ostero::support {

namespace fs = std::filesystem;

namespace {

// Trims bytes up to and including the space: blanks and control characters.
std::string_view Trim(std::string_view text) {
    while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ')
        text.remove_prefix(1);
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ')
        text.remove_suffix(1);
    return text;
}

void CheckSingleLine(std::string_view text, const char* what) {
    if (text.find_first_of("\r\n") != std::string_view::npos)
        throw std::invalid_argument(std::string("INI ") + what + " must not contain a line break");
}

// --- Whole numbers: optional leading spaces, optional sign, then decimal digits or '$' and
//     hexadecimal digits, nothing after them.

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool TryStrToInt(std::string_view text, int& value) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    const bool hex = i < text.size() && text[i] == '$';
    if (hex)
        ++i;
    if (i == text.size())
        return false;
    // Hexadecimal is a 32-bit pattern (bit masks), decimal a signed value.
    const uint64_t limit = hex ? 0xFFFFFFFFu : (negative ? 0x80000000u : 0x7FFFFFFFu);
    uint64_t magnitude = 0;
    for (; i < text.size(); ++i) {
        const int digit =
            hex ? HexDigit(text[i]) : (text[i] >= '0' && text[i] <= '9' ? text[i] - '0' : -1);
        if (digit < 0)
            return false;
        magnitude = magnitude * (hex ? 16 : 10) + static_cast<unsigned>(digit);
        if (magnitude > limit)
            return false;
    }
    const auto bits = static_cast<uint32_t>(magnitude);
    value = static_cast<int32_t>(negative ? 0u - bits : bits);
    return true;
}

bool TryStrToFloat(std::string_view text, double& value) {
    text = Trim(text);
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && (text.front() == '+' || text.front() == '-'))
            return false;
    }
    if (text.empty())
        return false;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value, std::chars_format::general);
    return error == std::errc() && stop == end;
}

// --- Dates and times.

constexpr int64_t kMsPerDay = 86'400'000;

constexpr std::chrono::sys_days kDayZero{std::chrono::year{1899} / 12 / 30};
constexpr int64_t kFirstDay =
    (std::chrono::sys_days{std::chrono::year{1} / 1 / 1} - kDayZero).count();
constexpr int64_t kLastDay =
    (std::chrono::sys_days{std::chrono::year{9999} / 12 / 31} - kDayZero).count();

struct TDateTimeParts {
    int Year = 0;
    unsigned Month = 0;
    unsigned Day = 0;
    int64_t Ms = 0; // milliseconds since midnight
};

bool EncodeDate(int year, int month, int day, TDateTime& value) {
    using namespace std::chrono;
    const year_month_day date{std::chrono::year{year}, std::chrono::month(unsigned(month)),
                              std::chrono::day(unsigned(day))};
    if (year < 1 || year > 9999 || month < 1 || day < 1 || !date.ok())
        return false;
    value = static_cast<double>((sys_days{date} - kDayZero).count());
    return true;
}

TDateTime CombineDateTime(TDateTime date, TDateTime time) {
    // Before day zero the integer part counts back while the time still counts forward.
    return date < 0 ? date - time : date + time;
}

TDateTimeParts DecodeDateTime(TDateTime value) {
    if (!std::isfinite(value) || value <= static_cast<double>(kFirstDay) - 1 ||
        value >= static_cast<double>(kLastDay) + 1)
        throw std::out_of_range("date-time value outside the years 1 to 9999");
    const double whole = std::trunc(value);
    int64_t day = static_cast<int64_t>(whole);
    int64_t ms = std::llround(std::fabs(value - whole) * kMsPerDay);
    if (ms >= kMsPerDay) {
        // Rounded up to the next midnight; at the very last day stay on its last millisecond.
        if (day < kLastDay) {
            ms -= kMsPerDay;
            ++day;
        } else {
            ms = kMsPerDay - 1;
        }
    }
    const std::chrono::year_month_day date{kDayZero + std::chrono::days{day}};
    return {int(date.year()), unsigned(date.month()), unsigned(date.day()), ms};
}

std::string FormatDate(const TDateTimeParts& parts) {
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u", parts.Year, parts.Month, parts.Day);
    return text;
}

std::string FormatTime(const TDateTimeParts& parts) {
    const auto seconds = static_cast<unsigned>(parts.Ms / 1000);
    const auto ms = static_cast<unsigned>(parts.Ms % 1000);
    char text[64];
    if (ms == 0)
        std::snprintf(text, sizeof text, "%02u:%02u:%02u", seconds / 3600, seconds / 60 % 60,
                      seconds % 60);
    else
        std::snprintf(text, sizeof text, "%02u:%02u:%02u.%03u", seconds / 3600, seconds / 60 % 60,
                      seconds % 60, ms);
    return text;
}

// A cursor over a date or time text.
class TScanner {
public:
    explicit TScanner(std::string_view text) : FText(text) {}

    bool AtEnd() const { return FPos == FText.size(); }
    bool Peek(char c) const { return FPos < FText.size() && FText[FPos] == c; }
    bool Skip(char c) {
        if (!Peek(c))
            return false;
        ++FPos;
        return true;
    }
    // Between minDigits and maxDigits decimal digits; `digits` tells how many were taken.
    bool Number(int minDigits, int maxDigits, int& value, int* digits = nullptr) {
        int count = 0;
        value = 0;
        while (count < maxDigits && FPos < FText.size() && FText[FPos] >= '0' &&
               FText[FPos] <= '9') {
            value = value * 10 + (FText[FPos++] - '0');
            ++count;
        }
        if (digits)
            *digits = count;
        return count >= minDigits;
    }

    // "YYYY-MM-DD" (the year may have fewer digits, month and day one or two).
    bool Date(TDateTime& value) {
        int year, month, day;
        return Number(1, 4, year) && Skip('-') && Number(1, 2, month) && Skip('-') &&
               Number(1, 2, day) && EncodeDate(year, month, day, value);
    }

    // "h:mm", "hh:mm:ss" or "hh:mm:ss.z" with one to three fraction digits.
    bool Time(TDateTime& value) {
        int hour, minute, second = 0, fraction = 0, fractionDigits = 0;
        if (!Number(1, 2, hour) || !Skip(':') || !Number(1, 2, minute))
            return false;
        if (Skip(':')) {
            if (!Number(1, 2, second))
                return false;
            if (Skip('.') && !Number(1, 3, fraction, &fractionDigits))
                return false;
        }
        if (hour > 23 || minute > 59 || second > 59)
            return false;
        for (int i = fractionDigits; i < 3; ++i)
            fraction *= 10;
        const int64_t ms = ((hour * 60 + minute) * 60 + second) * int64_t{1000} + fraction;
        value = static_cast<double>(ms) / kMsPerDay;
        return true;
    }

private:
    std::string_view FText;
    std::size_t FPos = 0;
};

bool TryStrToDate(std::string_view text, TDateTime& value) {
    TScanner scanner(Trim(text));
    return scanner.Date(value) && scanner.AtEnd();
}

bool TryStrToTime(std::string_view text, TDateTime& value) {
    TScanner scanner(Trim(text));
    return scanner.Time(value) && scanner.AtEnd();
}

bool TryStrToDateTime(std::string_view text, TDateTime& value) {
    TScanner scanner(Trim(text));
    TDateTime date = 0;
    if (!scanner.Date(date))
        return TryStrToTime(text, value);
    if (scanner.AtEnd()) {
        value = date;
        return true;
    }
    if (!scanner.Skip('T')) {
        if (!scanner.Skip(' '))
            return false;
        while (scanner.Skip(' ')) {
        }
    }
    TDateTime time = 0;
    if (!scanner.Time(time) || !scanner.AtEnd())
        return false;
    value = CombineDateTime(date, time);
    return true;
}

} // namespace

// --- TStringHash

TStringHash::TStringHash(std::size_t bucketCount)
    : FBuckets(std::max<std::size_t>(bucketCount, 1), -1) {}

uint32_t TStringHash::HashOf(std::string_view key) {
    uint32_t hash = 0;
    for (const char c : key)
        hash = ((hash << 2) | (hash >> 30)) ^ static_cast<unsigned char>(c);
    return hash;
}

void TStringHash::Add(std::string_view key, int value) {
    int& head = FBuckets[HashOf(key) % FBuckets.size()];
    FItems.push_back({std::string(key), value, head});
    head = static_cast<int>(FItems.size() - 1);
}

void TStringHash::Clear() {
    std::fill(FBuckets.begin(), FBuckets.end(), -1);
    FItems.clear();
}

int TStringHash::ValueOf(std::string_view key) const {
    for (int i = FBuckets[HashOf(key) % FBuckets.size()]; i >= 0; i = FItems[i].Next) {
        if (FItems[i].Key == key)
            return FItems[i].Value;
    }
    return -1;
}

// --- TStringList

TStringList::TLine& TStringList::Line(int index) {
    return FItems.at(static_cast<std::size_t>(index));
}

const TStringList::TLine& TStringList::Line(int index) const {
    return FItems.at(static_cast<std::size_t>(index));
}

const std::string& TStringList::Strings(int index) const {
    return Line(index).Text;
}

TStringList* TStringList::Objects(int index) const {
    return Line(index).Object.get();
}

std::string TStringList::Names(int index) const {
    const std::string& text = Line(index).Text;
    const auto equals = text.find('=');
    return equals == std::string::npos ? std::string() : text.substr(0, equals);
}

std::string TStringList::ValueFromIndex(int index) const {
    const std::string& text = Line(index).Text;
    const auto equals = text.find('=');
    return equals == std::string::npos ? std::string() : text.substr(equals + 1);
}

std::vector<std::string> TStringList::Texts() const {
    std::vector<std::string> texts;
    texts.reserve(FItems.size());
    for (const TLine& line : FItems)
        texts.push_back(line.Text);
    return texts;
}

int TStringList::Add(std::string text) {
    return AddObject(std::move(text), nullptr);
}

int TStringList::AddObject(std::string text, std::unique_ptr<TStringList> object) {
    FItems.push_back({std::move(text), std::move(object)});
    Changed();
    return Count() - 1;
}

void TStringList::Insert(int index, std::string text) {
    if (index < 0 || index > Count())
        throw std::out_of_range("TStringList::Insert: index out of range");
    FItems.insert(FItems.begin() + index, TLine{std::move(text), nullptr});
    Changed();
}

void TStringList::Put(int index, std::string text) {
    Line(index).Text = std::move(text);
    Changed();
}

void TStringList::Delete(int index) {
    Line(index); // range check
    FItems.erase(FItems.begin() + index);
    Changed();
}

void TStringList::Clear() {
    FItems.clear();
    Changed();
}

std::string TStringList::CompareKey(std::string_view text) const {
    return FCaseSensitive ? std::string(text) : AnsiUpperCase(text);
}

int TStringList::IndexOf(std::string_view text) const {
    const std::string key = CompareKey(text);
    for (int i = 0; i < Count(); ++i) {
        if (CompareKey(FItems[i].Text) == key)
            return i;
    }
    return -1;
}

int TStringList::IndexOfName(std::string_view name) const {
    const std::string key = CompareKey(name);
    for (int i = 0; i < Count(); ++i) {
        const std::string& text = FItems[i].Text;
        const auto equals = text.find('=');
        if (equals != std::string::npos &&
            CompareKey(std::string_view(text).substr(0, equals)) == key)
            return i;
    }
    return -1;
}

void TStringList::SetCaseSensitive(bool value) {
    if (value == FCaseSensitive)
        return;
    FCaseSensitive = value;
    Changed();
}

// --- THashedStringList

THashedStringList::THashedStringList() = default;
THashedStringList::~THashedStringList() = default;

void THashedStringList::Changed() {
    FValueHashValid = false;
    FNameHashValid = false;
}

void THashedStringList::UpdateValueHash() const {
    if (FValueHashValid)
        return;
    if (!FValueHash)
        FValueHash = std::make_unique<TStringHash>();
    FValueHash->Clear();
    for (int i = 0; i < Count(); ++i)
        FValueHash->Add(CompareKey(Strings(i)), i);
    FValueHashValid = true;
}

void THashedStringList::UpdateNameHash() const {
    if (FNameHashValid)
        return;
    if (!FNameHash)
        FNameHash = std::make_unique<TStringHash>();
    FNameHash->Clear();
    for (int i = 0; i < Count(); ++i) {
        const std::string& text = Strings(i);
        const auto equals = text.find('=');
        if (equals != std::string::npos)
            FNameHash->Add(CompareKey(std::string_view(text).substr(0, equals)), i);
    }
    FNameHashValid = true;
}

int THashedStringList::IndexOf(std::string_view text) const {
    UpdateValueHash();
    return CaseSensitive() ? FValueHash->ValueOf(text) : FValueHash->ValueOf(CompareKey(text));
}

int THashedStringList::IndexOfName(std::string_view name) const {
    UpdateNameHash();
    return CaseSensitive() ? FNameHash->ValueOf(name) : FNameHash->ValueOf(CompareKey(name));
}

// --- TCustomIniFile

TCustomIniFile::TCustomIniFile(std::string fileName) : FFileName(std::move(fileName)) {}

TCustomIniFile::~TCustomIniFile() = default;

bool TCustomIniFile::SectionExists(std::string_view section) const {
    TStringList names;
    ReadSection(section, names);
    return names.Count() > 0;
}

int TCustomIniFile::ReadInteger(std::string_view section, std::string_view ident,
                                int defaultValue) const {
    std::string text = ReadString(section, ident, "");
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        text.replace(0, 2, "$");
    int value = 0;
    return TryStrToInt(text, value) ? value : defaultValue;
}

void TCustomIniFile::WriteInteger(std::string_view section, std::string_view ident, int value) {
    WriteString(section, ident, std::to_string(value));
}

bool TCustomIniFile::ReadBool(std::string_view section, std::string_view ident,
                              bool defaultValue) const {
    return ReadInteger(section, ident, defaultValue ? 1 : 0) != 0;
}

void TCustomIniFile::WriteBool(std::string_view section, std::string_view ident, bool value) {
    WriteString(section, ident, value ? "1" : "0");
}

std::size_t TCustomIniFile::ReadBinaryStream(std::string_view section, std::string_view ident,
                                             TByteStream& stream) const {
    const std::string text = ReadString(section, ident, "");
    if (text.empty())
        return 0;
    const std::size_t count = text.size() / 2;
    const std::size_t position = stream.Position;
    // A position past the end still gets room for every decoded byte.
    stream.Data.resize(std::max(stream.Data.size() + count, position + count));
    for (std::size_t i = 0; i < count; ++i) {
        const int high = HexDigit(text[2 * i]);
        const int low = HexDigit(text[2 * i + 1]);
        if (high < 0 || low < 0)
            break;
        stream.Data[position + i] = static_cast<uint8_t>(high << 4 | low);
    }
    stream.Position = position;
    return stream.Data.size() - position;
}

namespace {

// A typed read: the text converted by `convert`, the default when it is empty or does not convert.
template <typename T, typename Convert>
T ReadConverted(const TCustomIniFile& ini, std::string_view section, std::string_view ident,
                T defaultValue, Convert convert) {
    T value{};
    const std::string text = ini.ReadString(section, ident, "");
    return !text.empty() && convert(text, value) ? value : defaultValue;
}

} // namespace

TDateTime TCustomIniFile::ReadDate(std::string_view section, std::string_view ident,
                                   TDateTime defaultValue) const {
    return ReadConverted(*this, section, ident, defaultValue, TryStrToDate);
}

TDateTime TCustomIniFile::ReadDateTime(std::string_view section, std::string_view ident,
                                       TDateTime defaultValue) const {
    return ReadConverted(*this, section, ident, defaultValue, TryStrToDateTime);
}

double TCustomIniFile::ReadFloat(std::string_view section, std::string_view ident,
                                 double defaultValue) const {
    return ReadConverted(*this, section, ident, defaultValue, TryStrToFloat);
}

TDateTime TCustomIniFile::ReadTime(std::string_view section, std::string_view ident,
                                   TDateTime defaultValue) const {
    return ReadConverted(*this, section, ident, defaultValue, TryStrToTime);
}

void TCustomIniFile::WriteBinaryStream(std::string_view section, std::string_view ident,
                                       const TByteStream& stream) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    const std::size_t position = std::min(stream.Position, stream.Data.size());
    std::string text;
    text.reserve((stream.Data.size() - position) * 2);
    for (std::size_t i = position; i < stream.Data.size(); ++i) {
        text += kDigits[stream.Data[i] >> 4];
        text += kDigits[stream.Data[i] & 0x0F];
    }
    WriteString(section, ident, text);
}

void TCustomIniFile::WriteDate(std::string_view section, std::string_view ident, TDateTime value) {
    TDateTimeParts parts = DecodeDateTime(value);
    WriteString(section, ident, FormatDate(parts));
}

void TCustomIniFile::WriteDateTime(std::string_view section, std::string_view ident,
                                   TDateTime value) {
    TDateTimeParts parts = DecodeDateTime(value);
    WriteString(section, ident, FormatDate(parts) + ' ' + FormatTime(parts));
}

void TCustomIniFile::WriteFloat(std::string_view section, std::string_view ident, double value) {
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, value);
    WriteString(section, ident, std::string_view(text, result.ptr - text));
}

void TCustomIniFile::WriteTime(std::string_view section, std::string_view ident, TDateTime value) {
    TDateTimeParts parts = DecodeDateTime(value);
    WriteString(section, ident, FormatTime(parts));
}

// --- TMemIniFile

TMemIniFile::TMemIniFile(std::string fileName) : TCustomIniFile(std::move(fileName)) {
    Reload();
}

TMemIniFile::~TMemIniFile() = default;

bool TMemIniFile::Reload() {
    Clear();
    FLastError.clear();
    if (FileName().empty())
        return true;
    std::error_code ec;
    const fs::path path(FileName());
    const fs::file_status status = fs::status(path, ec);
    if (status.type() == fs::file_type::not_found || ec == std::errc::no_such_file_or_directory ||
        ec == std::errc::not_a_directory)
        return true; // a missing file is an empty store
    auto fail = [&](const std::string& reason) {
        FLastError = "Cannot read " + FileName() + ": " + reason;
        return false;
    };
    if (ec)
        return fail(ec.message());
    if (!fs::is_regular_file(status))
        return fail("not a regular file");
    const auto size = fs::file_size(path, ec);
    if (!ec && size > kMaxFileSize)
        return fail("larger than " + std::to_string(kMaxFileSize) + " bytes");

    std::ifstream in(path, std::ios::binary);
    if (!in)
        return fail(std::generic_category().message(errno));
    std::string text;
    char buffer[65536];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        text.append(buffer, static_cast<std::size_t>(in.gcount()));
        if (text.size() > kMaxFileSize) // the file grew since its size was taken
            return fail("larger than " + std::to_string(kMaxFileSize) + " bytes");
    }
    if (in.bad())
        return fail(std::generic_category().message(errno));
    SetText(text);
    return true;
}

void TMemIniFile::SetText(std::string_view text) {
    Clear();
    THashedStringList* entries = nullptr; // no section yet: lines are ignored
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t end = text.find_first_of("\r\n", pos);
        std::string_view line = text.substr(pos, end == std::string_view::npos ? end : end - pos);
        if (end == std::string_view::npos) {
            pos = text.size();
        } else {
            pos = end + 1;
            if (text[end] == '\r' && pos < text.size() && text[pos] == '\n')
                ++pos;
        }

        line = Trim(line);
        if (line.empty() || line.front() == ';')
            continue;
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
            entries = AddSection(Trim(line.substr(1, line.size() - 2)));
        } else if (entries) {
            const auto equals = line.find('=');
            if (equals == std::string_view::npos) {
                entries->Add(std::string(line));
            } else {
                std::string entry(Trim(line.substr(0, equals)));
                entry += '=';
                entry += Trim(line.substr(equals + 1));
                entries->Add(std::move(entry));
            }
        }
    }
}

std::string TMemIniFile::GetText() const {
    std::string text;
    for (int i = 0; i < FSections.Count(); ++i) {
        text += '[';
        text += FSections[i];
        text += "]\r\n";
        const TStringList& entries = *FSections.Objects(i);
        for (int j = 0; j < entries.Count(); ++j) {
            text += entries[j];
            text += "\r\n";
        }
        text += "\r\n";
    }
    return text;
}

void TMemIniFile::Clear() {
    FSections.Clear();
}

void TMemIniFile::SetCaseSensitive(bool value) {
    FSections.SetCaseSensitive(value);
    for (int i = 0; i < FSections.Count(); ++i)
        FSections.Objects(i)->SetCaseSensitive(value);
}

THashedStringList* TMemIniFile::AddSection(std::string_view section) {
    auto entries = std::make_unique<THashedStringList>();
    entries->SetCaseSensitive(FSections.CaseSensitive());
    THashedStringList* added = entries.get();
    FSections.AddObject(std::string(section), std::move(entries));
    return added;
}

THashedStringList* TMemIniFile::FindSection(std::string_view section) const {
    const int index = FSections.IndexOf(section);
    // Every line of the section list owns the entry list AddSection made for it.
    return index < 0 ? nullptr : static_cast<THashedStringList*>(FSections.Objects(index));
}

std::string TMemIniFile::ReadString(std::string_view section, std::string_view ident,
                                    std::string_view defaultValue) const {
    if (const THashedStringList* entries = FindSection(section)) {
        const int index = entries->IndexOfName(ident);
        if (index >= 0)
            return entries->ValueFromIndex(index);
    }
    return std::string(defaultValue);
}

void TMemIniFile::WriteString(std::string_view section, std::string_view ident,
                              std::string_view value) {
    CheckSingleLine(section, "section name");
    CheckSingleLine(ident, "key name");
    CheckSingleLine(value, "value");
    THashedStringList* entries = FindSection(section);
    if (!entries)
        entries = AddSection(section);
    std::string line(ident);
    line += '=';
    line += value;
    const int index = entries->IndexOfName(ident);
    if (index >= 0)
        entries->Put(index, std::move(line));
    else
        entries->Add(std::move(line));
}

void TMemIniFile::ReadSection(std::string_view section, TStringList& strings) const {
    strings.Clear();
    if (const THashedStringList* entries = FindSection(section)) {
        for (int i = 0; i < entries->Count(); ++i)
            strings.Add(entries->Names(i));
    }
}

void TMemIniFile::ReadSections(TStringList& strings) const {
    strings.Clear();
    for (int i = 0; i < FSections.Count(); ++i)
        strings.Add(FSections[i]);
}

void TMemIniFile::ReadSectionValues(std::string_view section, TStringList& strings) const {
    strings.Clear();
    if (const THashedStringList* entries = FindSection(section)) {
        for (int i = 0; i < entries->Count(); ++i)
            strings.Add(entries->Strings(i));
    }
}

void TMemIniFile::EraseSection(std::string_view section) {
    const int index = FSections.IndexOf(section);
    if (index >= 0)
        FSections.Delete(index);
}

void TMemIniFile::DeleteKey(std::string_view section, std::string_view ident) {
    if (THashedStringList* entries = FindSection(section)) {
        const int index = entries->IndexOfName(ident);
        if (index >= 0)
            entries->Delete(index);
    }
}

bool TMemIniFile::UpdateFile() {
    FLastError.clear();
    return platform::ReplaceFileContents(FileName(), GetText(), FLastError);
}

} // namespace ostero::support
