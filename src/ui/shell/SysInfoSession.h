#pragma once
// The live session of the system information page: which channel reaches this computer's
// information (the agent over shared memory, or the modules loaded into the program), the
// categories and root entries built at connect time, the sub entries fetched when an entry is
// opened, the sensors of the agent, the refresh of live entries and the end of the session.

#include "app/Startup.h"
#include "report/ReportTree.h"
#include "sources/InfoModule.h"
#include "support/UserMessage.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace ostero::ui {

class TExtTreeView;

// One root entry of the live tree.
struct TAddRootInfo {
    // 1: may be fetched again on demand; 2: live, fetched again every 5 s while open;
    // 3: known to be empty; anything else: fetched once.
    uint8_t Kind = 0;
    bool Sorted = false; // sub entries are sorted by the rank of their image codes
    std::string Key;     // shown while the entry is fetched
    // The number the source gave the entry. Entries with an empty name are left out of the
    // tree, so a node's position is not always the number the source knows it by.
    int32_t SourceIndex = 0;
};

enum class TConnectionMode { None = 0, LocalModules = 1, RemoteHost = 2, LocalAgent = 3 };

// The rank of an image code when sub entries are sorted.
int SubEntryRank(int32_t imageCode);

// The frame of the connection picture for an animation counter: a run of steps shows
// 3, 4, 3, 1, 2, 1 over and over.
int ConnectionPictureFrame(int counter);

class TSysInfoSession : public QObject {
    Q_OBJECT

public:
    // What the session asks of its window.
    struct THooks {
        std::function<void(const QString&)> Status;                 // status panel 0
        std::function<void(const support::TUserMessage&)> Error;    // error box
        std::function<void()> ProcessEvents;                        // let pending messages run
        std::function<void(bool)> ConnectEnabled;                   // the Connect button
        std::function<void(bool)> ConfigEnabled;                    // the Configuration button
        std::function<bool(const support::TUserMessage&)> Question; // Yes/No box; true: Yes
        std::function<void(int frame)> ConnectionPicture;           // draw the connection picture
    };

    TSysInfoSession(TExtTreeView& view, const app::TSettings& settings, THooks hooks,
                    QObject* parent = nullptr);
    ~TSysInfoSession() override;

    // The folder the modules are looked for beside (empty: the running program's folder).
    void SetProgramFolder(std::string folder) { ProgramFolder_ = std::move(folder); }
    // The name the caption shows for this computer.
    void SetDeviceName(std::string name) { DeviceName_ = std::move(name); }
    const std::string& DeviceName() const { return DeviceName_; }

    // Connects to this computer and builds the categories and root entries; true when the
    // view holds a session's nodes afterwards.
    bool ConnectSession(bool showErrors);
    void DisconnectSession();
    // Adds the root entries of the current module number below `category`.
    void EnumerateRootEntries(report::TTreeNode* category);
    // Replaces the sub entries of `root`; false when a query failed.
    bool EnumerateSubEntries(report::TTreeNode* root, int module);
    // Replaces the sensor lines below the sensors category; false when the query failed.
    bool EnumerateSensors(report::TTreeNode* node);
    // The connection animation of a remote session: a step of 0 or more sets the frame, -1
    // advances it, -2 draws it again.
    void StepConnectionPicture(int step);
    int ConnectionFrame() const { return PictureFrame_; }
    // Shows a failed query; most failures end the session first.
    void ShowQueryError(uint32_t code, const std::string& answer);

    // Live comparison, first half: fetches every root entry that may still be fetched, so the
    // tree holds all the session can show; false when a failure ended the session meanwhile.
    bool CollectLiveTree();
    // Live comparison, second half: the modules are given back and the session ends, but the
    // tree stays for the comparison. (The agent channel stays open.)
    void EndSessionKeepTree();
    // While a live comparison collects, selection changes, clicks and expansions are ignored.
    bool Collecting() const { return Collecting_; }

    // The export of the live tree. `contents` gets one checked node per category and root
    // entry, leading into the view's tree.
    void FillLiveContents(report::TReportTree& contents);
    // Fetches what the checked contents nodes lead to and has not been fetched yet; `progress`
    // shows the entry being fetched. False when a fetch failed.
    bool GatherLiveData(report::TReportTree& contents,
                        const std::function<void(const QString&)>& progress);

    // The selection moved to `node` (nullptr: none).
    void NodeSelected(report::TTreeNode* node);
    // A click or Right arrow on the selected node: fetches its sub entries when needed.
    bool LoadEntryOnDemand();
    // Fetches the selected entry again, keeping selection, expansion and scroll position.
    void RefreshCurrentEntry();
    // The selected node was expanded or collapsed: live entries start or stop their update.
    void NodeExpanded(report::TTreeNode* node, bool expanded);

    TConnectionMode Mode() const { return Mode_; }
    bool InSession() const;
    bool Busy() const { return Busy_; }
    int CurrentModule() const { return CurrentModule_; }
    int HardwareModule() const { return HardwareModule_; }
    int SystemModule() const { return SystemModule_; }
    int SensorModule() const { return SensorModule_; }
    bool DebugMode() const { return DebugMode_; }
    void SetDebugMode(bool on) { DebugMode_ = on; }
    // The record of the root entry at `position` of module `module`; nullptr when none.
    TAddRootInfo* RootInfo(int module, size_t position) const;
    // The root entry a node lies under (the sensors category for the sensor module).
    report::TTreeNode* RootEntryOf(report::TTreeNode* node) const;
    QTimer& UpdateTimer() { return TimerUpdate_; }

signals:
    // A connect or disconnect ended: the toolbar and caption follow.
    void SessionChanged();

private:
    int Timeout() const { return Settings_.QueryTimeout; }
    bool AgentFlag() const { return Mode_ == TConnectionMode::LocalAgent; }
    void Status(const QString& text);
    void ProcessEvents();
    void Error(const std::string& format, const std::vector<std::string>& args = {});
    void StoreRootInfo(int module, size_t position, std::unique_ptr<TAddRootInfo> info);
    // Appends a top-level category node and tells the view.
    report::TTreeNode* AddCategory(int32_t code);
    void AddBasicInformation();
    void AddProgramModule(report::TTreeNode* group, const std::string& path,
                          const std::string& bareName, bool program);
    bool LoadHardwareModule();
    // Agent: sends InitializeDLL; the module number, -1 when left out, -2 after a failure.
    int InitializeAgentModule(const char* name, bool& failed);
    void AddOverview();
    void AddTestResults();
    int ModuleOfCategory(int32_t code) const;
    // Replaces the children of `node` with what `fill` adds below the scratch copy; keeps the
    // view's expansion, selection and scroll position outside `node`.
    // Whether a root entry is to be fetched: never yet (unless known empty), or again for
    // entries that change.
    static bool WantsFetch(const report::TTreeNode& entry, const TAddRootInfo& info);
    // Fetches a root entry of `module` (the sensors category for the sensor module).
    bool FetchEntry(report::TTreeNode* entry, int module);
    // Gives the modules back: the agent's with DESTROYDLL within `timeoutMs`.
    void ReleaseModules(int timeoutMs);
    // After a failed query on a stopped agent service: offers its restart, else goes on with
    // the modules inside the program.
    void OfferAgentRestart();
    bool ReplaceChildren(report::TTreeNode* node, bool sorted,
                         const std::function<bool(report::TReportTree&, report::TTreeNode*)>& fill);
    void SetPainting(bool on);

    TExtTreeView& View_;
    const app::TSettings& Settings_;
    THooks Hooks_;
    std::string ProgramFolder_;
    std::string DeviceName_;

    TConnectionMode Mode_ = TConnectionMode::None;
    bool ShowErrors_ = false;
    bool Busy_ = false;
    bool DebugMode_ = false;
    bool ErrorOccurred_ = false;
    bool Collecting_ = false;
    int PictureCounter_ = 1;
    int PictureFrame_ = 1;
    // Goes up with every cleared view: a fetch that sees it change stops touching its nodes.
    uint64_t Generation_ = 0;
    int HardwareModule_ = -2;
    int SystemModule_ = -2;
    int SensorModule_ = -2;
    int CurrentModule_ = -1;
    sources::TModuleHandle HardwareHandle_ = nullptr;
    sources::TModuleHandle SystemHandle_ = nullptr;
    // One row per module number in use, one column per root position.
    std::map<int, std::vector<std::unique_ptr<TAddRootInfo>>> RootInfoTable_;
    QTimer TimerUpdate_;
};

} // namespace ostero::ui
