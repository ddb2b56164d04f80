#pragma once
// The tree-list view of a report: the tree with its Property/Value columns, icons, state icons,
// colour marks and links, and below it the chart pane that opens for a chart node. It owns the
// report (tree and chart) that the file, compare, search, chart and writer operations work on.

#include "report/ReportCompare.h"
#include "report/ReportDocument.h"
#include "report/TreeSearch.h"
#include "ui/report/ReportModel.h"

#include <QHash>
#include <QImage>
#include <QTreeView>
#include <QWidget>

#include <functional>
#include <memory>

class QMimeData;
class QSplitter;

namespace ostero::ui {

// A picture list: the picture of an entry, a null image when there is none.
using TPictureList = std::function<QImage(int entry)>;

class TExtTreeView;

// The tree part: draws every row itself.
class TMyTreeView : public QTreeView {
    Q_OBJECT

public:
    explicit TMyTreeView(TExtTreeView& owner);

protected:
    void drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                 const QModelIndex& index) const override;
    void drawBranches(QPainter*, const QRect&, const QModelIndex&) const override {}
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    friend class TExtTreeView;
    // Where the link text of a property row lies, in viewport coordinates (empty when none).
    QRect LinkArea(const QModelIndex& index) const;
    bool StateIconsShown(const report::TTreeNode& node) const;
    // Left edge of a row's content (after its indent) in viewport coordinates.
    int RowLeft(const report::TTreeNode& node) const;

    TExtTreeView& Owner_;
    bool HandCursor_ = false;
    const report::TTreeNode* LastHintNode_ = nullptr;
    // Whether a group's children carry states, found once per paint.
    mutable QHash<const report::TTreeNode*, bool> SiblingStates_;
};

// The chart below the tree.
class TChartPane : public QWidget {
    Q_OBJECT

public:
    TChartPane(const report::TChart& chart, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const report::TChart& Chart_;
};

class TExtTreeView : public QWidget {
    Q_OBJECT

public:
    explicit TExtTreeView(QWidget* parent = nullptr);
    ~TExtTreeView() override;

    report::TReportDocument& Document() { return Doc_; }
    report::TReportTree& Tree() { return Doc_.Tree; }
    TReportModel& Model() { return *Model_; }
    TMyTreeView& TreeView() { return *Tree_; }

    void SetImages(TPictureList images) { Images_ = std::move(images); }
    void SetStateImages(TPictureList states) { StateImages_ = std::move(states); }
    const TPictureList& Images() const { return Images_; }
    const TPictureList& StateImages() const { return StateImages_; }

    bool CompareMode() const { return Model_->CompareMode(); }
    void SetCompareMode(bool on);

    // Hides the chart pane, clears the selection and deletes every node.
    void ClearReport();
    // The report operations of the view, keeping the model in step with the tree.
    int LoadReport(const std::string& fileName);
    int LoadCompareReport(const std::string& fileName);
    bool NextDifference();
    bool PreviousDifference();
    report::TTreeSearch& Search() { return Search_; }
    // Selects the search's current hit.
    bool ShowSearchHit(bool found);

    report::TTreeNode* Selected() const;
    void SetSelected(report::TTreeNode* node);
    // The selected node's text; for a property followed by "=" and the value.
    QString SelectedText() const;
    // The private entries of the tree: "parent -> node = value" lines.
    QStringList CollectPrivate() const;
    int VerticalScrollPos() const;
    void SetVerticalScrollPos(int position);
    bool ChartShown() const;
    // The chart as a picture is made: 640 x 480 with title and legend, for the clipboard as
    // enhanced metafile, PNG and SVG. Nothing without a chart.
    void CopyChart();
    QMimeData* ChartMimeData() const;
    // The same picture as an enhanced metafile file; false without a chart or when it cannot be
    // written.
    bool SaveChartMetafile(const std::string& fileName) const;
    bool SelectionMovedUp() const { return SelectionMovedUp_; }
    int ChartPaneHeight() const;

signals:
    void TreeViewChange(report::TTreeNode* node);
    void TreeViewAfterChanged(report::TTreeNode* node);
    void TreeViewClick();

private:
    friend class TMyTreeView;
    void KeepShares();
    void OnCurrentChanged(const QModelIndex& current, const QModelIndex& previous);
    void OpenChartPane();
    void CloseChartPane();
    void LineClicked(report::TTreeNode& node);

    report::TReportDocument Doc_;
    std::unique_ptr<TReportModel> Model_;
    TMyTreeView* Tree_;
    QSplitter* Splitter_;
    TChartPane* ChartPane_;
    TPictureList Images_;
    TPictureList StateImages_;
    report::TTreeSearch Search_;
    bool SelectionMovedUp_ = false;
    bool ChartOpen_ = false;
};

} // namespace ostero::ui
