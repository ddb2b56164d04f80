// The menu band of the main window: page switching, and the options button with a recording
// dialog library found through PATH.
#include "FormMainTest.h"

#include "support/platform/Platform.h"

#include <QToolButton>

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
}

} // namespace
