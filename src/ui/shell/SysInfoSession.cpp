#include "ui/shell/SysInfoSession.h"

#include "report/ExportContents.h"
#include "report/ReportFile.h"
#include "report/SensorLog.h"
#include "sources/AgentChannel.h"
#include "sources/AnswerLines.h"
#include "support/Language.h"
#include "support/SysUtils.h"
#include "support/platform/Platform.h"
#include "ui/report/ExtTreeView.h"
#include "ui/shell/QtBridge.h"

#include <QApplication>
#include <QDateTime>

#include <algorithm>
#include <cstring>
#include <numeric>

namespace ostero::ui {

using report::AddNode;
using report::CategoryName;
using report::TReportTree;
using report::TTreeNode;

namespace {

constexpr const char* kHomepageGerman = "https://www.taveric.de/";
constexpr const char* kHomepageOther = "https://www.taveric.com/";
// The sensors and program-module lines come without a level shift.
constexpr int kMaxAgentSubLines = sources::kMaxSubEntries;

// Keeps the busy mark for the length of one fetch.
struct TBusyMark {
    explicit TBusyMark(bool& busy) : Busy(busy) { Busy = true; }
    ~TBusyMark() { Busy = false; }
    bool& Busy;
};

// The module's messages reach the window's error box.
class TForwardSink final : public support::TMessageSink {
public:
    explicit TForwardSink(const std::function<void(const support::TUserMessage&)>& error)
        : Error_(error) {}
    void ShowError(const support::TUserMessage& message) override {
        if (Error_)
            Error_(message);
    }
    void ShowInformation(const support::TUserMessage& message) override { ShowError(message); }

private:
    const std::function<void(const support::TUserMessage&)>& Error_;
};

void CopyChildren(const TTreeNode& from, TTreeNode* to, const std::vector<size_t>& order) {
    for (size_t i : order) {
        const TTreeNode& child = *from.Child(i);
        TTreeNode* copy = to->AppendChild(child.Text(), child.ImageCode());
        copy->SetStateIndex(child.StateIndex());
        if (const report::TTreeListObj* property = child.Property())
            copy->SetObject(std::make_unique<report::TTreeListObj>(*property));
        std::vector<size_t> all(child.ChildCount());
        std::iota(all.begin(), all.end(), size_t{0});
        CopyChildren(child, copy, all);
    }
}

// The node's position in tree order, counted from the first node.
size_t AbsolutePosition(const TReportTree& tree, const TTreeNode* node) {
    size_t position = 0;
    for (const TTreeNode* n = tree.First(); n != nullptr && n != node; n = n->NextInTree())
        ++position;
    return position;
}

TTreeNode* NodeAtPosition(const TReportTree& tree, size_t position) {
    TTreeNode* n = tree.First();
    for (size_t i = 0; n != nullptr && i < position; ++i)
        n = n->NextInTree();
    return n;
}

} // namespace

int SubEntryRank(int32_t imageCode) {
    static const std::map<int32_t, int> ranks = {
        {0, 1000}, {1, 110},  {2, 106},  {3, 104},   {4, 102},  {5, 108},   {6, 6},
        {7, 8},    {8, 7},    {9, 9},    {10, 10},   {11, 40},  {12, 12},   {13, 13},
        {14, 100}, {15, 50},  {16, 16},  {17, 17},   {18, 18},  {19, 19},   {20, 20},
        {21, 21},  {22, 22},  {23, 29},  {24, 30},   {25, 25},  {26, 27},   {27, 900},
        {28, 28},  {29, 200}, {30, 1},   {31, 805},  {32, 804}, {33, 1002}, {34, 34},
        {35, 605}, {36, 901}, {37, 800}, {38, 1009}, {51, 300}, {52, 301},  {53, 302},
        {54, 304}, {55, 303}, {56, 101}, {59, 250},  {76, 26},  {83, 4},    {84, 5}};
    const auto found = ranks.find(imageCode);
    return found == ranks.end() ? 0 : found->second;
}

TSysInfoSession::TSysInfoSession(TExtTreeView& view, const app::TSettings& settings, THooks hooks,
                                 QObject* parent)
    : QObject(parent), View_(view), Settings_(settings), Hooks_(std::move(hooks)),
      DeviceName_(tr("This computer").toStdString()) {
    TimerUpdate_.setInterval(5000);
    connect(&TimerUpdate_, &QTimer::timeout, this, [this] {
        TimerUpdate_.stop();
        RefreshCurrentEntry();
        if (InSession())
            TimerUpdate_.start();
    });
}

TSysInfoSession::~TSysInfoSession() {
    // The window is going: only the outside resources are given back.
    TimerUpdate_.stop();
    if (Mode_ == TConnectionMode::LocalAgent) {
        // The agent keeps a module loaded while a viewer uses it.
        for (int number : {SystemModule_, HardwareModule_}) {
            std::string answer;
            if (number >= 0)
                sources::SourceQueryLocked("DESTROYDLL:" + std::to_string(number), Timeout() / 3,
                                           true, answer);
        }
        sources::AgentClose();
    }
    sources::UnloadInfoModule(SystemHandle_, nullptr);
    sources::UnloadInfoModule(HardwareHandle_, nullptr);
}

bool TSysInfoSession::InSession() const {
    return Mode_ != TConnectionMode::None;
}

void TSysInfoSession::Status(const QString& text) {
    if (Hooks_.Status)
        Hooks_.Status(text);
}

void TSysInfoSession::ProcessEvents() {
    if (Hooks_.ProcessEvents)
        Hooks_.ProcessEvents();
}

void TSysInfoSession::Error(const std::string& format, const std::vector<std::string>& args) {
    if (Hooks_.Error)
        Hooks_.Error({format, args});
}

void TSysInfoSession::SetPainting(bool on) {
    View_.TreeView().setUpdatesEnabled(on);
}

TAddRootInfo* TSysInfoSession::RootInfo(int module, size_t position) const {
    const auto row = RootInfoTable_.find(module);
    if (row == RootInfoTable_.end() || position >= row->second.size())
        return nullptr;
    return row->second[position].get();
}

void TSysInfoSession::StoreRootInfo(int module, size_t position,
                                    std::unique_ptr<TAddRootInfo> info) {
    auto& row = RootInfoTable_[module];
    if (row.size() <= position)
        row.resize(position + 1);
    row[position] = std::move(info);
}

int TSysInfoSession::ModuleOfCategory(int32_t code) const {
    switch (code) {
    case report::kCategoryHardware:
        return HardwareModule_;
    case report::kCategorySystem:
        return SystemModule_;
    case report::kCategorySensors:
        return SensorModule_;
    default:
        // "Basic information" and the out-of-band categories of remote sessions have no module
        // in a session with this computer.
        return -1;
    }
}

TTreeNode* TSysInfoSession::RootEntryOf(TTreeNode* node) const {
    if (node == nullptr)
        return nullptr;
    if (CurrentModule_ >= 0 && CurrentModule_ == SensorModule_)
        return node->AncestorAtLevel(0);
    if (node->Level() == 0)
        return node;
    return node->AncestorAtLevel(1);
}

TTreeNode* TSysInfoSession::AddCategory(int32_t code) {
    TReportTree& tree = View_.Tree();
    TTreeNode* node = AddNode(tree, nullptr, code, 0, CategoryName(code, false), 0);
    View_.Model().NodesAppended(nullptr, node->Index(), node->Index());
    return node;
}

// --- Connect

bool TSysInfoSession::ConnectSession(bool showErrors) {
    ShowErrors_ = showErrors;
    {
        TWaitCursor wait;
        Status(tr("Obtaining information..."));
        if (Hooks_.ConnectEnabled)
            Hooks_.ConnectEnabled(false);
        ProcessEvents();

        // This computer: the agent when it answers, else the modules inside the program. (Remote
        // hosts go through the remote-query library, which this viewer does not use.)
        if (Mode_ == TConnectionMode::None) {
            // A channel a live comparison left open may lead to an agent that has since been
            // replaced: every connect opens it afresh.
            sources::AgentClose();
            Mode_ = sources::AgentOpen(Timeout()) ? TConnectionMode::LocalAgent
                                                  : TConnectionMode::LocalModules;
        }

        ProcessEvents();
        Busy_ = true;
        SetPainting(false);
        View_.ClearReport();
        ++Generation_;
        ErrorOccurred_ = false;
        const uint64_t generation = Generation_;

        // The modules read nearly everything they report without root on this system, so the
        // in-process channel is open to every user; what they cannot read they leave out.
        if (Mode_ == TConnectionMode::LocalModules)
            AddBasicInformation();

        const bool agent = Mode_ == TConnectionMode::LocalAgent;
        // The agent answers in the language of the viewer's language module, when one is in use.
        if (agent && support::CurrentLanguage() != support::kNoLanguage) {
            std::string answer;
            const uint32_t result = sources::SourceQueryLocked(
                "SetLanguage:" + support::CurrentLanguageCode(), Timeout(), true, answer);
            if (result != sources::kQueryOk) {
                ErrorOccurred_ = true;
                if (showErrors)
                    ShowQueryError(result, answer);
            }
        }

        // Hardware module.
        if (!ErrorOccurred_ && Generation_ == generation) {
            Status(tr("Initializing module %1...").arg("DevSurvey.dll"));
            StepConnectionPicture(-1);
            if (agent) {
                const int number = InitializeAgentModule("DevSurvey.dll", ErrorOccurred_);
                if (number >= 0) {
                    HardwareModule_ = number;
                    CurrentModule_ = number;
                }
            } else if (LoadHardwareModule()) {
                HardwareModule_ = ++CurrentModule_;
            } else {
                HardwareModule_ = -2;
            }
            if (Generation_ == generation && CurrentModule_ >= 0 &&
                CurrentModule_ == HardwareModule_) {
                Status(tr("Scanning hardware devices..."));
                ProcessEvents();
                StepConnectionPicture(-1);
                EnumerateRootEntries(AddCategory(report::kCategoryHardware));
            }
        }

        // Operating-system module.
        if (Generation_ == generation && InSession()) {
            Status(tr("Initializing module %1...").arg("SysFacts.dll"));
            StepConnectionPicture(-1);
            if (agent) {
                if (!ErrorOccurred_) {
                    bool failed = false;
                    const int number = InitializeAgentModule("SysFacts.dll", failed);
                    if (number >= 0) {
                        SystemModule_ = number;
                        CurrentModule_ = number;
                    }
                }
            } else {
                const std::string path =
                    sources::LocateInfoModule(sources::kSystemModuleName, ProgramFolder_);
                TForwardSink sink(Hooks_.Error);
                if (!path.empty())
                    SystemHandle_ = sources::LoadInfoModule(path, showErrors ? &sink : nullptr);
                SystemModule_ = SystemHandle_ != nullptr ? ++CurrentModule_ : -2;
            }
            if (Generation_ == generation && CurrentModule_ >= 0 &&
                CurrentModule_ == SystemModule_) {
                Status(tr("Scanning Windows System Information..."));
                ProcessEvents();
                StepConnectionPicture(-1);
                EnumerateRootEntries(AddCategory(report::kCategorySystem));
            }
        }

        if (agent && Generation_ == generation && InSession()) {
            if (!ErrorOccurred_)
                AddOverview();
            if (!ErrorOccurred_ && Generation_ == generation) {
                TTreeNode* sensors = AddCategory(report::kCategorySensors);
                SensorModule_ = ++CurrentModule_;
                auto info = std::make_unique<TAddRootInfo>();
                info->Kind = 2;
                info->Key = tr("Scanning sensors and usage").toStdString();
                StoreRootInfo(SensorModule_, sensors->Index(), std::move(info));
            }
            if (CurrentModule_ == -1)
                Mode_ = TConnectionMode::None;
        }

        // The results the hardware-test program handed over.
        if (Generation_ == generation && InSession() && !Settings_.TestResultFile.empty())
            AddTestResults();

        // The sensor-logging program's log of this computer, when it keeps one.
        if ((Mode_ == TConnectionMode::LocalModules || Mode_ == TConnectionMode::LocalAgent) &&
            Generation_ == generation && !Settings_.SensorLogFile.empty() &&
            Settings_.TestResultFile.empty()) {
            Status(tr("Reading Sensorlog data"));
            ProcessEvents();
            TReportTree& tree = View_.Tree();
            TTreeNode* log = AddNode(tree, nullptr, report::kCategorySensorLog, 0,
                                     CategoryName(report::kCategorySensorLog, false), 0);
            std::string errorText;
            if (report::LoadSensorLog(Settings_.SensorLogFile, View_.Document().Chart, log,
                                      errorText)) {
                View_.Model().NodesAppended(nullptr, log->Index(), log->Index());
            } else {
                log->Delete();
                View_.Document().Chart.Clear(); // no half-read log without its node
                if (!errorText.empty() && showErrors)
                    Error("An error occurred while reading sensorlogfile '%s': %s",
                          {Settings_.SensorLogFile, errorText});
            }
        }

        // Finish.
        CurrentModule_ = -1;
        SetPainting(true);
        Status(QString());
        Busy_ = false;
        if (View_.isVisible() && View_.isEnabled())
            View_.TreeView().setFocus();
    }

    // A failed step still ends here, so the Connect button is usable again.
    if (Hooks_.ConnectEnabled)
        Hooks_.ConnectEnabled(true);
    const bool filled = !View_.Tree().Empty();
    if (!filled) {
        if (Mode_ != TConnectionMode::None)
            DisconnectSession();
        Status(tr("Disconnected..."));
        if (showErrors)
            Error("Cannot get connection to Taveric Vigant. Please check that Taveric Vigant is "
                  "running as service or application.");
    }
    emit SessionChanged();
    return filled;
}

void TSysInfoSession::AddTestResults() {
    const std::string& file = Settings_.TestResultFile;
    Status(tr("Reading test results..."));
    ProcessEvents();
    TReportTree& tree = View_.Tree();
    TTreeNode* results = AddNode(tree, nullptr, report::kCategoryTestResults, 0,
                                 CategoryName(report::kCategoryTestResults, false), 0);
    const int loaded = report::LoadReport(View_.Document(), file, results);
    if (loaded != 0) {
        if (Hooks_.Error)
            Hooks_.Error(report::LoadFailureMessage(loaded, file));
    } else {
        // Read: the test program's hand-over is done.
        platform::Platform().RegDeleteKey(platform::TRegistryHive::CurrentUser,
                                          app::kHardwareTestKey);
    }
    if (results->ChildCount() == 0) {
        results->Delete();
        return;
    }
    View_.Model().NodesAppended(nullptr, results->Index(), results->Index());
    // The first failed test is what the user wants to see.
    static const int32_t errorCodes[] = {19, 20, 32, 36, 41, 42, 44};
    TTreeNode* shown = results;
    for (TTreeNode* n = results->FirstChild(); n != nullptr && n->IsDescendantOf(results);
         n = n->NextInTree()) {
        if (std::find(std::begin(errorCodes), std::end(errorCodes), n->ImageCode()) !=
            std::end(errorCodes)) {
            shown = n;
            break;
        }
    }
    View_.TreeView().expand(View_.Model().IndexOf(results));
    View_.SetSelected(shown);
}

bool TSysInfoSession::LoadHardwareModule() {
    if (HardwareHandle_ != nullptr)
        return true; // the DMI read loaded it already
    const std::string path =
        sources::LocateInfoModule(sources::kHardwareModuleName, ProgramFolder_);
    if (path.empty())
        return false;
    TForwardSink sink(Hooks_.Error);
    HardwareHandle_ = sources::LoadInfoModule(path, ShowErrors_ ? &sink : nullptr);
    return HardwareHandle_ != nullptr;
}

int TSysInfoSession::InitializeAgentModule(const char* name, bool& failed) {
    std::string answer;
    const uint32_t result =
        sources::SourceQueryLocked(std::string("InitializeDLL:") + name, Timeout(), true, answer);
    if (result != sources::kQueryOk) {
        failed = true;
        if (ShowErrors_)
            ShowQueryError(result, answer);
        return -2;
    }
    if (answer == "Please retry!")
        return -1;
    if (const auto number = sources::ParseAnswerNumber(answer); number && *number >= 0)
        return *number;
    // The agent tells why it could not start the module in place of a number; the module is
    // left out and the rest of the session goes on.
    if (ShowErrors_)
        ShowQueryError(sources::kQueryHostMessage, answer);
    return -1;
}

void TSysInfoSession::AddBasicInformation() {
    TReportTree& tree = View_.Tree();
    TTreeNode* basic = AddNode(tree, nullptr, report::kCategoryBasic, 0,
                               CategoryName(report::kCategoryBasic, false), 0);
    TTreeNode* overview = AddNode(tree, basic, report::kCategorySystemOverview, 0,
                                  CategoryName(report::kCategorySystemOverview, false), 1);
    const auto property = [&](int32_t image, uint32_t flags, const QString& caption,
                              const std::string& value) {
        AddNode(tree, overview, image, flags, ToAnsi(caption) + "=" + value, 21);
    };
    std::string shared;
    if (!ProgramFolder_.empty()) {
        std::string folder = ProgramFolder_;
        while (folder.size() > 1 && folder.back() == '/')
            folder.pop_back();
        shared = folder.substr(0, folder.rfind('/') + 1) + "Shared/";
    }
    const std::string os =
        ProgramFolder_.empty() ? support::GetOsVersionText() : support::GetOsVersionText(shared);
    if (!os.empty())
        property(55, 0, tr("Operating System"), os);
    property(46, report::nfVolatile, tr("Date/Time"),
             ToAnsi(QDateTime::currentDateTime().toString("dd.MM.yyyy hh:mm:ss")));
    sources::TDmiTexts dmi;
    if (LoadHardwareModule())
        sources::ReadModuleDmi(HardwareHandle_, dmi);
    if (!dmi.SystemName.empty())
        property(70, 0, tr("System name"), dmi.SystemName);
    if (!dmi.SerialNumber.empty())
        property(43, report::nfPrivate, tr("System serial number"), dmi.SerialNumber);
    if (!dmi.Mainboard.empty())
        AddNode(tree, overview, 30, 0, "Mainboard=" + dmi.Mainboard, 21);

    TTreeNode* modules = AddNode(tree, basic, report::kCategoryProgramModules, 0,
                                 CategoryName(report::kCategoryProgramModules, false), 1);
    AddProgramModule(modules, platform::Platform().ProgramPath(), {}, true);
    for (const char* name : {sources::kHardwareModuleName, sources::kSystemModuleName}) {
        const std::string path = sources::LocateInfoModule(name, ProgramFolder_);
        if (!path.empty())
            AddProgramModule(modules, path, name, false);
    }
    View_.Model().NodesAppended(nullptr, basic->Index(), basic->Index());
}

void TSysInfoSession::AddProgramModule(TTreeNode* group, const std::string& path,
                                       const std::string& bareName, bool program) {
    TReportTree& tree = View_.Tree();
    support::TFileVersionDetails details;
    support::GetFileVersionDetails(path, details);
    const std::string fileName =
        bareName.empty() ? path.substr(path.rfind('/') + 1) : std::string(bareName);
    const auto line = [&](int32_t image, uint32_t flags, const std::string& text, uint32_t code) {
        AddNode(tree, group, image, flags, text, code);
    };
    if (!details.ProductName.empty()) {
        line(0, 0, details.ProductName, 10);
        line(16, 0, "Filename=" + fileName, 11);
    } else {
        line(0, 0, fileName, 10);
    }
    if (!details.FileDescription.empty())
        line(16, 0, "Description=" + details.FileDescription, 11);
    line(16, 0, "Version=" + details.Version, 11);
    if (!details.CompanyName.empty())
        line(16, 0, "Company=" + details.CompanyName, 11);
    if (program)
        line(16, report::nfLink,
             std::string("Homepage=") +
                 (support::CurrentLanguageCode() == "DE" ? kHomepageGerman : kHomepageOther),
             11);
}

void TSysInfoSession::AddOverview() {
    TReportTree& tree = View_.Tree();
    TTreeNode* basic = tree.Root()->InsertChild(0, CategoryName(report::kCategoryBasic, false),
                                                report::kCategoryBasic);
    std::vector<std::string> lines;
    const uint32_t result = sources::SourceQueryLines("Overview:", lines, Timeout(), true);
    TTreeNode* context = basic;
    if (result == sources::kQueryOk) {
        try {
            for (const std::string& line : lines) {
                sources::TAnswerNode node;
                const sources::TLineStatus status = sources::ParseOverviewLine(line, node);
                if (status == sources::TLineStatus::Illegal) {
                    if (ShowErrors_ && Hooks_.Error)
                        Hooks_.Error(sources::IllegalAnswerMessage(line));
                    break;
                }
                if (status != sources::TLineStatus::Entry)
                    continue;
                context = AddNode(tree, context, node.ImageCode, static_cast<uint32_t>(node.Flags),
                                  node.Text, static_cast<uint32_t>(node.LevelOrType));
            }
        } catch (const report::TReportError&) {
            // A level beyond the property codes: what came before stays.
        }
        support::TFileVersionDetails details;
        const std::string program = platform::Platform().ProgramPath();
        support::GetFileVersionDetails(program, details);
        const auto line = [&](uint32_t flags, const std::string& text, uint32_t code,
                              int32_t image) {
            context = AddNode(tree, context, image, flags, text, code);
        };
        line(0,
             details.ProductName.empty() ? program.substr(program.rfind('/') + 1)
                                         : details.ProductName,
             10, 0);
        if (!details.CompanyName.empty())
            line(0, "Company=" + details.CompanyName, 11, 16);
        line(report::nfLink,
             std::string("Homepage=") +
                 (support::CurrentLanguageCode() == "DE" ? kHomepageGerman : kHomepageOther),
             11, 16);
        if (!details.LegalCopyright.empty())
            line(0, "Copyright=" + details.LegalCopyright, 11, 16);
        if (!details.FileDescription.empty())
            line(0, "Description=" + details.FileDescription, 11, 16);
        line(0, "Version=" + details.Version, 11, 16);
    } else if (ShowErrors_) {
        // The session goes on without the overview; the message must not end it under the
        // half-built node, so the node is settled first.
        if (context->ChildCount() == 0)
            context->Delete();
        ShowQueryError(result, lines.empty() ? std::string() : lines.front());
        return;
    }
    if (context->ChildCount() == 0 && context != basic)
        context->Delete();
    if (basic->ChildCount() == 0) {
        basic->Delete();
        return;
    }
    View_.Model().NodesAppended(nullptr, 0, 0);
}

// --- Root entries

void TSysInfoSession::EnumerateRootEntries(TTreeNode* category) {
    if (category == nullptr || CurrentModule_ < 0)
        return;
    TReportTree& tree = View_.Tree();
    const int module = CurrentModule_;
    const auto add = [&](int32_t image, uint16_t kind, bool sorted, const std::string& name,
                         const std::string& key, int32_t sourceIndex) {
        TTreeNode* node = AddNode(tree, category, image, 0, name, 1);
        auto info = std::make_unique<TAddRootInfo>();
        info->Kind = static_cast<uint8_t>(kind);
        info->Sorted = sorted;
        info->Key = key;
        info->SourceIndex = sourceIndex;
        StoreRootInfo(module, node->Index(), std::move(info));
        View_.Model().NodesAppended(category, node->Index(), node->Index());
    };

    if (Mode_ != TConnectionMode::LocalAgent && Mode_ != TConnectionMode::RemoteHost) {
        const sources::TModuleHandle handle =
            module == HardwareModule_ ? HardwareHandle_
                                      : (module == SystemModule_ ? SystemHandle_ : nullptr);
        TForwardSink sink(Hooks_.Error);
        for (int32_t i = 0; i < sources::kMaxRootEntries; ++i) {
            sources::RootInfoRecord record{};
            if (sources::ModuleRootInfo(handle, record, i, DebugMode_ ? 1 : 0, &sink) !=
                sources::kModuleEntry)
                break;
            const std::string name(record.Name, strnlen(record.Name, sizeof(record.Name)));
            if (name.empty())
                continue;
            uint16_t kind = 0;
            bool sorted = false;
            sources::DecodeRootKind(record.Kind, kind, sorted);
            add(record.ImageCode, kind, sorted, name,
                std::string(record.Key, strnlen(record.Key, sizeof(record.Key))), i);
        }
        return;
    }

    // Agent: one lock for the whole enumeration, so another viewer cannot interleave.
    if (!sources::QueryLock(Timeout())) {
        ShowQueryError(AgentFlag() ? sources::kQueryAgentLocked : sources::kQueryRemoteLocked, {});
        return;
    }
    const uint64_t generation = Generation_;
    for (int32_t number = 0; number < sources::kMaxRootEntries; ++number) {
        if (number % 3 == 0)
            StepConnectionPicture(-1);
        std::string answer;
        const uint32_t result =
            sources::SourceQuery("ENUMROOTINFOS:" + std::to_string(module) + ";" +
                                     std::to_string(number) + ";" + (DebugMode_ ? "1" : "0"),
                                 Timeout(), AgentFlag(), answer);
        if (result != sources::kQueryOk) {
            sources::QueryUnlock();
            ShowQueryError(result, answer);
            return;
        }
        sources::TAnswerRoot root;
        int32_t more = 0;
        const sources::TLineStatus status = sources::ParseRootInfoLine(answer, root, more);
        if (status == sources::TLineStatus::Illegal) {
            sources::QueryUnlock();
            if (Hooks_.Error)
                Hooks_.Error(sources::IllegalAnswerMessage(answer));
            return;
        }
        if (status == sources::TLineStatus::Entry)
            add(root.ImageCode, root.Kind, root.Sorted, root.Name, root.Key, number);
        if (more != sources::kModuleEntry || Generation_ != generation)
            break;
    }
    sources::QueryUnlock();
}

// --- Sub entries

bool TSysInfoSession::ReplaceChildren(TTreeNode* node, bool sorted,
                                      const std::function<bool(TReportTree&, TTreeNode*)>& fill) {
    // The lines are built below a stand-in and moved into the view in one step once complete
    // (and sorted when asked). The stand-in is a top-level node: the sources count their group
    // levels from the entry they describe, so level 1 is a child of the entry, wherever the
    // entry sits in the view.
    TReportTree scratch;
    TTreeNode* holder = scratch.AppendTop({});
    const uint64_t generation = Generation_;
    const bool ok = fill(scratch, holder);
    if (generation != Generation_)
        return false; // the session ended while fetching: `node` is gone

    std::vector<size_t> order(holder->ChildCount());
    std::iota(order.begin(), order.end(), size_t{0});
    if (ok && sorted)
        std::stable_sort(order.begin(), order.end(), [holder](size_t a, size_t b) {
            return SubEntryRank(holder->Child(a)->ImageCode()) <
                   SubEntryRank(holder->Child(b)->ImageCode());
        });

    // The view forgets its expansion on the reset: what lies outside `node` is put back.
    TMyTreeView& tree = View_.TreeView();
    TReportModel& model = View_.Model();
    std::vector<TTreeNode*> expanded;
    std::vector<TTreeNode*> pending{View_.Tree().Root()};
    while (!pending.empty()) {
        TTreeNode* n = pending.back();
        pending.pop_back();
        for (size_t i = 0; i < n->ChildCount(); ++i) {
            TTreeNode* child = n->Child(i);
            if (child->ChildCount() > 0 && tree.isExpanded(model.IndexOf(child)) &&
                (child == node || !child->IsDescendantOf(node))) {
                expanded.push_back(child);
                if (child != node)
                    pending.push_back(child);
            }
        }
    }
    TTreeNode* selected = View_.Selected();
    if (selected != nullptr && selected != node && selected->IsDescendantOf(node))
        selected = node;
    const int scroll = View_.VerticalScrollPos();

    model.BeginTreeReset();
    node->DeleteChildren();
    CopyChildren(*holder, node, order);
    model.EndTreeReset();

    for (TTreeNode* n : expanded)
        tree.setExpanded(model.IndexOf(n), true);
    if (selected != nullptr)
        View_.SetSelected(selected);
    View_.SetVerticalScrollPos(scroll);
    return ok;
}

bool TSysInfoSession::EnumerateSubEntries(TTreeNode* root, int module) {
    if (Busy_ || root == nullptr || Mode_ == TConnectionMode::None || module == -1)
        return true;
    TAddRootInfo* info = RootInfo(module, root->Index());
    const int32_t sourceIndex =
        info != nullptr ? info->SourceIndex : static_cast<int32_t>(root->Index());
    const bool sorted = info != nullptr && info->Sorted;
    TBusyMark busy(Busy_);

    if (Mode_ != TConnectionMode::LocalAgent && Mode_ != TConnectionMode::RemoteHost) {
        const sources::TModuleHandle handle =
            module == HardwareModule_ ? HardwareHandle_
                                      : (module == SystemModule_ ? SystemHandle_ : nullptr);
        return ReplaceChildren(root, sorted, [&](TReportTree& tree, TTreeNode* holder) {
            TForwardSink sink(Hooks_.Error);
            TTreeNode* context = holder;
            for (int32_t i = 0; i < sources::kMaxSubEntries; ++i) {
                sources::TSubInfoValues values;
                if (sources::ModuleSubInfo(handle, sourceIndex, i, values, &sink) !=
                    sources::kModuleEntry)
                    break;
                if (values.Text.empty())
                    continue;
                try {
                    context =
                        AddNode(tree, context, values.ImageCode,
                                static_cast<uint32_t>(values.Flags), values.Text,
                                static_cast<uint32_t>(sources::ShiftModuleLevel(values.Level)));
                } catch (const report::TReportError&) {
                    Error("Illegal answer received: %s", {values.Text});
                    return false;
                }
            }
            return true;
        });
    }

    const int timeout = 7 * Timeout();
    if (!sources::QueryLock(timeout)) {
        ShowQueryError(AgentFlag() ? sources::kQueryAgentLocked : sources::kQueryRemoteLocked, {});
        return false;
    }
    bool unlocked = false;
    const auto unlock = [&] {
        if (!unlocked)
            sources::QueryUnlock();
        unlocked = true;
    };
    const bool ok = ReplaceChildren(root, sorted, [&](TReportTree& tree, TTreeNode* holder) {
        TTreeNode* context = holder;
        for (int32_t i = 0; i < kMaxAgentSubLines; ++i) {
            if (i == 1 || i % 5 == 0)
                StepConnectionPicture(-1);
            std::string answer;
            const uint32_t result =
                sources::SourceQuery("ENUMSUBINFOS:" + std::to_string(module) + ";" +
                                         std::to_string(sourceIndex) + ";" + std::to_string(i),
                                     timeout, AgentFlag(), answer);
            if (result != sources::kQueryOk || answer.empty()) {
                unlock();
                // An empty answer is no line at all: the agent is not answering properly.
                ShowQueryError(result != sources::kQueryOk ? result : sources::kQueryAgentError,
                               answer);
                return false;
            }
            sources::TAnswerNode node;
            int32_t more = 0;
            const sources::TLineStatus status = sources::ParseSubInfoLine(answer, node, more);
            if (status == sources::TLineStatus::Illegal) {
                unlock();
                if (Hooks_.Error)
                    Hooks_.Error(sources::IllegalAnswerMessage(answer));
                return false;
            }
            if (status == sources::TLineStatus::Entry) {
                try {
                    context =
                        AddNode(tree, context, node.ImageCode, static_cast<uint32_t>(node.Flags),
                                node.Text, static_cast<uint32_t>(node.LevelOrType));
                } catch (const report::TReportError&) {
                    unlock();
                    if (Hooks_.Error)
                        Hooks_.Error(sources::IllegalAnswerMessage(answer));
                    return false;
                }
            }
            if (more != sources::kModuleEntry)
                break;
        }
        return true;
    });
    unlock();
    StepConnectionPicture(1);
    return ok;
}

bool TSysInfoSession::EnumerateSensors(TTreeNode* node) {
    if (Busy_ || node == nullptr || Mode_ == TConnectionMode::None || SensorModule_ < 0)
        return true;
    TBusyMark busy(Busy_);
    const bool ok = ReplaceChildren(node, false, [&](TReportTree& tree, TTreeNode* holder) {
        std::vector<std::string> lines;
        StepConnectionPicture(-1);
        const uint32_t result =
            sources::SourceQueryLines("ENUMVIGANT:1;2", lines, 5 * Timeout(), AgentFlag());
        if (result != sources::kQueryOk) {
            ShowQueryError(result, lines.empty() ? std::string() : lines.front());
            return false;
        }
        TTreeNode* context = holder;
        for (const std::string& line : lines) {
            sources::TAnswerNode entry;
            const sources::TLineStatus status = sources::ParseVigantLine(line, entry);
            if (status == sources::TLineStatus::Illegal) {
                if (Hooks_.Error)
                    Hooks_.Error(sources::IllegalAnswerMessage(line));
                return false;
            }
            if (status != sources::TLineStatus::Entry)
                continue;
            // A group line has no value: its text is the name alone.
            if (entry.LevelOrType < report::kMinTypeCode && !entry.Text.empty() &&
                entry.Text.back() == '=')
                entry.Text.pop_back();
            try {
                context =
                    AddNode(tree, context, entry.ImageCode, static_cast<uint32_t>(entry.Flags),
                            entry.Text, static_cast<uint32_t>(entry.LevelOrType));
            } catch (const report::TReportError&) {
                if (Hooks_.Error)
                    Hooks_.Error(sources::IllegalAnswerMessage(line));
                return false;
            }
        }
        return true;
    });
    StepConnectionPicture(1);
    return ok;
}

// --- Errors and the end of the session

void TSysInfoSession::ShowQueryError(uint32_t code, const std::string& answer) {
    const TConnectionMode mode = Mode_;
    // Timeouts and messages of the other side leave the session as it is; everything else
    // means the channel is gone.
    if (code != sources::kQueryHostMessage && code != 0x15000003 && code != 0x15000004 &&
        code != sources::kQueryAgentTimeout)
        DisconnectSession();
    if (code == sources::kQueryHostMessage) {
        if (mode == TConnectionMode::LocalAgent)
            Error("Errormessage from service Taveric Vigant received: %s", {answer});
        else
            Error("Errormessage from remote host '%s' received: %s", {DeviceName_, answer});
    } else if (mode == TConnectionMode::LocalAgent) {
        Error("%s", {sources::QueryErrorText(code)});
    } else {
        Error("Error in query to remote host '%s'. %s",
              {DeviceName_, sources::QueryErrorText(code)});
    }
    // Only an installed agent service that has stopped can be restarted; an agent run as a
    // plain program, or a system without a service manager, gets no such offer.
    if (mode == TConnectionMode::LocalAgent && support::HasAdministratorRights() &&
        platform::Platform().ServiceState(sources::kAgentServiceName) ==
            platform::TServiceState::Stopped)
        OfferAgentRestart();
}

void TSysInfoSession::OfferAgentRestart() {
    const bool restart =
        Hooks_.Question &&
        Hooks_.Question({"The service %s has stopped working. Restart the service?",
                         {sources::kAgentDisplayName}});
    {
        TWaitCursor wait;
        Status(QString());
        SetPainting(true);
        ProcessEvents();
        View_.ClearReport();
        ProcessEvents();
        DisconnectSession();
    }
    // The new connect runs from the event loop: this failure may have come from deep inside a
    // fetch or a connect, which must unwind before the view is filled again.
    if (restart) {
        Status(tr("Starting service '%1'...").arg(FromAnsi(sources::kAgentDisplayName)));
        ProcessEvents();
        sources::StartNamedService(sources::kAgentServiceName);
        QTimer::singleShot(5000, this, [this] {
            if (!InSession())
                ConnectSession(true);
        });
    } else {
        QTimer::singleShot(500, this, [this] {
            if (InSession())
                return;
            Mode_ = TConnectionMode::LocalModules;
            ConnectSession(true);
        });
    }
}

void TSysInfoSession::ReleaseModules(int timeoutMs) {
    const bool agent = Mode_ == TConnectionMode::LocalAgent;
    TForwardSink sink(Hooks_.Error);
    for (int* number : {&SystemModule_, &HardwareModule_}) {
        if (agent && *number >= 0) {
            std::string answer;
            sources::SourceQueryLocked("DESTROYDLL:" + std::to_string(*number), timeoutMs, true,
                                       answer);
        }
        *number = -2;
    }
    sources::UnloadInfoModule(SystemHandle_, &sink);
    sources::UnloadInfoModule(HardwareHandle_, &sink);
    SensorModule_ = -2;
    CurrentModule_ = -1;
}

void TSysInfoSession::DisconnectSession() {
    TimerUpdate_.stop();
    Collecting_ = false;
    const bool agent = Mode_ == TConnectionMode::LocalAgent;
    ReleaseModules(Timeout() / 3);
    if (agent)
        sources::AgentClose();
    Status(QString());
    Mode_ = TConnectionMode::None;
    ProcessEvents();
    View_.ClearReport();
    ++Generation_;
    emit SessionChanged();
}

// --- Live entries

void TSysInfoSession::NodeSelected(TTreeNode* node) {
    if (Collecting_)
        return;
    if (node == nullptr) {
        TimerUpdate_.stop();
        return;
    }
    if (View_.CompareMode()) {
        TTreeNode* entry = node->Level() == 0 ? node : node->AncestorAtLevel(1);
        Status(FromAnsi(entry->Text()));
        return;
    }
    const int32_t category = node->AncestorAtLevel(0)->ImageCode();
    CurrentModule_ = ModuleOfCategory(category);
    // The agent's modules and the agent itself can be configured; the modules inside the
    // program have nothing to configure.
    const bool configurable =
        category == report::kCategoryBasic || category == report::kCategoryHardware ||
        category == report::kCategorySystem || category == report::kCategorySensors;
    if (Hooks_.ConfigEnabled)
        Hooks_.ConfigEnabled(configurable && (Mode_ == TConnectionMode::LocalAgent ||
                                              Mode_ == TConnectionMode::RemoteHost));
    TTreeNode* root = RootEntryOf(node);
    TAddRootInfo* info =
        CurrentModule_ >= 0 && root != nullptr ? RootInfo(CurrentModule_, root->Index()) : nullptr;
    if (info != nullptr) {
        const bool open = View_.TreeView().isExpanded(View_.Model().IndexOf(root));
        if (info->Kind == 2 && open)
            TimerUpdate_.start();
        else
            TimerUpdate_.stop();
        QString text = FromAnsi(node->Text());
        if (info->Kind == 3)
            text += ": " + tr("No information available");
        Status(text);
    } else {
        TimerUpdate_.stop();
        Status(FromAnsi(node->Text()));
    }
}

bool TSysInfoSession::LoadEntryOnDemand() {
    TTreeNode* node = View_.Selected();
    if (CurrentModule_ < 0 || node == nullptr || View_.CompareMode() || Busy_ || Collecting_)
        return false;
    const bool sensors = CurrentModule_ == SensorModule_;
    if (node->Level() != (sensors ? 0 : 1))
        return false;
    TAddRootInfo* info = RootInfo(CurrentModule_, node->Index());
    if (info == nullptr || !WantsFetch(*node, *info))
        return false;
    if (View_.SelectionMovedUp())
        return false;

    TWaitCursor wait;
    Status(FromAnsi(info->Key));
    ProcessEvents();
    SetPainting(false);
    if (TTreeNode* first = View_.Tree().First()) {
        for (size_t i = 0; i < first->ChildCount(); ++i)
            View_.TreeView().collapse(View_.Model().IndexOf(first->Child(i)));
    }
    const bool fetched = FetchEntry(node, CurrentModule_);
    if (CurrentModule_ == -1 || !InSession()) {
        SetPainting(true);
        return true;
    }
    if (node->ChildCount() > 0)
        View_.TreeView().expand(View_.Model().IndexOf(node));
    SetPainting(true);
    if (node->ChildCount() > 0 || node->Object() != nullptr) {
        Status(FromAnsi(node->Text()));
        if (info->Kind == 2)
            TimerUpdate_.start();
        else
            TimerUpdate_.stop();
    } else {
        Status(FromAnsi(node->Text()) + ": " + tr("No information available"));
        // Only an answer that really was empty marks the entry as empty; after a failed fetch
        // the next click asks again.
        if (fetched && info->Kind != 1)
            info->Kind = 3;
    }
    return true;
}

void TSysInfoSession::RefreshCurrentEntry() {
    TTreeNode* selected = View_.Selected();
    if (Busy_ || CurrentModule_ == -1 || selected == nullptr || !InSession())
        return;
    TWaitCursor wait;
    const bool sensors = CurrentModule_ == SensorModule_;
    TTreeNode* root = sensors ? selected->AncestorAtLevel(0) : RootEntryOf(selected);
    if (root == nullptr)
        return;
    TAddRootInfo* info = RootInfo(CurrentModule_, root->Index());
    TReportModel& model = View_.Model();
    TMyTreeView& tree = View_.TreeView();
    const size_t position = AbsolutePosition(View_.Tree(), selected);
    const bool selectedOpen = tree.isExpanded(model.IndexOf(selected));
    int openChild = -1;
    for (size_t i = 0; i < selected->ChildCount(); ++i) {
        if (tree.isExpanded(model.IndexOf(selected->Child(i)))) {
            openChild = static_cast<int>(i);
            break;
        }
    }
    const size_t children = root->ChildCount();
    const bool rootOpen = tree.isExpanded(model.IndexOf(root));
    const int scroll = View_.VerticalScrollPos();

    Status(info != nullptr ? FromAnsi(info->Key) : QString());
    ProcessEvents();
    SetPainting(false);
    const bool ok = FetchEntry(root, CurrentModule_);
    if (!InSession() || CurrentModule_ == -1) {
        SetPainting(true);
        return;
    }
    if ((ok || !sensors) && root->ChildCount() == children) {
        if (TTreeNode* again = NodeAtPosition(View_.Tree(), position)) {
            View_.SetSelected(again);
            tree.setExpanded(model.IndexOf(again), selectedOpen);
            if (openChild >= 0 && static_cast<size_t>(openChild) < again->ChildCount())
                tree.expand(model.IndexOf(again->Child(static_cast<size_t>(openChild))));
        }
        tree.setExpanded(model.IndexOf(root), rootOpen);
    }
    View_.SetVerticalScrollPos(scroll);
    SetPainting(true);
    if (TTreeNode* now = View_.Selected())
        Status(FromAnsi(now->Text()));
}

void TSysInfoSession::NodeExpanded(TTreeNode* node, bool expanded) {
    if (node == nullptr || View_.CompareMode() || CurrentModule_ < 0 || Busy_ || Collecting_)
        return;
    TTreeNode* root = RootEntryOf(node);
    // Only the live entry itself starts or stops its updates, not a group inside it.
    if (root != node)
        return;
    TAddRootInfo* info = RootInfo(CurrentModule_, root->Index());
    if (info == nullptr || info->Kind != 2)
        return;
    if (expanded)
        TimerUpdate_.start();
    else
        TimerUpdate_.stop();
}

bool TSysInfoSession::FetchEntry(TTreeNode* entry, int module) {
    return module == SensorModule_ ? EnumerateSensors(entry) : EnumerateSubEntries(entry, module);
}

bool TSysInfoSession::WantsFetch(const TTreeNode& entry, const TAddRootInfo& info) {
    const bool filled = entry.ChildCount() > 0 || entry.Object() != nullptr;
    return !filled ? info.Kind != 3 : (info.Kind == 1 || info.Kind == 2);
}

// --- Live comparison

bool TSysInfoSession::CollectLiveTree() {
    TimerUpdate_.stop();
    Collecting_ = true;
    ProcessEvents();
    TReportTree& tree = View_.Tree();
    TReportModel& model = View_.Model();
    const uint64_t generation = Generation_;
    const auto alive = [&] { return Generation_ == generation && InSession(); };
    for (size_t i = 0; i < tree.TopCount() && alive(); ++i) {
        TTreeNode* category = tree.Top(i);
        CurrentModule_ = ModuleOfCategory(category->ImageCode());
        if (CurrentModule_ < 0)
            continue; // test results, the sensor log and the like are compared as they stand
        const int module = CurrentModule_;
        const bool sensors = module == SensorModule_;
        View_.TreeView().expand(model.IndexOf(category));
        std::vector<TTreeNode*> entries;
        if (sensors)
            entries.push_back(category);
        else
            for (size_t c = 0; c < category->ChildCount(); ++c)
                entries.push_back(category->Child(c));
        // A fetch replaces the children of its entry only, so the other entries stay valid
        // while the session lives.
        for (TTreeNode* entry : entries) {
            if (!alive())
                break;
            TAddRootInfo* info = RootInfo(module, entry->Index());
            if (info == nullptr || !WantsFetch(*entry, *info))
                continue;
            View_.SetSelected(entry);
            Status(FromAnsi(info->Key));
            ProcessEvents();
            SetPainting(false);
            FetchEntry(entry, module);
            SetPainting(true);
        }
        if (alive())
            View_.TreeView().collapse(model.IndexOf(category));
    }
    Collecting_ = false;
    return alive();
}

void TSysInfoSession::EndSessionKeepTree() {
    TimerUpdate_.stop();
    View_.SetSelected(nullptr);
    Collecting_ = false;
    if (InSession())
        ReleaseModules(Timeout());
    Mode_ = TConnectionMode::None;
    Status(QString());
}

// --- Export of the live tree

void TSysInfoSession::FillLiveContents(TReportTree& contents) {
    contents.Clear();
    TReportTree& tree = View_.Tree();
    for (size_t i = 0; i < tree.TopCount(); ++i) {
        TTreeNode* category = tree.Top(i);
        CurrentModule_ = ModuleOfCategory(category->ImageCode());
        TTreeNode* top = contents.AppendTop(category->Text(), category->ImageCode());
        top->SetStateIndex(report::kContentsChecked);
        const bool sensors = CurrentModule_ >= 0 && CurrentModule_ == SensorModule_;
        if (sensors || category->ChildCount() == 0) {
            std::unique_ptr<report::TReportInfo> info = report::LeadInto(*category);
            info->SourceNode = category;
            info->ModuleIndex = CurrentModule_;
            top->SetObject(std::move(info));
            continue;
        }
        // The category's own object (a chart) goes along; its root entries become the
        // contents children that can be chosen one by one.
        if (const report::TChartObject* chart = category->ChartObject()) {
            auto copy = std::make_unique<report::TChartObject>();
            copy->Chart = chart->Chart;
            top->SetObject(std::move(copy));
            continue;
        }
        for (size_t c = 0; c < category->ChildCount(); ++c) {
            TTreeNode* entry = category->Child(c);
            if (entry->Property() != nullptr)
                continue;
            TTreeNode* item = top->AppendChild(entry->Text(), entry->ImageCode());
            item->SetStateIndex(report::kContentsChecked);
            std::unique_ptr<report::TReportInfo> info = report::LeadInto(*entry);
            if (CurrentModule_ >= 0) {
                info->SourceNode = entry;
                info->ModuleIndex = CurrentModule_;
            }
            item->SetObject(std::move(info));
        }
    }
}

bool TSysInfoSession::GatherLiveData(TReportTree& contents,
                                     const std::function<void(const QString&)>& progress) {
    for (TTreeNode* node = contents.First(); node != nullptr; node = node->NextInTree()) {
        report::TReportInfo* info = node->ReportInfo();
        if (node->StateIndex() != report::kContentsChecked || info == nullptr ||
            info->SourceNode == nullptr)
            continue;
        TTreeNode* source = info->SourceNode;
        TAddRootInfo* root = RootInfo(info->ModuleIndex, source->Index());
        if (root == nullptr || !WantsFetch(*source, *root))
            continue;
        if (progress)
            progress(FromAnsi(root->Key));
        ProcessEvents();
        if (!FetchEntry(source, info->ModuleIndex) || !InSession())
            return false;
        info->Subtree = source->FirstChild();
        if (source->ChildCount() == 0 && source->Object() == nullptr && root->Kind != 1)
            root->Kind = 3;
    }
    return true;
}

// --- Connection picture

int ConnectionPictureFrame(int counter) {
    switch (counter) {
    case 3:
    case 7:
    case 9:
        return 1;
    case 4:
    case 6:
        return 3;
    case 5:
        return 4;
    case 8:
        return 2;
    default:
        return counter;
    }
}

void TSysInfoSession::StepConnectionPicture(int step) {
    if (step >= 0) {
        PictureCounter_ = step;
        PictureFrame_ = step;
    } else {
        if (step == -1)
            ++PictureCounter_;
        PictureFrame_ = ConnectionPictureFrame(PictureCounter_);
        if (PictureCounter_ == 9)
            PictureCounter_ = 3;
    }
    // Only a session with another host shows its progress this way.
    if (Mode_ == TConnectionMode::RemoteHost && Hooks_.ConnectionPicture)
        Hooks_.ConnectionPicture(PictureFrame_);
}

} // namespace ostero::ui
