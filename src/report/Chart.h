#pragma once
// The chart data of a report: line series against date-time X values with missing points,
// their active state, colour and value axis, and the axis titles by measuring unit.

#include "report/ReportTree.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace ostero::report {

// Days since 30 December 1899; the fraction is the time of day.
using TDateTime = double;

struct TChartPoint {
    TDateTime X = 0;
    double Y = 0;         // for a missing point: the Y of the point before (kept for drawing)
    bool Missing = false; // a gap in the line
};

enum class TAxisSide : uint8_t { Left, Right };

class TChartSeries {
public:
    std::string Title; // sensor name with the unit in brackets: "CPU [°C]" (Windows-1252)
    std::vector<TChartPoint> Points;
    bool Active = true;
    TAxisSide Axis = TAxisSide::Left;
    uint32_t Color = 0; // 0xBBGGRR

    void AddPoint(TDateTime x, double y) { Points.push_back({x, y, false}); }
    void AddMissing(TDateTime x, double y) { Points.push_back({x, y, true}); }
    size_t MissingCount() const;
};

class TChart {
public:
    std::vector<TChartSeries> Series;
    std::string LeftTitle; // value axis titles ("Temperature [°C]"), empty when unused
    std::string RightTitle;
    bool LeftVisible = false;
    bool RightVisible = false;
    // Set by ArrangeChartAxes while any series is active: the bottom axis then shows
    // kChartDateTimeLabelFormat on several label lines with a bottom margin of
    // kChartBottomMarginActive.
    bool DateTimeLabels = false;

    TChartSeries& AddSeries(std::string title);
    void Clear();
    bool Empty() const { return Series.empty(); }
};

// Shown value axes run between these percentages of the plot height.
constexpr int kChartValueAxisStartPercent = 3;
constexpr int kChartValueAxisEndPercent = 97;
constexpr const char* kChartDateTimeLabelFormat = "DD.MM.YY hh:mm:ss";
constexpr int kChartBottomMarginActive = 7;

// Image code of an inactive line; 93 + colour index for an active one.
constexpr int32_t kInactiveLineImageCode = 92;
constexpr int32_t kActiveLineImageCode = 93;

// Line colours, 0xBBGGRR; series i gets entry i mod 13.
extern const std::array<uint32_t, 14> ChartLineColors;

// The colour index of a line: the first table entry equal to its colour (both greys give 4).
// -1 for a colour outside the table, whose active image code is then 92 as well.
int ChartLineColorIndex(uint32_t color);
// 93 + colour index while active, 92 while inactive.
int32_t ChartLineImageCode(const TChartLine& line);

// Assigns colours, value axes and axis titles by unit; with `activate` every series becomes
// active first.
void ArrangeChartAxes(TChart& chart, bool activate);

// Adds below the chart node one line node per series: the series title, a TChartLine with the
// series' colour and active state, and its image code.
void AddChartLineNodes(TTreeNode& chartNode, const TChart& chart);

// The unit of a series or line title: the text from its first "[" to its first "]", upper-case
// (ASCII letters); empty without both brackets in that order.
std::string ChartUnit(const std::string& title);
// The value-axis title for an upper-case unit: "[°C]" gives "Temperature [°C]", "[MHZ]"
// "Frequency [MHz]"; a unit outside the table is its own title.
std::string ChartAxisTitle(const std::string& unit);

// The two-unit rule before `selected` is switched on: among its siblings that are active line
// nodes, or with `stateImages` (the export contents tree) in state 1 or 4, U1 is the first unit
// and U2 the first one different from U1. When `selected` has a third unit, every child of its
// parent whose upper-case text contains U2 is switched off: an active line becomes inactive with
// image code 92, and with `stateImages` a node with a state of 0 or more gets state 2. The
// series are left alone; ToggleChartLine copies the line states to them.
void LimitChartUnits(TTreeNode& selected, bool stateImages);

// Shows or hides the line of `lineNode`, whose series is the chart series with the node's index
// among its siblings. Switching a line on first applies LimitChartUnits and then gives every
// series the state of its line node. The axes are arranged again without activation.
// False (nothing changed) when the node carries no TChartLine or has no series.
bool ToggleChartLine(TTreeNode& lineNode, TChart& chart);

} // namespace ostero::report
