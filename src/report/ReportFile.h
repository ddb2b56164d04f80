#pragma once
// Report files: the program's own format ("TRPT") written and read, the sibling program's
// format ("SRPT") read and searched.

#include "report/ReportDocument.h"
#include "support/UserMessage.h"

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

namespace ostero::report {

// Writes the whole tree (and charts) of `doc`. The old file stays when writing fails.
bool SaveReport(const TReportDocument& doc, const std::string& fileName, bool keepPrivate);

// Appends to `out` the records of `startNode` and the nodes after it in tree order that lie at
// its level or deeper. False when a code does not fit the record.
bool WriteRecords(std::string& out, const TTreeNode* startNode, int levelOffset, bool keepPrivate);

// 0 loaded, 1 not a valid report file or damaged, 2 written by a newer program. With `target`
// the file is read below it (its children are replaced), else the whole tree is replaced.
int LoadReport(TReportDocument& doc, const std::string& fileName, TTreeNode* target);

// What the user is told when loading `fileName` gave `result` (1 or 2; also for a compare load).
support::TUserMessage LoadFailureMessage(int result, const std::string& fileName);

// One load attempt on the file's bytes: 0, 1 or 2 as LoadReport.
int LoadReportFromBytes(TReportDocument& doc, std::string_view bytes, TTreeNode* target);

// 1-based number of the first matching record of a sibling report, 0 without a match, -1 when
// not searched or not a sibling report, -2 for a version too new.
int ScanReportFile(const std::string& fileName, const std::string& searchText,
                   const std::vector<int>& imageCodeSet);

// One scan attempt on the file's bytes; -3 for a read error (the attempt failed).
int ScanReportBytes(std::string_view bytes, const std::string& searchText,
                    const std::vector<int>& imageCodeSet);

// The wait between attempts of LoadReport and ScanReportFile (200 ms); tests shorten it.
void SetLoadRetryDelay(std::chrono::milliseconds delay);

} // namespace ostero::report
