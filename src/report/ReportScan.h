#pragma once
// Scanning a folder of report files for a text, the error entries or the warnings: the work of
// the report-file search, without its window. The search page runs it in a thread; the
// command-line tool runs it directly.

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace ostero::report {

// The three kinds of search and what a file scan looks for.
enum class TSearchKind { Text, Errors, Warnings };
// The image codes a file scan looks for: errors 19, 20, 32, 36, 41, 42, 44; warnings 38.
std::vector<int> FileScanCodes(TSearchKind kind);

struct TFolderScan {
    std::string Folder; // with or without a trailing slash
    std::string Text;   // for TSearchKind::Text (Windows-1252)
    TSearchKind Kind = TSearchKind::Text;
    // With a date range, a file is kept only when its last change lies after Start and not
    // after End.
    bool DateRange = false;
    std::chrono::system_clock::time_point Start, End;
};

struct TScanHit {
    std::string Name; // relative to the folder
    std::chrono::system_clock::time_point LastChange;
};

struct TScanProgress {
    size_t Scanned = 0;
    size_t Found = 0;
    bool Canceled = false;
    // "Scanned: N, Found: M", with ", Search canceled" after a stop.
    std::string StatusText() const;
};

// Scans the ".srp" and ".tv" files of the folder (the extension in any case; other entries are
// passed over), in name order. `onHit` gets each file with a match, `onProgress` the counts after
// every kept file; `stopRequested` is asked after every folder entry. An empty or unreadable
// folder scans nothing.
TScanProgress ScanReportFolder(const TFolderScan& scan,
                               const std::function<void(const TScanHit&)>& onHit,
                               const std::function<void(const TScanProgress&)>& onProgress = {},
                               const std::function<bool()>& stopRequested = {});

} // namespace ostero::report
