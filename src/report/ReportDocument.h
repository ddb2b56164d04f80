#pragma once
// What a tree-list view holds of a report: its tree, its one chart and the version of the file
// it was read from.

#include "report/Chart.h"
#include "report/ReportTree.h"

#include <cstdint>

namespace ostero::report {

struct TReportDocument {
    TReportTree Tree;
    TChart Chart;
    uint8_t FileVersion = 1; // header version of the last file read
};

} // namespace ostero::report
