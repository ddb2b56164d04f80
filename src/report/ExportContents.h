#pragma once
// The contents tree the export wizard offers for a report that is shown: one checked node per
// category and per section of a category, each leading into the shown tree, so that the
// writers follow the user's choice without copying the report.

#include "report/ReportTree.h"

#include <memory>
#include <string>
#include <vector>

namespace ostero::report {

// A contents node's object leading into `node`: its children, and its chart when it is one.
std::unique_ptr<TReportInfo> LeadInto(const TTreeNode& node);

// Fills `contents` (cleared first) from the top-level nodes of `tree`. The lines of a
// commentary category go to `comments` instead of the contents.
void FillReportContents(TReportTree& tree, TReportTree& contents,
                        std::vector<std::string>& comments);

} // namespace ostero::report
