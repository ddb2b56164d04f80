// The system information page with this computer: the session through the modules inside the
// program and through the real agent process, fetching root entries on demand, the sensors and
// their refresh, failed queries and the end of the session.
#include "FormMainTest.h"

#include "app/Startup.h"
#include "report/ReportFile.h"
#include "sources/AgentChannel.h"
#include "sources/AgentProtocol.h"
#include "sources/InfoModule.h"
#include "support/platform/Ipc.h"
#include "support/platform/Platform.h"
#include "ui/report/ExtTreeView.h"
#include "ui/shell/SysInfoSession.h"

#include <QTest>
#include <QToolButton>

#include <signal.h>
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

    void StartAgent() {
        const std::string agent = Stage_ + "/Vigant/vigantd";
        ASSERT_TRUE(std::filesystem::exists(agent)) << agent;
        Pid_ = ::fork();
        if (Pid_ == 0) {
            ::execl(agent.c_str(), agent.c_str(), static_cast<char*>(nullptr));
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
    // The first root entry of `category` that is not known to be empty.
    TTreeNode* FetchableEntry(TTreeNode* category, int module) {
        for (size_t i = 0; category != nullptr && i < category->ChildCount(); ++i) {
            const ui::TAddRootInfo* info = Session().RootInfo(module, i);
            if (info != nullptr && info->Kind != 3)
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
    void PressSysInfo() {
        Form_->show();
        Button("ImageButtonSysInfo").click();
    }

    std::string Stage_;
    pid_t Pid_ = -1;
};

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
        PressSysInfo();
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

    // Another viewer shut the hardware module down in the agent: the agent's answer is no
    // entry line. The message names it, the session stays and the entry may be asked again.
    TTreeNode* entry = FetchableEntry(Category(401), Session().HardwareModule());
    ASSERT_NE(entry, nullptr);
    const std::string number = std::to_string(Session().HardwareModule());
    std::string answer;
    ASSERT_EQ(sources::SourceQueryLocked("DESTROYDLL:" + number, 1000, true, answer),
              sources::kQueryOk);
    Open(entry);
    EXPECT_EQ(Messages_.Take(), std::vector<std::string>{"E: Illegal answer received: Module " +
                                                         number + " is not initialised"});
    EXPECT_EQ(Session().Mode(), TConnectionMode::LocalAgent);
    EXPECT_EQ(entry->ChildCount(), 0u);
    EXPECT_NE(Session().RootInfo(Session().HardwareModule(), entry->Index())->Kind, 3);

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

} // namespace
