#include "report/SensorLog.h"

#include "report/TreeSearch.h"
#include "support/SysUtils.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <new>
#include <system_error>

namespace ostero::report {

namespace {

constexpr unsigned kFirstTitleField = 3;
constexpr unsigned kLastTitleField = 255;
// The range of a fixed-point number with four decimals held in 64 bits.
constexpr double kMaxFixedPoint = 922337203685477.5807;

bool IsFieldEnd(char c) {
    return c == ';' || c == '\r' || c == '\n';
}

bool IsRegularFile(const std::string& name) {
    std::error_code ec;
    return std::filesystem::is_regular_file(std::filesystem::path(name), ec);
}

// Lines of a stream, ending at LF, CR LF or a lone CR, each at most `maxLength` bytes.
class TLineReader {
public:
    enum class TResult { Line, End, TooLong };

    TLineReader(std::istream& in, size_t maxLength) : Buf_(*in.rdbuf()), MaxLength_(maxLength) {}

    TResult Next(std::string& line) {
        using Traits = std::char_traits<char>;
        line.clear();
        Traits::int_type c = Buf_.sbumpc();
        if (Traits::eq_int_type(c, Traits::eof()))
            return TResult::End;
        for (;; c = Buf_.sbumpc()) {
            if (Traits::eq_int_type(c, Traits::eof()))
                return TResult::Line;
            ++Consumed_;
            if (c == '\n')
                return TResult::Line;
            if (c == '\r') {
                if (Buf_.sgetc() == '\n') {
                    Buf_.sbumpc();
                    ++Consumed_;
                }
                return TResult::Line;
            }
            if (line.size() >= MaxLength_)
                return TResult::TooLong;
            line.push_back(Traits::to_char_type(c));
        }
    }

    // The bytes read so far, line breaks included.
    uintmax_t Consumed() const { return Consumed_; }

private:
    std::streambuf& Buf_;
    size_t MaxLength_;
    uintmax_t Consumed_ = 0;
};

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

// A number of `minDigits` to `maxDigits` decimal digits and nothing else.
bool ParseDigits(std::string_view text, size_t minDigits, size_t maxDigits, int& value) {
    if (text.size() < minDigits || text.size() > maxDigits)
        return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    return true;
}

// Splits at `separator` into at most three parts; answers the number of parts, 4 for more.
size_t SplitParts(std::string_view text, char separator, std::string_view (&parts)[3]) {
    size_t count = 0;
    for (;;) {
        const size_t at = text.find(separator);
        if (count == 3)
            return 4; // too many parts
        parts[count++] = text.substr(0, at);
        if (at == std::string_view::npos)
            return count;
        text.remove_prefix(at + 1);
    }
}

// Days since 1 March of year 0 in the proleptic Gregorian calendar.
int64_t DaysFromCivil(int year, int month, int day) {
    const int y = year - (month <= 2 ? 1 : 0);
    const int era = y / 400;
    const int yoe = y - era * 400;
    const int doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return int64_t{era} * 146097 + doe;
}

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

bool ParseDate(std::string_view field, double& days) {
    std::string_view parts[3];
    if (SplitParts(TrimBlanks(field), '.', parts) != 3)
        return false;
    int day = 0, month = 0, year = 0;
    if (!ParseDigits(parts[0], 1, 2, day) || !ParseDigits(parts[1], 1, 2, month) ||
        !ParseDigits(parts[2], 4, 4, year))
        return false;
    static constexpr int kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1 || month < 1 || month > 12 || day < 1)
        return false;
    const int monthDays = kMonthDays[month - 1] + (month == 2 && IsLeapYear(year) ? 1 : 0);
    if (day > monthDays)
        return false;
    days = static_cast<double>(DaysFromCivil(year, month, day) - DaysFromCivil(1899, 12, 30));
    return true;
}

bool ParseTime(std::string_view field, double& fraction) {
    std::string_view parts[3];
    const size_t count = SplitParts(TrimBlanks(field), ':', parts);
    if (count != 2 && count != 3)
        return false;
    int hour = 0, minute = 0, second = 0;
    if (!ParseDigits(parts[0], 1, 2, hour) || !ParseDigits(parts[1], 1, 2, minute) ||
        (count == 3 && !ParseDigits(parts[2], 1, 2, second)))
        return false;
    if (hour > 23 || minute > 59 || second > 59)
        return false;
    fraction = (hour * 3600.0 + minute * 60.0 + second) / 86400.0;
    return true;
}

// A fixed-point number with four decimals and "," as decimal separator.
bool ParseValue(std::string_view field, double& value) {
    const std::string_view text = TrimBlanks(field);
    std::string normal;
    normal.reserve(text.size());
    size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        if (text[i] == '-')
            normal += '-';
        ++i;
    }
    size_t digits = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++digits)
        normal += text[i];
    if (i < text.size() && text[i] == ',') {
        normal += '.';
        for (++i; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++digits)
            normal += text[i];
    }
    if (digits == 0)
        return false;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        normal += 'e';
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-'))
            normal += text[i++];
        size_t expDigits = 0;
        for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++expDigits)
            normal += text[i];
        if (expDigits == 0)
            return false;
    }
    if (i != text.size())
        return false;
    double parsed = 0;
    const auto [end, ec] = std::from_chars(normal.data(), normal.data() + normal.size(), parsed);
    if (ec != std::errc() || end != normal.data() + normal.size())
        return false;
    if (!std::isfinite(parsed) || std::fabs(parsed) > kMaxFixedPoint)
        return false;
    value = std::round(parsed * 10000.0) / 10000.0;
    return true;
}

std::string Quoted(const std::string& field) {
    return "'" + field + "'";
}

// Reads the data lines of one file into the chart's series.
class TDataReader {
public:
    TDataReader(TChart& chart, const TSensorLogLimits& limits, std::string& errorText)
        : Chart_(chart), Limits_(limits), ErrorText_(errorText) {}

    // True when the file was read to its end.
    bool Read(TLineReader& reader) {
        const size_t seriesCount = Chart_.Series.size();
        // A line costs at least one unit, so that a log without series still ends.
        const size_t lineCost = std::max<size_t>(seriesCount, 1);
        std::string line;
        for (size_t lineIndex = 0;; ++lineIndex) {
            const TLineReader::TResult result = reader.Next(line);
            if (result == TLineReader::TResult::End) {
                BytesOfEarlierFiles_ += reader.Consumed();
                return true;
            }
            if (result == TLineReader::TResult::TooLong) {
                ErrorText_ = "A line of the sensor log is longer than " +
                             std::to_string(Limits_.MaxLineLength) + " characters";
                return false;
            }
            const size_t budget = PointBudget(reader);
            if (budget < Points_ || budget - Points_ < lineCost) {
                ErrorText_ = "The sensor log holds more than " + std::to_string(budget) + " values";
                return false;
            }
            Points_ += lineCost;

            const std::vector<std::string> fields = SensorLogFields(line, seriesCount + 2);
            double date = 0;
            if (!ParseDate(fields[0], date)) {
                ErrorText_ = Quoted(fields[0]) + " is not a valid date";
                return false;
            }
            double time = 0;
            if (!ParseTime(fields[1], time)) {
                ErrorText_ = Quoted(fields[1]) + " is not a valid time";
                return false;
            }
            const TDateTime x = date + time;
            for (size_t i = 0; i < seriesCount; ++i) {
                TChartSeries& series = Chart_.Series[i];
                const std::string& field = fields[i + 2];
                if (field.empty()) {
                    // The gap keeps the previous line's Y so that the line is drawn level.
                    const double y =
                        lineIndex == 0 || series.Points.empty() ? 0.0 : series.Points.back().Y;
                    series.AddMissing(x, y);
                    continue;
                }
                double value = 0;
                if (!ParseValue(field, value)) {
                    ErrorText_ = Quoted(field) + " is not a valid floating point value";
                    return false;
                }
                series.AddPoint(x, value);
            }
        }
    }

private:
    // The points allowed after what has been read up to now of the files.
    size_t PointBudget(const TLineReader& reader) const {
        const uintmax_t bytes = BytesOfEarlierFiles_ + reader.Consumed();
        const uintmax_t byBytes = bytes + Limits_.PointsWithoutBytes;
        return byBytes < Limits_.MaxPoints ? static_cast<size_t>(byBytes) : Limits_.MaxPoints;
    }

    TChart& Chart_;
    const TSensorLogLimits& Limits_;
    std::string& ErrorText_;
    size_t Points_ = 0;
    uintmax_t BytesOfEarlierFiles_ = 0;
};

// A series that never read anything but 0 and starts with a gap is a sensor that is not there.
bool IsEmptySeries(const TChartSeries& series) {
    if (series.Points.empty())
        return true;
    if (!series.Points.front().Missing)
        return false;
    return std::all_of(series.Points.begin(), series.Points.end(),
                       [](const TChartPoint& p) { return p.Y == 0; });
}

} // namespace

std::vector<std::string> SensorLogFields(std::string_view line, size_t count) {
    std::vector<std::string> fields;
    fields.reserve(count);
    const size_t len = line.size();
    size_t pos = 0;
    while (fields.size() < count && pos < len) {
        const size_t start = pos;
        size_t end = len;
        if (line[pos] == '"') {
            for (size_t j = pos + 1; j < len; ++j) {
                if (line[j] == '"' && (j + 1 == len || IsFieldEnd(line[j + 1]))) {
                    end = j + 1;
                    break;
                }
            }
        } else {
            for (size_t j = pos; j < len; ++j) {
                if (IsFieldEnd(line[j])) {
                    end = j;
                    break;
                }
            }
        }
        // The field alone reads the same as it does in place: it ends where the line's does.
        fields.push_back(support::GetSeparatedField(line.substr(start, end - start), 1));
        pos = end;
        if (pos < len && line[pos] == ';')
            ++pos;
        if (pos < len && line[pos] == '\n')
            ++pos;
        if (pos < len && line[pos] == '\r')
            ++pos;
    }
    fields.resize(count);
    return fields;
}

std::string SensorLogContinuationName(const std::string& fileName) {
    const size_t slash = fileName.rfind('/');
    const size_t dot = fileName.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return fileName + "_1";
    return fileName.substr(0, dot) + "_1" + fileName.substr(dot);
}

namespace {

bool ReadSensorLog(const std::string& fileName, TChart& chart, TTreeNode* chartNode,
                   std::string& errorText, const TSensorLogLimits& limits) {
    const std::string older = SensorLogContinuationName(fileName);
    const bool continued = IsRegularFile(older);
    std::ifstream first(std::filesystem::path(continued ? older : fileName), std::ios::binary);
    if (!first)
        return false;
    TLineReader firstReader(first, limits.MaxLineLength);
    std::string header;
    switch (firstReader.Next(header)) {
    case TLineReader::TResult::End:
        return false;
    case TLineReader::TResult::TooLong:
        errorText = "The first line of the sensor log is longer than " +
                    std::to_string(limits.MaxLineLength) + " characters";
        return false;
    case TLineReader::TResult::Line:
        break;
    }
    const std::vector<std::string> titles = SensorLogFields(header, kLastTitleField);
    if (UpperCaseAscii(titles[0]) != "DATE" || UpperCaseAscii(titles[1]) != "TIME")
        return false;

    chart.Clear();
    for (size_t i = kFirstTitleField - 1; i < titles.size() && !titles[i].empty(); ++i)
        chart.AddSeries(titles[i]);

    TDataReader data(chart, limits, errorText);
    if (!data.Read(firstReader))
        return false;
    if (continued) {
        std::ifstream current(std::filesystem::path(fileName), std::ios::binary);
        if (current) {
            TLineReader currentReader(current, limits.MaxLineLength);
            std::string currentHeader;
            if (currentReader.Next(currentHeader) == TLineReader::TResult::Line &&
                currentHeader == header && !data.Read(currentReader))
                return false;
        }
    }

    std::erase_if(chart.Series, IsEmptySeries);
    auto object = std::make_unique<TChartObject>();
    object->Chart = &chart;
    chartNode->SetObject(std::move(object));
    ArrangeChartAxes(chart, true);
    AddChartLineNodes(*chartNode, chart);
    return true;
}

} // namespace

bool LoadSensorLog(const std::string& fileName, TChart& chart, TTreeNode* chartNode,
                   std::string& errorText, const TSensorLogLimits& limits) {
    errorText.clear();
    if (chartNode == nullptr || !IsRegularFile(fileName))
        return false;
    try {
        return ReadSensorLog(fileName, chart, chartNode, errorText, limits);
    } catch (const std::bad_alloc&) {
        // A log larger than the memory left is refused like one beyond the limits; what was read
        // is given back. The caller deletes the node of a log that was not read.
        chart.Clear();
        errorText = "There is not enough memory to read the sensor log";
        return false;
    }
}

} // namespace ostero::report
