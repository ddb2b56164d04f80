#pragma once
// The indented text file of a report and the semicolon-separated table of a sensor-log chart.
// Both are Windows-1252 text with CR LF line ends, written as a whole: a failed save leaves the
// previous file as it was.

#include "report/Chart.h"
#include "report/ReportTree.h"

#include <string>

namespace ostero::exporting {

// One line per written node (see ExportWalk.h; chart-line nodes included): four blanks per
// depth, the icon keyword and ": " for image codes that have one, the node text, and "=" with
// the value for a property whose value is not empty. Throws TExportError for a report nested
// too deeply.
std::string RenderText(const report::TReportTree& tree, bool keepPrivate);
// Writes RenderText to the file. False with `error` set on failure.
bool SaveText(const report::TReportTree& tree, const std::string& fileName, bool keepPrivate,
              std::string* error = nullptr);

// "Date;Time;" and the titles of the active series, then one line per point of series 0:
// "dd.mm.yyyy;hh:nn:ss;" and the value of each active series at that index (an empty field for
// a missing point, or where the series has fewer points). Values in general format with up to
// 15 significant digits. The decimal separator is the one of the C library's LC_NUMERIC locale
// (so "." until the program has taken the locale from the environment); the time separator is
// always ":", since the C library knows no separate time separator. A point whose time is not
// a date between the years 1 and 9999 gets empty date and time fields.
std::string RenderChartCsv(const report::TChart& chart);
// Writes RenderChartCsv to the file. False without touching the file when there is no chart or
// it has no series; false with `error` set when writing fails.
bool SaveChartCsv(const report::TChart* chart, const std::string& fileName,
                  std::string* error = nullptr);

} // namespace ostero::exporting
