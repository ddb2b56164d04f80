#include "ui/shell/SearchThread.h"

#include <chrono>

namespace ostero::ui {

void TSearchThread::run() {
    const auto onHit = [this](const report::TScanHit& hit) {
        const auto ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(hit.LastChange.time_since_epoch())
                .count();
        // File names on Linux are UTF-8.
        emit Hit(QString::fromStdString(hit.Name), QDateTime::fromMSecsSinceEpoch(ms));
    };
    const auto onProgress = [this](const report::TScanProgress& progress) {
        emit Progress(progress.Scanned, progress.Found, progress.Canceled);
    };
    Result_ = report::ScanReportFolder(Scan_, onHit, onProgress,
                                       [this] { return isInterruptionRequested(); });
    if (Result_.Canceled)
        emit Progress(Result_.Scanned, Result_.Found, true);
}

} // namespace ostero::ui
