#pragma once
// The main window: its birth (settings, variant, title), the menu band that switches the pages,
// the report page (open, compare, difference navigation, in-report search), the report file
// search page, the shared context menu, the status bar, dropped files and the first showing
// (the joined command line). The system information and tests pages come with the session.

#include "app/Startup.h"
#include "report/ReportScan.h"
#include "support/Language.h"
#include "support/UserMessage.h"

#include <QMainWindow>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QCheckBox;
class QDateTimeEdit;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QRadioButton;
class QStackedWidget;
class QToolButton;
class QTreeWidget;
class QWidget;

namespace ostero::ui {

class TExtTreeView;
class TSearchThread;
class TSysInfoSession;

// The file chosen in the open dialog, empty when it was cancelled.
// (parent, initial folder, filter in Qt's ";;" form)
using TOpenFileDialog =
    std::function<QString(QWidget* parent, const QString& folder, const QString& filter)>;
// The folder chosen in the folder browse dialog, empty when it was cancelled.
using TFolderDialog =
    std::function<QString(QWidget* parent, const QString& prompt, const QString& startFolder)>;
// What the in-report search dialog asks for; false when it was cancelled.
struct TSearchRequest {
    report::TSearchKind Kind = report::TSearchKind::Text;
    QString Text;
};
using TSearchDialog = std::function<bool(QWidget* parent, TSearchRequest& request)>;

class TFormMain : public QMainWindow {
    Q_OBJECT

public:
    enum class TPage { Report, SysInfo, Search, Tests };
    // What "Find next" continues with.
    enum class TInReportSearch { None, Text, Errors, Warnings };

    // `args`: the command-line arguments after the program name; `helpFile`: the application
    // help file chosen at program start (empty for none).
    TFormMain(std::vector<std::string> args, std::string helpFile,
              support::TLanguageModuleLoader& languageLoader, QWidget* parent = nullptr);
    ~TFormMain() override;

    const app::TSettings& Settings() const { return Settings_; }
    // Whether the options button may show: the dialog library can be found.
    bool OptionsAvailable() const { return OptionsAvailable_; }
    // Whether the help button may show: a help file or an existing help document.
    bool HelpAvailable() const { return HelpAvailable_; }
    // What the first showing took from the command line.
    const app::TFirstShowAction& FirstShow() const { return FirstShow_; }
    bool FirstShown() const { return FirstShown_; }

    // Reads the registry settings; `atStart` during creation, false after the options dialog
    // reported a change (then the window is configured again).
    void ReadSettings(bool atStart);
    // Help button, program variant, title.
    void ConfigureMainWindow();

    // Where error and information boxes go; nullptr restores the message boxes.
    void SetMessageSink(support::TMessageSink* sink);
    // The dialogs a test answers in place of the user.
    void SetOpenFileDialog(TOpenFileDialog dialog) { OpenFileDialog_ = std::move(dialog); }
    void SetFolderDialog(TFolderDialog dialog) { FolderDialog_ = std::move(dialog); }
    void SetSearchDialog(TSearchDialog dialog) { SearchDialog_ = std::move(dialog); }

    TPage ActivePage() const;
    void ActivatePage(TPage page);
    TExtTreeView& ReportView() { return *ExtTreeListReport_; }
    TExtTreeView& SysInfoView() { return *ExtTreeViewSysInfo_; }
    TSysInfoSession& SysInfoSession() { return *Session_; }
    // The view of the active tree page (the report view on the other pages).
    TExtTreeView& ActiveView();
    const std::string& ReportFileName() const { return ReportFileName_; }
    // The folder the open dialog starts in (set at the first open without a name).
    const QString& OpenDialogFolder() const { return OpenDialogFolder_; }
    TInReportSearch InReportSearchMode() const { return SearchMode_; }
    QString StatusText() const;
    bool Scanning() const { return Scanning_; }
    // The folder of the last started scan, with a trailing separator.
    const QString& SearchFolder() const { return SearchFolder_; }

    // Loads a report onto the report page; without a name the open dialog asks for one.
    void OpenReport(const QString& fileName = {});
    // Merges a second report, chosen in the open dialog, into the shown one.
    void CompareReport();
    void NextDiff();
    void PreviousDiff();
    // The in-report search: the search dialog, then the first match.
    void FindText();
    void FindNext();
    // Start or stop of the report file scan.
    void StartOrStopSearch();
    void OpenSearchResult();
    void CopySearchResults();
    void SortSearchResults(int column);
    // The System information button: this computer's session, with messages when
    // `fromClick`.
    void SysInfoButtonClick(bool fromClick);
    // "Connect" / "Disconnect" of the system information page.
    void ConnectButtonClick();
    // The live comparison: every entry of the session is fetched, the session ends and the
    // chosen report file is merged into the live tree.
    void LiveCompare();
    // Leaves the live comparison: the compared tree goes and the page is ready to connect.
    void EndLiveCompare();
    // "Configuration": the agent's settings dialog of the dialog library.
    void ConfigButtonClick();
    // The report page's "Copy to clipboard": the chart while it is shown, else the text.
    void CopyToClipboard();
    // Shows the help topic for `context` as the help routing answers it; the topic shown.
    int ShowHelp(int context);
    // Applies the enabling rules of the shared context menu to the active page.
    void UpdatePopupMenu();
    // The shared context menu (its items are named like PMI_FindText).
    QMenu& PopupMenu() { return *PopupMenu_; }

signals:
    // A scan has ended and the button reads "Start" again.
    void SearchFinished();

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateMenuBand();
    // Stacks the menu band's visible controls and sets its buttons' brightness; `showPane`
    // asks for the device pane between the page buttons and the rest.
    void LayoutMenuBand(bool showPane);
    void CreateReportPage();
    void CreateSysInfoPage();
    void CreateSearchPage();
    void CreateTestsPage();
    void CreatePopupMenu();
    // A page's view: the picture lists and the shared context menu.
    void PrepareView(TExtTreeView& view);
    void FirstShowing();
    void RetranslateUi();
    void ShowError(const std::string& format, const std::vector<std::string>& args = {});
    void ShowInformation(const std::string& format, const std::vector<std::string>& args = {});
    // The message of a failed report load (LoadReport's or LoadCompareReport's result).
    void ShowLoadFailure(int result, const QString& fileName);
    void SetStatusText(const QString& text);
    void SetReportCaption();
    // The window caption: the application title followed by `suffix` (" [a.trp]").
    void SetCaption(const QString& suffix);
    void ReportButtonClick(bool fromClick);
    // Toolbar and caption after the session was connected or ended.
    void SessionChanged();
    void UpdateSysInfoPopupMenu();
    // The view and difference buttons of the active page (the report page's off the system
    // information page).
    struct TDiffButtons {
        TExtTreeView& View;
        QToolButton& Previous;
        QToolButton& Next;
    };
    TDiffButtons DiffButtons();
    // After a merge: Previous and Next shown, the first difference selected or the message.
    void ShowFirstDifference();
    void HelpButtonClick();
    void OptionsButtonClick();
    void UpdateSearchStartButton();
    void SearchHit(const QString& name, const QDateTime& lastChange);
    void SearchEnded();

    std::vector<std::string> Args_;
    support::TLanguageModuleLoader& LanguageLoader_;
    app::TSettings Settings_;
    app::TFirstShowAction FirstShow_;
    bool OptionsAvailable_ = false;
    bool HelpAvailable_ = false;
    bool FirstShown_ = false;
    QString CaptionSuffix_;

    std::unique_ptr<support::TMessageSink> BoxSink_;
    support::TMessageSink* Sink_ = nullptr;
    TOpenFileDialog OpenFileDialog_;
    TFolderDialog FolderDialog_;
    TSearchDialog SearchDialog_;

    // Menu band.
    QWidget* PanelMenu_ = nullptr;
    QToolButton* ImageButtonReport_ = nullptr;
    QToolButton* ImageButtonSearchReports_ = nullptr;
    QToolButton* ImageButtonSysInfo_ = nullptr;
    QToolButton* ImageButtonTests_ = nullptr;
    QToolButton* ImageButtonHelp_ = nullptr;
    QToolButton* ImageButtonOptions_ = nullptr;
    QToolButton* ImageButtonExit_ = nullptr;
    QStackedWidget* PageControl_ = nullptr;
    QLabel* StatusPanel0_ = nullptr;
    QLabel* StatusPanel1_ = nullptr;

    // Report page.
    QWidget* TabSheetReport_ = nullptr;
    QWidget* PanelReportTop_ = nullptr;
    QToolButton* ImageButtonOpenReport_ = nullptr;
    QToolButton* ImageButtonReportCompare_ = nullptr;
    QToolButton* ImageButtonReportSave_ = nullptr;
    QToolButton* ImageButtonSearch_ = nullptr;
    QToolButton* ImageButtonSearchNext_ = nullptr;
    QToolButton* ImageButtonPreviousDiff_ = nullptr;
    QToolButton* ImageButtonNextDiff_ = nullptr;
    TExtTreeView* ExtTreeListReport_ = nullptr;
    std::string ReportFileName_;
    QString OpenDialogFolder_;
    TInReportSearch SearchMode_ = TInReportSearch::None;

    // System information page.
    QWidget* TabSheetSysInfo_ = nullptr;
    std::vector<QToolButton*> SysInfoButtons_;
    QToolButton* ImageButtonConnect_ = nullptr;
    QToolButton* ImageButtonSysInfoSave_ = nullptr;
    QToolButton* ImageButtonSysInfoCompare_ = nullptr;
    QToolButton* ImageButtonSysInfoCloseCompare_ = nullptr;
    QToolButton* ImageButtonSysInfoConfig_ = nullptr;
    QToolButton* ImageButtonSysInfoPreviousDiff_ = nullptr;
    QToolButton* ImageButtonSysInfoNextDiff_ = nullptr;
    QToolButton* ImageButtonSysInfoPower_ = nullptr;
    QToolButton* ImageButtonRemoteDesktop_ = nullptr;
    TExtTreeView* ExtTreeViewSysInfo_ = nullptr;
    TSysInfoSession* Session_ = nullptr;

    // Tests page (its content comes with the test launcher).
    QWidget* TabSheetTests_ = nullptr;

    // Search page.
    QWidget* TabSheetSearch_ = nullptr;
    QLabel* Label1_ = nullptr;
    QLineEdit* EditSearchDirectory_ = nullptr;
    QPushButton* BtnFolderSelection_ = nullptr;
    QPushButton* ButtonSearchStart_ = nullptr;
    QRadioButton* RBText_ = nullptr;
    QRadioButton* RBErrors_ = nullptr;
    QRadioButton* RBWarnings_ = nullptr;
    QLineEdit* EditText_ = nullptr;
    QCheckBox* CheckBoxDateRange_ = nullptr;
    QLabel* LabelStart_ = nullptr;
    QLabel* LabelEnd_ = nullptr;
    QDateTimeEdit* DateTimePickerStart_ = nullptr;
    QDateTimeEdit* DateTimePickerEnd_ = nullptr;
    QTreeWidget* ListViewReports_ = nullptr;
    QMenu* PopupMenuSearchResults_ = nullptr;
    QAction* PMI_Search_Open_ = nullptr;
    QAction* PMI_Search_SelectAll_ = nullptr;
    QAction* PMI_Search_CopyToClipboard_ = nullptr;
    int SortMarks_[2] = {0, 0}; // -1 not the sort column, 0 ascending, 1 descending
    QString SearchFolder_;
    bool Scanning_ = false;
    TSearchThread* SearchThread_ = nullptr;

    // The shared context menu.
    QMenu* PopupMenu_ = nullptr;
    QAction* PMI_Expand_ = nullptr;
    QAction* PMI_Collapse_ = nullptr;
    QAction* PMI_FindText_ = nullptr;
    QAction* PMI_FindNext_ = nullptr;
    QAction* PM_LineCompare_ = nullptr;
    QAction* PMI_Update_ = nullptr;
    QAction* PMI_DebugMode_ = nullptr;
    QAction* PMI_PreviousDiff_ = nullptr;
    QAction* PMI_NextDiff_ = nullptr;
    QAction* PMI_CopyToClipboard_ = nullptr;
    QAction* PMI_Help_ = nullptr;
};

} // namespace ostero::ui
