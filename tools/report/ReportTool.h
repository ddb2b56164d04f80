#pragma once
// The ostero-report command: reports on the command line, for scripts and checks.

#include "report/ReportDocument.h"

#include <iosfwd>
#include <string>
#include <vector>

namespace ostero::exporting {
class TExportPictures;
}

namespace ostero::tools {

// What the tool gets from the program around it: the pictures of pages and charts come from
// the Qt picture library when the program is built with it. Without pictures the formats html,
// mht and wmf are not available.
struct TToolEnvironment {
    exporting::TExportPictures* Pictures = nullptr;
};

// Runs the command with its arguments (without the program name). Answers the exit status:
// 0 success, 1 "differences found" / "nothing found", 2 error (message on `err`).
int RunReportTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                  const TToolEnvironment& environment = {});

// The dump of a document: one line per node in tree order, then one line per chart series.
// Texts are printed as UTF-8.
void DumpReport(const report::TReportDocument& doc, std::ostream& out);

} // namespace ostero::tools
