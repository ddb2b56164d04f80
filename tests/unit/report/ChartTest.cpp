#include "report/Chart.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace ostero::report;

namespace {

const std::string kCelsius = "[\xB0"
                             "C]";

// --- Colours and image codes.

TEST(ChartColorsTest, TableIsInBlueGreenRedOrder) {
    EXPECT_EQ(ChartLineColors[0], 0x000000u);  // black
    EXPECT_EQ(ChartLineColors[1], 0xFF0000u);  // #0000FF blue
    EXPECT_EQ(ChartLineColors[2], 0x000080u);  // #800000 maroon
    EXPECT_EQ(ChartLineColors[5], 0xFFFF00u);  // #00FFFF aqua
    EXPECT_EQ(ChartLineColors[6], 0x008080u);  // #808000 olive
    EXPECT_EQ(ChartLineColors[7], 0x800000u);  // #000080 navy
    EXPECT_EQ(ChartLineColors[8], 0x0000FFu);  // #FF0000 red
    EXPECT_EQ(ChartLineColors[10], 0x808000u); // #008080 teal
    EXPECT_EQ(ChartLineColors[13], 0x00FF00u); // lime
}

struct TImageCodeCase {
    const char* Name;
    uint32_t Color;
    bool Active;
    int ColorIndex;
    int32_t ImageCode;
};

class ChartLineImageCodeTest : public ::testing::TestWithParam<TImageCodeCase> {};

TEST_P(ChartLineImageCodeTest, FollowsColourIndexAndState) {
    const TImageCodeCase& c = GetParam();
    EXPECT_EQ(ChartLineColorIndex(c.Color), c.ColorIndex);
    TChartLine line;
    line.Color = c.Color;
    line.Active = c.Active;
    EXPECT_EQ(ChartLineImageCode(line), c.ImageCode);
}

INSTANTIATE_TEST_SUITE_P(ChartLines, ChartLineImageCodeTest,
                         ::testing::Values(TImageCodeCase{"BlackActive", 0x000000, true, 0, 93},
                                           TImageCodeCase{"RedActive", 0x0000FF, true, 8, 101},
                                           // The second grey is found as the first one.
                                           TImageCodeCase{"GreyActive", 0x808080, true, 4, 97},
                                           TImageCodeCase{"LimeActive", 0x00FF00, true, 13, 106},
                                           TImageCodeCase{"RedInactive", 0x0000FF, false, 8, 92},
                                           TImageCodeCase{"ForeignColourActive", 0x123456, true, -1,
                                                          92}),
                         [](const auto& info) { return std::string(info.param.Name); });

// --- Units and axis titles.

struct TUnitCase {
    const char* Name;
    std::string Title;
    std::string Unit;
    std::string AxisTitle;
};

class ChartUnitTest : public ::testing::TestWithParam<TUnitCase> {};

TEST_P(ChartUnitTest, UnitAndAxisTitle) {
    const TUnitCase& c = GetParam();
    EXPECT_EQ(ChartUnit(c.Title), c.Unit);
    EXPECT_EQ(ChartAxisTitle(c.Unit), c.AxisTitle);
}

INSTANTIATE_TEST_SUITE_P(
    ChartTitles, ChartUnitTest,
    ::testing::Values(TUnitCase{"Celsius", "CPU " + kCelsius, kCelsius, "Temperature " + kCelsius},
                      TUnitCase{"LowerCaseFan", "Fan 1 [rpm]", "[RPM]", "Fan [RPM]"},
                      TUnitCase{"Volt", "Vcore [V]", "[V]", "Voltage [V]"},
                      TUnitCase{"Percent", "Load [%]", "[%]", "Percent [%]"},
                      TUnitCase{"Ampere", "Current [A]", "[A]", "Ampere [A]"},
                      TUnitCase{"Watt", "Power [W]", "[W]", "Watt [W]"},
                      TUnitCase{"Megahertz", "Clock [MHz]", "[MHZ]", "Frequency [MHz]"},
                      TUnitCase{"OtherUnitIsItsOwnTitle", "Flow [l/h]", "[L/H]", "[L/H]"},
                      TUnitCase{"FirstBracketsOnly", "Rail [V] (max [A])", "[V]", "Voltage [V]"},
                      TUnitCase{"NoBrackets", "Uptime", "", ""},
                      TUnitCase{"OpenBracketOnly", "Odd [V", "", ""},
                      TUnitCase{"ClosingBeforeOpening", "Odd ]V[", "", ""}),
    [](const auto& info) { return std::string(info.param.Name); });

// --- ArrangeChartAxes.

// Two temperatures, a fan, a voltage and a second fan, in the order a sensor log lists them.
class ChartArrangeTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const std::string& title :
             {"CPU " + kCelsius, "Board " + kCelsius, std::string("CPU Fan [RPM]"),
              std::string("Vcore [V]"), std::string("Case Fan [rpm]")})
            Chart_.AddSeries(title);
    }
    std::vector<bool> ActiveStates() const {
        std::vector<bool> states;
        for (const TChartSeries& s : Chart_.Series)
            states.push_back(s.Active);
        return states;
    }
    TChart Chart_;
};

TEST_F(ChartArrangeTest, ActivationKeepsTheFirstTwoUnits) {
    for (TChartSeries& s : Chart_.Series)
        s.Active = false;
    ArrangeChartAxes(Chart_, true);

    EXPECT_EQ(ActiveStates(), (std::vector<bool>{true, true, true, false, true}));
    EXPECT_TRUE(Chart_.LeftVisible);
    EXPECT_EQ(Chart_.LeftTitle, "Temperature " + kCelsius);
    EXPECT_TRUE(Chart_.RightVisible);
    EXPECT_EQ(Chart_.RightTitle, "Fan [RPM]");
    EXPECT_EQ(Chart_.Series[0].Axis, TAxisSide::Left);
    EXPECT_EQ(Chart_.Series[1].Axis, TAxisSide::Left);
    EXPECT_EQ(Chart_.Series[2].Axis, TAxisSide::Right);
    EXPECT_EQ(Chart_.Series[4].Axis, TAxisSide::Right);
    EXPECT_TRUE(Chart_.DateTimeLabels);
}

TEST_F(ChartArrangeTest, WithoutActivationOnlyActiveSeriesChooseUnits) {
    // Temperatures off: the voltage becomes the first unit, the fans the second.
    Chart_.Series[0].Active = false;
    Chart_.Series[1].Active = false;
    ArrangeChartAxes(Chart_, false);

    EXPECT_EQ(ActiveStates(), (std::vector<bool>{false, false, true, true, true}));
    EXPECT_EQ(Chart_.LeftTitle, "Fan [RPM]");
    EXPECT_EQ(Chart_.RightTitle, "Voltage [V]");
    EXPECT_EQ(Chart_.Series[2].Axis, TAxisSide::Left);
    EXPECT_EQ(Chart_.Series[3].Axis, TAxisSide::Right);
    EXPECT_EQ(Chart_.Series[4].Axis, TAxisSide::Left);
}

TEST_F(ChartArrangeTest, OneUnitHidesTheRightAxis) {
    for (size_t i = 2; i < Chart_.Series.size(); ++i)
        Chart_.Series[i].Active = false;
    Chart_.RightTitle = "stale";
    Chart_.RightVisible = true;
    ArrangeChartAxes(Chart_, false);

    EXPECT_TRUE(Chart_.LeftVisible);
    EXPECT_FALSE(Chart_.RightVisible);
    EXPECT_EQ(Chart_.RightTitle, "");
}

TEST_F(ChartArrangeTest, NoActiveSeriesHidesEverything) {
    for (TChartSeries& s : Chart_.Series)
        s.Active = false;
    ArrangeChartAxes(Chart_, false);

    EXPECT_FALSE(Chart_.LeftVisible);
    EXPECT_FALSE(Chart_.RightVisible);
    EXPECT_EQ(Chart_.LeftTitle, "");
    EXPECT_FALSE(Chart_.DateTimeLabels);
}

TEST(ChartArrangeUnitsTest, TitleWithBothUnitsGoesRight) {
    TChart chart;
    chart.AddSeries("Temp " + kCelsius);
    chart.AddSeries("Fan [RPM]");
    chart.AddSeries("Fan at " + kCelsius + " [RPM]");
    ArrangeChartAxes(chart, true);
    EXPECT_TRUE(chart.Series[2].Active);
    EXPECT_EQ(chart.Series[2].Axis, TAxisSide::Right);
}

TEST(ChartArrangeUnitsTest, SeriesWithoutUnitsLeaveTheAxesHidden) {
    TChart chart;
    chart.AddSeries("Uptime");
    ArrangeChartAxes(chart, true);
    EXPECT_FALSE(chart.LeftVisible);
    EXPECT_EQ(chart.LeftTitle, "");
    // Activation switches every series on first; without a unit nothing switches it off.
    EXPECT_TRUE(chart.Series[0].Active);
    EXPECT_TRUE(chart.DateTimeLabels);
}

TEST(ChartArrangeColorsTest, FourteenthSeriesStartsAgainWithBlack) {
    TChart chart;
    for (int i = 0; i < 14; ++i)
        chart.AddSeries("S" + std::to_string(i) + " [V]");
    ArrangeChartAxes(chart, true);
    for (size_t i = 0; i < 13; ++i)
        EXPECT_EQ(chart.Series[i].Color, ChartLineColors[i]) << i;
    EXPECT_EQ(chart.Series[13].Color, 0x000000u);
}

// --- Line nodes, ToggleChartLine and LimitChartUnits.

// A loaded chart: "Sensorlog" with one line node per series of ChartArrangeTest.
class ChartLinesTest : public ChartArrangeTest {
protected:
    void SetUp() override {
        ChartArrangeTest::SetUp();
        ArrangeChartAxes(Chart_, true);
        Node_ = Tree_.AppendTop("Sensorlog", 407);
        AddChartLineNodes(*Node_, Chart_);
    }
    TChartLine& Line(size_t i) { return *Node_->Child(i)->ChartLine(); }
    std::vector<int32_t> ImageCodes() const {
        std::vector<int32_t> codes;
        for (size_t i = 0; i < Node_->ChildCount(); ++i)
            codes.push_back(Node_->Child(i)->ImageCode());
        return codes;
    }
    TReportTree Tree_;
    TTreeNode* Node_ = nullptr;
};

TEST_F(ChartLinesTest, OneLineNodePerSeries) {
    ASSERT_EQ(Node_->ChildCount(), Chart_.Series.size());
    for (size_t i = 0; i < Chart_.Series.size(); ++i) {
        const TTreeNode& node = *Node_->Child(i);
        EXPECT_EQ(node.Text(), Chart_.Series[i].Title);
        ASSERT_NE(node.ChartLine(), nullptr);
        EXPECT_EQ(node.ChartLine()->Color, Chart_.Series[i].Color);
        EXPECT_EQ(node.ChartLine()->Active, Chart_.Series[i].Active);
    }
    // Colours 0..4, the voltage (index 3) inactive.
    EXPECT_EQ(ImageCodes(), (std::vector<int32_t>{93, 94, 95, 92, 97}));
}

TEST_F(ChartLinesTest, SwitchingALineOffKeepsTheOthers) {
    ASSERT_TRUE(ToggleChartLine(*Node_->Child(0), Chart_));
    EXPECT_FALSE(Chart_.Series[0].Active);
    EXPECT_FALSE(Line(0).Active);
    EXPECT_EQ(ImageCodes(), (std::vector<int32_t>{92, 94, 95, 92, 97}));
    EXPECT_EQ(ActiveStates(), (std::vector<bool>{false, true, true, false, true}));

    // Back on: no third unit is involved, so nothing else changes.
    ASSERT_TRUE(ToggleChartLine(*Node_->Child(0), Chart_));
    EXPECT_EQ(ImageCodes(), (std::vector<int32_t>{93, 94, 95, 92, 97}));
    EXPECT_EQ(ActiveStates(), (std::vector<bool>{true, true, true, false, true}));
}

TEST_F(ChartLinesTest, ThirdUnitSwitchesTheSecondOneOff) {
    ASSERT_TRUE(ToggleChartLine(*Node_->Child(3), Chart_));

    EXPECT_EQ(ActiveStates(), (std::vector<bool>{true, true, false, true, false}));
    EXPECT_EQ(ImageCodes(), (std::vector<int32_t>{93, 94, 92, 96, 92}));
    EXPECT_FALSE(Line(2).Active);
    EXPECT_FALSE(Line(4).Active);
    EXPECT_EQ(Chart_.LeftTitle, "Temperature " + kCelsius);
    EXPECT_EQ(Chart_.RightTitle, "Voltage [V]");
    EXPECT_EQ(Chart_.Series[3].Axis, TAxisSide::Right);
}

TEST_F(ChartLinesTest, LineNodeBeyondTheSeriesIsRefused) {
    Chart_.Series.pop_back();
    EXPECT_FALSE(ToggleChartLine(*Node_->Child(4), Chart_));
    EXPECT_TRUE(Line(4).Active);
    EXPECT_FALSE(ToggleChartLine(*Node_, Chart_)); // no TChartLine
}

// The export contents tree: check states instead of line objects (1 and 4 count as on).
TEST(ChartLimitUnitsTest, StateImagesSwitchTheSecondUnitToState2) {
    TReportTree tree;
    TTreeNode* chart = tree.AppendTop("Sensorlog", 407);
    const std::vector<std::pair<std::string, int32_t>> children = {
        {"CPU " + kCelsius, 1}, {"Fan [RPM]", 4}, {"Vcore [V]", 0},
        {"Fan 2 [RPM]", 0},     {"No unit", -1},  {"[RPM] note", -1}};
    for (const auto& [text, state] : children)
        chart->AppendChild(text)->SetStateIndex(state);

    LimitChartUnits(*chart->Child(2), true);
    std::vector<int32_t> states;
    for (size_t i = 0; i < chart->ChildCount(); ++i)
        states.push_back(chart->Child(i)->StateIndex());
    // Nodes without a state keep it even when their text holds the unit.
    EXPECT_EQ(states, (std::vector<int32_t>{1, 2, 0, 2, -1, -1}));
}

TEST(ChartLimitUnitsTest, NothingHappensWithoutASecondUnitOrOwnUnit) {
    TReportTree tree;
    TTreeNode* chart = tree.AppendTop("Sensorlog", 407);
    chart->AppendChild("CPU " + kCelsius)->SetStateIndex(1);
    chart->AppendChild("Board " + kCelsius)->SetStateIndex(4);
    chart->AppendChild("Vcore [V]")->SetStateIndex(0);
    chart->AppendChild("Other")->SetStateIndex(0);

    LimitChartUnits(*chart->Child(2), true); // one unit on so far
    LimitChartUnits(*chart->Child(3), true); // no unit of its own
    EXPECT_EQ(chart->Child(0)->StateIndex(), 1);
    EXPECT_EQ(chart->Child(1)->StateIndex(), 4);
    // Without state images the states do not count as switched on.
    chart->Child(1)->SetText("Fan [RPM]");
    LimitChartUnits(*chart->Child(2), false);
    EXPECT_EQ(chart->Child(1)->StateIndex(), 4);
}

} // namespace
