#include "ui/shell/HelpRouting.h"

#include "ui/report/ExtTreeView.h"

namespace ostero::ui {

TReportHelpState ReportHelpState(const TExtTreeView& reportView) {
    return {reportView.ChartShown(), reportView.CompareMode(), !reportView.Tree().Empty()};
}

int RoutedHelpContext(int requested, const TReportHelpState& reportView) {
    if (requested != kHelpReportPage)
        return requested;
    if (reportView.ChartShown)
        return kHelpReportChart;
    if (reportView.CompareMode)
        return kHelpReportCompare;
    if (!reportView.HasNodes)
        return kHelpReportEmpty;
    return kHelpReportPage;
}

int RoutedHelpContext(int requested, const TExtTreeView& reportView) {
    return RoutedHelpContext(requested, ReportHelpState(reportView));
}

} // namespace ostero::ui
