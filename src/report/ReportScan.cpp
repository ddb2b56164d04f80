#include "report/ReportScan.h"

#include "report/ReportFile.h"
#include "support/TextCodec.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace ostero::report {

namespace fs = std::filesystem;

std::vector<int> FileScanCodes(TSearchKind kind) {
    switch (kind) {
    case TSearchKind::Errors:
        return {19, 20, 32, 36, 41, 42, 44};
    case TSearchKind::Warnings:
        return {38};
    default:
        return {};
    }
}

std::string TScanProgress::StatusText() const {
    std::string text = "Scanned: " + std::to_string(Scanned) + ", Found: " + std::to_string(Found);
    if (Canceled)
        text += ", Search canceled";
    return text;
}

namespace {

bool IsScannedExtension(const fs::path& name) {
    const std::string extension = support::AnsiUpperCase(name.extension().string());
    return extension == ".SRP" || extension == ".TV";
}

} // namespace

TScanProgress ScanReportFolder(const TFolderScan& scan,
                               const std::function<void(const TScanHit&)>& onHit,
                               const std::function<void(const TScanProgress&)>& onProgress,
                               const std::function<bool()>& stopRequested) {
    TScanProgress progress;
    std::error_code ec;
    std::vector<fs::path> names;
    for (fs::directory_iterator it(scan.Folder, ec), end; !ec && it != end; it.increment(ec))
        names.push_back(it->path().filename());
    std::sort(names.begin(), names.end());

    const std::vector<int> codes = FileScanCodes(scan.Kind);
    const std::string text = scan.Kind == TSearchKind::Text ? scan.Text : std::string();
    for (const fs::path& name : names) {
        if (stopRequested && stopRequested()) {
            progress.Canceled = true;
            break;
        }
        if (!IsScannedExtension(name))
            continue;
        const fs::path path = fs::path(scan.Folder) / name;
        if (!fs::is_regular_file(path, ec))
            continue;
        const auto written = fs::last_write_time(path, ec);
        if (ec)
            continue;
        const auto lastChange = std::chrono::time_point_cast<std::chrono::system_clock::duration>(
            std::chrono::file_clock::to_sys(written));
        if (scan.DateRange && !(lastChange > scan.Start && lastChange <= scan.End))
            continue;
        ++progress.Scanned;
        if (ScanReportFile(path.string(), text, codes) > 0) {
            ++progress.Found;
            if (onHit)
                onHit({name.string(), lastChange});
        }
        if (onProgress)
            onProgress(progress);
    }
    return progress;
}

} // namespace ostero::report
