#include "ui/report/ReportModel.h"

#include "support/TextCodec.h"

#include <QSize>

namespace ostero::ui {

using report::TTreeNode;

namespace {

QString FromAnsi(const std::string& text) {
    return QString::fromStdString(support::AnsiToUtf8(text));
}

} // namespace

QString NodeText(const TTreeNode& node) {
    return FromAnsi(node.Text());
}

QString ValueText(const TTreeNode& node) {
    const report::TTreeListObj* property = node.Property();
    return property ? FromAnsi(property->Value) : QString();
}

TReportModel::TReportModel(report::TReportTree& tree, QObject* parent)
    : QAbstractItemModel(parent), Tree_(tree) {}

TTreeNode* TReportModel::Node(const QModelIndex& index) const {
    return index.isValid() ? static_cast<TTreeNode*>(index.internalPointer()) : nullptr;
}

TTreeNode* TReportModel::Holder(const QModelIndex& parent) const {
    return parent.isValid() ? Node(parent) : Tree_.Root();
}

QModelIndex TReportModel::IndexOf(const TTreeNode* node, int column) const {
    if (node == nullptr || node == Tree_.Root())
        return {};
    return createIndex(static_cast<int>(node->Index()), column, const_cast<TTreeNode*>(node));
}

void TReportModel::SetCompareMode(bool on) {
    if (on == CompareMode_)
        return;
    if (on) {
        beginInsertColumns({}, 2, 2);
        CompareMode_ = true;
        endInsertColumns();
    } else {
        beginRemoveColumns({}, 2, 2);
        CompareMode_ = false;
        endRemoveColumns();
    }
    emit headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
}

void TReportModel::NodesAppended(TTreeNode* parent, size_t firstRow, size_t lastRow) {
    // The nodes are in the tree already; the view only needs to learn the new rows.
    const QModelIndex parentIndex = IndexOf(parent);
    beginInsertRows(parentIndex, static_cast<int>(firstRow), static_cast<int>(lastRow));
    endInsertRows();
}

void TReportModel::NodeChanged(TTreeNode* node) {
    emit dataChanged(IndexOf(node, 0), IndexOf(node, columnCount() - 1));
}

QModelIndex TReportModel::index(int row, int column, const QModelIndex& parent) const {
    const TTreeNode* holder = Holder(parent);
    if (row < 0 || column < 0 || column >= columnCount() ||
        static_cast<size_t>(row) >= holder->ChildCount())
        return {};
    return createIndex(row, column, holder->Child(static_cast<size_t>(row)));
}

QModelIndex TReportModel::parent(const QModelIndex& child) const {
    const TTreeNode* node = Node(child);
    if (node == nullptr)
        return {};
    return IndexOf(node->Parent());
}

int TReportModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid() && parent.column() != 0)
        return 0;
    return static_cast<int>(Holder(parent)->ChildCount());
}

int TReportModel::columnCount(const QModelIndex&) const {
    return CompareMode_ ? 3 : 2;
}

bool TReportModel::hasChildren(const QModelIndex& parent) const {
    return rowCount(parent) > 0;
}

QVariant TReportModel::data(const QModelIndex& index, int role) const {
    const TTreeNode* node = Node(index);
    if (node == nullptr)
        return {};
    if (role == Qt::SizeHintRole && RowHeight_ > 0)
        return QSize(-1, RowHeight_);
    if (role == Qt::DisplayRole) {
        if (index.column() == 0)
            return NodeText(*node);
        const QString value = ValueText(*node);
        const qsizetype bar = value.indexOf(QLatin1Char('|'));
        if (index.column() == 1)
            return bar < 0 ? value : value.left(bar);
        return bar < 0 ? QString() : value.mid(bar + 1);
    }
    return {};
}

QVariant TReportModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case 0:
        return tr("Property");
    case 1:
        return CompareMode_ ? tr("Old value") : tr("Value");
    case 2:
        return tr("New value");
    default:
        return {};
    }
}

} // namespace ostero::ui
