// The menu band of the main window: page switching, and the options button with a recording
// dialog library found through PATH.
#include "FormMainTest.h"

#include "ForwardingPlatform.h"
#include "report/ReportFile.h"
#include "support/platform/Platform.h"
#include "ui/report/ExtTreeView.h"
#include "ui/shell/ImageButton.h"

#include <QLabel>
#include <QMenu>
#include <QTest>
#include <QToolButton>

#include <map>

using namespace ostero;
namespace fs = std::filesystem;

namespace {

class FormMainMenu : public guitest::FormMainFixture {
protected:
    QToolButton& Button(const char* name) {
        auto* button = Form_->findChild<QToolButton*>(name);
        EXPECT_NE(button, nullptr) << name;
        return *button;
    }
};

TEST_F(FormMainMenu, PagesSwitchOnlyThroughEnabledButtons) {
    EXPECT_EQ(Form_->ActivePage(), ui::TFormMain::TPage::Report);
    EXPECT_TRUE(Button("ImageButtonReport").isChecked());
    Button("ImageButtonSearchReports").click();
    EXPECT_EQ(Form_->ActivePage(), ui::TFormMain::TPage::Search);
    EXPECT_TRUE(Button("ImageButtonSearchReports").isChecked());
    EXPECT_FALSE(Button("ImageButtonReport").isChecked());
    // The test launcher is not there yet: its button says so by being off. Connect waits for
    // the system information page.
    EXPECT_TRUE(Button("ImageButtonSysInfo").isEnabled());
    EXPECT_FALSE(Button("ImageButtonTests").isEnabled());
    EXPECT_EQ(Button("ImageButtonSysInfo").text(), "S&ystem information");
    EXPECT_EQ(Button("ImageButtonSysInfo").toolTip(), "Hardware and Systeminformation");
    for (const char* name : {"ImageButtonConnect", "ImageButtonSysInfoCompare"}) {
        EXPECT_FALSE(Button(name).isEnabled()) << name;
    }
    // No help file and no dialog library here.
    EXPECT_FALSE(Button("ImageButtonHelp").isVisibleTo(Form_.get()));
    EXPECT_FALSE(Button("ImageButtonOptions").isVisibleTo(Form_.get()));
}

// The band stacks its visible controls from the top in tab order, each as wide as the band,
// and its buttons lighten a step each going down; showing or hiding a button lays it out again.
TEST_F(FormMainMenu, BandStacksItsVisibleButtonsAndLightensThemDownward) {
    struct TCase {
        const char* Name;
        std::vector<const char*> Hidden;
        std::vector<const char*> Stacked; // the visible buttons, top to bottom
    };
    const TCase cases[] = {
        {"all seven",
         {},
         {"ImageButtonReport", "ImageButtonSearchReports", "ImageButtonSysInfo", "ImageButtonTests",
          "ImageButtonHelp", "ImageButtonOptions", "ImageButtonExit"}},
        {"help hidden",
         {"ImageButtonHelp"},
         {"ImageButtonReport", "ImageButtonSearchReports", "ImageButtonSysInfo", "ImageButtonTests",
          "ImageButtonOptions", "ImageButtonExit"}},
        {"first hidden",
         {"ImageButtonReport"},
         {"ImageButtonSearchReports", "ImageButtonSysInfo", "ImageButtonTests", "ImageButtonHelp",
          "ImageButtonOptions", "ImageButtonExit"}},
        {"as without help and dialog library",
         {"ImageButtonHelp", "ImageButtonOptions"},
         {"ImageButtonReport", "ImageButtonSearchReports", "ImageButtonSysInfo", "ImageButtonTests",
          "ImageButtonExit"}},
    };
    Form_->show();
    QApplication::processEvents();
    auto* band = Form_->findChild<QWidget*>("PanelMenu");
    auto* top = Form_->findChild<QWidget*>("PanelMenuTop");
    ASSERT_NE(band, nullptr);
    ASSERT_NE(top, nullptr);
    EXPECT_EQ(top->geometry(), QRect(0, 0, band->width(), 62));
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        for (const char* name : c.Stacked)
            Button(name).show();
        for (const char* name : c.Hidden)
            Button(name).hide();
        int expectedTop = 62;
        int brightness = 90;
        for (const char* name : c.Stacked) {
            auto& button = static_cast<ui::TImageButton&>(Button(name));
            EXPECT_EQ(button.geometry(), QRect(0, expectedTop, band->width(), 40)) << name;
            EXPECT_EQ(button.Brightness(), brightness) << name;
            expectedTop += 40;
            brightness += 5;
        }
        EXPECT_EQ(band->minimumHeight(), expectedTop);
    }
}

TEST_F(FormMainMenu, TopPictureIsCentredRoundedTowardZero) {
    auto* top = Form_->findChild<QWidget*>("PanelMenuTop");
    auto* image = Form_->findChild<QLabel*>("ImageTop");
    ASSERT_NE(top, nullptr);
    ASSERT_NE(image, nullptr);
    Form_->show();
    const int width = image->width();
    const std::pair<int, int> cases[] = {{19, 9}, {20, 10}, {0, 0}, {-5, -2}, {-4, -2}};
    for (const auto& [extra, left] : cases) {
        top->resize(width + extra, 62);
        // Integer division truncates: an overhang of 5 puts the picture at -2, not -3.
        EXPECT_EQ(image->x(), left) << extra;
    }
}

TEST_F(FormMainMenu, OptionsButtonShowsWhenTheDialogLibraryIsFound) {
    const char* libs = std::getenv("OSTERO_TESTLIB_DIR");
    ASSERT_NE(libs, nullptr);
    const std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    const std::string shared = (fs::path(libs) / "full" / "Shared").string();
    ::setenv("PATH", (shared + ":" + oldPath).c_str(), 1);
    auto form = MakeForm();
    ::setenv("PATH", oldPath.c_str(), 1);
    EXPECT_TRUE(form->OptionsAvailable());
    auto* options = form->findChild<QToolButton*>("ImageButtonOptions");
    ASSERT_NE(options, nullptr);
    EXPECT_TRUE(options->isVisibleTo(form.get()));
    EXPECT_EQ(options->text(), "Program&options");
    // The band was laid out again: the options button took the step after the tests button.
    EXPECT_EQ(static_cast<ui::TImageButton*>(options)->Brightness(), 110);
    EXPECT_EQ(form->findChild<ui::TImageButton*>("ImageButtonExit")->Brightness(), 115);
}

TEST_F(FormMainMenu, HelpOpensTheTopicOfTheFocusedPageAsTheReportViewRoutesIt) {
    const std::string help = Path("help.html");
    std::ofstream(help) << "<html></html>";
    Form_ = std::make_unique<ui::TFormMain>(std::vector<std::string>{"missing.trp"}, help, Loader_);
    Form_->SetMessageSink(&Messages_);
    ostero::testing::TOpenRecorder opened(platform::Platform());
    platform::TPlatform* previous = platform::SetPlatform(&opened);
    struct TRestore {
        platform::TPlatform* Previous;
        ~TRestore() { platform::SetPlatform(Previous); }
    } restore{previous};
    const std::string topic = "file://" + help + "#";

    ASSERT_FALSE(Button("ImageButtonHelp").isHidden());
    ui::TExtTreeView& report = Form_->ReportView();
    Form_->ActivatePage(ui::TFormMain::TPage::Report);
    Form_->show();
    QApplication::setActiveWindow(Form_.get());
    report.TreeView().setFocus();
    QApplication::processEvents();
    Messages_.Take();

    // The report page without a report, with one, and in compare mode.
    Button("ImageButtonHelp").click();
    const std::string sample = std::string(std::getenv("OSTERO_TEST_DATA")) + "/reports/sample.trp";
    Form_->OpenReport(QString::fromStdString(sample));
    report.TreeView().setFocus();
    Button("ImageButtonHelp").click();
    Form_->SetOpenFileDialog(
        [&](QWidget*, const QString&, const QString&) { return QString::fromStdString(sample); });
    Form_->CompareReport();
    report.TreeView().setFocus();
    Button("ImageButtonHelp").click();
    // The context menu's own topic, and the search page's.
    Form_->UpdatePopupMenu();
    QAction* item = Form_->PopupMenu().findChild<QAction*>("PMI_Help");
    ASSERT_NE(item, nullptr);
    EXPECT_TRUE(item->isVisible());
    item->trigger();
    Form_->ActivatePage(ui::TFormMain::TPage::Search);
    Form_->findChild<QWidget*>("EditSearchDirectory")->setFocus();
    QTest::keyClick(Form_->findChild<QWidget*>("EditSearchDirectory"), Qt::Key_F1);
    EXPECT_EQ(opened.Opened, (std::vector<std::string>{topic + "210", topic + "205", topic + "230",
                                                       topic + "220", topic + "300"}));
}

TEST_F(FormMainMenu, AToolbarShowsExactlyWhileOneOfItsButtonsDoes) {
    auto* toolbar = Form_->findChild<QWidget*>("PanelReportTop");
    ASSERT_NE(toolbar, nullptr);
    const QList<QToolButton*> buttons =
        toolbar->findChildren<QToolButton*>(Qt::FindDirectChildrenOnly);
    ASSERT_FALSE(buttons.isEmpty());
    EXPECT_FALSE(toolbar->isHidden());
    QList<QToolButton*> shown;
    for (QToolButton* button : buttons)
        if (!button->isHidden())
            shown.push_back(button);
    for (QToolButton* button : shown)
        button->hide();
    EXPECT_TRUE(toolbar->isHidden());
    shown.front()->show();
    EXPECT_FALSE(toolbar->isHidden());
}

// Every toolbar button shows a 16-pixel picture, and buttons that do different things show
// different pictures (the same action on both pages may share one).
TEST_F(FormMainMenu, EveryToolbarButtonHasAPictureOfItsAction) {
    std::map<QString, QImage> byAction; // caption -> picture
    for (const char* toolbar : {"PanelReportTop", "PanelSysInfoTop"}) {
        auto* panel = Form_->findChild<QWidget*>(toolbar);
        ASSERT_NE(panel, nullptr) << toolbar;
        for (auto* button : panel->findChildren<ui::TImageButton*>(Qt::FindDirectChildrenOnly)) {
            SCOPED_TRACE(button->objectName().toStdString());
            ASSERT_FALSE(button->Picture().isNull());
            EXPECT_EQ(button->Picture().size(), QSize(16, 16));
            const QImage& known =
                byAction.try_emplace(button->text(), button->Picture()).first->second;
            EXPECT_EQ(known, button->Picture()) << "the same caption, the same picture";
        }
    }
    for (auto a = byAction.begin(); a != byAction.end(); ++a)
        for (auto b = std::next(a); b != byAction.end(); ++b)
            EXPECT_NE(a->second, b->second)
                << a->first.toStdString() << " and " << b->first.toStdString();
}

} // namespace
