#pragma once
// A row of the search result list: sorted as dates when both values are dates, otherwise as
// text whose runs of digits compare by their numeric value ("pc2" before "pc10").

#include <QDateTime>
#include <QString>
#include <QTreeWidgetItem>

namespace ostero::ui {

// Negative, zero or positive like a three-way comparison; letters without regard to case.
int NaturalCompare(const QString& a, const QString& b);

class TSearchResultItem : public QTreeWidgetItem {
public:
    TSearchResultItem(const QString& name, const QDateTime& lastChange);

    // The date behind the "Last change" text, which is written in the system's format.
    QDateTime LastChange() const { return LastChange_; }
    bool operator<(const QTreeWidgetItem& other) const override;

private:
    QDateTime LastChange_;
};

} // namespace ostero::ui
