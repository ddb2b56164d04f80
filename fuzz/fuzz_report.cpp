// Reads arbitrary bytes as a report file, whole and below a target node. What must hold for any
// input: the answers stay in their ranges, a chart node has its line nodes, and a loaded tree
// written again reads back with as many nodes.
#include "report/ReportFile.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

using namespace ostero::report;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    TReportDocument doc;
    const int result = LoadReportFromBytes(doc, input, nullptr);
    if (result < 0 || result > 2)
        std::abort();
    if (result == 0) {
        // The last chart header's node gets the line nodes; earlier ones keep only the object.
        bool anyChartNode = false, linedChartNode = false;
        for (TTreeNode* node = doc.Tree.First(); node != nullptr; node = node->NextInTree()) {
            if (const TChartObject* chart = node->ChartObject()) {
                if (chart->Chart != &doc.Chart)
                    std::abort();
                anyChartNode = true;
                linedChartNode |= node->ChildCount() >= doc.Chart.Series.size();
            }
        }
        if (anyChartNode && !linedChartNode)
            std::abort();
        std::string again("\4TRPT\1", 6);
        again.append(15, '\0');
        if (!WriteRecords(again, doc.Tree.First(), 0, true))
            std::abort();
        if (doc.Chart.Series.empty() && !doc.Tree.Empty()) {
            TReportDocument back;
            if (LoadReportFromBytes(back, again, nullptr) != 0 ||
                back.Tree.Count() != doc.Tree.Count())
                std::abort();
        }
    }

    TReportDocument live;
    TTreeNode* target = live.Tree.AppendTop("Testresults", kCategoryTestResults);
    live.Tree.AppendTop("After");
    if (LoadReportFromBytes(live, input, target) != result)
        std::abort();
    // Own files are read one level below the target; sibling files keep their stored levels.
    const bool own = input.substr(0, 5) == std::string_view("\4TRPT", 5);
    if (own && live.Tree.TopCount() != 2)
        std::abort();
    return 0;
}
