#pragma once
// A small export contents tree leading into a main tree, shared by the writer tests.
//
// Main tree:                       Contents tree:
//   Hardwaredevices (401)            Hardwaredevices (401, state 4) -> Subtree: CPUs
//     CPUs (3)                       Sensorlog (407, state 4) -> only a chart: left out
//       CPU=2.4 GHz (11)             Systeminformation (402, state 2) -> Subtree: CPUs
//       Serial=A1 (43, private)      Sensor chart (91, TChartObject)
//                                      CPU [°C] (93, TChartLine)
//                                    Notes (no state), Owner=Ann (0)

#include "report/ReportDocument.h"

#include <memory>

namespace export_test {

using namespace ostero::report;

struct TContentsFixture {
    TReportTree Main;
    TReportDocument Contents;

    TContentsFixture() {
        TTreeNode* hardware = AddNode(Main, nullptr, 401, 0, "Hardwaredevices", 0);
        TTreeNode* cpus = AddNode(Main, hardware, 3, 0, "CPUs", 1);
        AddNode(Main, cpus, 11, 0, "CPU=2.4 GHz", 10);
        AddNode(Main, cpus, 43, nfPrivate, "Serial=A1", 10);

        TChartSeries& series = Contents.Chart.AddSeries("CPU [\xB0"
                                                        "C]");
        series.AddPoint(45000.5, 41.5);

        TReportTree& tree = Contents.Tree;
        Info(tree.AppendTop("Hardwaredevices", 401), 4)->Subtree = cpus;
        Info(tree.AppendTop("Sensorlog", 407), 4)->Chart = &Contents.Chart;
        Info(tree.AppendTop("Systeminformation", 402), 2)->Subtree = cpus;
        TTreeNode* chart = tree.AppendTop("Sensor chart", 91);
        auto chartObject = std::make_unique<TChartObject>();
        chartObject->Chart = &Contents.Chart;
        chart->SetObject(std::move(chartObject));
        AddChartLineNodes(*chart, Contents.Chart);
        TTreeNode* notes = tree.AppendTop("Notes", 0);
        AddNode(tree, notes, 0, 0, "Owner=Ann", 21);
    }

    static TReportInfo* Info(TTreeNode* node, int state) {
        node->SetStateIndex(state);
        auto info = std::make_unique<TReportInfo>();
        TReportInfo* raw = info.get();
        node->SetObject(std::move(info));
        return raw;
    }
};

} // namespace export_test
