#include "report/Chart.h"

#include "report/TreeSearch.h"

#include <algorithm>
#include <memory>
#include <utility>

namespace ostero::report {

const std::array<uint32_t, 14> ChartLineColors = {
    0x000000, // black
    0xFF0000, // blue
    0x000080, // maroon
    0x008000, // green
    0x808080, // grey
    0xFFFF00, // aqua
    0x008080, // olive
    0x800000, // navy
    0x0000FF, // red
    0x800080, // purple
    0x808000, // teal
    0x808080, // grey again: its index is 4
    0xFF00FF, // fuchsia
    0x00FF00, // lime: never assigned, series cycle through the first 13
};

namespace {

constexpr size_t kAssignedColors = 13;

struct TUnitTitle {
    const char* Unit;
    const char* Title;
};

constexpr TUnitTitle kUnitTitles[] = {
    {"[\xB0"
     "C]",
     "Temperature [\xB0"
     "C]"},
    {"[RPM]", "Fan [RPM]"},
    {"[V]", "Voltage [V]"},
    {"[%]", "Percent [%]"},
    {"[A]", "Ampere [A]"},
    {"[W]", "Watt [W]"},
    {"[MHZ]", "Frequency [MHz]"},
};

bool Contains(const std::string& upperText, const std::string& unit) {
    return upperText.find(unit) != std::string::npos;
}

// The parent whose children are the siblings of `node`, the hidden root at the top level.
TTreeNode& ParentOf(TTreeNode& node) {
    TTreeNode* parent = node.Parent();
    return parent != nullptr ? *parent : *node.Tree().Root();
}

} // namespace

size_t TChartSeries::MissingCount() const {
    return static_cast<size_t>(std::count_if(Points.begin(), Points.end(),
                                             [](const TChartPoint& p) { return p.Missing; }));
}

TChartSeries& TChart::AddSeries(std::string title) {
    TChartSeries& series = Series.emplace_back();
    series.Title = std::move(title);
    return series;
}

void TChart::Clear() {
    Series.clear();
    LeftTitle.clear();
    RightTitle.clear();
    LeftVisible = false;
    RightVisible = false;
    DateTimeLabels = false;
}

int ChartLineColorIndex(uint32_t color) {
    const auto it = std::find(ChartLineColors.begin(), ChartLineColors.end(), color);
    return it == ChartLineColors.end() ? -1 : static_cast<int>(it - ChartLineColors.begin());
}

int32_t ChartLineImageCode(const TChartLine& line) {
    if (!line.Active)
        return kInactiveLineImageCode;
    return kActiveLineImageCode + ChartLineColorIndex(line.Color);
}

std::string ChartUnit(const std::string& title) {
    const size_t open = title.find('[');
    const size_t close = title.find(']');
    if (open == std::string::npos || close == std::string::npos || close < open)
        return {};
    return UpperCaseAscii(title.substr(open, close - open + 1));
}

std::string ChartAxisTitle(const std::string& unit) {
    for (const TUnitTitle& entry : kUnitTitles) {
        if (unit == entry.Unit)
            return entry.Title;
    }
    return unit;
}

void ArrangeChartAxes(TChart& chart, bool activate) {
    if (activate) {
        for (TChartSeries& series : chart.Series)
            series.Active = true;
    }

    std::string u1;
    std::string u2;
    for (const TChartSeries& series : chart.Series) {
        if (!series.Active)
            continue;
        const std::string unit = ChartUnit(series.Title);
        if (unit.empty())
            continue;
        if (u1.empty()) {
            u1 = unit;
        } else if (unit != u1) {
            u2 = unit;
            break;
        }
    }

    // The titles are matched by containing the unit, so a title holding both units ends up on
    // the right axis.
    std::vector<std::string> upperTitles;
    upperTitles.reserve(chart.Series.size());
    for (const TChartSeries& series : chart.Series)
        upperTitles.push_back(UpperCaseAscii(series.Title));

    chart.LeftVisible = !u1.empty();
    chart.LeftTitle = u1.empty() ? std::string() : ChartAxisTitle(u1);
    if (!u1.empty()) {
        for (size_t i = 0; i < chart.Series.size(); ++i) {
            TChartSeries& series = chart.Series[i];
            if (Contains(upperTitles[i], u1)) {
                series.Axis = TAxisSide::Left;
                if (activate)
                    series.Active = true;
            } else if (activate) {
                series.Active = false;
            }
        }
    }

    chart.RightVisible = !u2.empty();
    chart.RightTitle = u2.empty() ? std::string() : ChartAxisTitle(u2);
    if (!u2.empty()) {
        for (size_t i = 0; i < chart.Series.size(); ++i) {
            TChartSeries& series = chart.Series[i];
            if (Contains(upperTitles[i], u2)) {
                series.Axis = TAxisSide::Right;
                if (activate)
                    series.Active = true;
            } else if (activate && !Contains(upperTitles[i], u1)) {
                series.Active = false;
            }
        }
    }

    bool anyActive = false;
    for (size_t i = 0; i < chart.Series.size(); ++i) {
        chart.Series[i].Color = ChartLineColors[i % kAssignedColors];
        anyActive = anyActive || chart.Series[i].Active;
    }
    chart.DateTimeLabels = anyActive;
}

void AddChartLineNodes(TTreeNode& chartNode, const TChart& chart) {
    for (const TChartSeries& series : chart.Series) {
        auto line = std::make_unique<TChartLine>();
        line->Color = series.Color;
        line->Active = series.Active;
        const int32_t image = ChartLineImageCode(*line);
        TTreeNode* node = chartNode.AppendChild(series.Title, image);
        node->SetObject(std::move(line));
    }
}

void LimitChartUnits(TTreeNode& selected, bool stateImages) {
    TTreeNode& parent = ParentOf(selected);
    const auto isOn = [stateImages](const TTreeNode& node) {
        const TChartLine* line = node.ChartLine();
        if (line != nullptr && line->Active)
            return true;
        return stateImages && (node.StateIndex() == 1 || node.StateIndex() == 4);
    };

    std::string u1;
    std::string u2;
    for (size_t i = 0; i < parent.ChildCount() && u2.empty(); ++i) {
        const TTreeNode& node = *parent.Child(i);
        if (&node == &selected || !isOn(node))
            continue;
        const std::string unit = ChartUnit(node.Text());
        if (unit.empty())
            continue;
        if (u1.empty())
            u1 = unit;
        else if (unit != u1)
            u2 = unit;
    }

    const std::string own = ChartUnit(selected.Text());
    if (u2.empty() || own.empty() || own == u1 || own == u2)
        return;

    for (size_t i = 0; i < parent.ChildCount(); ++i) {
        TTreeNode& node = *parent.Child(i);
        if (!Contains(UpperCaseAscii(node.Text()), u2))
            continue;
        if (TChartLine* line = node.ChartLine(); line != nullptr && line->Active) {
            line->Active = false;
            node.SetImageCode(kInactiveLineImageCode);
        }
        if (stateImages && node.StateIndex() >= 0)
            node.SetStateIndex(2);
    }
}

bool ToggleChartLine(TTreeNode& lineNode, TChart& chart) {
    TChartLine* line = lineNode.ChartLine();
    const size_t index = lineNode.Index();
    if (line == nullptr || index >= chart.Series.size())
        return false;

    if (line->Active) {
        chart.Series[index].Active = false;
        line->Active = false;
    } else {
        LimitChartUnits(lineNode, false);
        TTreeNode& parent = ParentOf(lineNode);
        const size_t count = std::min(parent.ChildCount(), chart.Series.size());
        for (size_t i = 0; i < count; ++i) {
            if (const TChartLine* sibling = parent.Child(i)->ChartLine())
                chart.Series[i].Active = sibling->Active;
        }
        chart.Series[index].Active = true;
        line->Active = true;
    }
    lineNode.SetImageCode(ChartLineImageCode(*line));
    ArrangeChartAxes(chart, false);
    return true;
}

} // namespace ostero::report
