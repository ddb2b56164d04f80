#include "tools/report/ReportTool.h"

#include "export/HtmlExport.h"
#include "export/JsonExport.h"
#include "export/TextExport.h"
#include "export/XmlExport.h"
#include "report/ReportCompare.h"
#include "report/ReportFile.h"
#include "report/ReportScan.h"
#include "report/SensorLog.h"
#include "report/TreeSearch.h"
#include "support/Language.h"
#include "support/TextCodec.h"
#include "support/UserMessage.h"
#include "support/platform/FileReplace.h"

#include <ctime>
#include <filesystem>
#include <iomanip>
#include <map>
#include <ostream>
#include <sstream>

namespace ostero::tools {

using report::TReportDocument;
using report::TTreeNode;

namespace {

constexpr const char* kUsage = "usage: ostero-report dump FILE\n"
                               "       ostero-report convert IN OUT [--no-private]\n"
                               "       ostero-report compare A B [--summary]\n"
                               "       ostero-report find FILE (--text T | --errors | --warnings)\n"
                               "       ostero-report scan DIR (--text T | --errors | --warnings)"
                               " [--from TIME] [--to TIME]\n"
                               "       ostero-report sensorlog LOG OUT\n"
                               "       ostero-report export IN --format "
                               "html|mht|xml|txt|csv|wmf|json OUT [--no-private] "
                               "[--language CODE]\n";

// Backslash, tab, CR and LF written so that one node stays one line of seven fields.
std::string EscapeControls(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\n':
            out += "\\n";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string Escape(const std::string& ansi) {
    return support::AnsiToUtf8(EscapeControls(ansi));
}

std::string Kind(const TTreeNode& node) {
    if (const auto* property = node.Property())
        return "P" + std::to_string(property->TypeCode);
    if (node.ChartObject())
        return "C";
    if (node.ChartLine())
        return "L";
    if (node.ReportInfo())
        return "R";
    return "G";
}

void Fail(std::ostream& err, const char* format, const std::string& file) {
    err << support::AnsiToUtf8(support::TUserMessage::FormatMessage(format, {file})) << "\n";
}

bool Exists(const std::string& file, std::ostream& err) {
    std::error_code ec;
    if (std::filesystem::is_regular_file(file, ec))
        return true;
    Fail(err, "File '%s' not found", file);
    return false;
}

// 0, or 2 after printing the message of a load result.
int LoadResult(int result, const std::string& file, std::ostream& err) {
    if (result == 0)
        return 0;
    Fail(err, report::LoadFailureMessage(result, file).Format.c_str(), file);
    return 2;
}

// Loads a report as the viewer does; answers 0, or 2 after printing the message.
int Load(TReportDocument& doc, const std::string& file, std::ostream& err) {
    if (!Exists(file, err))
        return 2;
    return LoadResult(report::LoadReport(doc, file, nullptr), file, err);
}

int Dump(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.size() != 2) {
        err << kUsage;
        return 2;
    }
    TReportDocument doc;
    if (const int status = Load(doc, args[1], err))
        return status;
    DumpReport(doc, out);
    return 0;
}

int Convert(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const bool noPrivate = args.size() == 4 && args[3] == "--no-private";
    if (args.size() != 3 && !noPrivate) {
        err << kUsage;
        return 2;
    }
    TReportDocument doc;
    if (const int status = Load(doc, args[1], err))
        return status;
    if (!report::SaveReport(doc, args[2], !noPrivate)) {
        Fail(err, "Cannot write the report file '%s'", args[2]);
        return 2;
    }
    return 0;
}

// Prints every hit as the in-report search walks them: its tree-order index (0 for the first
// node) and its title. The error search falls back to the second set when the first finds
// nothing, as the main window does.
int Find(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const bool text = args.size() == 4 && args[2] == "--text";
    const bool errors = args.size() == 3 && args[2] == "--errors";
    const bool warnings = args.size() == 3 && args[2] == "--warnings";
    if (!text && !errors && !warnings) {
        err << kUsage;
        return 2;
    }
    TReportDocument doc;
    if (const int status = Load(doc, args[1], err))
        return status;
    report::TTreeSearch search(doc.Tree);
    bool found = false;
    if (text)
        found = search.FindText(support::Utf8ToAnsi(args[3]));
    else if (warnings)
        found = search.FindImageCodes(report::WarningCodes());
    else
        found = search.FindImageCodes(report::ErrorEntryCodes()) ||
                search.FindImageCodes(report::ErrorEntrySecondTry());
    if (!found)
        return 1;
    // Hits come in tree order, so one running count gives every index.
    size_t index = 0;
    const TTreeNode* node = doc.Tree.First();
    while (found) {
        for (; node != search.Current(); node = node->NextInTree())
            ++index;
        out << index << '\t' << Escape(node->Text()) << '\n';
        found = text ? search.FindTextNext() : search.FindImageCodesNext();
    }
    return 0;
}

const char* StateName(int32_t state) {
    switch (state) {
    case report::ssAdded:
        return "added";
    case report::ssRemoved:
        return "removed";
    case report::ssContainsChanges:
        return "contains changes";
    case report::ssChanged:
        return "changed";
    case report::ssVolatileChanged:
        return "volatile changed";
    case report::ssVolatileAdded:
        return "volatile added";
    case report::ssVolatileRemoved:
        return "volatile removed";
    case report::ssSame:
        return "same";
    case -1:
        return "none";
    default:
        return "other";
    }
}

// Merges B into A as the report comparison does and prints the merged tree, or with --summary
// the number of nodes per state. Exit 1 when a node is added, removed or changed.
int Compare(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const bool summary = args.size() == 4 && args[3] == "--summary";
    if (args.size() != 3 && !summary) {
        err << kUsage;
        return 2;
    }
    TReportDocument doc;
    if (const int status = Load(doc, args[1], err))
        return status;
    if (!Exists(args[2], err))
        return 2;
    if (const int status = LoadResult(report::LoadCompareReport(doc, args[2]), args[2], err))
        return status;
    std::map<int32_t, size_t> counts;
    for (const TTreeNode* node = doc.Tree.First(); node; node = node->NextInTree())
        ++counts[node->StateIndex()];
    if (summary) {
        for (const auto& [state, count] : counts)
            out << state << '\t' << StateName(state) << '\t' << count << '\n';
    } else {
        DumpReport(doc, out);
    }
    for (int32_t state : {report::ssAdded, report::ssRemoved, report::ssChanged}) {
        if (counts.count(state) != 0)
            return 1;
    }
    return 0;
}

// "YYYY-MM-DD", "YYYY-MM-DD HH:MM" or "YYYY-MM-DD HH:MM:SS" (also with "T"), local time.
bool ParseTime(const std::string& text, std::chrono::system_clock::time_point& time) {
    std::string normal = text;
    if (normal.size() > 10 && normal[10] == 'T')
        normal[10] = ' ';
    for (const char* format : {"%Y-%m-%d %H:%M:%S", "%Y-%m-%d %H:%M", "%Y-%m-%d"}) {
        std::tm tm{};
        std::istringstream in(normal);
        in >> std::get_time(&tm, format);
        if (in.fail() || in.peek() != std::char_traits<char>::eof())
            continue;
        tm.tm_isdst = -1;
        const std::time_t seconds = std::mktime(&tm);
        if (seconds == -1)
            return false;
        time = std::chrono::system_clock::from_time_t(seconds);
        return true;
    }
    return false;
}

std::string FormatTime(std::chrono::system_clock::time_point time) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
    std::tm tm{};
    localtime_r(&seconds, &tm);
    std::ostringstream out;
    out << std::put_time(&tm, "%Y-%m-%d %H:%M:%S");
    return out.str();
}

// Scans a folder as the report-file search does and prints each listed file with its last
// change, then the final counts. Exit 1 when no file matched.
int Scan(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.size() < 3) {
        err << kUsage;
        return 2;
    }
    report::TFolderScan scan;
    scan.Folder = args[1];
    size_t next = 3;
    if (args[2] == "--text" && args.size() >= 4) {
        scan.Kind = report::TSearchKind::Text;
        scan.Text = support::Utf8ToAnsi(args[3]);
        next = 4;
        if (scan.Text.empty()) {
            err << kUsage;
            return 2;
        }
    } else if (args[2] == "--errors") {
        scan.Kind = report::TSearchKind::Errors;
    } else if (args[2] == "--warnings") {
        scan.Kind = report::TSearchKind::Warnings;
    } else {
        err << kUsage;
        return 2;
    }
    // One bound alone leaves the other side open.
    scan.Start = std::chrono::system_clock::time_point::min();
    scan.End = std::chrono::system_clock::time_point::max();
    for (; next < args.size(); next += 2) {
        const bool from = args[next] == "--from";
        if ((!from && args[next] != "--to") || next + 1 >= args.size()) {
            err << kUsage;
            return 2;
        }
        if (!ParseTime(args[next + 1], from ? scan.Start : scan.End)) {
            err << "ostero-report: '" << args[next + 1]
                << "' is not a time (YYYY-MM-DD [HH:MM[:SS]])\n";
            return 2;
        }
        scan.DateRange = true;
    }
    std::error_code ec;
    if (!std::filesystem::is_directory(scan.Folder, ec)) {
        Fail(err, "Folder '%s' not found", scan.Folder);
        return 2;
    }
    const report::TScanProgress result =
        report::ScanReportFolder(scan, [&out](const report::TScanHit& hit) {
            out << EscapeControls(hit.Name) << '\t' << FormatTime(hit.LastChange) << '\n';
        });
    out << result.StatusText() << '\n';
    return result.Found > 0 ? 0 : 1;
}

// Writes the whole report in one of the export formats.
int Export(const std::vector<std::string>& args, std::ostream& err,
           const TToolEnvironment& environment) {
    if (args.size() < 5 || args[2] != "--format") {
        err << kUsage;
        return 2;
    }
    const std::string& in = args[1];
    const std::string& format = args[3];
    const std::string& out = args[4];
    bool keepPrivate = true;
    int language = 255;
    for (size_t i = 5; i < args.size(); ++i) {
        if (args[i] == "--no-private") {
            keepPrivate = false;
        } else if (args[i] == "--language" && i + 1 < args.size()) {
            const std::string code = support::AnsiUpperCase(args[++i]);
            language = -1;
            for (int index = 0; index < 8; ++index) {
                if (code == support::LanguageTable[static_cast<size_t>(index)].Code)
                    language = index;
            }
            if (language < 0) {
                err << "ostero-report: unknown language '" << args[i] << "'\n";
                return 2;
            }
        } else {
            err << kUsage;
            return 2;
        }
    }
    const bool pictures = format == "html" || format == "mht" || format == "wmf";
    if (pictures && environment.Pictures == nullptr) {
        err << "ostero-report: the format '" << format
            << "' needs the picture library, which this build does not have\n";
        return 2;
    }
    TReportDocument doc;
    if (const int status = Load(doc, in, err))
        return status;
    std::string error;
    bool written = false;
    if (format == "html" || format == "mht") {
        exporting::THtmlOptions options;
        options.KeepPrivate = keepPrivate;
        options.Mime = format == "mht";
        options.LanguageIndex = options.Mime ? 255 : language;
        options.Pictures = environment.Pictures;
        written = exporting::SaveHtml(doc.Tree, out, options, &error);
    } else if (format == "txt") {
        written = exporting::SaveText(doc.Tree, out, keepPrivate, &error);
    } else if (format == "xml") {
        written = exporting::SaveXml(doc.Tree, out, keepPrivate, &error);
    } else if (format == "json") {
        written = exporting::SaveJson(doc, out, keepPrivate, &error);
    } else if (format == "csv") {
        if (doc.Chart.Series.empty()) {
            Fail(err, "File '%s' has no chart", in);
            return 2;
        }
        written = exporting::SaveChartCsv(&doc.Chart, out, &error);
    } else if (format == "wmf") {
        if (doc.Chart.Series.empty()) {
            Fail(err, "File '%s' has no chart", in);
            return 2;
        }
        // The chart as the clipboard and the export get it: 640 x 480 with title and legend.
        written = platform::ReplaceFileContents(
            out, environment.Pictures->ChartEmf(doc.Chart, 640, 480), error);
    } else {
        err << "ostero-report: unknown format '" << format << "'\n" << kUsage;
        return 2;
    }
    if (!written) {
        Fail(err, "Cannot write the file '%s'", out);
        if (!error.empty())
            err << error << "\n";
        return 2;
    }
    return 0;
}

// Reads a sensor log into a "Sensorlog" category node, as the session does, and saves it.
int SensorLog(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.size() != 3) {
        err << kUsage;
        return 2;
    }
    std::error_code ec;
    if (!std::filesystem::is_regular_file(args[1], ec)) {
        Fail(err, "File '%s' not found", args[1]);
        return 2;
    }
    TReportDocument doc;
    TTreeNode* node = report::AddNode(doc.Tree, nullptr, report::kCategorySensorLog, 0,
                                      report::CategoryName(report::kCategorySensorLog, true), 0);
    std::string error;
    if (!report::LoadSensorLog(args[1], doc.Chart, node, error)) {
        err << support::AnsiToUtf8(support::TUserMessage::FormatMessage(
            "An error occurred while reading sensorlogfile '%s'", {args[1]}));
        err << (error.empty() ? std::string(": not a sensor log")
                              : ": " + support::AnsiToUtf8(error))
            << "\n";
        return 2;
    }
    if (!report::SaveReport(doc, args[2], true)) {
        Fail(err, "Cannot write the report file '%s'", args[2]);
        return 2;
    }
    return 0;
}

} // namespace

void DumpReport(const TReportDocument& doc, std::ostream& out) {
    for (const TTreeNode* node = doc.Tree.First(); node; node = node->NextInTree()) {
        const auto* property = node->Property();
        out << node->Level() << '\t' << node->ImageCode() << '\t' << node->StateIndex() << '\t'
            << Kind(*node) << '\t' << (property ? property->Flags : 0) << '\t'
            << Escape(node->Text()) << '\t' << (property ? Escape(property->Value) : "") << '\n';
    }
    for (size_t i = 0; i < doc.Chart.Series.size(); ++i) {
        const auto& series = doc.Chart.Series[i];
        out << "series\t" << i << '\t' << Escape(series.Title) << '\t' << (series.Active ? 1 : 0)
            << '\t' << (series.Axis == report::TAxisSide::Left ? 'L' : 'R') << '\t'
            << series.Points.size() << '\t' << series.MissingCount() << '\n';
    }
}

int RunReportTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                  const TToolEnvironment& environment) {
    if (args.empty()) {
        err << kUsage;
        return 2;
    }
    if (args[0] == "dump")
        return Dump(args, out, err);
    if (args[0] == "convert")
        return Convert(args, out, err);
    if (args[0] == "find")
        return Find(args, out, err);
    if (args[0] == "compare")
        return Compare(args, out, err);
    if (args[0] == "scan")
        return Scan(args, out, err);
    if (args[0] == "sensorlog")
        return SensorLog(args, out, err);
    if (args[0] == "export")
        return Export(args, err, environment);
    err << "ostero-report: unknown command '" << args[0] << "'\n" << kUsage;
    return 2;
}

} // namespace ostero::tools
