#include "ui/shell/SearchResultItem.h"

#include <QLocale>
#include <QTreeWidget>

namespace ostero::ui {

int NaturalCompare(const QString& a, const QString& b) {
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            // Compare the digit runs by value: skip leading zeros, then length, then digits.
            qsizetype ei = i, ej = j;
            while (ei < a.size() && a[ei].isDigit())
                ++ei;
            while (ej < b.size() && b[ej].isDigit())
                ++ej;
            qsizetype si = i, sj = j;
            while (si < ei - 1 && a[si] == u'0')
                ++si;
            while (sj < ej - 1 && b[sj] == u'0')
                ++sj;
            if (ei - si != ej - sj)
                return ei - si < ej - sj ? -1 : 1;
            for (; si < ei; ++si, ++sj) {
                if (a[si] != b[sj])
                    return a[si] < b[sj] ? -1 : 1;
            }
            i = ei;
            j = ej;
            continue;
        }
        const QChar ca = a[i].toCaseFolded(), cb = b[j].toCaseFolded();
        if (ca != cb)
            return ca < cb ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size())
        return 1;
    if (j < b.size())
        return -1;
    return 0;
}

TSearchResultItem::TSearchResultItem(const QString& name, const QDateTime& lastChange)
    : LastChange_(lastChange) {
    setText(0, name);
    setText(1, QLocale::system().toString(lastChange, QLocale::ShortFormat));
}

bool TSearchResultItem::operator<(const QTreeWidgetItem& other) const {
    const int column = treeWidget() ? treeWidget()->sortColumn() : 0;
    if (column == 1) {
        if (const auto* item = dynamic_cast<const TSearchResultItem*>(&other);
            item && LastChange_.isValid() && item->LastChange_.isValid())
            return LastChange_ < item->LastChange_;
    }
    return NaturalCompare(text(column), other.text(column)) < 0;
}

} // namespace ostero::ui
