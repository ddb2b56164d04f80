// The report page of the main window: opening, comparing, stepping through differences, the
// in-report search, the context menu and dropped files.
#include "FormMainTest.h"

#include "report/ReportFile.h"
#include "ui/report/ExtTreeView.h"

#include <QAction>
#include <QClipboard>
#include <QDir>
#include <QDropEvent>
#include <QHeaderView>
#include <QMenu>
#include <QMimeData>
#include <QTest>
#include <QToolButton>
#include <QUrl>

using namespace ostero;
using report::AddNode;
using report::TTreeNode;
namespace fs = std::filesystem;

namespace {

class FormMainReport : public guitest::FormMainFixture {
protected:
    QToolButton& Button(const char* name) {
        auto* button = Form_->findChild<QToolButton*>(name);
        EXPECT_NE(button, nullptr) << name;
        return *button;
    }
    QAction& Item(const char* name) {
        auto* action = Form_->PopupMenu().findChild<QAction*>(name);
        if (action == nullptr) {
            for (QAction* a : Form_->PopupMenu().actions()) {
                if (a->objectName() == name)
                    action = a;
            }
        }
        EXPECT_NE(action, nullptr) << name;
        return *action;
    }
    ui::TExtTreeView& View() { return Form_->ReportView(); }
    QString Selected() { return View().SelectedText(); }

    // Hardware > CPUs with two properties, and Errors with two entries of image code 110.
    // `changed` turns "Present" to "No" and drops "Cores".
    std::string WriteReport(const std::string& name, bool changed = false) {
        report::TReportDocument doc;
        TTreeNode* c =
            AddNode(doc.Tree, nullptr, report::kCategoryHardware, 0, "Hardwaredevices", 0);
        c = AddNode(doc.Tree, c, 3, 0, "CPUs", 1);
        c = AddNode(doc.Tree, c, 11, 0, changed ? "Present=No" : "Present=Yes", 10);
        if (!changed)
            c = AddNode(doc.Tree, c, 11, 0, "Cores=8", 10);
        c = AddNode(doc.Tree, c, 3, 0, "Disks", 1);
        c = AddNode(doc.Tree, c, 110, 0, "SMART=Failing", 10);
        c = AddNode(doc.Tree, c, 110, 0, "Spare=Low", 10);
        c = AddNode(doc.Tree, c, 38, 0, "Temperature=High", 10);
        const std::string file = Path(name);
        EXPECT_TRUE(report::SaveReport(doc, file, true));
        return file;
    }

    void Open(const std::string& file) {
        Answers_.push_back(file);
        Button("ImageButtonOpenReport").click();
    }
    void Compare(const std::string& file) {
        Answers_.push_back(file);
        Button("ImageButtonReportCompare").click();
    }
    int Columns() { return View().TreeView().header()->count(); }
};

TEST_F(FormMainReport, OpenThroughTheDialogShowsTheReport) {
    const std::string file = WriteReport("pc 01.trp");
    EXPECT_FALSE(Button("ImageButtonSearch").isEnabled());
    EXPECT_FALSE(Button("ImageButtonReportCompare").isEnabled());
    EXPECT_FALSE(Button("ImageButtonPreviousDiff").isVisibleTo(Form_.get()));

    Open(file);
    EXPECT_TRUE(Messages_.Take().empty());
    EXPECT_EQ(View().Tree().TopCount(), 1u);
    EXPECT_EQ(Form_->ReportFileName(), file);
    EXPECT_EQ(Form_->windowTitle(), "Taveric Ostero [pc 01.trp]");
    EXPECT_TRUE(Button("ImageButtonSearch").isEnabled());
    EXPECT_TRUE(Button("ImageButtonReportCompare").isEnabled());
    EXPECT_TRUE(Button("ImageButtonReportSave").isVisibleTo(Form_.get()));
    EXPECT_FALSE(Button("ImageButtonSearchNext").isEnabled());
    EXPECT_EQ(Columns(), 2);
    // The only top-level node is opened one level.
    EXPECT_TRUE(View().TreeView().isExpanded(View().Model().IndexOf(View().Tree().First())));
    // The documents folder has no report folder, so the dialog starts there.
    ASSERT_EQ(DialogFolders_.size(), 1u);
    EXPECT_EQ(DialogFolders_[0], (Root_ / "Documents").string() + "/");
    EXPECT_EQ(DialogFilter_, "Taveric Report (*.trp);;Sobrane Report (*.srp);;All Files (*)");

    // A cancelled dialog leaves the shown report and its name alone.
    Button("ImageButtonOpenReport").click();
    EXPECT_EQ(View().Tree().TopCount(), 1u);
    EXPECT_EQ(Form_->ReportFileName(), file);
    EXPECT_EQ(Form_->windowTitle(), "Taveric Ostero [pc 01.trp]");

    if (const char* shot = std::getenv("OSTERO_SCREENSHOT")) {
        Form_->resize(900, 520);
        Form_->show();
        View().TreeView().expandAll();
        QApplication::processEvents();
        Form_->grab().save(QString::fromLocal8Bit(shot));
    }
}

TEST_F(FormMainReport, DialogStartsInTheReportFolderOfTheDocumentsWhenThereIsOne) {
    fs::create_directories(Root_ / "Documents" / "Taveric Reports");
    auto form = MakeForm();
    form->OpenReport();
    ASSERT_EQ(DialogFolders_.size(), 1u);
    EXPECT_EQ(DialogFolders_[0], (Root_ / "Documents" / "Taveric Reports").string());
    EXPECT_EQ(form->OpenDialogFolder().toStdString(), DialogFolders_[0]);
}

TEST_F(FormMainReport, DialogStartsAtHomeWithoutADocumentsFolder) {
    fs::remove_all(Root_ / "Documents");
    auto form = MakeForm();
    form->OpenReport();
    ASSERT_EQ(DialogFolders_.size(), 1u);
    EXPECT_EQ(DialogFolders_[0], QDir::homePath().toStdString());
}

TEST_F(FormMainReport, FailedLoadsNameTheFileAndKeepThePreviousName) {
    const std::string good = WriteReport("good.trp");
    std::ofstream(Path("damaged.trp"), std::ios::binary) << std::string("\4TR", 3);
    std::ofstream(Path("newer.trp"), std::ios::binary)
        << std::string("\4TRPT\2", 6) + std::string(15, '\0');
    Open(good);
    struct TCase {
        std::string File;
        std::string Message;
        bool Cleared; // the loader ran and left the view empty
    };
    const std::vector<TCase> cases = {
        {Path("missing.trp"), "E: File '" + Path("missing.trp") + "' not found", false},
        {Path("damaged.trp"),
         "E: File '" + Path("damaged.trp") +
             "' is not a valid report file, or the file is damaged!",
         true},
        {Path("newer.trp"),
         "E: File '" + Path("newer.trp") +
             "' is a new file format. You have to update the program to read this file.",
         true},
    };
    for (const TCase& c : cases) {
        Open(good);
        Messages_.Take();
        Open(c.File);
        EXPECT_EQ(Messages_.Take(), std::vector<std::string>{c.Message}) << c.File;
        EXPECT_EQ(Form_->ReportFileName(), good) << c.File;
        EXPECT_EQ(View().Tree().TopCount() == 0, c.Cleared) << c.File;
        EXPECT_EQ(Button("ImageButtonSearch").isEnabled(), !c.Cleared) << c.File;
        EXPECT_EQ(Button("ImageButtonReportCompare").isEnabled(), !c.Cleared) << c.File;
        EXPECT_EQ(Form_->windowTitle().toStdString(),
                  c.Cleared ? "Taveric Ostero" : "Taveric Ostero [good.trp]")
            << c.File;
    }
}

TEST_F(FormMainReport, ComparingWithItselfFindsNoDifferences) {
    const std::string file = WriteReport("a.trp");
    Open(file);
    Compare(file);
    EXPECT_EQ(Messages_.Take(), std::vector<std::string>{"E: No differences found!"});
    EXPECT_TRUE(View().CompareMode());
    EXPECT_EQ(Columns(), 3);
    const QAbstractItemModel& model = View().Model();
    EXPECT_EQ(model.headerData(1, Qt::Horizontal).toString(), "Old value");
    EXPECT_EQ(model.headerData(2, Qt::Horizontal).toString(), "New value");
    EXPECT_EQ(View().TreeView().header()->sectionSize(1), 250);
    EXPECT_EQ(View().Selected(), View().Tree().First());
    EXPECT_EQ(Form_->windowTitle(), "Taveric Ostero [a.trp : a.trp]");
    EXPECT_TRUE(Button("ImageButtonNextDiff").isVisibleTo(Form_.get()));
    EXPECT_FALSE(Button("ImageButtonNextDiff").isEnabled());
    EXPECT_TRUE(Button("ImageButtonPreviousDiff").isVisibleTo(Form_.get()));
    EXPECT_FALSE(Button("ImageButtonPreviousDiff").isEnabled());
    EXPECT_FALSE(Button("ImageButtonReportSave").isVisibleTo(Form_.get()));
    EXPECT_FALSE(Button("ImageButtonReportCompare").isEnabled());
    EXPECT_TRUE(Form_->StatusText().isEmpty());
}

TEST_F(FormMainReport, DifferencesAreSteppedBothWaysUntilTheEnds) {
    const std::string a = WriteReport("a.trp");
    const std::string b = WriteReport("b.trp", true);
    Open(a);
    Compare(b);
    EXPECT_TRUE(Messages_.Take().empty());
    EXPECT_EQ(Form_->windowTitle(), "Taveric Ostero [a.trp : b.trp]");
    ASSERT_TRUE(Button("ImageButtonNextDiff").isEnabled());
    const QString first = Selected();
    EXPECT_FALSE(first.isEmpty());

    // The context menu mirrors the difference buttons while comparing.
    Form_->UpdatePopupMenu();
    EXPECT_TRUE(Item("PMI_NextDiff").isVisible());
    EXPECT_TRUE(Item("PMI_NextDiff").isEnabled());
    EXPECT_TRUE(Item("PMI_PreviousDiff").isVisible());
    EXPECT_FALSE(Item("PMI_PreviousDiff").isEnabled());

    int steps = 0;
    while (Button("ImageButtonNextDiff").isEnabled() && steps < 20) {
        Item("PMI_NextDiff").trigger(); // F8
        ++steps;
    }
    EXPECT_GE(steps, 2);
    EXPECT_EQ(Messages_.Take(), std::vector<std::string>{"I: No more differences found!"});
    EXPECT_TRUE(Button("ImageButtonPreviousDiff").isEnabled());

    const QString last = Selected();
    Button("ImageButtonPreviousDiff").click();
    EXPECT_NE(Selected(), last);
    EXPECT_TRUE(Button("ImageButtonNextDiff").isEnabled());
    while (Button("ImageButtonPreviousDiff").isEnabled() && steps < 40) {
        Button("ImageButtonPreviousDiff").click();
        ++steps;
    }
    EXPECT_EQ(Selected(), first);
    EXPECT_EQ(Messages_.Take(), std::vector<std::string>{"I: No previous differences found"});

    // A cancelled open dialog keeps the comparison; opening a file ends it.
    Button("ImageButtonOpenReport").click();
    EXPECT_TRUE(View().CompareMode());
    EXPECT_EQ(Form_->windowTitle(), "Taveric Ostero [a.trp : b.trp]");
    Open(b);
    EXPECT_FALSE(View().CompareMode());
    EXPECT_EQ(Columns(), 2);
    EXPECT_EQ(View().Model().headerData(1, Qt::Horizontal).toString(), "Value");
    EXPECT_EQ(View().TreeView().header()->sectionSize(1), 250);
    EXPECT_FALSE(Button("ImageButtonNextDiff").isVisibleTo(Form_.get()));
    EXPECT_FALSE(Button("ImageButtonPreviousDiff").isVisibleTo(Form_.get()));
    EXPECT_TRUE(Button("ImageButtonReportSave").isVisibleTo(Form_.get()));
    EXPECT_TRUE(Button("ImageButtonReportCompare").isEnabled());
    EXPECT_EQ(Form_->windowTitle(), "Taveric Ostero [b.trp]");
    Form_->UpdatePopupMenu();
    EXPECT_FALSE(Item("PMI_NextDiff").isVisible());
}

TEST_F(FormMainReport, CompareFailuresLeaveTheStatusEmpty) {
    Open(WriteReport("a.trp"));
    Compare(Path("gone.trp"));
    EXPECT_EQ(Messages_.Take(),
              std::vector<std::string>{"E: File '" + Path("gone.trp") + "' not found"});
    EXPECT_TRUE(Form_->StatusText().isEmpty());
    EXPECT_FALSE(View().CompareMode());
    Compare(""); // cancelled
    EXPECT_TRUE(Messages_.Take().empty());
    EXPECT_TRUE(Button("ImageButtonReportCompare").isEnabled());
}

TEST_F(FormMainReport, InReportSearchesAndFindNext) {
    Open(WriteReport("a.trp"));
    ui::TSearchRequest request;
    Form_->SetSearchDialog([&](QWidget*, ui::TSearchRequest& out) {
        out = request;
        return true;
    });
    using Kind = report::TSearchKind;

    // No entry of the error set: the second try with 110 finds both, and F3 continues with it.
    request = {Kind::Errors, {}};
    Item("PMI_FindText").trigger();
    EXPECT_EQ(Selected(), "SMART=Failing");
    EXPECT_EQ(Form_->InReportSearchMode(), ui::TFormMain::TInReportSearch::Errors);
    ASSERT_TRUE(Button("ImageButtonSearchNext").isEnabled());
    Item("PMI_FindNext").trigger();
    EXPECT_EQ(Selected(), "Spare=Low");
    Item("PMI_FindNext").trigger();
    EXPECT_EQ(Messages_.Take(), std::vector<std::string>{"I: No more error entrys found"});
    EXPECT_FALSE(Button("ImageButtonSearchNext").isEnabled());
    EXPECT_EQ(Form_->InReportSearchMode(), ui::TFormMain::TInReportSearch::None);

    request = {Kind::Warnings, {}};
    Button("ImageButtonSearch").click();
    EXPECT_EQ(Selected(), "Temperature=High");
    Button("ImageButtonSearchNext").click();
    EXPECT_EQ(Messages_.Take(), std::vector<std::string>{"I: No more warnings found"});
    // With nothing left to continue, Find next only disables itself.
    Form_->FindNext();
    EXPECT_TRUE(Messages_.Take().empty());

    request = {Kind::Text, "pu"};
    Button("ImageButtonSearch").click();
    EXPECT_EQ(Selected(), "CPUs");
    Button("ImageButtonSearchNext").click();
    EXPECT_EQ(Messages_.Take(),
              std::vector<std::string>{"I: Cannot find another occurrence of the text"});
    request = {Kind::Text, "nowhere"};
    Button("ImageButtonSearch").click();
    EXPECT_EQ(Messages_.Take(), std::vector<std::string>{"I: Cannot find text 'nowhere'"});
    EXPECT_FALSE(Button("ImageButtonSearchNext").isEnabled());
}

TEST_F(FormMainReport, CopyItemFollowsTheSelection) {
    Open(WriteReport("a.trp"));
    View().SetSelected(nullptr);
    Form_->UpdatePopupMenu();
    EXPECT_EQ(Item("PMI_CopyToClipboard").text(), "Copy to clipboard");
    EXPECT_FALSE(Item("PMI_CopyToClipboard").isEnabled());
    EXPECT_FALSE(Item("PMI_Expand").isEnabled());
    EXPECT_EQ(Item("PMI_CopyToClipboard").shortcut(), QKeySequence(Qt::CTRL | Qt::Key_C));

    TTreeNode* cpus = View().Tree().First()->FirstChild();
    View().SetSelected(cpus->FirstChild());
    EXPECT_EQ(Item("PMI_CopyToClipboard").text(), "Copy text");
    EXPECT_TRUE(Item("PMI_CopyToClipboard").isEnabled());
    EXPECT_FALSE(Item("PMI_Expand").isEnabled()); // a property has no children
    Item("PMI_CopyToClipboard").trigger();
    EXPECT_EQ(QApplication::clipboard()->text(), "Present=Yes");

    // Collapse on a property closes its parent with everything below.
    View().TreeView().expand(View().Model().IndexOf(cpus));
    Form_->UpdatePopupMenu();
    EXPECT_TRUE(Item("PMI_Collapse").isEnabled());
    Item("PMI_Collapse").trigger();
    EXPECT_FALSE(View().TreeView().isExpanded(View().Model().IndexOf(cpus)));
}

TEST_F(FormMainReport, DroppedFilesOpenOneAfterAnother) {
    const std::string a = WriteReport("a.trp");
    const std::string b = WriteReport("b.trp", true);
    Form_->ActivatePage(ui::TFormMain::TPage::Search);
    Form_->show();
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(a)),
                  QUrl::fromLocalFile(Path("missing.trp").c_str()),
                  QUrl::fromLocalFile(QString::fromStdString(b))});
    // A drop goes to the widget that accepted the drag on entering.
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Form_.get(), &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Form_.get(), &drop);
    EXPECT_EQ(Form_->ActivePage(), ui::TFormMain::TPage::Report);
    EXPECT_EQ(Messages_.Take(),
              std::vector<std::string>{"E: File '" + Path("missing.trp") + "' not found"});
    EXPECT_EQ(Form_->ReportFileName(), b);
    EXPECT_TRUE(DialogFolders_.empty()); // dropping never asks for a file
}

TEST_F(FormMainReport, CommandLineReportOpensOnTheFirstShowing) {
    const std::string file = WriteReport("pc 02.trp");
    std::vector<std::string> args = {Path("pc"), "02.trp"};
    ui::TFormMain form(args, "", Loader_);
    form.SetMessageSink(&Messages_);
    form.show();
    QApplication::processEvents();
    EXPECT_TRUE(Messages_.Take().empty());
    EXPECT_EQ(form.ReportFileName(), file);
    EXPECT_EQ(form.windowTitle(), "Taveric Ostero [pc 02.trp]");
}

TEST_F(FormMainReport, ShortcutsWorkWhileTheViewHasTheFocus) {
    Open(WriteReport("a.trp"));
    Compare(WriteReport("b.trp", true));
    Form_->show();
    QApplication::setActiveWindow(Form_.get());
    QWidget& tree = View().TreeView();
    tree.setFocus();
    QApplication::processEvents();
    ASSERT_TRUE(tree.hasFocus());
    const QString first = Selected();
    QTest::keyClick(&tree, Qt::Key_F8);
    EXPECT_NE(Selected(), first);
    EXPECT_TRUE(Button("ImageButtonPreviousDiff").isEnabled());
    QTest::keyClick(&tree, Qt::Key_F7);
    EXPECT_EQ(Selected(), first);

    QTest::keyClick(&tree, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), first);

    bool asked = false;
    Form_->SetSearchDialog([&](QWidget*, ui::TSearchRequest& request) {
        asked = true;
        request = {report::TSearchKind::Text, "Disks"};
        return true;
    });
    QTest::keyClick(&tree, Qt::Key_F, Qt::ControlModifier);
    EXPECT_TRUE(asked);
    EXPECT_EQ(Selected(), "Disks");
    QTest::keyClick(&tree, Qt::Key_F3);
    EXPECT_EQ(Messages_.Take(),
              std::vector<std::string>{"I: Cannot find another occurrence of the text"});
}

TEST_F(FormMainReport, ReportButtonAsksForAFileOnlyWhileTheViewIsEmpty) {
    Form_->ActivatePage(ui::TFormMain::TPage::Search);
    Button("ImageButtonReport").click();
    EXPECT_EQ(Form_->ActivePage(), ui::TFormMain::TPage::Report);
    EXPECT_TRUE(Button("ImageButtonReport").isChecked());
    EXPECT_EQ(DialogFolders_.size(), 1u);
    Open(WriteReport("a.trp"));
    DialogFolders_.clear();
    Button("ImageButtonSearchReports").click();
    EXPECT_EQ(Form_->windowTitle(), "Taveric Ostero");
    Button("ImageButtonReport").click();
    EXPECT_TRUE(DialogFolders_.empty());
    EXPECT_EQ(Form_->windowTitle(), "Taveric Ostero [a.trp]");
}

TEST_F(FormMainReport, CopyTakesTheChartWhileItIsShown) {
    report::TReportDocument doc;
    TTreeNode* c = AddNode(doc.Tree, nullptr, report::kCategoryHardware, 0, "Hardwaredevices", 0);
    c = AddNode(doc.Tree, c, 11, 0, "Present=Yes", 10);
    TTreeNode* log = AddNode(doc.Tree, c, report::kCategorySensorLog, 0, "Sensorlog", 0);
    doc.Chart.AddSeries("Fan [RPM]");
    for (int i = 0; i < 5; ++i)
        doc.Chart.Series[0].AddPoint(45000 + i / 1440.0, 1200 + i);
    auto object = std::make_unique<report::TChartObject>();
    object->Chart = &doc.Chart;
    log->SetObject(std::move(object));
    ASSERT_TRUE(report::SaveReport(doc, Path("chart.trp"), true));
    Form_->show();
    Open(Path("chart.trp"));
    View().SetSelected(View().Tree().Top(1));
    QApplication::processEvents();
    ASSERT_TRUE(View().ChartShown());
    Form_->UpdatePopupMenu();
    EXPECT_EQ(Item("PMI_CopyToClipboard").text(), "Copy chart");
    QApplication::clipboard()->clear();
    Item("PMI_CopyToClipboard").trigger();
    EXPECT_FALSE(QApplication::clipboard()->image().isNull());
}

} // namespace
