// The system information page with this computer: the session through the modules inside the
// program and through the real agent process, fetching root entries on demand, the sensors and
// their refresh, failed queries and the end of the session.
#include "FormMainTest.h"

#include "ForwardingPlatform.h"

#include "app/Startup.h"
#include "export/XmlExport.h"
#include "report/ReportCompare.h"
#include "report/ReportFile.h"
#include "sources/AgentChannel.h"
#include "sources/AgentProtocol.h"
#include "sources/InfoModule.h"
#include "support/platform/Ipc.h"
#include "support/platform/Platform.h"
#include "ui/report/ExtTreeView.h"
#include "ui/shell/SysInfoSession.h"

#include <QMenu>
#include <QTest>
#include <QToolButton>

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>

#include <chrono>
#include <future>
#include <thread>

using namespace ostero;
using report::TTreeNode;
using ui::TConnectionMode;
using namespace std::chrono_literals;

namespace {

class SysInfoSession : public guitest::FormMainFixture {
protected:
    void SetUp() override {
        const char* stage = std::getenv("OSTERO_STAGE_DIR");
        ASSERT_NE(stage, nullptr);
        Stage_ = stage;
        // A namespace of its own: no agent answers unless the test starts one.
        const std::string space = "sysinfo-" + std::to_string(::getpid()) + "-" +
                                  ::testing::UnitTest::GetInstance()->current_test_info()->name();
        ::setenv("TAVERIC_IPC_NAMESPACE", space.c_str(), 1);
        FormMainFixture::SetUp();
        Prepare();
    }
    void TearDown() override {
        Form_.reset();
        StopAgent(SIGKILL);
        platform::RemoveSharedBlock(sources::kAgentBlockName);
        platform::RemoveProcessLock(sources::kQueryLockName);
        platform::RemoveNamedEvent(sources::kAgentExecEventName);
        platform::RemoveNamedEvent(sources::kAgentDoneEventName);
        ::unsetenv("TAVERIC_IPC_NAMESPACE");
        FormMainFixture::TearDown();
    }

    // The window finds the staged modules as the installed program does.
    void Prepare() { Form_->SysInfoSession().SetProgramFolder(Stage_ + "/Ostero/"); }
    // A new window that reads `timeoutMs` as its query time-out.
    void UseTimeout(int timeoutMs) {
        platform::Platform().RegWriteString(platform::TRegistryHive::CurrentUser,
                                            app::kRemoteSettingsKey, "Timeout [ms]",
                                            "Timeout;" + std::to_string(timeoutMs));
        Form_ = MakeForm();
        Prepare();
    }

    // The agent program; `sharedFolder` replaces the folder it loads the modules from.
    void StartAgent(const std::string& sharedFolder = {}) {
        const std::string agent = Stage_ + "/Vigant/vigantd";
        ASSERT_TRUE(std::filesystem::exists(agent)) << agent;
        Pid_ = ::fork();
        if (Pid_ == 0) {
            // Ends with the test, even when the test dies: it would keep the runner waiting.
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (sharedFolder.empty())
                ::execl(agent.c_str(), agent.c_str(), static_cast<char*>(nullptr));
            else
                ::execl(agent.c_str(), agent.c_str(), "--shared-folder", sharedFolder.c_str(),
                        static_cast<char*>(nullptr));
            ::_exit(127);
        }
        for (int i = 0; i < 300; ++i) {
            if (platform::OpenSharedBlock(sources::kAgentBlockName, sources::kAgentBlockSize))
                return;
            std::this_thread::sleep_for(10ms);
        }
        FAIL() << "the agent did not start";
    }
    void StopAgent(int signal) {
        if (Pid_ <= 0)
            return;
        ::kill(Pid_, SIGCONT);
        ::kill(Pid_, signal);
        int status = 0;
        ::waitpid(Pid_, &status, 0);
        Pid_ = -1;
    }

    QToolButton& Button(const char* name) {
        auto* button = Form_->findChild<QToolButton*>(name);
        EXPECT_NE(button, nullptr) << name;
        return *button;
    }
    ui::TExtTreeView& View() { return Form_->SysInfoView(); }
    ui::TSysInfoSession& Session() { return Form_->SysInfoSession(); }

    std::vector<int32_t> TopCodes() {
        std::vector<int32_t> codes;
        for (size_t i = 0; i < View().Tree().TopCount(); ++i)
            codes.push_back(View().Tree().Top(i)->ImageCode());
        return codes;
    }
    TTreeNode* Category(int32_t code) {
        for (size_t i = 0; i < View().Tree().TopCount(); ++i)
            if (View().Tree().Top(i)->ImageCode() == code)
                return View().Tree().Top(i);
        return nullptr;
    }
    static std::vector<std::string> ChildTexts(const TTreeNode* node) {
        std::vector<std::string> texts;
        for (size_t i = 0; node != nullptr && i < node->ChildCount(); ++i)
            texts.push_back(node->Child(i)->Text());
        return texts;
    }
    // The root entry names a module gives, read straight from it.
    std::vector<std::string> ModuleRootNames(const char* module) {
        const std::string path = sources::LocateInfoModule(module, Stage_ + "/Ostero/");
        EXPECT_FALSE(path.empty()) << module;
        sources::TModuleHandle handle = sources::LoadInfoModule(path, nullptr);
        EXPECT_NE(handle, nullptr) << path;
        std::vector<std::string> names;
        for (const auto& root : sources::EnumModuleRoots(handle, 0, nullptr))
            names.push_back(root.Name);
        sources::UnloadInfoModule(handle, nullptr);
        return names;
    }
    // The first root entry of `category` that is not known to be empty and not fetched yet.
    TTreeNode* FetchableEntry(TTreeNode* category, int module) {
        for (size_t i = 0; category != nullptr && i < category->ChildCount(); ++i) {
            const ui::TAddRootInfo* info = Session().RootInfo(module, i);
            if (info != nullptr && info->Kind != 3 && category->Child(i)->ChildCount() == 0)
                return category->Child(i);
        }
        return nullptr;
    }
    // Selects the node and presses the Right arrow, as a user opens an entry.
    void Open(TTreeNode* node) {
        View().SetSelected(node);
        QTest::keyClick(&View().TreeView(), Qt::Key_Right);
    }
    bool Expanded(const TTreeNode* node) {
        return View().TreeView().isExpanded(View().Model().IndexOf(node));
    }
    // The first showing has connected quietly; the button connects again with messages.
    void PressSysInfo() {
        Form_->show();
        if (Session().InSession())
            Session().DisconnectSession();
        Button("ImageButtonSysInfo").click();
    }

    std::string Stage_;
    pid_t Pid_ = -1;
};

TEST_F(SysInfoSession, TheFirstShowingWithoutAReportConnectsToThisComputer) {
    Form_->show();
    EXPECT_EQ(Form_->ActivePage(), ui::TFormMain::TPage::SysInfo);
    EXPECT_EQ(Session().Mode(), TConnectionMode::LocalModules);
    EXPECT_EQ(TopCodes(), (std::vector<int32_t>{400, 401, 402}));
    EXPECT_EQ(Form_->windowTitle().toStdString(), "Taveric Ostero [This computer]");
    EXPECT_EQ(Messages_.Take(), std::vector<std::string>{});
    // Pressing the button again keeps the session and its caption.
    const TTreeNode* first = View().Tree().First();
    Button("ImageButtonSysInfo").click();
    EXPECT_EQ(View().Tree().First(), first);
    EXPECT_EQ(Form_->windowTitle().toStdString(), "Taveric Ostero [This computer]");
}

TEST_F(SysInfoSession, WithoutAgentTheModulesInsideTheProgramShowThisComputer) {
    const std::vector<std::string> hardware = ModuleRootNames(sources::kHardwareModuleName);
    const std::vector<std::string> system = ModuleRootNames(sources::kSystemModuleName);
    ASSERT_FALSE(hardware.empty());
    ASSERT_FALSE(system.empty());

    PressSysInfo();
    EXPECT_EQ(Messages_.Take(), std::vector<std::string>{});
    EXPECT_EQ(Session().Mode(), TConnectionMode::LocalModules);
    EXPECT_EQ(Form_->ActivePage(), ui::TFormMain::TPage::SysInfo);
    EXPECT_EQ(TopCodes(), (std::vector<int32_t>{400, 401, 402}));
    EXPECT_EQ(View().Model().rowCount(), 3) << "the view learnt every category";
    EXPECT_EQ(ChildTexts(Category(401)), hardware);
    EXPECT_EQ(ChildTexts(Category(402)), system);
    EXPECT_EQ(Session().CurrentModule(), -1);
    EXPECT_EQ(Button("ImageButtonConnect").text().toStdString(), "Disconnect");
    EXPECT_TRUE(Button("ImageButtonConnect").isEnabled());
    EXPECT_EQ(Form_->windowTitle().toStdString(), "Taveric Ostero [This computer]");

    // Basic information: the overview of this computer and the program modules with versions.
    const TTreeNode* basic = Category(400);
    ASSERT_EQ(ChildTexts(basic), (std::vector<std::string>{"System Overview", "Program modules"}));
    const std::vector<std::string> overview = ChildTexts(basic->Child(0));
    ASSERT_FALSE(overview.empty());
    EXPECT_TRUE(std::any_of(overview.begin(), overview.end(),
                            [](const std::string& t) { return t == "Date/Time"; }));
    const TTreeNode* modules = basic->Child(1);
    std::vector<std::string> files;
    for (size_t i = 0; i < modules->ChildCount(); ++i) {
        const TTreeNode* line = modules->Child(i);
        if (line->Text() == "Filename" || line->Text() == "Version")
            files.push_back(line->Text() + "=" + line->Property()->Value);
    }
    EXPECT_NE(std::find(files.begin(), files.end(), "Filename=DevSurvey.so"), files.end());
    EXPECT_NE(std::find(files.begin(), files.end(), "Filename=SysFacts.so"), files.end());
    for (const std::string& f : files)
        EXPECT_NE(f, "Version=") << "every module has a version from its version section";

    // Opening a root entry fetches its lines from the module.
    TTreeNode* entry = FetchableEntry(Category(401), Session().HardwareModule());
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->ChildCount(), 0u);
    Open(entry);
    EXPECT_EQ(Messages_.Take(), std::vector<std::string>{});
    EXPECT_EQ(Session().CurrentModule(), Session().HardwareModule());
    EXPECT_GT(entry->ChildCount(), 0u) << entry->Text();
    EXPECT_TRUE(Expanded(entry));
    EXPECT_EQ(View().Model().rowCount(View().Model().IndexOf(entry)),
              static_cast<int>(entry->ChildCount()));
    EXPECT_EQ(Form_->StatusText().toStdString(), entry->Text());

    // A click on an entry fetches it as well.
    TTreeNode* clicked = FetchableEntry(Category(402), Session().SystemModule());
    ASSERT_NE(clicked, nullptr);
    View().TreeView().expand(View().Model().IndexOf(Category(402)));
    const QModelIndex at = View().Model().IndexOf(clicked);
    View().TreeView().scrollTo(at);
    QTest::mouseClick(View().TreeView().viewport(), Qt::LeftButton, {},
                      View().TreeView().visualRect(at).center());
    EXPECT_EQ(Messages_.Take(), std::vector<std::string>{});
    EXPECT_EQ(Session().CurrentModule(), Session().SystemModule());
    EXPECT_GT(clicked->ChildCount(), 0u) << clicked->Text();
    EXPECT_TRUE(Expanded(entry)) << "the other open entry stays open";
    View().TreeView().collapse(View().Model().IndexOf(Category(402)));

    // This computer's page, as a user sees it.
    Form_->resize(1000, 700);
    View().TreeView().expand(View().Model().IndexOf(Category(400)));
    View().TreeView().expand(View().Model().IndexOf(Category(400)->Child(0)));
    View().SetSelected(entry);
    QApplication::processEvents();
    EXPECT_TRUE(Form_->grab().save("/tmp/ostero-sysinfo.png"));

    // Disconnect empties the page.
    Button("ImageButtonConnect").click();
    EXPECT_TRUE(View().Tree().Empty());
    EXPECT_EQ(View().Model().rowCount(), 0);
    EXPECT_EQ(Session().Mode(), TConnectionMode::None);
    EXPECT_EQ(Session().HardwareModule(), -2);
    EXPECT_EQ(Button("ImageButtonConnect").text().toStdString(), "Connect");
    EXPECT_EQ(Form_->windowTitle().toStdString(), "Taveric Ostero");

    // Connect again, then another page ends the session.
    Button("ImageButtonConnect").click();
    EXPECT_EQ(TopCodes(), (std::vector<int32_t>{400, 401, 402}));
    Button("ImageButtonReport").click();
    EXPECT_TRUE(View().Tree().Empty());
    EXPECT_EQ(Session().Mode(), TConnectionMode::None);
    EXPECT_EQ(Messages_.Take(), std::vector<std::string>{});
}

// The machine's serial number in the overview is private, like the module's own serial
// numbers: the export wizard lists it among the private entries.
TEST_F(SysInfoSession, TheSystemSerialNumberInTheOverviewIsPrivate) {
    const std::string sysroot = std::string(std::getenv("OSTERO_TEST_DATA")) + "/sysroot";
    ::setenv("OSTERO_SYSROOT", sysroot.c_str(), 1);
    struct TUnset {
        ~TUnset() { ::unsetenv("OSTERO_SYSROOT"); }
    } unset;
    PressSysInfo();
    ASSERT_EQ(Session().Mode(), TConnectionMode::LocalModules);
    const TTreeNode* overview = Category(400)->Child(0);
    ASSERT_EQ(overview->Text(), "System Overview");
    const auto line = [&](const std::string& name) -> const report::TTreeListObj* {
        for (size_t i = 0; i < overview->ChildCount(); ++i)
            if (overview->Child(i)->Text() == name)
                return overview->Child(i)->Property();
        ADD_FAILURE() << "no line " << name;
        return nullptr;
    };
    const report::TTreeListObj* serial = line("System serial number");
    const report::TTreeListObj* name = line("System name");
    ASSERT_TRUE(serial && name);
    EXPECT_EQ(serial->Value, "PF1ABCDE");
    EXPECT_NE(serial->Flags & report::nfPrivate, 0u);
    EXPECT_EQ(name->Flags & report::nfPrivate, 0u);
    EXPECT_TRUE(
        View().CollectPrivate().contains("System Overview -> System serial number = PF1ABCDE"))
        << View().CollectPrivate().join('\n').toStdString();
}

TEST_F(SysInfoSession, AnOpenLiveEntryIsFetchedAgainAndTheViewStaysWhereItWas) {
    PressSysInfo();
    ASSERT_EQ(Session().Mode(), TConnectionMode::LocalModules);
    TTreeNode* system = Category(402);
    TTreeNode* live = nullptr;
    // The first live entry (uptime and load): its lines keep their names between fetches,
    // while the processes come and go and could take the selected line with them.
    for (size_t i = 0; i < system->ChildCount() && live == nullptr; ++i) {
        const ui::TAddRootInfo* info = Session().RootInfo(Session().SystemModule(), i);
        if (info != nullptr && info->Kind == 2)
            live = system->Child(i);
    }
    ASSERT_NE(live, nullptr) << "the operating-system module has a live entry";
    View().TreeView().expand(View().Model().IndexOf(system));
    Open(live);
    ASSERT_GT(live->ChildCount(), 0u);
    EXPECT_TRUE(Session().UpdateTimer().isActive());

    // A line deep in the entry is selected; a stale text shows whether the lines were fetched
    // again.
    TTreeNode* line = live;
    while (line->ChildCount() > 0)
        line = line->LastChild();
    View().SetSelected(line);
    const std::string text = line->Text();
    const int depth = line->Level();
    live->FirstChild()->SetText("stale");
    Session().UpdateTimer().setInterval(50);
    QTest::qWait(400);
    EXPECT_EQ(Messages_.Take(), std::vector<std::string>{});
    EXPECT_NE(live->FirstChild()->Text(), "stale");
    ASSERT_NE(View().Selected(), nullptr);
    EXPECT_EQ(View().Selected()->Text(), text);
    EXPECT_EQ(View().Selected()->Level(), depth);
    EXPECT_TRUE(Expanded(live));
    EXPECT_TRUE(Session().UpdateTimer().isActive()) << "it goes on while the entry is open";

    // Closing the entry, or selecting outside it, ends the updates.
    View().SetSelected(live);
    View().TreeView().collapse(View().Model().IndexOf(live));
    EXPECT_FALSE(Session().UpdateTimer().isActive());
    View().TreeView().expand(View().Model().IndexOf(live));
    EXPECT_TRUE(Session().UpdateTimer().isActive());
    View().SetSelected(Category(400));
    EXPECT_FALSE(Session().UpdateTimer().isActive());
}

TEST_F(SysInfoSession, TheSensorLogOfThisComputerIsShownWhenItCanBeRead) {
    struct TCase {
        const char* Name;
        const char* Data; // the log's lines after its title line
        bool Shown;
        const char* Error; // the start of the message, empty for none
    };
    const TCase cases[] = {
        {"good", "10.12.2026;10:00:00;45,5\r\n10.12.2026;10:00:10;46\r\n", true, ""},
        {"bad number", "10.12.2026;10:00:00;45,5\r\n10.12.2026;10:00:10;hot\r\n", false,
         "E: An error occurred while reading sensorlogfile '"},
        {"missing", nullptr, false, ""},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string file = Path("sensors.csv");
        std::filesystem::remove(file);
        if (c.Data != nullptr)
            std::ofstream(file, std::ios::binary) << "Date;Time;CPU [\xB0"
                                                  << "C]\r\n"
                                                  << c.Data;
        platform::Platform().RegWriteString(platform::TRegistryHive::CurrentUser,
                                            app::kSensorLoggerKey, "Logfile", "Logfile;" + file);
        // The viewer reads its settings once its own key is there.
        UseTimeout(5000);
        PressSysInfo();
        const std::vector<std::string> messages = Messages_.Take();
        ASSERT_EQ(Session().Mode(), TConnectionMode::LocalModules);
        const TTreeNode* log = Category(report::kCategorySensorLog);
        EXPECT_EQ(log != nullptr, c.Shown);
        if (log != nullptr) {
            EXPECT_EQ(TopCodes().back(), report::kCategorySensorLog);
            EXPECT_EQ(log->Text(), "Sensorlog");
            EXPECT_NE(log->ChartObject(), nullptr);
            EXPECT_EQ(View().Document().Chart.Series.size(), 1u);
        } else {
            EXPECT_TRUE(View().Document().Chart.Empty());
        }
        if (*c.Error == 0) {
            EXPECT_EQ(messages, std::vector<std::string>{});
        } else {
            ASSERT_EQ(messages.size(), 1u);
            EXPECT_EQ(messages.front().rfind(std::string(c.Error) + file + "': ", 0), 0u)
                << messages.front();
        }
        // The categories of the modules are there in every case.
        EXPECT_NE(Category(401), nullptr);
    }
}

TEST_F(SysInfoSession, TestResultsHandedOverAreShownAtTheirFirstFailure) {
    report::SetLoadRetryDelay(1ms);
    struct TRestoreDelay {
        ~TRestoreDelay() { report::SetLoadRetryDelay(200ms); }
    } restoreDelay;
    const std::string good = Path("results.trp");
    {
        report::TReportDocument doc;
        TTreeNode* c = report::AddNode(doc.Tree, nullptr, 3, 0, "Processor test", 0);
        c = report::AddNode(doc.Tree, c, 33, 0, "Arithmetic=OK", 10);
        c = report::AddNode(doc.Tree, c, 3, 0, "Cache", 1);
        c = report::AddNode(doc.Tree, c, 32, 0, "Level 2=ERROR", 10);
        ASSERT_TRUE(report::SaveReport(doc, good, true));
    }
    const std::string damaged = Path("damaged.trp");
    std::ofstream(damaged, std::ios::binary) << "TRPT not really";

    struct TCase {
        std::string File;
        bool Shown;
        std::vector<std::string> Messages;
    };
    const TCase cases[] = {
        {good, true, {}},
        {damaged,
         false,
         {"E: File '" + damaged + "' is not a valid report file, or the file is damaged!"}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.File);
        platform::Platform().RegWriteString(platform::TRegistryHive::CurrentUser,
                                            app::kHardwareTestKey, "ResultFileName", c.File);
        // The hardware-test program starts the viewer to read its results back.
        Form_ = std::make_unique<ui::TFormMain>(std::vector<std::string>{"ReadTestResults"}, "",
                                                Loader_);
        Form_->SetMessageSink(&Messages_);
        Prepare();
        // Its first showing connects to this computer and reads them.
        Form_->show();
        EXPECT_EQ(Messages_.Take(), c.Messages);
        ASSERT_EQ(Session().Mode(), TConnectionMode::LocalModules);
        const TTreeNode* results = Category(report::kCategoryTestResults);
        EXPECT_EQ(results != nullptr, c.Shown);
        EXPECT_EQ(platform::Platform().RegKeyExists(platform::TRegistryHive::CurrentUser,
                                                    app::kHardwareTestKey),
                  !c.Shown)
            << "the hand-over is cleared once read, kept otherwise";
        if (results != nullptr) {
            EXPECT_EQ(results->Text(), "Testresults");
            ASSERT_NE(View().Selected(), nullptr);
            EXPECT_EQ(View().Selected()->Text(), "Level 2");
            EXPECT_TRUE(Expanded(results));
        }
    }
}

TEST_F(SysInfoSession, TheAgentProcessShowsTheSameCategoriesAndTheSensors) {
    StartAgent();
    const std::vector<std::string> hardware = ModuleRootNames(sources::kHardwareModuleName);

    PressSysInfo();
    EXPECT_EQ(Messages_.Take(), std::vector<std::string>{});
    ASSERT_EQ(Session().Mode(), TConnectionMode::LocalAgent);
    EXPECT_EQ(TopCodes(), (std::vector<int32_t>{400, 401, 402, 406}));
    EXPECT_EQ(View().Model().rowCount(), 4);
    EXPECT_EQ(ChildTexts(Category(401)), hardware);
    EXPECT_FALSE(Category(402)->ChildCount() == 0);
    const std::vector<std::string> basic = ChildTexts(Category(400));
    EXPECT_NE(std::find(basic.begin(), basic.end(), "System Overview"), basic.end());
    EXPECT_NE(std::find(basic.begin(), basic.end(), "Program modules"), basic.end());
    EXPECT_EQ(Category(406)->Text(), "Sensors and usage");
    EXPECT_EQ(Button("ImageButtonConnect").text().toStdString(), "Disconnect");

    // A root entry is fetched from the agent when opened.
    TTreeNode* entry = FetchableEntry(Category(402), Session().SystemModule());
    ASSERT_NE(entry, nullptr);
    Open(entry);
    EXPECT_EQ(Messages_.Take(), std::vector<std::string>{});
    EXPECT_GT(entry->ChildCount(), 0u) << entry->Text();
    EXPECT_TRUE(Expanded(entry));

    // The sensors: fetched on opening, live, and fetched again without moving the view.
    TTreeNode* sensors = Category(406);
    Open(sensors);
    EXPECT_EQ(Messages_.Take(), std::vector<std::string>{});
    ASSERT_GT(sensors->ChildCount(), 0u);
    const std::vector<std::string> lines = ChildTexts(sensors);
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Processor load"), lines.end());
    EXPECT_TRUE(Expanded(sensors));
    EXPECT_TRUE(Session().UpdateTimer().isActive()) << "an open live entry is updated";

    TTreeNode* line = sensors->Child(0);
    const std::string text = line->Text();
    View().SetSelected(line);
    EXPECT_TRUE(Session().UpdateTimer().isActive());
    Session().RefreshCurrentEntry();
    EXPECT_EQ(Messages_.Take(), std::vector<std::string>{});
    ASSERT_NE(View().Selected(), nullptr);
    EXPECT_EQ(View().Selected()->Text(), text) << "the selection stays on its line";
    EXPECT_EQ(View().Selected()->Parent(), sensors);
    EXPECT_TRUE(Expanded(sensors));

    // Closing the live entry stops its updates.
    View().SetSelected(sensors);
    View().TreeView().collapse(View().Model().IndexOf(sensors));
    EXPECT_FALSE(Session().UpdateTimer().isActive());

    Button("ImageButtonConnect").click();
    EXPECT_TRUE(View().Tree().Empty());
    EXPECT_EQ(Session().Mode(), TConnectionMode::None);
    EXPECT_FALSE(sources::QueryChannel().AgentOpened()) << "the agent's block is released";
}

TEST_F(SysInfoSession, FailedQueriesAreShownAndALostChannelEndsTheSession) {
    // A short time-out keeps the waits of this test short.
    UseTimeout(300);
    StartAgent();
    PressSysInfo();
    ASSERT_EQ(Session().Mode(), TConnectionMode::LocalAgent);
    ASSERT_EQ(Messages_.Take(), std::vector<std::string>{});

    // Another viewer gives the hardware module back in the agent, more often than it took it:
    // the module stays for this session.
    TTreeNode* entry = FetchableEntry(Category(401), Session().HardwareModule());
    ASSERT_NE(entry, nullptr);
    const std::string number = std::to_string(Session().HardwareModule());
    std::string answer;
    for (int i = 0; i < 2; ++i)
        ASSERT_EQ(sources::SourceQueryLocked("DESTROYDLL:" + number, 1000, true, answer),
                  sources::kQueryOk);
    Open(entry);
    EXPECT_EQ(Messages_.Take(), std::vector<std::string>{});
    EXPECT_GT(entry->ChildCount(), 0u);

    // An agent that does not answer in time: the message, and the session stays.
    ::kill(Pid_, SIGSTOP);
    entry = FetchableEntry(Category(402), Session().SystemModule());
    ASSERT_NE(entry, nullptr);
    Open(entry);
    EXPECT_EQ(Messages_.Take(), std::vector<std::string>{
                                    "E: " + sources::QueryErrorText(sources::kQueryAgentTimeout)});
    EXPECT_EQ(Session().Mode(), TConnectionMode::LocalAgent);
    EXPECT_FALSE(View().Tree().Empty());

    // The agent goes on: its late answer to the timed-out command is not taken for the next.
    ::kill(Pid_, SIGCONT);
    std::this_thread::sleep_for(200ms);

    // Another viewer holds the query lock: the channel is unusable and the session ends.
    std::unique_ptr<platform::TProcessLock> other =
        platform::OpenProcessLock(sources::kQueryLockName);
    ASSERT_NE(other, nullptr);
    std::promise<bool> taken;
    std::promise<void> release;
    std::thread holder([&] {
        taken.set_value(other->Take(1000));
        release.get_future().wait();
        other->Give();
    });
    // The holder lets go however the test ends.
    struct TRelease {
        std::promise<void>& Release;
        std::thread& Holder;
        ~TRelease() {
            Release.set_value();
            Holder.join();
        }
    } letGo{release, holder};
    ASSERT_TRUE(taken.get_future().get());
    entry = FetchableEntry(Category(401), Session().HardwareModule());
    ASSERT_NE(entry, nullptr);
    Open(entry);
    EXPECT_EQ(Messages_.Take(), std::vector<std::string>{
                                    "E: " + sources::QueryErrorText(sources::kQueryAgentLocked)});
    EXPECT_EQ(Session().Mode(), TConnectionMode::None);
    EXPECT_TRUE(View().Tree().Empty());
    EXPECT_EQ(Button("ImageButtonConnect").text().toStdString(), "Connect");
    EXPECT_TRUE(Button("ImageButtonConnect").isEnabled());
}

// The nodes of a compared tree that the navigation stops at, as "text (state)".
std::vector<std::string> Differences(const report::TReportTree& tree) {
    std::vector<std::string> found;
    for (const TTreeNode* n = tree.First(); n != nullptr; n = n->NextInTree())
        if (report::IsDifferenceState(n->StateIndex()))
            found.push_back(n->Text() + " (" + std::to_string(n->StateIndex()) + ")");
    return found;
}

TEST_F(SysInfoSession, ComparingTheLiveMachineWithItsOwnReportShowsOnlyVolatileChanges) {
    PressSysInfo();
    ASSERT_EQ(Session().Mode(), TConnectionMode::LocalModules);
    // What the session can show, fetched completely and saved as a report.
    ASSERT_TRUE(Session().CollectLiveTree());
    EXPECT_FALSE(Session().Collecting());
    const std::string saved = Path("this-computer.trp");
    ASSERT_TRUE(report::SaveReport(View().Document(), saved, true));
    size_t lines = 0;
    for (const TTreeNode* n = View().Tree().First(); n != nullptr; n = n->NextInTree())
        lines += n->Property() != nullptr;
    ASSERT_GT(lines, 50u) << "every entry was fetched";
    EXPECT_EQ(Session().Mode(), TConnectionMode::LocalModules) << "collecting alone keeps it";

    // Connected again, then compared with that report.
    Button("ImageButtonConnect").click();
    Button("ImageButtonConnect").click();
    ASSERT_EQ(Session().Mode(), TConnectionMode::LocalModules);
    EXPECT_TRUE(Button("ImageButtonSysInfoCompare").isEnabled());
    Answers_.push_back(saved);
    Button("ImageButtonSysInfoCompare").click();
    EXPECT_EQ(Session().Mode(), TConnectionMode::None) << "the session ended, the tree stayed";
    EXPECT_EQ(Session().HardwareModule(), -2);
    ASSERT_TRUE(View().CompareMode());
    EXPECT_EQ(View().Model().columnCount(), 3);
    EXPECT_EQ(Form_->windowTitle().toStdString(),
              "Taveric Ostero [This computer : this-computer.trp]");
    // Values that change by nature (clock, load, free memory) differ in the volatile states;
    // nothing else may differ.
    EXPECT_EQ(Differences(View().Tree()), std::vector<std::string>{});
    EXPECT_EQ(Messages_.Take(), std::vector<std::string>{"E: No differences found!"});
    bool volatileChange = false;
    for (const TTreeNode* n = View().Tree().First(); n != nullptr; n = n->NextInTree())
        volatileChange |= n->StateIndex() == report::ssVolatileChanged;
    EXPECT_TRUE(volatileChange) << "at least the date and time moved on";

    for (const char* hidden : {"ImageButtonSysInfoCompare", "ImageButtonSysInfoSave",
                               "ImageButtonSysInfoConfig", "ImageButtonConnect"})
        EXPECT_TRUE(Button(hidden).isHidden()) << hidden;
    for (const char* shown : {"ImageButtonSysInfoCloseCompare", "ImageButtonSysInfoPreviousDiff",
                              "ImageButtonSysInfoNextDiff"})
        EXPECT_FALSE(Button(shown).isHidden()) << shown;
    EXPECT_FALSE(Button("ImageButtonSysInfoNextDiff").isEnabled());
    EXPECT_FALSE(Button("ImageButtonSysInfoPreviousDiff").isEnabled());
    Form_->UpdatePopupMenu();
    const auto item = [&](const char* name) {
        return Form_->PopupMenu().findChild<QAction*>(name);
    };
    ASSERT_NE(item("PMI_NextDiff"), nullptr);
    EXPECT_TRUE(item("PMI_NextDiff")->isVisible());
    EXPECT_FALSE(item("PMI_NextDiff")->isEnabled());

    // Close Compare connects to this computer again.
    Button("ImageButtonSysInfoCloseCompare").click();
    EXPECT_FALSE(View().CompareMode());
    EXPECT_EQ(View().Model().columnCount(), 2);
    EXPECT_EQ(Session().Mode(), TConnectionMode::LocalModules);
    EXPECT_EQ(TopCodes(), (std::vector<int32_t>{400, 401, 402}));
    EXPECT_EQ(Form_->windowTitle().toStdString(), "Taveric Ostero [This computer]");
    EXPECT_TRUE(Button("ImageButtonSysInfoCloseCompare").isHidden());
    EXPECT_FALSE(Button("ImageButtonSysInfoCompare").isHidden());
    EXPECT_TRUE(Button("ImageButtonSysInfoNextDiff").isHidden());
    EXPECT_EQ(Messages_.Take(), std::vector<std::string>{});
}

TEST_F(SysInfoSession, ALiveComparisonShowsTheDifferencesAndEndsWithAnotherPage) {
    PressSysInfo();
    ASSERT_EQ(Session().Mode(), TConnectionMode::LocalModules);
    ASSERT_TRUE(Session().CollectLiveTree());
    // The saved report lacks one category's first entry and has an operating-system value of
    // its own.
    TTreeNode* system = Category(402);
    ASSERT_GT(system->ChildCount(), 1u);
    const std::string removed = system->Child(0)->Text();
    View().Model().BeginTreeReset();
    system->Child(0)->Delete();
    View().Model().EndTreeReset();
    TTreeNode* value = nullptr;
    for (TTreeNode* n = system->FirstChild(); n != nullptr && n->IsDescendantOf(system);
         n = n->NextInTree())
        if (n->Property() != nullptr && (n->Property()->Flags & report::nfVolatile) == 0) {
            value = n;
            break;
        }
    ASSERT_NE(value, nullptr);
    const std::string live = value->Property()->Value;
    const std::string changed = value->Text();
    value->Property()->Value = "an older value";
    const std::string saved = Path("older.trp");
    ASSERT_TRUE(report::SaveReport(View().Document(), saved, true));
    Button("ImageButtonConnect").click();
    Button("ImageButtonConnect").click();

    Answers_.push_back(saved);
    Button("ImageButtonSysInfoCompare").click();
    ASSERT_TRUE(View().CompareMode());
    EXPECT_EQ(Messages_.Take(), std::vector<std::string>{});
    const std::vector<std::string> differences = Differences(View().Tree());
    EXPECT_NE(std::find(differences.begin(), differences.end(), changed + " (8)"),
              differences.end());
    EXPECT_NE(std::find(differences.begin(), differences.end(), removed + " (6)"),
              differences.end())
        << "the live machine has the entry the report lacks";
    // The first difference is selected; Next and F8 step on.
    ASSERT_NE(View().Selected(), nullptr);
    EXPECT_TRUE(report::IsDifferenceState(View().Selected()->StateIndex()));
    EXPECT_TRUE(Button("ImageButtonSysInfoNextDiff").isEnabled());
    EXPECT_FALSE(Button("ImageButtonSysInfoPreviousDiff").isEnabled());
    const TTreeNode* first = View().Selected();
    QTest::keyClick(&View().TreeView(), Qt::Key_F8);
    EXPECT_NE(View().Selected(), first);
    EXPECT_TRUE(Button("ImageButtonSysInfoPreviousDiff").isEnabled());
    // The value columns show the live value and the report's.
    bool merged = false;
    for (const TTreeNode* n = View().Tree().First(); n != nullptr; n = n->NextInTree())
        merged |= n->Property() != nullptr && n->Property()->Value == live + "|an older value";
    EXPECT_TRUE(merged);

    // The report page ends the comparison: the compared tree goes.
    Button("ImageButtonReport").click();
    EXPECT_FALSE(View().CompareMode());
    EXPECT_TRUE(View().Tree().Empty());
    EXPECT_TRUE(Button("ImageButtonSysInfoCloseCompare").isHidden());
    EXPECT_FALSE(Button("ImageButtonSysInfoCompare").isHidden());
}

TEST_F(SysInfoSession, ALiveComparisonWithAFileItCannotReadKeepsTheCollectedTree) {
    struct TCase {
        const char* Name;
        std::string Bytes; // empty: the file does not exist
        const char* Message;
    };
    const TCase cases[] = {
        {"missing.trp", {}, "E: File '%s' not found"},
        {"damaged.trp", "not a report at all",
         "E: File '%s' is not a valid report file, or the file is damaged!"},
    };
    PressSysInfo();
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        if (!Session().InSession())
            Button("ImageButtonSysInfo").click();
        ASSERT_EQ(Session().Mode(), TConnectionMode::LocalModules);
        const std::string file = Path(c.Name);
        if (!c.Bytes.empty())
            std::ofstream(file, std::ios::binary) << c.Bytes;
        Answers_.push_back(file);
        Button("ImageButtonSysInfoCompare").click();
        std::string message = c.Message;
        message.replace(message.find("%s"), 2, file);
        EXPECT_EQ(Messages_.Take(), std::vector<std::string>{message});
        EXPECT_FALSE(View().CompareMode());
        EXPECT_FALSE(View().Tree().Empty()) << "the live tree is not lost";
        EXPECT_TRUE(Button("ImageButtonConnect").isEnabled());
        EXPECT_TRUE(Button("ImageButtonSysInfoCloseCompare").isHidden());
        if (c.Bytes.empty()) {
            EXPECT_TRUE(Session().InSession()) << "a missing file does not end the session";
        } else {
            EXPECT_FALSE(Session().InSession());
            EXPECT_TRUE(Button("ImageButtonSysInfoCompare").isEnabled());
            for (const TTreeNode* n = Category(402)->FirstChild(); n != nullptr;
                 n = n->NextSibling())
                EXPECT_EQ(n->StateIndex(), -1) << "nothing was merged";
        }
    }
}

TEST_F(SysInfoSession, TheLiveTreeIsExportedThroughItsContentsWithEveryEntryFetched) {
    PressSysInfo();
    ASSERT_EQ(Session().Mode(), TConnectionMode::LocalModules);
    report::TReportTree contents;
    Session().FillLiveContents(contents);
    ASSERT_EQ(contents.TopCount(), View().Tree().TopCount());
    for (size_t i = 0; i < contents.TopCount(); ++i) {
        const TTreeNode* top = contents.Top(i);
        const TTreeNode* category = View().Tree().Top(i);
        EXPECT_EQ(top->Text(), category->Text());
        EXPECT_EQ(top->ImageCode(), category->ImageCode());
        EXPECT_EQ(top->StateIndex(), report::kContentsChecked);
        ASSERT_EQ(top->ChildCount(), category->ChildCount()) << top->Text();
        for (size_t c = 0; c < top->ChildCount(); ++c) {
            const report::TReportInfo* info = top->Child(c)->ReportInfo();
            ASSERT_NE(info, nullptr);
            // The entries of a module can be fetched; "Basic information" has no module.
            EXPECT_EQ(info->SourceNode,
                      category->ImageCode() == 400 ? nullptr : category->Child(c));
        }
    }
    // One entry is left out by the user; every other is fetched before writing.
    TTreeNode* system = Category(402);
    TTreeNode* skipped = nullptr;
    for (size_t c = 0; c < system->ChildCount() && skipped == nullptr; ++c)
        if (system->Child(c)->ChildCount() == 0)
            skipped = system->Child(c);
    ASSERT_NE(skipped, nullptr);
    TTreeNode* systemContents = contents.Top(2);
    systemContents->SetStateIndex(report::kContentsPartlyChecked);
    systemContents->Child(skipped->Index())->SetStateIndex(2);

    std::vector<std::string> shown;
    ASSERT_TRUE(Session().GatherLiveData(
        contents, [&](const QString& key) { shown.push_back(key.toStdString()); }));
    EXPECT_EQ(Messages_.Take(), std::vector<std::string>{});
    EXPECT_FALSE(shown.empty());
    EXPECT_EQ(skipped->ChildCount(), 0u) << "an entry left out is not fetched";
    for (int32_t code : {401, 402}) {
        const TTreeNode* category = Category(code);
        const int module = code == 401 ? Session().HardwareModule() : Session().SystemModule();
        for (size_t c = 0; c < category->ChildCount(); ++c) {
            const TTreeNode* entry = category->Child(c);
            if (entry == skipped)
                continue;
            const ui::TAddRootInfo* info = Session().RootInfo(module, c);
            EXPECT_TRUE(entry->ChildCount() > 0 || info->Kind == 3 || info->Kind == 1)
                << entry->Text();
            const TTreeNode* item = contents.Top(code == 401 ? 1 : 2)->Child(c);
            EXPECT_EQ(item->ReportInfo()->Subtree, entry->FirstChild()) << entry->Text();
        }
    }

    // The writers follow the contents into the live tree.
    const std::string xml = exporting::RenderXml(contents, true);
    EXPECT_NE(xml.find("Name=\"" + Category(401)->Child(0)->FirstChild()->Text() + "\""),
              std::string::npos);
    EXPECT_EQ(xml.find("Name=\"" + skipped->Text() + "\""), std::string::npos);
}

TEST_F(SysInfoSession, DebugModeAsksTheSourcesAgain) {
    // In process: the session is built anew with the flag.
    PressSysInfo();
    ASSERT_EQ(Session().Mode(), TConnectionMode::LocalModules);
    Category(401)->Child(0)->SetText("stale");
    Form_->UpdatePopupMenu();
    QAction* debug = Form_->PopupMenu().findChild<QAction*>("PMI_DebugMode");
    ASSERT_NE(debug, nullptr);
    EXPECT_TRUE(debug->isVisible());
    ASSERT_TRUE(debug->isEnabled());
    debug->trigger();
    EXPECT_TRUE(debug->isChecked());
    EXPECT_TRUE(Session().DebugMode());
    EXPECT_EQ(Session().Mode(), TConnectionMode::LocalModules);
    EXPECT_NE(Category(401)->Child(0)->Text(), "stale");
    EXPECT_EQ(TopCodes(), (std::vector<int32_t>{400, 401, 402}));
    debug->trigger();
    EXPECT_FALSE(Session().DebugMode());

    // Through the agent only the hardware devices are read again.
    Button("ImageButtonConnect").click();
    StartAgent();
    Button("ImageButtonConnect").click();
    ASSERT_EQ(Session().Mode(), TConnectionMode::LocalAgent);
    Category(401)->Child(0)->SetText("stale");
    Category(402)->Child(0)->SetText("kept");
    Form_->UpdatePopupMenu();
    debug->trigger();
    EXPECT_EQ(Messages_.Take(), std::vector<std::string>{});
    EXPECT_NE(Category(401)->Child(0)->Text(), "stale");
    EXPECT_EQ(Category(402)->Child(0)->Text(), "kept");
    EXPECT_EQ(View().Selected(), Category(401));
    EXPECT_EQ(View().Model().rowCount(View().Model().IndexOf(Category(401))),
              static_cast<int>(Category(401)->ChildCount()));

    // Without a session there is nothing to ask.
    Button("ImageButtonConnect").click();
    Form_->UpdatePopupMenu();
    EXPECT_FALSE(debug->isEnabled());
}

// The agent as an installed service that has stopped: the platform says so, and starting the
// service starts the real agent program.
class TStoppedServicePlatform : public ostero::testing::TForwardingPlatform {
public:
    using TForwardingPlatform::TForwardingPlatform;
    bool IsAdministrator() override { return true; }
    platform::TServiceState ServiceState(const std::string& name) override {
        Asked.push_back(name);
        return Running ? platform::TServiceState::Running : platform::TServiceState::Stopped;
    }
    bool StartService(const std::string& name) override {
        Started.push_back(name);
        if (Start)
            Start();
        Running = true;
        return true;
    }
    bool Running = false;
    std::function<void()> Start;
    std::vector<std::string> Asked;
    std::vector<std::string> Started;
};

TEST_F(SysInfoSession, AStoppedAgentServiceIsOfferedARestartElseTheModulesTakeOver) {
    struct TCase {
        bool Restart;
        TConnectionMode After;
    };
    for (const TCase c :
         {TCase{true, TConnectionMode::LocalAgent}, TCase{false, TConnectionMode::LocalModules}}) {
        SCOPED_TRACE(c.Restart ? "restart" : "modules");
        UseTimeout(300);
        StartAgent();
        PressSysInfo();
        ASSERT_EQ(Session().Mode(), TConnectionMode::LocalAgent);
        TStoppedServicePlatform stopped(platform::Platform());
        stopped.Start = [this] { StartAgent(); };
        platform::TPlatform* previous = platform::SetPlatform(&stopped);
        struct TRestore {
            platform::TPlatform* Previous;
            ~TRestore() { platform::SetPlatform(Previous); }
        } restore{previous};

        // The agent dies; the next fetch fails.
        StopAgent(SIGKILL);
        Messages_.Answers.push_back(c.Restart);
        TTreeNode* entry = FetchableEntry(Category(402), Session().SystemModule());
        ASSERT_NE(entry, nullptr);
        Open(entry);
        EXPECT_EQ(Messages_.Take(),
                  (std::vector<std::string>{
                      "E: " + sources::QueryErrorText(sources::kQueryAgentTimeout),
                      "Q: The service Taveric Vigant has stopped working. Restart the service?"}));
        EXPECT_EQ(stopped.Asked, std::vector<std::string>{"VIGANT"});
        EXPECT_TRUE(View().Tree().Empty());
        EXPECT_EQ(Session().Mode(), TConnectionMode::None);
        if (c.Restart) {
            EXPECT_EQ(Form_->StatusText().toStdString(), "Starting service 'Taveric Vigant'...");
        }
        EXPECT_EQ(stopped.Started,
                  c.Restart ? std::vector<std::string>{"VIGANT"} : std::vector<std::string>{});

        // The new connect follows once the failure has unwound.
        QTRY_COMPARE_WITH_TIMEOUT(Session().Mode(), c.After, 8000);
        EXPECT_EQ(Messages_.Take(), std::vector<std::string>{});
        EXPECT_FALSE(View().Tree().Empty());
        Button("ImageButtonConnect").click();
        StopAgent(SIGKILL);
        platform::RemoveSharedBlock(sources::kAgentBlockName);
    }
}

TEST_F(SysInfoSession, ConfigurationOpensTheAgentsDialogOnlyForTheAgentsEntries) {
    // The recording dialog library is found through PATH, as an installed one would be.
    const char* libs = std::getenv("OSTERO_TESTLIB_DIR");
    ASSERT_NE(libs, nullptr);
    const std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    const std::string log = Path("dialogs.log");
    ::setenv("PATH",
             ((std::filesystem::path(libs) / "full" / "Shared").string() + ":" + oldPath).c_str(),
             1);
    ::setenv("OSTERO_TESTLIB_LOG", log.c_str(), 1);
    struct TRestore {
        std::string Path;
        ~TRestore() {
            ::setenv("PATH", Path.c_str(), 1);
            ::unsetenv("OSTERO_TESTLIB_LOG");
        }
    } restore{oldPath};
    UseTimeout(400);
    ASSERT_TRUE(Form_->OptionsAvailable());
    const auto logged = [&] {
        std::ifstream in(log);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);)
            lines.push_back(line.substr(0, line.find('|')) + "|" +
                            line.substr(line.rfind('|') + 1));
        return lines;
    };

    // The modules inside the program have nothing to configure.
    PressSysInfo();
    ASSERT_EQ(Session().Mode(), TConnectionMode::LocalModules);
    View().SetSelected(Category(401));
    EXPECT_FALSE(Button("ImageButtonSysInfoConfig").isEnabled());

    Button("ImageButtonConnect").click();
    StartAgent();
    Button("ImageButtonConnect").click();
    ASSERT_EQ(Session().Mode(), TConnectionMode::LocalAgent);
    struct TCase {
        int32_t Category;
        bool Enabled;
    };
    for (const TCase c : {TCase{400, true}, TCase{401, true}, TCase{402, true}, TCase{406, true}}) {
        SCOPED_TRACE(c.Category);
        View().SetSelected(Category(c.Category));
        EXPECT_EQ(Button("ImageButtonSysInfoConfig").isEnabled(), c.Enabled);
    }
    // A live entry's updates pause while the dialog is open and go on afterwards.
    Open(Category(406));
    ASSERT_TRUE(Session().UpdateTimer().isActive());
    Button("ImageButtonSysInfoConfig").click();
    EXPECT_EQ(logged(), std::vector<std::string>{"ShowSharedMemConfigDialog|400"});
    EXPECT_TRUE(Session().UpdateTimer().isActive());
    EXPECT_EQ(Messages_.Take(), std::vector<std::string>{});

    // Without a session the button is off.
    Button("ImageButtonConnect").click();
    EXPECT_FALSE(Button("ImageButtonSysInfoConfig").isEnabled());
}

TEST_F(SysInfoSession, EntryKindsDecideWhatIsFetchedSortedAndShownAsEmpty) {
    const char* libs = std::getenv("OSTERO_TESTLIB_DIR");
    ASSERT_NE(libs, nullptr);
    ::setenv("OSTERO_TESTLIB_MODE", "kinds", 1);
    struct TRestore {
        ~TRestore() { ::unsetenv("OSTERO_TESTLIB_MODE"); }
    } restore;
    // A hardware module whose entries are one of each kind, and no operating-system module.
    Form_->SysInfoSession().SetProgramFolder(std::string(libs) + "/infomodule/Ostero/");
    Form_->show();
    Session().DisconnectSession();
    Button("ImageButtonSysInfo").click();
    ASSERT_EQ(Session().Mode(), TConnectionMode::LocalModules);
    TTreeNode* hardware = Category(401);
    ASSERT_EQ(ChildTexts(hardware),
              (std::vector<std::string>{"Live sorted", "Known empty", "Yields nothing",
                                        "Again on demand"}));
    View().TreeView().expand(View().Model().IndexOf(hardware));
    const auto kind = [&](size_t position) {
        return Session().RootInfo(Session().HardwareModule(), position)->Kind;
    };

    // 258: live, and its lines sorted by the rank of their pictures.
    TTreeNode* live = hardware->Child(0);
    Open(live);
    EXPECT_EQ(ChildTexts(live), (std::vector<std::string>{"Mainboard", "Processor", "Unknown"}));
    EXPECT_EQ(kind(0), 2);
    EXPECT_TRUE(Session().RootInfo(Session().HardwareModule(), 0)->Sorted);
    EXPECT_TRUE(Session().UpdateTimer().isActive());

    // 3: known to be empty, never asked, and said so.
    TTreeNode* empty = hardware->Child(1);
    View().SetSelected(empty);
    EXPECT_FALSE(Session().UpdateTimer().isActive());
    EXPECT_EQ(Form_->StatusText().toStdString(), "Known empty: No information available");
    EXPECT_FALSE(Session().LoadEntryOnDemand());

    // 0 that yields nothing becomes 3; 1 stays 1, so it is asked again next time.
    struct TCase {
        size_t Position;
        int KindAfter;
    };
    for (const TCase c : {TCase{2, 3}, TCase{3, 1}}) {
        TTreeNode* entry = hardware->Child(c.Position);
        SCOPED_TRACE(entry->Text());
        Open(entry);
        EXPECT_EQ(entry->ChildCount(), 0u);
        EXPECT_EQ(kind(c.Position), c.KindAfter);
        EXPECT_EQ(Form_->StatusText().toStdString(), entry->Text() + ": No information available");
        View().SetSelected(hardware);
        View().SetSelected(entry);
        EXPECT_EQ(Session().LoadEntryOnDemand(), c.KindAfter == 1);
    }
    EXPECT_EQ(Messages_.Take(), std::vector<std::string>{});
}

TEST_F(SysInfoSession, AnAnswerThatIsNoEntryLineIsShownAndTheEntryMayBeAskedAgain) {
    // The agent's hardware module fails in the middle of an entry: the agent answers with the
    // module's error text instead of an entry line.
    const char* libs = std::getenv("OSTERO_TESTLIB_DIR");
    ASSERT_NE(libs, nullptr);
    const std::filesystem::path shared = Root_ / "agent-shared";
    std::filesystem::create_directories(shared);
    std::filesystem::create_symlink(std::filesystem::path(libs) / "infomodule" / "Shared" /
                                        "DevSurvey.so",
                                    shared / "DevSurvey.so");
    ::setenv("OSTERO_TESTLIB_MODE", "sub-error", 1);
    StartAgent(shared.string());
    ::unsetenv("OSTERO_TESTLIB_MODE");
    PressSysInfo();
    ASSERT_EQ(Session().Mode(), TConnectionMode::LocalAgent);
    ASSERT_EQ(Messages_.Take(), std::vector<std::string>{});
    TTreeNode* entry = Category(401)->Child(0);
    ASSERT_NE(entry, nullptr);
    Open(entry);
    EXPECT_EQ(Messages_.Take(),
              std::vector<std::string>{
                  "E: Illegal answer received: Error 99 in DevSurvey: Test module error 99"});
    EXPECT_EQ(Session().Mode(), TConnectionMode::LocalAgent);
    EXPECT_NE(Session().RootInfo(Session().HardwareModule(), entry->Index())->Kind, 3);
}

TEST_F(SysInfoSession, AnAgentWithoutItsOperatingSystemModuleLeavesThatCategoryOut) {
    // The agent finds the hardware module only; it answers "Please retry!" for the other.
    const std::filesystem::path shared = Root_ / "agent-shared";
    std::filesystem::create_directories(shared);
    std::filesystem::create_symlink(std::filesystem::path(Stage_) / "Shared" / "DevSurvey.so",
                                    shared / "DevSurvey.so");
    StartAgent(shared.string());
    PressSysInfo();
    ASSERT_EQ(Session().Mode(), TConnectionMode::LocalAgent);
    EXPECT_EQ(Messages_.Take(), std::vector<std::string>{});
    EXPECT_EQ(TopCodes(), (std::vector<int32_t>{400, 401, 406}));
    EXPECT_LT(Session().SystemModule(), 0);
    EXPECT_GE(Session().HardwareModule(), 0);
    EXPECT_GT(Category(401)->ChildCount(), 0u);
}

TEST_F(SysInfoSession, AfterALiveComparisonTheNextConnectReachesAnAgentStartedMeanwhile) {
    StartAgent();
    PressSysInfo();
    ASSERT_EQ(Session().Mode(), TConnectionMode::LocalAgent);
    ASSERT_TRUE(Session().CollectLiveTree());
    Session().EndSessionKeepTree();
    EXPECT_FALSE(View().Tree().Empty()) << "the tree stays for the comparison";
    EXPECT_EQ(Session().Mode(), TConnectionMode::None);

    // The agent is replaced before the user connects again.
    StopAgent(SIGKILL);
    platform::RemoveSharedBlock(sources::kAgentBlockName);
    StartAgent();
    Button("ImageButtonSysInfo").click();
    EXPECT_EQ(Messages_.Take(), std::vector<std::string>{});
    EXPECT_EQ(Session().Mode(), TConnectionMode::LocalAgent);
    EXPECT_EQ(TopCodes(), (std::vector<int32_t>{400, 401, 402, 406}));
}

} // namespace
