#include "ui/report/ExtTreeView.h"

#include "chart/ChartPainter.h"
#include "chart/ExportPictures.h"
#include "report/ReportFile.h"
#include "support/LinkPolicy.h"
#include "support/TextCodec.h"
#include "support/platform/FileReplace.h"
#include "support/platform/Platform.h"

#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QHelpEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QResizeEvent>
#include <QScrollBar>
#include <QSplitter>
#include <QSvgGenerator>
#include <QToolTip>
#include <QVBoxLayout>

#include <cmath>
#include <optional>
#include <string>

namespace ostero::ui {

using report::TTreeListObj;
using report::TTreeNode;

namespace {

constexpr int kIconSize = 16;
constexpr int kIndent = 19;
constexpr int kStateExpanded = 16;
constexpr int kStateCollapsed = 17;

// Colours are given as blue, green, red.
QColor Bgr(uint32_t bgr) {
    return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                  static_cast<int>((bgr >> 16) & 0xFF));
}

QColor RowBackground(const TTreeNode& node, bool compareMode) {
    QColor color = Qt::white;
    if (compareMode) {
        switch (node.StateIndex()) {
        case report::ssAdded:
            color = Bgr(0xD0FFD0);
            break;
        case report::ssRemoved:
            color = Bgr(0xFFD0D0);
            break;
        case report::ssChanged:
            color = Bgr(0xC0FFFF);
            break;
        default:
            break;
        }
    }
    if (const TTreeListObj* property = node.Property()) {
        if ((property->Flags & report::nfHighlight) != 0)
            color = Bgr(0xB0FFFF);
        if ((property->Flags & report::nfAlert) != 0)
            color = Bgr(0xD0D0FF);
    }
    return color;
}

bool IsCourier(int typeCode) {
    return typeCode == 30 || typeCode == 31 || typeCode == 32 || typeCode == 40 || typeCode == 41;
}
bool IsBold(int typeCode) {
    return typeCode == 10 || typeCode == 12 || typeCode == 32 || typeCode == 40;
}
bool HasExtraIndent(int typeCode) {
    return typeCode == 11 || typeCode == 12 || typeCode == 40 || typeCode == 41;
}

// Where a click on the property's value leads: a web address when the node is a link and its
// value is one, else nothing. The same rule draws it as a link and shows the hand.
std::optional<std::string> LinkTarget(const TTreeListObj* property) {
    if (property == nullptr || (property->Flags & report::nfLink) == 0)
        return std::nullopt;
    return support::SafeLinkTarget(property->Value);
}

void DrawPicture(QPainter& painter, const TPictureList& list, int entry, int x, const QRect& row) {
    if (!list || entry < 0)
        return;
    const QImage image = list(entry);
    if (!image.isNull())
        painter.drawImage(QPoint(x, row.top() + (row.height() - image.height()) / 2), image);
}

} // namespace

// --- TMyTreeView

TMyTreeView::TMyTreeView(TExtTreeView& owner) : QTreeView(&owner), Owner_(owner) {
    setEditTriggers(NoEditTriggers);
    setUniformRowHeights(true);
    setIndentation(kIndent);
    setFrameShape(QFrame::NoFrame);
    setMouseTracking(true);
    setSelectionBehavior(SelectRows);
    setSelectionMode(SingleSelection);
    setAllColumnsShowFocus(true);
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(13);
    setFont(font);
}

bool TMyTreeView::StateIconsShown(const TTreeNode& node, bool cached) const {
    if (Owner_.CompareMode())
        return true;
    if (!Owner_.StateImages())
        return false;
    const TTreeNode* parent = node.Parent();
    const TTreeNode& holder = parent ? *parent : *Owner_.Tree().Root();
    if (cached) {
        if (const auto known = SiblingStates_.find(&holder); known != SiblingStates_.end())
            return known.value();
    }
    bool any = false;
    for (size_t i = 0; i < holder.ChildCount() && !any; ++i)
        any = holder.Child(i)->StateIndex() >= 0;
    if (cached)
        SiblingStates_.insert(&holder, any);
    return any;
}

void TMyTreeView::paintEvent(QPaintEvent* event) {
    // States may have changed since the last paint.
    SiblingStates_.clear();
    QTreeView::paintEvent(event);
}

int TMyTreeView::RowLeft(const TTreeNode& node) const {
    return header()->sectionViewportPosition(0) + node.Level() * indentation();
}

namespace {

QFont NameFont(QFont font, const TTreeListObj* property) {
    if (property == nullptr)
        return font;
    if (IsCourier(property->TypeCode))
        font.setFamily(QStringLiteral("Courier New"));
    font.setBold(IsBold(property->TypeCode));
    return font;
}

} // namespace

TRowGeometry TMyTreeView::Geometry(const TTreeNode& node, bool cached) const {
    TRowGeometry g;
    int x = RowLeft(node);
    const bool states = StateIconsShown(node, cached);
    const bool statePictures = static_cast<bool>(Owner_.StateImages());
    const TTreeListObj* property = node.Property();
    if (property != nullptr) {
        x += indentation() - 4;
        if (HasExtraIndent(property->TypeCode))
            x += indentation();
        if (states) {
            if (statePictures && node.StateIndex() >= 0 && node.StateIndex() <= 98)
                g.StateLeft = x;
            x += kIconSize;
        }
    } else {
        if (statePictures) {
            if (node.ChildCount() > 0)
                g.ButtonLeft = x;
            x += kIconSize;
            if (states) {
                if (node.StateIndex() >= 0)
                    g.StateLeft = x;
                x += kIconSize;
            }
        }
    }
    x += 4;
    if (report::ImageListIndex(node.ImageCode()) >= 0) {
        g.IconLeft = x;
        x += kIconSize + 3;
    }
    g.LabelLeft = x;
    g.LabelRight =
        x + 2 + QFontMetrics(NameFont(font(), property)).horizontalAdvance(NodeText(node));
    if (property != nullptr) {
        // The name is cut at the first column.
        const QHeaderView& head = *header();
        g.LabelRight =
            std::min(g.LabelRight, head.sectionViewportPosition(0) + head.sectionSize(0));
    }
    return g;
}

void TMyTreeView::drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const {
    const TTreeNode* node = Owner_.Model().Node(index);
    if (node == nullptr)
        return;
    QPainter& p = *painter;
    p.save();
    const QRect row(0, option.rect.top(), viewport()->width(), option.rect.height());
    const bool compare = Owner_.CompareMode();
    const TRowGeometry g = Geometry(*node, true);
    const TTreeListObj* property = node->Property();
    const QHeaderView& head = *header();
    const int col0Right = head.sectionViewportPosition(0) + head.sectionSize(0);
    const bool twoSections = head.count() >= 2;
    const int col1Right =
        twoSections ? head.sectionViewportPosition(1) + head.sectionSize(1) : row.right();
    const bool selected = selectionModel() && selectionModel()->isSelected(index);

    p.fillRect(row, RowBackground(*node, compare));
    const int textStart = RowLeft(*node);
    const QFont font = this->font();
    const QFont nameFont = NameFont(font, property);
    const QString text = NodeText(*node);
    const int textWidth = QFontMetrics(nameFont).horizontalAdvance(text);

    // The selection box goes under the pictures and texts; its right end depends on what the
    // row shows. A group's box starts after its expand picture, which stays visible.
    const auto selectionBox = [&](int left, int rightEnd) {
        if (!selected)
            return;
        const QColor outline = hasFocus() ? Bgr(0xFF9888) : Bgr(0xFFD0C0);
        QPainterPath path;
        path.addRoundedRect(QRectF(left + 2, row.top(), rightEnd - left - 2, row.height() - 1), 3,
                            2);
        p.fillPath(path, Bgr(0xFFE8D8));
        p.setPen(outline);
        p.drawPath(path);
    };

    if (property != nullptr) {
        const int gridLeft = textStart + indentation() - 4;
        const QString value = ValueText(*node);
        // Grid lines.
        p.setPen(Bgr(0xC0C0C0));
        if (node->Index() == 0)
            p.drawLine(gridLeft, row.top(), row.right(), row.top());
        p.drawLine(gridLeft, row.top(), gridLeft, row.bottom());
        p.drawLine(gridLeft, row.bottom(), row.right(), row.bottom());
        selectionBox(textStart, value.isEmpty() ? g.LabelLeft + textWidth + 13 : row.right());
        if (g.StateLeft >= 0)
            DrawPicture(p, Owner_.StateImages(), node->StateIndex(), g.StateLeft, row);
        if (g.IconLeft >= 0)
            DrawPicture(p, Owner_.Images(), report::ImageListIndex(node->ImageCode()), g.IconLeft,
                        row);
        p.setFont(nameFont);
        p.setPen(Qt::black);
        const QRect nameRect(g.LabelLeft + 2, row.top() + 1,
                             std::max(0, col0Right - g.LabelLeft - 2), row.height() - 2);
        p.drawText(nameRect, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine,
                   QFontMetrics(nameFont).elidedText(text, Qt::ElideRight, nameRect.width()));
        // The value.
        QFont valueFont = font;
        valueFont.setBold(IsBold(property->TypeCode));
        if (LinkTarget(property)) {
            valueFont.setUnderline(true);
            p.setPen(Bgr(0xFF0000));
        }
        p.setFont(valueFont);
        const QFontMetrics valueMetrics(valueFont);
        const int valueLeft = col0Right + 1;
        const auto valueText = [&](const QString& part, int left, int right, bool elide) {
            const QRect area(left + 2, row.top() + 1, std::max(0, right - left - 2),
                             row.height() - 2);
            p.drawText(area, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine,
                       elide ? valueMetrics.elidedText(part, Qt::ElideRight, area.width()) : part);
        };
        if (!twoSections) {
            valueText(value, valueLeft, row.right(), false);
        } else {
            const qsizetype bar = value.indexOf(QLatin1Char('|'));
            const QString first = bar < 0 ? value : value.left(bar);
            if (property->ValueIcon != 0)
                DrawPicture(p, Owner_.Images(), property->ValueIcon - 1, valueLeft + 2, row);
            else
                valueText(first, valueLeft, col1Right, true);
            if (bar >= 0)
                valueText(value.mid(bar + 1), col1Right + 1, row.right(), false);
        }
    } else {
        selectionBox(Owner_.StateImages() ? textStart + kIconSize : textStart,
                     g.LabelLeft + textWidth + 13);
        if (g.ButtonLeft >= 0)
            DrawPicture(p, Owner_.StateImages(),
                        isExpanded(index) ? kStateExpanded : kStateCollapsed, g.ButtonLeft, row);
        if (g.StateLeft >= 0)
            DrawPicture(p, Owner_.StateImages(), node->StateIndex(), g.StateLeft, row);
        if (g.IconLeft >= 0)
            DrawPicture(p, Owner_.Images(), report::ImageListIndex(node->ImageCode()), g.IconLeft,
                        row);
        p.setPen(Qt::black);
        p.drawText(
            QRect(g.LabelLeft + 2, row.top() + 1, row.right() - g.LabelLeft, row.height() - 2),
            Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine, text);
    }
    p.restore();
}

QRect TMyTreeView::LinkArea(const QModelIndex& index) const {
    const TTreeNode* node = Owner_.Model().Node(index);
    const TTreeListObj* property = node ? node->Property() : nullptr;
    if (!LinkTarget(property))
        return {};
    QFont font = this->font();
    font.setBold(IsBold(property->TypeCode));
    font.setUnderline(true);
    const int left = header()->sectionViewportPosition(0) + header()->sectionSize(0);
    const QRect row = visualRect(index);
    // The whole text width, also where the column cuts the text.
    return QRect(left, row.top(), QFontMetrics(font).horizontalAdvance(ValueText(*node)) + 3,
                 row.height());
}

QModelIndex TMyTreeView::RowAt(int y) const {
    // Any x inside the first column finds the row, however far the view is scrolled.
    const QModelIndex index = indexAt(QPoint(header()->sectionViewportPosition(0), y));
    return index.isValid() ? index.siblingAtColumn(0) : index;
}

THitTests TMyTreeView::HitTest(int x, int y) const {
    const QRect client = viewport()->rect();
    THitTests outside = 0;
    if (y < client.top())
        outside |= htAbove;
    if (y > client.bottom())
        outside |= htBelow;
    if (x < client.left())
        outside |= htToLeft;
    if (x > client.right())
        outside |= htToRight;
    if (outside != 0)
        return outside;
    const TTreeNode* node = Owner_.Model().Node(RowAt(y));
    if (node == nullptr)
        return htNowhere;
    const TRowGeometry g = Geometry(*node, false);
    const auto within = [x](int left, int right) { return left >= 0 && x >= left && x < right; };
    if (within(g.ButtonLeft, g.ButtonLeft + kIconSize))
        return htOnButton;
    if (within(g.StateLeft, g.StateLeft + kIconSize))
        return htOnItem | htOnStateIcon;
    if (within(g.IconLeft, g.LabelLeft))
        return htOnItem | htOnIcon;
    if (within(g.LabelLeft, g.LabelRight))
        return htOnItem | htOnLabel;
    if (x >= g.LabelRight)
        return htOnRight;
    return htOnIndent;
}

void TMyTreeView::RestoreCursor() {
    if (HandCursor_) {
        HandCursor_ = false;
        viewport()->unsetCursor();
    }
}

void TMyTreeView::PointerMoved(const QPoint& point) {
    constexpr THitTests onItem = htOnItem | htOnIcon | htOnLabel | htOnRight | htOnStateIcon;
    const QHeaderView& head = *header();
    const int columnTotal = head.length() - head.offset();
    const QModelIndex index = RowAt(point.y());
    const TTreeNode* node = Owner_.Model().Node(index);
    const TTreeListObj* property = node ? node->Property() : nullptr;
    if (property == nullptr || point.x() >= columnTotal ||
        (HitTest(point.x(), point.y()) & onItem) == 0) {
        if (LastHintNode_ != nullptr || !Hint_.isEmpty())
            QToolTip::hideText();
        LastHintNode_ = nullptr;
        Hint_.clear();
        RestoreCursor();
        return;
    }
    const bool overLink = LinkArea(index).contains(point);
    // The hint changes with the node only: it stays while the pointer moves along one row.
    if (node != LastHintNode_) {
        QToolTip::hideText();
        LastHintNode_ = node;
        if (overLink)
            Hint_ = tr("Click here to follow the link");
        else if (property->Value.empty())
            Hint_ = NodeText(*node);
        else
            Hint_ = NodeText(*node) + QLatin1Char('=') + ValueText(*node);
    }
    if (overLink && !HandCursor_) {
        HandCursor_ = true;
        viewport()->setCursor(Qt::PointingHandCursor);
    } else if (!overLink) {
        RestoreCursor();
    }
}

void TMyTreeView::mouseMoveEvent(QMouseEvent* event) {
    PointerMoved(event->position().toPoint());
    QTreeView::mouseMoveEvent(event);
}

bool TMyTreeView::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        PointerMoved(help->pos());
        if (Hint_.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), Hint_, viewport());
        return true;
    }
    return QTreeView::viewportEvent(event);
}

void TMyTreeView::leaveEvent(QEvent* event) {
    RestoreCursor();
    LastHintNode_ = nullptr;
    Hint_.clear();
    QTreeView::leaveEvent(event);
}

void TMyTreeView::mousePressEvent(QMouseEvent* event) {
    QTreeView::mousePressEvent(event);
}

void TMyTreeView::mouseReleaseEvent(QMouseEvent* event) {
    QTreeView::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton)
        return;
    if (TTreeNode* node = Owner_.Selected()) {
        if (node->ChartLine() != nullptr) {
            Owner_.LineClicked(*node);
        } else if (HandCursor_) {
            if (const auto target = LinkTarget(node->Property()))
                platform::Platform().ShellExecute(support::AnsiToUtf8(*target));
        }
    }
    emit Owner_.TreeViewClick();
}

// --- TChartPane

TChartPane::TChartPane(const report::TChart& chart, QWidget* parent)
    : QWidget(parent), Chart_(chart) {}

void TChartPane::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    chart::PaintChart(painter, QRectF(rect()), Chart_);
}

// --- TExtTreeView

TExtTreeView::TExtTreeView(QWidget* parent)
    : QWidget(parent), Model_(std::make_unique<TReportModel>(Doc_.Tree)), Search_(Doc_.Tree) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    Splitter_ = new QSplitter(Qt::Vertical, this);
    Splitter_->setHandleWidth(2);
    Splitter_->setChildrenCollapsible(true);
    Tree_ = new TMyTreeView(*this);
    // Room for the 16-pixel pictures and for the descenders of the text (underscores were cut
    // off by the next row's background).
    Model_->SetRowHeight(std::max(kIconSize + 2, QFontMetrics(Tree_->font()).height() + 4));
    Tree_->setModel(Model_.get());
    Tree_->header()->resizeSection(0, 250);
    Tree_->header()->resizeSection(1, 362);
    Tree_->header()->setStretchLastSection(true);
    ChartPane_ = new TChartPane(Doc_.Chart, Splitter_);
    // The pane's share of the height rules, not the widgets' preferred least sizes.
    Tree_->setMinimumHeight(1);
    ChartPane_->setMinimumHeight(1);
    Splitter_->addWidget(Tree_);
    Splitter_->addWidget(ChartPane_);
    Splitter_->setSizes({1, 0});
    Splitter_->handle(1)->setEnabled(false);
    ChartPane_->hide();
    layout->addWidget(Splitter_);
    connect(Splitter_, &QSplitter::splitterMoved, this, [this] { KeepShares(); });
    connect(Tree_->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &TExtTreeView::OnCurrentChanged);
}

TExtTreeView::~TExtTreeView() {
    // The tree view reads the model while it goes.
    delete Tree_;
}

void TExtTreeView::SetCompareMode(bool on) {
    Model_->SetCompareMode(on);
    if (on) {
        Tree_->header()->resizeSection(1, 250);
        Tree_->header()->resizeSection(2, 250);
    } else {
        Tree_->header()->resizeSection(1, 250);
    }
    Tree_->viewport()->update();
}

void TExtTreeView::ClearReport() {
    CloseChartPane();
    Tree_->selectionModel()->clear();
    Model_->BeginTreeReset();
    Doc_.Tree.Clear();
    Model_->EndTreeReset();
    Search_.Reset();
}

int TExtTreeView::LoadReport(const std::string& fileName) {
    CloseChartPane();
    Model_->BeginTreeReset();
    const int result = report::LoadReport(Doc_, fileName, nullptr);
    Model_->EndTreeReset();
    Search_.Reset();
    return result;
}

int TExtTreeView::LoadCompareReport(const std::string& fileName) {
    CloseChartPane();
    Model_->BeginTreeReset();
    const int result = report::LoadCompareReport(Doc_, fileName);
    Model_->EndTreeReset();
    if (result == 0) {
        SetCompareMode(true);
        SetSelected(Doc_.Tree.First());
    }
    return result;
}

bool TExtTreeView::NextDifference() {
    report::TViewPosition position{CompareMode(), Selected(), nullptr};
    if (!report::NextDifference(Doc_.Tree, position))
        return false;
    SetSelected(position.Selected);
    Tree_->scrollTo(Model_->IndexOf(position.TopRow), QAbstractItemView::PositionAtTop);
    Tree_->setFocus();
    return true;
}

bool TExtTreeView::PreviousDifference() {
    report::TViewPosition position{CompareMode(), Selected(), nullptr};
    if (!report::PreviousDifference(Doc_.Tree, position))
        return false;
    SetSelected(position.Selected);
    Tree_->scrollTo(Model_->IndexOf(position.TopRow), QAbstractItemView::PositionAtTop);
    Tree_->setFocus();
    return true;
}

bool TExtTreeView::ShowSearchHit(bool found) {
    if (found && Search_.Current() != nullptr)
        SetSelected(Search_.Current());
    return found;
}

TTreeNode* TExtTreeView::Selected() const {
    return Model_->Node(Tree_->currentIndex());
}

void TExtTreeView::SetSelected(TTreeNode* node) {
    if (node == nullptr) {
        Tree_->selectionModel()->clear();
        return;
    }
    const QModelIndex index = Model_->IndexOf(node);
    Tree_->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                        QItemSelectionModel::Rows);
    Tree_->scrollTo(index);
}

QString TExtTreeView::SelectedText() const {
    const TTreeNode* node = Selected();
    if (node == nullptr)
        return {};
    if (node->Property() != nullptr)
        return NodeText(*node) + QLatin1Char('=') + ValueText(*node);
    return NodeText(*node);
}

QStringList TExtTreeView::CollectPrivate() const {
    QStringList lines;
    const std::function<void(const TTreeNode*)> walk = [&](const TTreeNode* start) {
        const int level = start->Level();
        for (const TTreeNode* node = start; node && node->Level() >= level;
             node = node->NextInTree()) {
            // Private entries are what is listed here, so none is left out for being private.
            if (!report::ChosenForWriting(*node, true))
                continue;
            if (const TTreeListObj* property = node->Property();
                property && (property->Flags & report::nfPrivate) != 0) {
                QString line = node->Parent() ? NodeText(*node->Parent()) + QStringLiteral(" -> ") +
                                                    NodeText(*node)
                                              : NodeText(*node);
                if (!property->Value.empty())
                    line += QStringLiteral(" = ") + ValueText(*node);
                lines << line;
            }
            if (const report::TReportInfo* info = node->ReportInfo(); info && info->Subtree)
                walk(info->Subtree);
        }
    };
    if (Doc_.Tree.First() != nullptr)
        walk(Doc_.Tree.First());
    return lines;
}

int TExtTreeView::VerticalScrollPos() const {
    return Tree_->verticalScrollBar()->value();
}

void TExtTreeView::SetVerticalScrollPos(int position) {
    Tree_->verticalScrollBar()->setValue(position);
}

bool TExtTreeView::ChartShown() const {
    return ChartOpen_ && ChartPane_->isVisible() && ChartPaneHeight() > 0;
}

namespace {

constexpr int kChartPictureWidth = 640;
constexpr int kChartPictureHeight = 480;

chart::TChartStyle ChartPictureStyle() {
    chart::TChartStyle style;
    style.ShowTitle = true;
    style.ShowLegend = true;
    return style;
}

} // namespace

QMimeData* TExtTreeView::ChartMimeData() const {
    if (Doc_.Chart.Series.empty())
        return nullptr;
    auto* data = new QMimeData;
    chart::TQtExportPictures pictures;
    const std::string emf = pictures.ChartEmf(Doc_.Chart, kChartPictureWidth, kChartPictureHeight);
    data->setData(QStringLiteral("image/x-emf"),
                  QByteArray(emf.data(), static_cast<int>(emf.size())));
    const QImage image = chart::ChartImage(
        Doc_.Chart, QSize(kChartPictureWidth, kChartPictureHeight), ChartPictureStyle());
    data->setImageData(image);
    QByteArray png;
    QBuffer pngBuffer(&png);
    pngBuffer.open(QIODevice::WriteOnly);
    image.save(&pngBuffer, "PNG");
    data->setData(QStringLiteral("image/png"), png);
    QByteArray svg;
    QBuffer svgBuffer(&svg);
    QSvgGenerator generator;
    generator.setOutputDevice(&svgBuffer);
    generator.setSize(QSize(kChartPictureWidth, kChartPictureHeight));
    generator.setViewBox(QRect(0, 0, kChartPictureWidth, kChartPictureHeight));
    {
        QPainter painter(&generator);
        chart::PaintChart(painter, QRectF(0, 0, kChartPictureWidth, kChartPictureHeight),
                          Doc_.Chart, ChartPictureStyle());
    }
    data->setData(QStringLiteral("image/svg+xml"), svg);
    return data;
}

void TExtTreeView::CopyChart() {
    if (QMimeData* data = ChartMimeData())
        QGuiApplication::clipboard()->setMimeData(data);
}

bool TExtTreeView::SaveChartMetafile(const std::string& fileName) const {
    if (Doc_.Chart.Series.empty())
        return false;
    chart::TQtExportPictures pictures;
    std::string error;
    return platform::ReplaceFileContents(
        fileName, pictures.ChartEmf(Doc_.Chart, kChartPictureWidth, kChartPictureHeight), error);
}

int TExtTreeView::ChartPaneHeight() const {
    return Splitter_->sizes().value(1);
}

void TExtTreeView::OpenChartPane() {
    if (Doc_.Chart.Series.empty())
        return;
    ChartPane_->show();
    if (ChartPaneHeight() <= 9) {
        const int total = std::max(1, Splitter_->height());
        const int pane = total / 3 * 2;
        Splitter_->setSizes({total - pane, pane});
    }
    KeepShares();
    ChartPane_->setFocusPolicy(Qt::StrongFocus);
    Splitter_->handle(1)->setEnabled(true);
    ChartOpen_ = true;
    ChartPane_->update();
}

void TExtTreeView::CloseChartPane() {
    if (!ChartOpen_)
        return;
    Splitter_->setSizes({std::max(1, Splitter_->height()), 0});
    KeepShares();
    ChartPane_->setFocusPolicy(Qt::NoFocus);
    Splitter_->handle(1)->setEnabled(false);
    ChartPane_->hide();
    ChartOpen_ = false;
    if (isVisible() && isEnabled() && window()->isEnabled() && !Tree_->hasFocus())
        Tree_->setFocus();
}

void TExtTreeView::KeepShares() {
    // A resize splits the change in the ratio of the stretch factors: with the current heights
    // as factors, tree and pane keep their shares.
    const QList<int> sizes = Splitter_->sizes();
    Splitter_->setStretchFactor(0, std::max(1, sizes.value(0)));
    Splitter_->setStretchFactor(1, std::max(0, sizes.value(1)));
}

void TExtTreeView::OnCurrentChanged(const QModelIndex& current, const QModelIndex& previous) {
    TTreeNode* node = Model_->Node(current);
    const TTreeNode* before = Model_->Node(previous);
    SelectionMovedUp_ = node != nullptr && before != nullptr &&
                        (before->Parent() == node ||
                         (before->Parent() != nullptr && before->Parent()->Parent() == node));
    emit TreeViewChange(node);
    if (node != nullptr) {
        if (node->Object() == nullptr)
            CloseChartPane();
        else if (node->ChartObject() != nullptr || node->ChartLine() != nullptr)
            OpenChartPane();
    }
    emit TreeViewAfterChanged(node);
}

void TExtTreeView::LineClicked(TTreeNode& node) {
    if (report::ToggleChartLine(node, Doc_.Chart)) {
        if (TTreeNode* parent = node.Parent()) {
            for (size_t i = 0; i < parent->ChildCount(); ++i)
                Model_->NodeChanged(parent->Child(i));
        }
        ChartPane_->update();
        Tree_->viewport()->update();
    }
}

} // namespace ostero::ui
