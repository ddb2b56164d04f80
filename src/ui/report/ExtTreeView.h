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

#include <cstdint>
#include <functional>
#include <memory>

class QMimeData;
class QSplitter;

namespace ostero::ui {

// A picture list: the picture of an entry, a null image when there is none.
using TPictureList = std::function<QImage(int entry)>;

class TExtTreeView;

// What lies at a point of the tree (HitTest): a set of these bits. htOnItem comes with each of
// htOnIcon, htOnLabel and htOnStateIcon; htAbove, htBelow, htToLeft and htToRight may combine.
using THitTests = uint32_t;
constexpr THitTests htAbove = 1u << 0;       // above the tree's client area
constexpr THitTests htBelow = 1u << 1;       // below it
constexpr THitTests htNowhere = 1u << 2;     // inside, below the last row
constexpr THitTests htOnItem = 1u << 3;      // on the icon, label or state icon of a row
constexpr THitTests htOnButton = 1u << 4;    // on a group's expand/collapse picture
constexpr THitTests htOnIcon = 1u << 5;      // on the row's icon
constexpr THitTests htOnIndent = 1u << 6;    // left of the row's content, or an empty slot
constexpr THitTests htOnLabel = 1u << 7;     // on the row's text
constexpr THitTests htOnRight = 1u << 8;     // right of the text (a property's value included)
constexpr THitTests htOnStateIcon = 1u << 9; // on a drawn state icon
constexpr THitTests htToLeft = 1u << 10;     // left of the client area
constexpr THitTests htToRight = 1u << 11;    // right of it

// Where the parts of one row lie, in viewport x coordinates (-1: not drawn). Drawing and hit
// tests share it, so that a click lands on what was drawn.
struct TRowGeometry {
    int ButtonLeft = -1; // expand/collapse picture of a group with children
    int StateLeft = -1;  // state icon
    int IconLeft = -1;   // icon
    int LabelLeft = 0;   // the text area (the text itself starts 2 pixels in)
    int LabelRight = 0;  // end of the drawn text
};

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
    bool viewportEvent(QEvent* event) override;

private:
    friend class TExtTreeView;
    // Where the link text of a property row lies, in viewport coordinates (empty when none).
    QRect LinkArea(const QModelIndex& index) const;
    // `cached`: during a paint, where every row of a group asks the same question.
    bool StateIconsShown(const report::TTreeNode& node, bool cached) const;
    // Left edge of a row (before its indent) in viewport coordinates.
    int RowLeft(const report::TTreeNode& node) const;
    TRowGeometry Geometry(const report::TTreeNode& node, bool cached) const;
    // The row at height y (column 0), invalid when none.
    QModelIndex RowAt(int y) const;
    THitTests HitTest(int x, int y) const;
    // Hint and cursor for the pointer at `point`.
    void PointerMoved(const QPoint& point);
    void RestoreCursor();

    TExtTreeView& Owner_;
    bool HandCursor_ = false;
    const report::TTreeNode* LastHintNode_ = nullptr;
    QString Hint_;
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
    const report::TReportTree& Tree() const { return Doc_.Tree; }
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
    // What lies at (x, y) of the tree, in the coordinates of TreeView().viewport().
    THitTests HitTest(int x, int y) const { return Tree_->HitTest(x, y); }
    // The hint the tree shows for the pointer's last position; empty when none.
    const QString& Hint() const { return Tree_->Hint_; }
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
