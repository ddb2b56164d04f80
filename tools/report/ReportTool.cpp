#include "tools/report/ReportTool.h"

#include "report/ReportFile.h"
#include "report/SensorLog.h"
#include "report/TreeSearch.h"
#include "support/TextCodec.h"
#include "support/UserMessage.h"

#include <filesystem>
#include <ostream>

namespace ostero::tools {

using report::TReportDocument;
using report::TTreeNode;

namespace {

constexpr const char* kUsage = "usage: ostero-report dump FILE\n"
                               "       ostero-report convert IN OUT [--no-private]\n"
                               "       ostero-report find FILE (--text T | --errors | --warnings)\n"
                               "       ostero-report sensorlog LOG OUT\n";

// Backslash, tab, CR and LF written so that one node stays one line of seven fields.
std::string Escape(const std::string& ansi) {
    std::string out;
    out.reserve(ansi.size());
    for (char c : ansi) {
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
    return support::AnsiToUtf8(out);
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

// Loads a report as the viewer does; answers 0, or 2 after printing the message.
int Load(TReportDocument& doc, const std::string& file, std::ostream& err) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec)) {
        Fail(err, "File '%s' not found", file);
        return 2;
    }
    switch (report::LoadReport(doc, file, nullptr)) {
    case 0:
        return 0;
    case 2:
        Fail(err,
             "File '%s' is a new file format. You have to update the program to read this file.",
             file);
        return 2;
    default:
        Fail(err, "File '%s' is not a valid report file, or the file is damaged!", file);
        return 2;
    }
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

int RunReportTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
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
    if (args[0] == "sensorlog")
        return SensorLog(args, out, err);
    err << "ostero-report: unknown command '" << args[0] << "'\n" << kUsage;
    return 2;
}

} // namespace ostero::tools
