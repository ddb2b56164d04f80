#pragma once
// The report file scan of the search page, in a thread of its own. The scan itself belongs to
// the report core; this thread only carries its hits and counts to the main thread, where the
// result list and the status bar live (the signals arrive there queued).

#include "report/ReportScan.h"

#include <QDateTime>
#include <QString>
#include <QThread>

namespace ostero::ui {

class TSearchThread : public QThread {
    Q_OBJECT

public:
    explicit TSearchThread(report::TFolderScan scan, QObject* parent = nullptr)
        : QThread(parent), Scan_(std::move(scan)) {}

    // The counts once the thread has ended.
    const report::TScanProgress& Result() const { return Result_; }

signals:
    // A file with a match: its name relative to the folder and its last change.
    void Hit(const QString& name, const QDateTime& lastChange);
    // The counts after every kept file, and once more after a stop.
    void Progress(qulonglong scanned, qulonglong found, bool canceled);

protected:
    void run() override;

private:
    const report::TFolderScan Scan_;
    report::TScanProgress Result_;
};

} // namespace ostero::ui
