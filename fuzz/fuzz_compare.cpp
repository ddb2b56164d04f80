// Merges arbitrary bytes as the second report of a comparison into a fixed report. What must
// hold for any input: the answer is 0, 1 or 2; a failed merge leaves the tree untouched; after a
// merge every node carries a compare state, and only empty groups at the two top levels keep
// none.
#include "report/ReportCompare.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

using namespace ostero::report;

namespace {

void Build(TReportDocument& doc) {
    TTreeNode* c = AddNode(doc.Tree, nullptr, kCategoryHardware, 0, "Hardwaredevices", 0);
    c = AddNode(doc.Tree, c, 3, 0, "CPUs", 1);
    c = AddNode(doc.Tree, c, 11, 0, "CPU 0", 2);
    c = AddNode(doc.Tree, c, 20, 0, "Name=Xeon", 10);
    c = AddNode(doc.Tree, c, 20, nfVolatile, "Clock=2400 MHz", 11);
    c = AddNode(doc.Tree, c, 20, 0, "Name=Second", 10);
    c = AddNode(doc.Tree, c, 4, 0, "Memory", 1);
    c = AddNode(doc.Tree, c, 20, 0, "Size=32 GB", 10);
    c = AddNode(doc.Tree, c, kCategorySystem, 0, "Systeminformation", 0);
    c = AddNode(doc.Tree, c, 5, 0, "Empty", 1);
    TTreeNode* log = AddNode(doc.Tree, c, kCategorySensorLog, 0, "Sensorlog", 0);
    doc.Chart.AddSeries("CPU").AddPoint(46000.0, 40);
    auto object = std::make_unique<TChartObject>();
    object->Chart = &doc.Chart;
    log->SetObject(std::move(object));
    AddChartLineNodes(*log, doc.Chart);
}

std::vector<std::string> Shape(const TReportTree& tree) {
    std::vector<std::string> lines;
    for (TTreeNode* node = tree.First(); node != nullptr; node = node->NextInTree()) {
        std::string line = std::to_string(node->Level()) + ' ' +
                           std::to_string(node->StateIndex()) + ' ' + node->Text();
        if (const TTreeListObj* property = node->Property())
            line += '=' + property->Value;
        lines.push_back(std::move(line));
    }
    return lines;
}

bool KnownState(int32_t state) {
    switch (state) {
    case -1:
    case ssAdded:
    case ssRemoved:
    case ssContainsChanges:
    case ssChanged:
    case ssVolatileChanged:
    case ssVolatileAdded:
    case ssVolatileRemoved:
    case ssSame:
        return true;
    default:
        return false;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    TReportDocument doc;
    Build(doc);
    const std::vector<std::string> before = Shape(doc.Tree);
    const int result = LoadCompareReportFromBytes(doc, input);
    if (result < 0 || result > 2)
        std::abort();
    if (result != 0) {
        if (Shape(doc.Tree) != before)
            std::abort();
        return 0;
    }
    for (TTreeNode* node = doc.Tree.First(); node != nullptr; node = node->NextInTree()) {
        const int32_t state = node->StateIndex();
        if (!KnownState(state) || node->ChartLine() != nullptr)
            std::abort();
        if (state == -1 && (node->Property() != nullptr || node->ChildCount() > 0 ||
                            node->Object() != nullptr || node->Level() > 1))
            std::abort();
    }
    // The navigation visits each difference once and ends.
    TViewPosition view{true};
    size_t steps = 0;
    while (NextDifference(doc.Tree, view)) {
        if (!IsDifferenceState(view.Selected->StateIndex()) || ++steps > doc.Tree.Count())
            std::abort();
    }
    return 0;
}
