#include "ui/report/ExtTreeView.h"

#include "ForwardingPlatform.h"
#include "GuiApplication.h"
#include "report/ReportFile.h"
#include "support/platform/Platform.h"

#include <QAbstractItemModelTester>
#include <QHeaderView>
#include <QMimeData>
#include <QTest>

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

using namespace ostero;
using report::AddNode;
using report::TTreeNode;
namespace fs = std::filesystem;

namespace {

class ExtTreeView : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsureGuiApplication(); }
    void SetUp() override {
        Folder_ = fs::temp_directory_path() / ("ostero-view-" + std::to_string(getpid()));
        fs::create_directories(Folder_);
    }
    void TearDown() override { fs::remove_all(Folder_); }

    // A report with a chart; `variant` changes a value to "No" and drops a property.
    std::string WriteReport(const std::string& name, int variant) {
        report::TReportDocument doc;
        TTreeNode* c =
            AddNode(doc.Tree, nullptr, report::kCategoryHardware, 0, "Hardwaredevices", 0);
        c = AddNode(doc.Tree, c, 3, 0, "CPUs", 1);
        c = AddNode(doc.Tree, c, 11, 0, variant ? "Present=No" : "Present=Yes", 10);
        c = AddNode(doc.Tree, c, 11, 0, "Flag", 10);
        if (variant == 0)
            c = AddNode(doc.Tree, c, 11, 0, "Cores=8", 10);
        c = AddNode(doc.Tree, c, 16, report::nfLink, "Homepage=https://example.org/", 10);
        TTreeNode* log = AddNode(doc.Tree, c, report::kCategorySensorLog, 0, "Sensorlog", 0);
        doc.Chart.AddSeries("CPU [\xB0"
                            "C]");
        doc.Chart.AddSeries("Fan [RPM]");
        for (int i = 0; i < 5; ++i) {
            doc.Chart.Series[0].AddPoint(45000 + i / 1440.0, 40 + i);
            doc.Chart.Series[1].AddPoint(45000 + i / 1440.0, 1200);
        }
        auto object = std::make_unique<report::TChartObject>();
        object->Chart = &doc.Chart;
        log->SetObject(std::move(object));
        const std::string file = (Folder_ / name).string();
        EXPECT_TRUE(report::SaveReport(doc, file, true));
        return file;
    }

    fs::path Folder_;
};

// Pictures of one colour per entry, so that a drawn picture can be found in a screenshot.
QImage SolidPicture(int entry) {
    QImage image(16, 16, QImage::Format_ARGB32);
    image.fill(QColor::fromHsv((entry * 37) % 360, 255, 200));
    return image;
}

bool ImageHasColorIn(const QImage& image, const QRect& area, const QColor& color) {
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (image.rect().contains(x, y) && image.pixelColor(x, y) == color)
                return true;
        }
    }
    return false;
}

} // namespace

TEST_F(ExtTreeView, TheModelReadsTheTreeInPlace) {
    ui::TExtTreeView view;
    QAbstractItemModelTester tester(&view.Model(),
                                    QAbstractItemModelTester::FailureReportingMode::Fatal);
    ASSERT_EQ(view.LoadReport(WriteReport("a.trp", 0)), 0);
    ASSERT_EQ(view.Model().rowCount(), 2);
    // Every node's index leads back to the node, in tree order.
    size_t count = 0;
    for (TTreeNode* node = view.Tree().First(); node; node = node->NextInTree(), ++count) {
        const QModelIndex index = view.Model().IndexOf(node);
        EXPECT_EQ(view.Model().Node(index), node);
        EXPECT_EQ(view.Model().Node(view.Model().parent(index)), node->Parent());
    }
    EXPECT_EQ(count, view.Tree().Count());
    const QModelIndex cpus = view.Model().index(0, 0, view.Model().index(0, 0));
    EXPECT_EQ(view.Model().data(view.Model().index(0, 1, cpus)).toString(), "Yes");

    view.SetSelected(view.Tree().First()->Child(0)->Child(1));
    EXPECT_EQ(view.SelectedText(), "Flag=") << "a property without value ends with =";
}

TEST_F(ExtTreeView, CompareModeShowsOldAndNewValuesAndStepsThroughDifferences) {
    ui::TExtTreeView view;
    view.SetImages(SolidPicture);
    view.SetStateImages(SolidPicture);
    view.resize(800, 400);
    view.show();
    ASSERT_EQ(view.LoadReport(WriteReport("a.trp", 0)), 0);
    ASSERT_EQ(view.LoadCompareReport(WriteReport("b.trp", 1)), 0);
    EXPECT_TRUE(view.CompareMode());
    ASSERT_EQ(view.Model().columnCount(), 3);
    EXPECT_EQ(view.Model().headerData(1, Qt::Horizontal).toString(), "Old value");
    EXPECT_EQ(view.Model().headerData(2, Qt::Horizontal).toString(), "New value");

    TTreeNode* present = view.Tree().First()->Child(0)->Child(0);
    const QModelIndex index = view.Model().IndexOf(present);
    EXPECT_EQ(view.Model().data(index.siblingAtColumn(1)).toString(), "Yes");
    EXPECT_EQ(view.Model().data(index.siblingAtColumn(2)).toString(), "No");

    view.SetSelected(nullptr);
    ASSERT_TRUE(view.NextDifference());
    EXPECT_EQ(view.Selected(), present);
    ASSERT_TRUE(view.NextDifference());
    EXPECT_EQ(view.Selected()->Text(), "Cores");
    EXPECT_FALSE(view.NextDifference());
    ASSERT_TRUE(view.PreviousDifference());
    EXPECT_EQ(view.Selected(), present);

    // The old value Yes shows as its picture (icon 74, entry 73), the new one as text.
    view.TreeView().expandAll();
    QApplication::processEvents();
    const QImage shot = view.TreeView().viewport()->grab().toImage();
    const QRect row = view.TreeView().visualRect(index);
    const int valueLeft = view.TreeView().header()->sectionViewportPosition(1);
    const int newLeft = view.TreeView().header()->sectionViewportPosition(2);
    EXPECT_TRUE(ImageHasColorIn(shot, QRect(valueLeft, row.top(), 30, row.height()),
                                SolidPicture(73).pixelColor(0, 0)));
    EXPECT_FALSE(ImageHasColorIn(shot, QRect(newLeft, row.top(), 200, row.height()),
                                 SolidPicture(73).pixelColor(0, 0)));
}

TEST_F(ExtTreeView, TheChartPaneOpensForChartNodesWithTwoThirdsOfTheHeight) {
    ui::TExtTreeView view;
    view.resize(600, 600);
    view.show();
    ASSERT_EQ(view.LoadReport(WriteReport("a.trp", 0)), 0);
    QApplication::processEvents();
    TTreeNode* log = view.Tree().Top(1);
    ASSERT_NE(log->ChartObject(), nullptr);
    view.SetSelected(log);
    QApplication::processEvents();
    EXPECT_TRUE(view.ChartShown());
    EXPECT_NEAR(view.ChartPaneHeight(), 600 / 3 * 2, 3);

    // It keeps its share when the view is resized.
    view.resize(600, 300);
    QApplication::processEvents();
    EXPECT_NEAR(view.ChartPaneHeight(), 200, 3);

    // A click on a line node switches its line off.
    TTreeNode* line = log->Child(0);
    ASSERT_TRUE(line->ChartLine()->Active);
    view.TreeView().expand(view.Model().IndexOf(log));
    QApplication::processEvents();
    const QRect rect = view.TreeView().visualRect(view.Model().IndexOf(line));
    QTest::mouseClick(view.TreeView().viewport(), Qt::LeftButton, {}, rect.center());
    EXPECT_FALSE(line->ChartLine()->Active);
    EXPECT_FALSE(view.Document().Chart.Series[0].Active);

    // A group without object closes it.
    view.SetSelected(view.Tree().First());
    EXPECT_FALSE(view.ChartShown());
}

TEST_F(ExtTreeView, TheChartGoesToTheClipboardAndIntoAMetafile) {
    ui::TExtTreeView view;
    EXPECT_EQ(view.ChartMimeData(), nullptr) << "no chart, nothing to copy";
    EXPECT_FALSE(view.SaveChartMetafile((Folder_ / "none.emf").string()));
    ASSERT_EQ(view.LoadReport(WriteReport("a.trp", 0)), 0);
    std::unique_ptr<QMimeData> data(view.ChartMimeData());
    ASSERT_NE(data, nullptr);
    const QByteArray emf = data->data("image/x-emf");
    ASSERT_GT(emf.size(), 88);
    EXPECT_EQ(emf.mid(40, 4), QByteArray(" EMF", 4)) << "the metafile signature";
    QImage png;
    ASSERT_TRUE(png.loadFromData(data->data("image/png"), "PNG"));
    EXPECT_EQ(png.size(), QSize(640, 480));
    EXPECT_TRUE(data->data("image/svg+xml").contains("<svg"));

    const std::string file = (Folder_ / "chart.wmf").string();
    ASSERT_TRUE(view.SaveChartMetafile(file));
    EXPECT_EQ(fs::file_size(file), static_cast<uintmax_t>(emf.size()));
}

TEST_F(ExtTreeView, PointingAtALinkShowsTheHand) {
    ui::TExtTreeView view;
    view.resize(800, 400);
    view.show();
    ASSERT_EQ(view.LoadReport(WriteReport("a.trp", 0)), 0);
    view.TreeView().expandAll();
    QApplication::processEvents();
    TTreeNode* link = view.Tree().First()->Child(0)->Child(3);
    ASSERT_EQ(link->Text(), "Homepage");
    const QRect row = view.TreeView().visualRect(view.Model().IndexOf(link));
    const int valueLeft = view.TreeView().header()->sectionViewportPosition(1);
    QTest::mouseMove(view.TreeView().viewport(), QPoint(valueLeft + 10, row.center().y()));
    EXPECT_EQ(view.TreeView().viewport()->cursor().shape(), Qt::PointingHandCursor);
    QTest::mouseMove(view.TreeView().viewport(), QPoint(20, row.center().y()));
    EXPECT_NE(view.TreeView().viewport()->cursor().shape(), Qt::PointingHandCursor);
}

namespace {

// A shown view with pictures and this tree (state 2 on "Name", so its group keeps state slots):
//   Hardware (group, icon)            level 0
//     CPUs (group, no icon)           level 1
//       Name=Xeon (bold, icon)        level 2
//       Homepage=https://... (link)   level 2
//       Flag (no value, type 11: one indent more)  level 2
//   Empty (group without children)    level 0
class ExtTreeViewPointer : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsureGuiApplication(); }
    void SetUp() override {
        View_.SetImages(SolidPicture);
        View_.SetStateImages(SolidPicture);
        View_.resize(800, 400);
        View_.Model().BeginTreeReset();
        report::TReportTree& tree = View_.Tree();
        TTreeNode* c = AddNode(tree, nullptr, 3, 0, "Hardware", 0);
        c = AddNode(tree, c, 0, 0, "CPUs", 1);
        c = AddNode(tree, c, 5, 0, "Name=Xeon", 10);
        c = AddNode(tree, c, 0, report::nfLink, "Homepage=https://example.org/", 10);
        c = AddNode(tree, c, 0, 0, "Flag", 11);
        AddNode(tree, c, 0, 0, "Empty", 0);
        View_.Model().EndTreeReset();
        Find("Name")->SetStateIndex(2);
        View_.show();
        View_.TreeView().expandAll();
        QApplication::processEvents();
    }

    TTreeNode* Find(const std::string& text) {
        for (TTreeNode* node = View_.Tree().First(); node; node = node->NextInTree()) {
            if (node->Text() == text)
                return node;
        }
        ADD_FAILURE() << "no node " << text;
        return View_.Tree().First();
    }
    int RowY(const std::string& text) {
        return View_.TreeView().visualRect(View_.Model().IndexOf(Find(text))).center().y();
    }
    QWidget* Viewport() { return View_.TreeView().viewport(); }
    bool HandShown() { return Viewport()->cursor().shape() == Qt::PointingHandCursor; }

    ui::TExtTreeView View_;
};

std::string HitNames(ui::THitTests hits) {
    static const std::pair<ui::THitTests, const char*> names[] = {
        {ui::htAbove, "Above"},       {ui::htBelow, "Below"},
        {ui::htNowhere, "Nowhere"},   {ui::htOnItem, "OnItem"},
        {ui::htOnButton, "OnButton"}, {ui::htOnIcon, "OnIcon"},
        {ui::htOnIndent, "OnIndent"}, {ui::htOnLabel, "OnLabel"},
        {ui::htOnRight, "OnRight"},   {ui::htOnStateIcon, "OnStateIcon"},
        {ui::htToLeft, "ToLeft"},     {ui::htToRight, "ToRight"}};
    std::string text;
    for (const auto& [bit, name] : names) {
        if ((hits & bit) != 0)
            text += (text.empty() ? "" : "|") + std::string(name);
    }
    return text;
}

} // namespace

// Indent 19 per level, pictures 16 wide; a group keeps a 16-pixel slot for its expand picture
// (the state list is set), a property starts 15 pixels into its own indent; 4 pixels before
// the icon, 3 after it.
TEST_F(ExtTreeViewPointer, HitTestNamesThePartOfTheRowUnderThePoint) {
    struct Case {
        const char* name;
        const char* row; // nullptr: a y of its own
        int x;
        int y;
        const char* expected;
    };
    const int width = Viewport()->width();
    const int height = Viewport()->height();
    const Case cases[] = {
        {"expand picture of a group", "Hardware", 5, 0, "OnButton"},
        {"gap before a group's icon", "Hardware", 17, 0, "OnIndent"},
        {"group icon", "Hardware", 25, 0, "OnItem|OnIcon"},
        {"group text", "Hardware", 42, 0, "OnItem|OnLabel"},
        {"right of a group's text", "Hardware", 400, 0, "OnRight"},
        {"no expand picture without children", "Empty", 5, 0, "OnIndent"},
        {"group text without icon", "Empty", 22, 0, "OnItem|OnLabel"},
        {"indent of a level-1 group", "CPUs", 10, 0, "OnIndent"},
        {"expand picture one level in", "CPUs", 20, 0, "OnButton"},
        {"indent of a property", "Name", 50, 0, "OnIndent"},
        {"state icon", "Name", 55, 0, "OnItem|OnStateIcon"},
        {"property icon", "Name", 75, 0, "OnItem|OnIcon"},
        {"property name", "Name", 95, 0, "OnItem|OnLabel"},
        {"right of a short name", "Name", 240, 0, "OnRight"},
        {"property value", "Name", 300, 0, "OnRight"},
        {"empty state slot", "Homepage", 55, 0, "OnIndent"},
        {"name without icon", "Homepage", 76, 0, "OnItem|OnLabel"},
        {"extra indent of type 11", "Flag", 60, 0, "OnIndent"},
        {"state slot after the extra indent", "Flag", 80, 0, "OnIndent"},
        {"name after the extra indent", "Flag", 95, 0, "OnItem|OnLabel"},
        {"below the last row", nullptr, 100, height - 2, "Nowhere"},
        {"above", nullptr, 100, -1, "Above"},
        {"below", nullptr, 100, height, "Below"},
        {"to the left", nullptr, -1, 5, "ToLeft"},
        {"to the right", nullptr, width, 5, "ToRight"},
        {"below and to the right", nullptr, width + 5, height + 5, "Below|ToRight"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int y = c.row ? RowY(c.row) : c.y;
        EXPECT_EQ(HitNames(View_.HitTest(c.x, y)), c.expected);
    }
}

TEST_F(ExtTreeViewPointer, TheHintNamesThePropertyOrTheLinkUnderThePointer) {
    struct Case {
        const char* name;
        const char* row;
        int x; // < 0: from the right edge of the first column
        const char* hint;
        bool hand;
    };
    const int col0Right = View_.TreeView().header()->sectionSize(0);
    const Case cases[] = {
        {"name and value", "Name", 95, "Name=Xeon", false},
        {"over the value", "Name", 300, "Name=Xeon", false},
        {"over the state icon", "Name", 55, "Name=Xeon", false},
        {"a name without value", "Flag", 95, "Flag", false},
        {"over a link", "Homepage", -10, "Click here to follow the link", true},
        {"beside a link's text", "Homepage", -500, "Homepage=https://example.org/", false},
        {"on a link's name", "Homepage", 80, "Homepage=https://example.org/", false},
        {"not in a property's indent", "Name", 50, "", false},
        {"not on groups", "Hardware", 42, "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // From a row without hint, so that every case enters its node afresh.
        QTest::mouseMove(Viewport(), QPoint(42, RowY("Empty")));
        ASSERT_EQ(View_.Hint(), "");
        const int x = c.x >= 0 ? c.x : col0Right - c.x;
        QTest::mouseMove(Viewport(), QPoint(x, RowY(c.row)));
        EXPECT_EQ(View_.Hint().toStdString(), c.hint);
        EXPECT_EQ(HandShown(), c.hand);
    }
}

TEST_F(ExtTreeViewPointer, TheHintFollowsTheNodeAndTheHandFollowsTheLink) {
    const int col0Right = View_.TreeView().header()->sectionSize(0);
    const int link = RowY("Homepage");
    QTest::mouseMove(Viewport(), QPoint(80, link));
    ASSERT_EQ(View_.Hint(), "Homepage=https://example.org/");
    // Along the same row the hint stays; the hand comes and goes with the link's text.
    QTest::mouseMove(Viewport(), QPoint(col0Right + 10, link));
    EXPECT_EQ(View_.Hint(), "Homepage=https://example.org/");
    EXPECT_TRUE(HandShown());
    QTest::mouseMove(Viewport(), QPoint(80, link));
    EXPECT_FALSE(HandShown());
    // Leaving the tree forgets the node: coming back over the link gives the link's hint.
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&View_.TreeView(), &leave);
    EXPECT_EQ(View_.Hint(), "");
    QTest::mouseMove(Viewport(), QPoint(col0Right + 10, link));
    EXPECT_EQ(View_.Hint(), "Click here to follow the link");
}

TEST_F(ExtTreeViewPointer, NoHintBeyondTheColumns) {
    QHeaderView& header = *View_.TreeView().header();
    header.setStretchLastSection(false);
    header.resizeSection(0, 250);
    header.resizeSection(1, 100);
    QApplication::processEvents();
    QTest::mouseMove(Viewport(), QPoint(300, RowY("Name")));
    ASSERT_EQ(View_.Hint(), "Name=Xeon");
    QTest::mouseMove(Viewport(), QPoint(600, RowY("Flag")));
    EXPECT_EQ(View_.Hint(), "");
    EXPECT_EQ(HitNames(View_.HitTest(600, RowY("Flag"))), "OnRight") << "still on the row";
}

// The selection box lies under the row's pictures: a selected group still shows its expand
// picture, a selected property its state and icon pictures.
TEST_F(ExtTreeViewPointer, TheSelectionBoxLeavesThePicturesOfTheRowVisible) {
    const QColor selectionFill(0xD8, 0xE8, 0xFF);
    struct Case {
        const char* row;
        int pictureLeft;
        int entry; // the picture's entry in the state or icon list
    };
    const Case cases[] = {
        {"Hardware", 0, 16}, // expanded group: its expand picture
        {"CPUs", 19, 16},    // one level in
        {"Name", 53, 2},     // state picture of a property
        {"Name", 73, 4},     // icon 5 of the same property
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.row) + " at " + std::to_string(c.pictureLeft));
        View_.SetSelected(Find(c.row));
        QApplication::processEvents();
        const QImage shot = Viewport()->grab().toImage();
        const QRect row = View_.TreeView().visualRect(View_.Model().IndexOf(Find(c.row)));
        EXPECT_TRUE(ImageHasColorIn(shot, QRect(c.pictureLeft + 4, row.top(), 8, row.height()),
                                    SolidPicture(c.entry).pixelColor(0, 0)));
        EXPECT_TRUE(ImageHasColorIn(shot, QRect(0, row.top(), 400, row.height()), selectionFill))
            << "the row is selected";
    }
}

// A link value from a report or an agent is followed only when it is a web address; any other
// value looks, hints and clicks like plain text.
TEST(ExtTreeViewLinks, OnlyWebAddressesLookLikeLinksAndOpen) {
    EnsureGuiApplication();
    struct Case {
        const char* Name;
        std::string Value;
        const char* Opened; // nullptr: plain text, nothing opens
    };
    const Case cases[] = {
        {"https", "https://example.org/", "https://example.org/"},
        {"www", "www.example.org", "http://www.example.org"},
        {"blanks around", "  HTTP://example.org/a  ", "HTTP://example.org/a"},
        {"file", "file:///etc/passwd", nullptr},
        {"script", "javascript:alert(1)", nullptr},
        {"desktop file", "/usr/share/applications/evil.desktop", nullptr},
        {"custom scheme", "steam://run/1", nullptr},
        {"two lines", "https://example.org/\nfile:///etc/passwd", nullptr},
    };
    ostero::testing::TOpenRecorder recorder(platform::Platform());
    platform::TPlatform* previous = platform::SetPlatform(&recorder);
    struct TRestore {
        platform::TPlatform* Previous;
        ~TRestore() { platform::SetPlatform(Previous); }
    } restore{previous};

    ui::TExtTreeView view;
    view.resize(800, 400);
    view.Model().BeginTreeReset();
    TTreeNode* group = AddNode(view.Tree(), nullptr, 3, 0, "Links", 0);
    std::vector<TTreeNode*> rows;
    for (const Case& c : cases) {
        AddNode(view.Tree(), group, 0, report::nfLink, "Home=x", 10);
        rows.push_back(group->Child(group->ChildCount() - 1));
        rows.back()->Property()->Value = c.Value; // as read from a file: any bytes
    }
    view.Model().EndTreeReset();
    view.show();
    view.TreeView().expandAll();
    QApplication::processEvents();
    QWidget* viewport = view.TreeView().viewport();
    const int valueX = view.TreeView().header()->sectionSize(0) + 10;
    const QImage shot = viewport->grab().toImage();
    const QColor linkBlue(0, 0, 255);

    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.Name);
        const bool link = c.Opened != nullptr;
        const QRect row = view.TreeView().visualRect(view.Model().IndexOf(rows[i]));
        EXPECT_EQ(ImageHasColorIn(shot, QRect(valueX - 10, row.top(), 200, row.height()), linkBlue),
                  link)
            << "drawn in the link's blue";
        // From a group row, so that every case enters its node afresh.
        QTest::mouseMove(
            viewport,
            QPoint(30, view.TreeView().visualRect(view.Model().IndexOf(group)).center().y()));
        QTest::mouseMove(viewport, QPoint(valueX, row.center().y()));
        EXPECT_EQ(viewport->cursor().shape() == Qt::PointingHandCursor, link);
        EXPECT_EQ(view.Hint() == "Click here to follow the link", link)
            << view.Hint().toStdString();
        recorder.Opened.clear();
        QTest::mouseClick(viewport, Qt::LeftButton, {}, QPoint(valueX, row.center().y()));
        EXPECT_EQ(view.Selected(), rows[i]) << "the click reached the row";
        EXPECT_EQ(recorder.Opened,
                  link ? std::vector<std::string>{c.Opened} : std::vector<std::string>{});
    }
}
