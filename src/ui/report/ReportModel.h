#pragma once
// The report tree as a Qt item model. It reads the core tree in place (a node's index carries
// the node itself), so a report of a million nodes is shown without a copy.

#include "report/ReportTree.h"

#include <QAbstractItemModel>

namespace ostero::ui {

class TReportModel : public QAbstractItemModel {
    Q_OBJECT

public:
    explicit TReportModel(report::TReportTree& tree, QObject* parent = nullptr);

    report::TReportTree& Tree() const { return Tree_; }
    report::TTreeNode* Node(const QModelIndex& index) const;
    QModelIndex IndexOf(const report::TTreeNode* node, int column = 0) const;

    // Columns: "Property" and "Value", in compare mode "Old value" and "New value".
    bool CompareMode() const { return CompareMode_; }
    // The height of every row, in pixels (0: the style's choice).
    void SetRowHeight(int height) { RowHeight_ = height; }
    void SetCompareMode(bool on);

    // Whoever changes the tree wraps the change: a whole new tree, or nodes appended below one
    // node (nullptr for the top level).
    void BeginTreeReset() { beginResetModel(); }
    void EndTreeReset() { endResetModel(); }
    void NodesAppended(report::TTreeNode* parent, size_t firstRow, size_t lastRow);
    // A node's text, value or state changed.
    void NodeChanged(report::TTreeNode* node);

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;

private:
    report::TTreeNode* Holder(const QModelIndex& parent) const;

    report::TReportTree& Tree_;
    bool CompareMode_ = false;
    int RowHeight_ = 0;
};

// A node's texts as the view shows them (Windows-1252 to QString).
QString NodeText(const report::TTreeNode& node);
QString ValueText(const report::TTreeNode& node);

} // namespace ostero::ui
