#include "export/TextExport.h"

#include "export/ExportWalk.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

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

// "dd.mm.yyyy;hh:nn:ss;" of a TDateTime. As with the date-time type it stands for, the whole
// part counts the days and the fraction, taken without its sign, the time of day.
std::string DateTimeFields(report::TDateTime x) {
    constexpr double kMsPerDay = 86400000.0;
    // Beyond the years 1..9999 (and for NaN) there is no date to write.
    if (!(x > -693594.0 && x < 2958466.0))
        return ";;";
    int64_t days = static_cast<int64_t>(std::trunc(x));
    int64_t ms = std::llround(std::fabs(x - static_cast<double>(days)) * kMsPerDay);
    if (ms >= static_cast<int64_t>(kMsPerDay)) { // rounded up to the next midnight
        ms = 0;
        days += x < 0 ? -1 : 1;
    }
    int64_t year;
    int month, day;
    CivilFromDays(days - 25569, year, month, day); // 30.12.1899 is 25569 days before 1970
    const int64_t seconds = ms / 1000;
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%02d.%02d.%04lld;%02lld:%02lld:%02lld;", day, month,
                  static_cast<long long>(year), static_cast<long long>(seconds / 3600),
                  static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
    return buffer;
}

// General format, up to 15 significant digits; snprintf takes the decimal separator from
// LC_NUMERIC.
std::string GeneralNumber(double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.15g", value);
    return buffer;
}

void DropLastSeparator(std::string& line) {
    if (!line.empty() && line.back() == ';')
        line.pop_back();
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
    std::string out;
    std::string line = "Date;Time;";
    for (const report::TChartSeries& series : chart.Series)
        if (series.Active)
            line += series.Title + ";";
    DropLastSeparator(line);
    out += line + "\r\n";
    if (chart.Series.empty())
        return out;
    const std::vector<report::TChartPoint>& times = chart.Series[0].Points;
    for (size_t index = 0; index < times.size(); ++index) {
        line = DateTimeFields(times[index].X);
        for (const report::TChartSeries& series : chart.Series) {
            if (!series.Active)
                continue;
            if (index < series.Points.size() && !series.Points[index].Missing)
                line += GeneralNumber(series.Points[index].Y);
            line += ";";
        }
        DropLastSeparator(line);
        out += line + "\r\n";
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
