#pragma once
// Reading the sensor log that the sensor-logging program writes into the chart of a report.
//
// The file format:
// - Text; lines end at LF, CR LF or a lone CR. A line break at the very end of the file does not
//   start another line.
// - Fields separated by ";" and read with GetSeparatedField (so a field in double quotes may hold
//   a ";").
// - Line 1: "Date", "Time" (either case), then one series title per field from field 3 onward,
//   up to the first empty field or field 255. A title carries its unit in square brackets after
//   the sensor name: "CPU [°C]" (Windows-1252, "°" is 0xB0).
// - Every further line: the date as "dd.mm.yyyy" (day and month of one or two digits, a
//   four-digit year), the time as "hh:nn:ss" (each part of one or two digits; the seconds may be
//   left out), then one value per series in the order of the titles: an optional sign, digits
//   with "," as decimal separator and at most four decimal places (more are rounded away), an
//   optional exponent; blanks around a field are ignored. An empty value field is a missing
//   point. Every data line must hold a valid date and time, an empty line included.
// - A log continued in a new file keeps its older part in the name with "_1" before the
//   extension ("sensors_1.csv" beside "sensors.csv"). When that file exists it is read first and,
//   when it was read completely, the file itself follows if its line 1 is exactly the same.
//
// Dates, times and numbers are read with these fixed formats; no process-wide setting is
// consulted or changed.

#include "report/Chart.h"
#include "report/ReportTree.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ostero::report {

// Bounds that keep a damaged or hostile log from exhausting memory.
struct TSensorLogLimits {
    size_t MaxPoints = size_t{8} << 20; // points of all series and files together
    // Every value of a whole line takes at least one byte (its ";" or the line break), so a log
    // holds no more points than bytes read. A line that leaves its last values out gives
    // missing points without bytes; a log gets this many more points for them.
    size_t PointsWithoutBytes = 65536;
    size_t MaxLineLength = size_t{1} << 20;
};

// Fields 1 to `count` of one line (without line breaks), each as GetSeparatedField gives it,
// found in one pass over the line.
std::vector<std::string> SensorLogFields(std::string_view line, size_t count);

// The name of the older part of a continued log: "_1" inserted before the extension.
std::string SensorLogContinuationName(const std::string& fileName);

// Reads the sensor log `fileName` into `chart`, which is cleared once a valid line 1 is found.
// Answers true when the data was read: series without points, and series whose first point is
// missing and whose values are all 0, are removed; `chartNode` gets a TChartObject for `chart`,
// the axes are arranged with activation and one line node per series is added below it.
// False without text when the file does not exist, cannot be opened, its line 1 does not start
// with "Date" and "Time", or `chartNode` is null. False with `errorText` set for a bad date, time
// or number (the series read so far stay in `chart`, the node is left alone), when a limit is
// exceeded, or when memory runs out (`chart` is cleared then).
bool LoadSensorLog(const std::string& fileName, TChart& chart, TTreeNode* chartNode,
                   std::string& errorText, const TSensorLogLimits& limits = {});

} // namespace ostero::report
