// The report file search page (the scan thread, its list, sorting, copying and opening) and the
// in-report search dialog.
#include "FormMainTest.h"

#include "../unit/report/SiblingReport.h"
#include "report/ReportTree.h"
#include "ui/shell/FormSearch.h"
#include "ui/shell/SearchResultItem.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QDateTimeEdit>
#include <QHeaderView>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTreeWidget>
#include <QUrl>

#include <chrono>

using namespace ostero;
using ostero::testing::SiblingHeader;
using ostero::testing::SiblingRecord;
namespace fs = std::filesystem;

namespace {

class SearchPage : public guitest::FormMainFixture {
protected:
    void SetUp() override {
        FormMainFixture::SetUp();
        fs::create_directories(Root_ / "scan");
        Form_->ActivatePage(ui::TFormMain::TPage::Search);
    }
    template <typename T> T& Child(const char* name) {
        auto* child = Form_->findChild<T*>(name);
        EXPECT_NE(child, nullptr) << name;
        return *child;
    }
    QPushButton& Start() { return Child<QPushButton>("ButtonSearchStart"); }
    QTreeWidget& List() { return Child<QTreeWidget>("ListViewReports"); }
    QAction& ListItem(const char* name) {
        for (QAction* action : List().actions()) {
            if (action->objectName() == name)
                return *action;
        }
        ADD_FAILURE() << name;
        return *List().actions().front();
    }

    // A sibling-format report whose property line carries `value`.
    void WriteSibling(const std::string& name, const std::string& value) {
        std::string bytes = SiblingHeader(3);
        bytes += SiblingRecord(3, report::kCategorySystem, 0, "Systeminformation");
        bytes += SiblingRecord(3, 3, 1, "Board");
        bytes += SiblingRecord(3, 0, 10, value);
        std::ofstream(Root_ / "scan" / name, std::ios::binary) << bytes;
    }
    void SetAge(const std::string& name, int hours) {
        fs::last_write_time(Root_ / "scan" / name,
                            fs::file_time_type::clock::now() - std::chrono::hours(hours));
    }

    // Starts a scan for `text` in the scan folder and waits until it ended.
    void Scan(const QString& text) {
        Child<QLineEdit>("EditSearchDirectory").setText(QString::fromStdString(Path("scan")));
        Child<QLineEdit>("EditText").setText(text);
        QSignalSpy finished(Form_.get(), &ui::TFormMain::SearchFinished);
        ASSERT_TRUE(Start().isEnabled());
        Start().click();
        ASSERT_TRUE(finished.wait(10000));
    }
    QStringList Names() {
        QStringList names;
        for (int i = 0; i < List().topLevelItemCount(); ++i)
            names << List().topLevelItem(i)->text(0);
        return names;
    }
};

TEST_F(SearchPage, ScanListsTheSiblingReportsWithAMatch) {
    WriteSibling("a.srp", "Vendor=Acme");
    WriteSibling("b.srp", "Vendor=Other");
    WriteSibling("c.trp", "Vendor=Acme"); // the own format is not scanned
    WriteSibling("d.SRP", "Vendor=ACME Inc.");
    std::ofstream(Root_ / "scan" / "notes.txt") << "Acme";

    Scan("acme");
    EXPECT_EQ(Form_->StatusText(), "Scanned: 3, Found: 2");
    QStringList names = Names();
    names.sort();
    EXPECT_EQ(names, QStringList({"a.srp", "d.SRP"}));
    EXPECT_EQ(Start().text(), "Start");
    EXPECT_TRUE(Start().isEnabled());
    EXPECT_FALSE(Form_->Scanning());
    EXPECT_EQ(Form_->SearchFolder().toStdString(), Path("scan") + "/");
    EXPECT_FALSE(List().topLevelItem(0)->text(1).isEmpty());

    // Opening a result shows it on the report page.
    List().setCurrentItem(List().findItems("d.SRP", Qt::MatchExactly).front());
    ListItem("PMI_Search_Open").trigger();
    EXPECT_EQ(Form_->ActivePage(), ui::TFormMain::TPage::Report);
    EXPECT_EQ(Form_->ReportFileName(), Path("scan") + "/d.SRP");
    EXPECT_TRUE(Messages_.Take().empty());

    // A new start clears the list first.
    Form_->ActivatePage(ui::TFormMain::TPage::Search);
    EXPECT_TRUE(Form_->StatusText().isEmpty()); // leaving the report page cleared it
    Scan("nothing like it");
    EXPECT_EQ(List().topLevelItemCount(), 0);
    EXPECT_EQ(Form_->StatusText(), "Scanned: 3, Found: 0");
}

TEST_F(SearchPage, AnEmptyFolderListsNothingAndStartStaysUsable) {
    Scan("Acme");
    EXPECT_EQ(List().topLevelItemCount(), 0);
    EXPECT_TRUE(Messages_.Take().empty());
    EXPECT_EQ(Start().text(), "Start");
    EXPECT_TRUE(Start().isEnabled());
}

TEST_F(SearchPage, StopEndsTheScanAndSaysSo) {
    for (int i = 0; i < 1000; ++i)
        WriteSibling("r" + std::to_string(i) + ".srp", "Vendor=Acme");
    Child<QLineEdit>("EditSearchDirectory").setText(QString::fromStdString(Path("scan")));
    Child<QRadioButton>("RBErrors").click();
    EXPECT_FALSE(Child<QLineEdit>("EditText").isEnabled());
    QSignalSpy finished(Form_.get(), &ui::TFormMain::SearchFinished);
    Start().click();
    EXPECT_EQ(Start().text(), "Stop");
    EXPECT_TRUE(Form_->Scanning());
    // Edits while scanning leave the Stop button alone.
    Child<QLineEdit>("EditSearchDirectory").setText("");
    EXPECT_TRUE(Start().isEnabled());
    Start().click();
    ASSERT_TRUE(finished.wait(10000));
    const QString status = Form_->StatusText();
    EXPECT_TRUE(status.startsWith("Scanned: ")) << status.toStdString();
    EXPECT_TRUE(status.endsWith(", Found: 0, Search canceled")) << status.toStdString();
    EXPECT_EQ(Start().text(), "Start");
    EXPECT_FALSE(Form_->Scanning());
}

TEST_F(SearchPage, ClosingTheWindowDuringAScanEndsTheScanFirst) {
    for (int i = 0; i < 1000; ++i)
        WriteSibling("r" + std::to_string(i) + ".srp", "Vendor=Acme");
    Child<QLineEdit>("EditSearchDirectory").setText(QString::fromStdString(Path("scan")));
    Child<QLineEdit>("EditText").setText("Acme");
    Start().click();
    ASSERT_TRUE(Form_->Scanning());
    QApplication::processEvents(); // some hits arrive
    Form_->close();
    Form_.reset(); // waits for the thread; its late hits find no list
    QApplication::processEvents();
    SUCCEED();
}

TEST_F(SearchPage, CopyPutsTheSelectedFilesOnTheClipboard) {
    for (const char* name : {"one.srp", "two.srp", "three.srp", "four.srp"})
        WriteSibling(name, "Vendor=Acme");
    Scan("Acme");
    ASSERT_EQ(List().topLevelItemCount(), 4);
    for (int i = 0; i < 3; ++i)
        List().topLevelItem(i)->setSelected(true);
    ListItem("PMI_Search_CopyToClipboard").trigger();
    const QMimeData* data = QApplication::clipboard()->mimeData();
    ASSERT_NE(data, nullptr);
    QStringList expected;
    for (int i = 0; i < 3; ++i)
        expected << QUrl::fromLocalFile(QString::fromStdString(Path("scan")) + "/" +
                                        List().topLevelItem(i)->text(0))
                        .toString();
    QStringList urls;
    for (const QUrl& url : data->urls())
        urls << url.toString();
    EXPECT_EQ(urls, expected);
    EXPECT_EQ(QString::fromUtf8(data->data("x-special/gnome-copied-files")),
              "copy\n" + expected.join('\n'));
}

TEST_F(SearchPage, HeaderClicksSortByNameOrDate) {
    // Ages: pc10 newest, pc2 oldest.
    const std::vector<std::pair<std::string, int>> files = {
        {"pc2.srp", 30}, {"pc10.srp", 1}, {"pc1.srp", 20}};
    for (const auto& [name, hours] : files) {
        WriteSibling(name, "Vendor=Acme");
        SetAge(name, hours);
    }
    Scan("Acme");
    QHeaderView& header = *List().header();
    emit header.sectionClicked(1);
    EXPECT_EQ(Names(), QStringList({"pc10.srp", "pc1.srp", "pc2.srp"})); // newest first
    EXPECT_EQ(header.sortIndicatorOrder(), Qt::DescendingOrder);
    emit header.sectionClicked(1);
    EXPECT_EQ(Names(), QStringList({"pc2.srp", "pc1.srp", "pc10.srp"}));
    emit header.sectionClicked(0);
    EXPECT_EQ(Names(), QStringList({"pc1.srp", "pc2.srp", "pc10.srp"})); // digits by value
    EXPECT_EQ(header.sortIndicatorSection(), 0);
    EXPECT_EQ(header.sortIndicatorOrder(), Qt::AscendingOrder);
    emit header.sectionClicked(0);
    EXPECT_EQ(Names(), QStringList({"pc10.srp", "pc2.srp", "pc1.srp"}));
}

TEST_F(SearchPage, DateRangeKeepsOnlyFilesChangedInsideIt) {
    WriteSibling("old.srp", "Vendor=Acme");
    SetAge("old.srp", 30);
    WriteSibling("new.srp", "Vendor=Acme");
    SetAge("new.srp", 1);
    WriteSibling("future.srp", "Vendor=Acme");
    SetAge("future.srp", -5);
    QCheckBox& range = Child<QCheckBox>("CheckBoxDateRange");
    auto& start = Child<QDateTimeEdit>("DateTimePickerStart");
    auto& end = Child<QDateTimeEdit>("DateTimePickerEnd");
    EXPECT_FALSE(start.isEnabled());
    range.setChecked(true);
    EXPECT_TRUE(start.isEnabled());
    start.setDateTime(QDateTime::currentDateTime().addSecs(-10 * 3600));
    end.setDateTime(QDateTime::currentDateTime());
    Scan("Acme");
    EXPECT_EQ(Names(), QStringList({"new.srp"}));
    EXPECT_EQ(Form_->StatusText(), "Scanned: 1, Found: 1");
    range.setChecked(false);
    Scan("Acme");
    EXPECT_EQ(List().topLevelItemCount(), 3);
}

TEST(NaturalCompare, DigitRunsCompareByValue) {
    struct TCase {
        const char* A;
        const char* B;
        int Sign;
    };
    for (const TCase& c : std::vector<TCase>{{"pc2", "pc10", -1},
                                             {"pc010", "pc9", 1},
                                             {"pc007", "pc7", 0},
                                             {"PC2", "pc2", 0},
                                             {"a", "ab", -1},
                                             {"report 3b", "report 3a", 1}}) {
        const int result = ui::NaturalCompare(c.A, c.B);
        EXPECT_EQ((result > 0) - (result < 0), c.Sign) << c.A << " vs " << c.B;
    }
}

TEST_F(SearchPage, StartIsOfferedOnlyWithSomethingToLookFor) {
    QLineEdit& folder = Child<QLineEdit>("EditSearchDirectory");
    QLineEdit& text = Child<QLineEdit>("EditText");
    EXPECT_FALSE(Start().isEnabled());
    folder.setText(QString::fromStdString(Path("scan")));
    EXPECT_FALSE(Start().isEnabled()); // a text search without a text
    Child<QRadioButton>("RBWarnings").click();
    EXPECT_TRUE(Start().isEnabled());
    Child<QRadioButton>("RBText").click();
    EXPECT_TRUE(text.isEnabled());
    EXPECT_FALSE(Start().isEnabled());
    text.setText("x");
    EXPECT_TRUE(Start().isEnabled());
    folder.setText("");
    EXPECT_FALSE(Start().isEnabled());

    // A folder that does not exist is named, and nothing is started.
    folder.setText(QString::fromStdString(Path("nowhere")));
    Start().click();
    EXPECT_EQ(Messages_.Take(),
              std::vector<std::string>{"E: Directory '" + Path("nowhere") + "' not found"});
    EXPECT_FALSE(Form_->Scanning());
    EXPECT_FALSE(Start().isEnabled());
}

TEST(FormSearchDialog, StartNeedsATextOnlyForTheTextSearch) {
    EnsureGuiApplication();
    ui::TFormSearch dialog;
    EXPECT_TRUE(dialog.RBText().isChecked());
    EXPECT_FALSE(dialog.BtnStart().isEnabled());
    dialog.EditText().setText("CPU");
    EXPECT_TRUE(dialog.BtnStart().isEnabled());
    EXPECT_EQ(dialog.Kind(), report::TSearchKind::Text);
    EXPECT_EQ(dialog.Text(), "CPU");
    dialog.EditText().clear();
    dialog.RBErrors().click();
    EXPECT_FALSE(dialog.EditText().isEnabled());
    EXPECT_TRUE(dialog.BtnStart().isEnabled());
    EXPECT_EQ(dialog.Kind(), report::TSearchKind::Errors);
    dialog.RBText().click();
    EXPECT_FALSE(dialog.BtnStart().isEnabled());
    dialog.BtnStart().setEnabled(true);
    dialog.BtnStart().click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

} // namespace
