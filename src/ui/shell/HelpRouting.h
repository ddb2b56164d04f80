#pragma once
// Which help topic answers a request: the report page's topic depends on what its view shows.

namespace ostero::ui {

class TExtTreeView;

// The widget property that carries a control's help context (0 or absent: none).
constexpr const char* kHelpContextProperty = "helpContext";
constexpr int kHelpMainWindow = 100;
constexpr int kHelpPopupMenu = 220; // the "Help" item of the views' context menu
constexpr int kHelpSysInfoPage = 250;
constexpr int kHelpSearchPage = 300;
constexpr int kHelpReportPage = 205;    // the report page with a report
constexpr int kHelpReportEmpty = 210;   // the report page without nodes
constexpr int kHelpReportCompare = 230; // the report page in compare mode
constexpr int kHelpReportChart = 235;   // the report page while the chart is shown

// What of the report view the routing looks at.
struct TReportHelpState {
    bool ChartShown = false;
    bool CompareMode = false;
    bool HasNodes = false;
};

TReportHelpState ReportHelpState(const TExtTreeView& reportView);

// The context that answers a request for `requested`: for the report page the first that
// applies of chart, compare mode, empty view, else the page itself; any other request
// unchanged.
int RoutedHelpContext(int requested, const TReportHelpState& reportView);
int RoutedHelpContext(int requested, const TExtTreeView& reportView);

} // namespace ostero::ui
