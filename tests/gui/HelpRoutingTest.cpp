#include "ui/shell/HelpRouting.h"

#include "GuiApplication.h"
#include "report/ReportFile.h"
#include "ui/report/ExtTreeView.h"

#include <QApplication>

#include <gtest/gtest.h>

using namespace ostero;
using ui::RoutedHelpContext;
using ui::TReportHelpState;

TEST(HelpRouting, TheReportPageTopicFollowsWhatTheViewShows) {
    struct Case {
        const char* name;
        int requested;
        TReportHelpState view; // chart shown, compare mode, has nodes
        int expected;
    };
    const Case cases[] = {
        {"a report", 205, {false, false, true}, 205},
        {"no nodes", 205, {false, false, false}, 210},
        {"compare mode", 205, {false, true, true}, 230},
        {"compare mode wins over no nodes", 205, {false, true, false}, 230},
        {"the chart", 205, {true, false, true}, 235},
        {"the chart wins over compare mode", 205, {true, true, true}, 235},
        {"other pages pass unchanged", 100, {true, true, false}, 100},
        {"the menu's help item passes unchanged", 220, {false, false, false}, 220},
        {"the answered topics pass unchanged", 210, {true, false, true}, 210},
        {"no context", 0, {true, true, true}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(RoutedHelpContext(c.requested, c.view), c.expected);
    }
}

TEST(HelpRouting, ReadsTheStateOfARealView) {
    EnsureGuiApplication();
    ui::TExtTreeView view;
    view.resize(600, 600);
    view.show();
    EXPECT_EQ(RoutedHelpContext(205, view), 210);

    view.Model().BeginTreeReset();
    report::TTreeNode* log =
        report::AddNode(view.Tree(), nullptr, report::kCategorySensorLog, 0, "Sensorlog", 0);
    view.Model().EndTreeReset();
    EXPECT_EQ(RoutedHelpContext(205, view), 205);

    view.Document().Chart.AddSeries("CPU");
    view.Document().Chart.Series[0].AddPoint(45000, 40);
    auto object = std::make_unique<report::TChartObject>();
    object->Chart = &view.Document().Chart;
    log->SetObject(std::move(object));
    view.SetSelected(log);
    QApplication::processEvents();
    ASSERT_TRUE(view.ChartShown());
    EXPECT_EQ(RoutedHelpContext(205, view), 235);

    view.ClearReport();
    view.SetCompareMode(true);
    EXPECT_EQ(RoutedHelpContext(205, view), 230) << "compare mode, even when empty";
}
