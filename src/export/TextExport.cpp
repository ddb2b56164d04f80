#include "export/TextExport.h"

#include "export/ExportWalk.h"

#include <algorithm>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace ostero::exporting {

using report::TTreeNode;

namespace {

class TTextWriter final : public TExportVisitor {
public:
    std::string Text;

    void Enter(const TTreeNode& node, int depth) override {
        Text.append(static_cast<size_t>(depth) * 4, ' ');
        const int32_t image = node.ImageCode();
        if (image >= 1 && image <= 399) {
            const std::string_view keyword = report::IconKeyword(image);
            if (!keyword.empty()) {
                Text += keyword;
                Text += ": ";
            }
        }
        Text += node.Text();
        if (const report::TTreeListObj* prop = node.Property(); prop && !prop->Value.empty()) {
            Text += '=';
            Text += prop->Value;
        }
        Text += "\r\n";
    }
    void Leave(const TTreeNode&, int) override {}
};

// Days since 1 January 1970 to year, month and day (proleptic Gregorian calendar).
void CivilFromDays(int64_t days, int64_t& year, int& month, int& day) {
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int64_t dayOfEra = days - era * 146097;
    const int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t mp = (5 * dayOfYear + 2) / 153;
    day = static_cast<int>(dayOfYear - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
}

// Appends `value` as exactly `width` decimal digits (value >= 0).
void AppendDigits(std::string& out, int64_t value, int width) {
    char digits[20];
    for (int i = width - 1; i >= 0; --i) {
        digits[i] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
    out.append(digits, static_cast<size_t>(width));
}

// Appends "dd.mm.yyyy;hh:nn:ss;" of TDateTimes. As with the date-time type it stands for, the
// whole part counts the days and the fraction, taken without its sign, the time of day. The
// points of a chart lie mostly on few days: the date of the last day is kept.
class TDateTimeFields {
public:
    void Append(std::string& out, report::TDateTime x) {
        constexpr double kMsPerDay = 86400000.0;
        // Beyond the years 1..9999 (and for NaN) there is no date to write.
        if (!(x > -693594.0 && x < 2958466.0)) {
            out += ";;";
            return;
        }
        int64_t days = static_cast<int64_t>(std::trunc(x));
        int64_t ms = std::llround(std::fabs(x - static_cast<double>(days)) * kMsPerDay);
        if (ms >= static_cast<int64_t>(kMsPerDay)) { // rounded up to the next midnight
            ms = 0;
            days += x < 0 ? -1 : 1;
        }
        if (days != Days_ || Date_.empty()) {
            int64_t year;
            int month, day;
            CivilFromDays(days - 25569, year, month, day); // 30.12.1899 is 25569 days before 1970
            Date_.clear();
            AppendDigits(Date_, day, 2);
            Date_ += '.';
            AppendDigits(Date_, month, 2);
            Date_ += '.';
            AppendDigits(Date_, year, 4);
            Date_ += ';';
            Days_ = days;
        }
        out += Date_;
        const int64_t seconds = ms / 1000;
        AppendDigits(out, seconds / 3600, 2);
        out += ':';
        AppendDigits(out, seconds / 60 % 60, 2);
        out += ':';
        AppendDigits(out, seconds % 60, 2);
        out += ';';
    }

private:
    int64_t Days_ = 0;
    std::string Date_;
};

// Appends numbers as snprintf with "%.15g" writes them (general format, up to 15 significant
// digits, the decimal separator of LC_NUMERIC), without the cost of snprintf for each value: a
// chart holds many of them.
class TGeneralNumber {
public:
    TGeneralNumber() {
        const char* point = std::localeconv()->decimal_point;
        Point_ = point != nullptr && *point != '\0' ? point : ".";
    }

    void Append(std::string& out, double value) const {
        char buffer[64];
        // Whole numbers below 10^15 have at most 15 digits: written as integers.
        if (value == std::trunc(value) && std::fabs(value) < 1e15 &&
            !(value == 0 && std::signbit(value))) {
            const auto end =
                std::to_chars(buffer, buffer + sizeof buffer, static_cast<int64_t>(value)).ptr;
            out.append(buffer, end);
            return;
        }
        if (!std::isfinite(value)) {
            std::snprintf(buffer, sizeof buffer, "%.15g", value);
            out += buffer;
            return;
        }
        if (AppendFewDecimals(out, value))
            return;
        // The same digits as printf's "%.15g" in the C locale.
        const char* end =
            std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15)
                .ptr;
        AppendWithPoint(out, buffer, end);
    }

private:
    // A value that is the nearest double to a decimal with at most six decimals, like most
    // sensor readings: that decimal has at most 15 digits here, the value lies closer to it than
    // half a unit of the 15th digit, and so it is what "%.15g" writes, without its trailing
    // zeros. False for other values.
    bool AppendFewDecimals(std::string& out, double value) const {
        constexpr double kScale = 1e6;
        const double magnitude = std::fabs(value);
        if (!(magnitude >= 1e-4 && magnitude < 1e9))
            return false;
        const int64_t scaled = std::llround(magnitude * kScale);
        // Both are exact doubles, so the division rounds the decimal to its nearest double.
        if (static_cast<double>(scaled) / kScale != magnitude)
            return false;
        char buffer[32];
        if (value < 0)
            out += '-';
        const auto whole = std::to_chars(buffer, buffer + sizeof buffer, scaled / 1000000).ptr;
        out.append(buffer, whole);
        int64_t fraction = scaled % 1000000;
        if (fraction == 0)
            return true;
        int digits = 6;
        for (; fraction % 10 == 0; fraction /= 10)
            --digits;
        out += Point_;
        AppendDigits(out, fraction, digits);
        return true;
    }

    // Appends a number written in the C locale with the decimal separator in use.
    void AppendWithPoint(std::string& out, const char* begin, const char* end) const {
        const char* dot = std::find(begin, end, '.');
        out.append(begin, dot);
        if (dot != end) {
            out += Point_;
            out.append(dot + 1, end);
        }
    }

    std::string Point_;
};

// A series title as one field: in double quotes, its own quotes doubled, when it holds the
// separator, a comma (the separator of other readers' CSV), a quote or a line break; else as it
// is.
void AppendCsvField(std::string& out, const std::string& field) {
    if (field.find_first_of(";,\"\r\n") == std::string::npos) {
        out += field;
        return;
    }
    out += '"';
    for (const char c : field) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
}

void DropLastSeparator(std::string& out) {
    if (!out.empty() && out.back() == ';')
        out.pop_back();
}

} // namespace

std::string RenderText(const report::TReportTree& tree, bool keepPrivate) {
    TTextWriter writer;
    // One allocation for the whole text of the tree itself (linked subtrees may add to it):
    // growing a text of megabytes step by step costs more in fresh pages than writing it.
    size_t estimate = 0;
    for (const TTreeNode* node = tree.First(); node != nullptr; node = node->NextInTree()) {
        estimate += static_cast<size_t>(node->Level()) * 4 + node->Text().size() + 24;
        if (const report::TTreeListObj* property = node->Property())
            estimate += property->Value.size();
    }
    writer.Text.reserve(estimate);
    TExportWalkRule rule;
    rule.KeepPrivate = keepPrivate;
    rule.ChartLines = true;
    WalkExport(tree, rule, writer);
    return std::move(writer.Text);
}

bool SaveText(const report::TReportTree& tree, const std::string& fileName, bool keepPrivate,
              std::string* error) {
    std::string text;
    try {
        text = RenderText(tree, keepPrivate);
    } catch (const TExportError& e) {
        if (error != nullptr)
            *error = e.what();
        return false;
    }
    return WriteExportFile(fileName, text, error);
}

std::string RenderChartCsv(const report::TChart& chart) {
    std::vector<const report::TChartSeries*> active;
    for (const report::TChartSeries& series : chart.Series)
        if (series.Active)
            active.push_back(&series);
    const std::vector<report::TChartPoint>* times =
        chart.Series.empty() ? nullptr : &chart.Series[0].Points;

    std::string out;
    // Date and time, and a few digits for each value: one allocation for most charts.
    out.reserve(64 + (times != nullptr ? times->size() * (24 + 8 * active.size()) : 0));
    out += "Date;Time;";
    for (const report::TChartSeries* series : active) {
        AppendCsvField(out, series->Title);
        out += ';';
    }
    DropLastSeparator(out);
    out += "\r\n";
    if (times == nullptr)
        return out;

    TDateTimeFields dateTime;
    const TGeneralNumber number;
    for (size_t index = 0; index < times->size(); ++index) {
        dateTime.Append(out, (*times)[index].X);
        for (const report::TChartSeries* series : active) {
            if (index < series->Points.size() && !series->Points[index].Missing)
                number.Append(out, series->Points[index].Y);
            out += ';';
        }
        DropLastSeparator(out);
        out += "\r\n";
    }
    return out;
}

bool SaveChartCsv(const report::TChart* chart, const std::string& fileName, std::string* error) {
    if (chart == nullptr || chart->Series.empty()) {
        if (error != nullptr)
            *error = "There is no chart to export.";
        return false;
    }
    return WriteExportFile(fileName, RenderChartCsv(*chart), error);
}

} // namespace ostero::exporting
