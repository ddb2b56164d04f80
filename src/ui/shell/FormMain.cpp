#include "ui/shell/FormMain.h"

#include "chart/ChartPainter.h"
#include "pictures/Pictures.h"
#include "report/ReportFile.h"
#include "report/TreeSearch.h"
#include "sources/DialogLibrary.h"
#include "support/SysUtils.h"
#include "support/platform/Platform.h"
#include "ui/report/ExtTreeView.h"
#include "ui/shell/FormSearch.h"
#include "ui/shell/HelpRouting.h"
#include "ui/shell/ImageButton.h"
#include "ui/shell/QtBridge.h"
#include "ui/shell/SearchResultItem.h"
#include "ui/shell/SearchThread.h"
#include "ui/shell/SysInfoSession.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QDateTimeEdit>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShortcut>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <functional>

namespace fs = std::filesystem;

namespace ostero::ui {

namespace {

// A toolbar whose background runs from the button highlight colour down to the button shadow,
// one row at a time; `Overlay` draws on top (the connection picture). The toolbar shows exactly
// while one of its buttons does.
class TGradientPanel : public QWidget {
public:
    explicit TGradientPanel(QWidget* parent) : QWidget(parent) {}
    std::function<void(QPainter&)> Overlay;

protected:
    void childEvent(QChildEvent* event) override {
        // Added while still being made, so not yet known as a button.
        if (event->added() && event->child()->isWidgetType())
            event->child()->installEventFilter(this);
        QWidget::childEvent(event);
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if ((event->type() == QEvent::ShowToParent || event->type() == QEvent::HideToParent) &&
            qobject_cast<QAbstractButton*>(watched) != nullptr) {
            bool any = false;
            for (const QAbstractButton* button :
                 findChildren<QAbstractButton*>(Qt::FindDirectChildrenOnly))
                any |= !button->isHidden();
            setVisible(any);
        }
        return QWidget::eventFilter(watched, event);
    }
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const QColor from = palette().color(QPalette::Light);
        const QColor to = palette().color(QPalette::Dark);
        const int h = height();
        // Rows 0..h: the blend reaches the shadow colour exactly one row below the panel.
        for (int row = 0; row <= h; ++row) {
            const double t = h > 0 ? static_cast<double>(row) / h : 0.0;
            const auto blend = [t](int a, int b) {
                return static_cast<int>(std::nearbyint(a + (b - a) * t)); // halves to even
            };
            painter.fillRect(0, row, width(), 1,
                             QColor(blend(from.red(), to.red()), blend(from.green(), to.green()),
                                    blend(from.blue(), to.blue())));
        }
        if (Overlay)
            Overlay(painter);
    }
};

// The menu band lays its controls out itself: again whenever it is resized or one of them is
// shown or hidden. Its own alignment waits while a layout runs.
class TMenuBand : public QWidget {
public:
    explicit TMenuBand(QWidget* parent) : QWidget(parent) {}
    std::function<void()> Layout;

protected:
    void resizeEvent(QResizeEvent*) override { Relayout(); }
    void childEvent(QChildEvent* event) override {
        if (event->added() && event->child()->isWidgetType())
            event->child()->installEventFilter(this);
        QWidget::childEvent(event);
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::ShowToParent || event->type() == QEvent::HideToParent)
            Relayout();
        return QWidget::eventFilter(watched, event);
    }

private:
    void Relayout() {
        if (!Layout || LayingOut_)
            return;
        LayingOut_ = true;
        Layout();
        LayingOut_ = false;
    }
    bool LayingOut_ = false;
};

// The black top of the menu band, its picture centred: left = (width - picture width) / 2,
// rounded toward zero.
class TMenuTop : public QWidget {
public:
    explicit TMenuTop(QWidget* parent) : QWidget(parent), ImageTop(new QLabel(this)) {
        ImageTop->setObjectName("ImageTop");
        ImageTop->setPixmap(QPixmap::fromImage(pictures::MenuTopImage()));
        ImageTop->resize(ImageTop->pixmap().size());
    }

protected:
    void resizeEvent(QResizeEvent*) override {
        ImageTop->move((width() - ImageTop->width()) / 2, 0);
    }

private:
    QLabel* ImageTop;
};

// The 16-pixel picture of a toolbar button: an icon-list entry where one fits, else a
// toolbar picture of its own.
QImage ToolButtonPicture(const QString& name) {
    static const std::pair<const char*, int> kIcons[] = {
        {"ImageButtonOpenReport", 38},    // Document
        {"ImageButtonSearch", 17},        // Ident: a magnifier
        {"ImageButtonConnect", 28},       // two screens talking
        {"ImageButtonSysInfoConfig", 33}, // Tools
        {"ImageButtonSysInfoPower", 81},  // Power
        {"ImageButtonRemoteDesktop", 71}, // Monitor
    };
    static const std::pair<const char*, int> kTools[] = {
        {"ImageButtonReportSave", pictures::tiSave},
        {"ImageButtonSysInfoSave", pictures::tiSave},
        {"ImageButtonReportCompare", pictures::tiCompare},
        {"ImageButtonSysInfoCompare", pictures::tiCompare},
        {"ImageButtonSysInfoCloseCompare", pictures::tiCloseCompare},
        {"ImageButtonSearchNext", pictures::tiFindNext},
        {"ImageButtonPreviousDiff", pictures::tiPrevious},
        {"ImageButtonSysInfoPreviousDiff", pictures::tiPrevious},
        {"ImageButtonNextDiff", pictures::tiNext},
        {"ImageButtonSysInfoNextDiff", pictures::tiNext},
    };
    for (const auto& [button, icon] : kIcons)
        if (name == QLatin1String(button))
            return pictures::IconImage(icon);
    for (const auto& [button, tool] : kTools)
        if (name == QLatin1String(button))
            return pictures::ToolImage(tool);
    return {};
}

QToolButton* MakeToolButton(QWidget* parent, const char* name) {
    auto* button = new TImageButton(parent);
    button->setObjectName(name);
    // Flat on the toolbar's own gradient: the face shows under the pointer and when pressed.
    button->setAutoRaise(true);
    button->SetColor(parent->palette().color(QPalette::Light));
    button->SetGradientColor(parent->palette().color(QPalette::Dark));
    button->SetMargin(4);
    button->SetAutoWidth(true);
    button->SetPicture(ToolButtonPicture(name));
    return button;
}

QToolButton* MakeMenuButton(QWidget* parent, const char* name, int picture,
                            int disabledPicture = -1) {
    auto* button = new TImageButton(parent);
    button->setObjectName(name);
    button->setFixedHeight(40);
    // Bold Arial 12 pixels high (Liberation Sans stands in where Arial is missing).
    QFont bold(QStringLiteral("Arial"));
    bold.setPixelSize(12);
    bold.setBold(true);
    button->setFont(bold);
    button->SetColor(QColor(128, 128, 128));
    button->SetGradientColor(QColor(32, 32, 32));
    button->SetMargin(6);
    button->SetPicture(pictures::MenuImage(picture));
    button->SetDisabledPicture(pictures::MenuImage(disabledPicture));
    return button;
}

QString ReportFilter() {
    return QCoreApplication::translate("TFormMain", "Taveric Report (*.trp)") + ";;" +
           QCoreApplication::translate("TFormMain", "Sobrane Report (*.srp)") + ";;" +
           QCoreApplication::translate("TFormMain", "All Files (*)");
}

QString FileNameOnly(const std::string& path) {
    return QFileInfo(FromPath(path)).fileName();
}

} // namespace

TFormMain::TFormMain(std::vector<std::string> args, std::string helpFile,
                     support::TLanguageModuleLoader& languageLoader, QWidget* parent)
    : QMainWindow(parent), Args_(std::move(args)), LanguageLoader_(languageLoader) {
    setObjectName("FormMain");
    setProperty(kHelpContextProperty, kHelpMainWindow);
    Settings_.HelpFile = std::move(helpFile);
    setWindowTitle(ProgramTitle());
    setMinimumSize(200, 130);
    // The design size, which the menu band and the two columns of the views are made for.
    resize(821, 546);
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(12);
    setFont(font);
    setAcceptDrops(true);

    BoxSink_ = std::make_unique<TMessageBoxSink>(this);
    Sink_ = BoxSink_.get();
    OpenFileDialog_ = [](QWidget* owner, const QString& folder, const QString& filter) {
        QFileDialog dialog(owner, QString(), folder, filter);
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setDefaultSuffix("trp");
        return dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()
                   ? dialog.selectedFiles().front()
                   : QString();
    };
    FolderDialog_ = [](QWidget* owner, const QString& prompt, const QString& start) {
        return QFileDialog::getExistingDirectory(owner, prompt, start);
    };
    SearchDialog_ = [](QWidget* owner, TSearchRequest& request) {
        TFormSearch dialog(owner);
        if (dialog.exec() != QDialog::Accepted)
            return false;
        request.Kind = dialog.Kind();
        request.Text = dialog.Text();
        return true;
    };

    auto* central = new QSplitter(Qt::Horizontal, this);
    central->setObjectName("Splitter1");
    central->setHandleWidth(5);
    setCentralWidget(central);
    CreateMenuBand();
    central->addWidget(PanelMenu_);
    PageControl_ = new QStackedWidget(central);
    PageControl_->setObjectName("PageControl");
    central->addWidget(PageControl_);
    central->setStretchFactor(1, 1);
    central->setSizes({175, 820});
    CreatePopupMenu();
    CreateReportPage();
    CreateSysInfoPage();
    CreateSearchPage();
    CreateTestsPage();

    StatusPanel0_ = new QLabel(this);
    StatusPanel0_->setObjectName("StatusPanel0");
    StatusPanel1_ = new QLabel(this);
    StatusPanel1_->setObjectName("StatusPanel1");
    StatusPanel1_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    statusBar()->addWidget(StatusPanel0_, 1);
    statusBar()->addPermanentWidget(StatusPanel1_);

    RetranslateUi();
    ActivatePage(TPage::Report);

    // Settings start from their defaults, then the registry; then variant and title.
    Settings_.RemotePort = 2027;
    Settings_.QueryTimeout = 5000;
    ReadSettings(true);
    ConfigureMainWindow();
}

TFormMain::~TFormMain() {
    // A running scan must not outlive the list it reports to.
    if (SearchThread_ != nullptr) {
        SearchThread_->disconnect(this);
        SearchThread_->requestInterruption();
        SearchThread_->wait();
    }
}

void TFormMain::CreateMenuBand() {
    auto* band = new TMenuBand(this);
    PanelMenu_ = band;
    PanelMenu_->setObjectName("PanelMenu");
    PanelMenu_->setMinimumWidth(165);
    PanelMenu_->setAutoFillBackground(true);
    QPalette palette = PanelMenu_->palette();
    palette.setColor(QPalette::Window, QColor(128, 128, 128));
    PanelMenu_->setPalette(palette);
    // Created in tab order, which is the order the layout stacks them in.
    auto* top = new TMenuTop(PanelMenu_);
    top->setObjectName("PanelMenuTop");
    top->setFixedHeight(62);
    top->setAutoFillBackground(true);
    QPalette black = top->palette();
    black.setColor(QPalette::Window, Qt::black);
    top->setPalette(black);

    using namespace pictures;
    ImageButtonReport_ = MakeMenuButton(PanelMenu_, "ImageButtonReport", miReport);
    ImageButtonSearchReports_ = MakeMenuButton(PanelMenu_, "ImageButtonSearchReports", miSearch);
    ImageButtonSysInfo_ = MakeMenuButton(PanelMenu_, "ImageButtonSysInfo", miSysInfo);
    ImageButtonTests_ = MakeMenuButton(PanelMenu_, "ImageButtonTests", miTests, miTestsDisabled);
    ImageButtonHelp_ = MakeMenuButton(PanelMenu_, "ImageButtonHelp", miHelp);
    ImageButtonOptions_ = MakeMenuButton(PanelMenu_, "ImageButtonOptions", miOptions);
    ImageButtonExit_ = MakeMenuButton(PanelMenu_, "ImageButtonExit", miExit);
    // The page buttons: the active page's one is down.
    for (QToolButton* button :
         {ImageButtonReport_, ImageButtonSearchReports_, ImageButtonSysInfo_, ImageButtonTests_})
        static_cast<TImageButton*>(button)->SetGroup(1);
    // Shown once the settings tell whether there is help and a dialog library.
    ImageButtonHelp_->hide();
    ImageButtonOptions_->hide();
    // The test launcher comes later.
    ImageButtonTests_->setEnabled(false);
    band->Layout = [this] { LayoutMenuBand(false); };
    LayoutMenuBand(false);

    connect(ImageButtonReport_, &QToolButton::clicked, this, [this] { ReportButtonClick(true); });
    connect(ImageButtonSearchReports_, &QToolButton::clicked, this, [this] {
        ActivatePage(TPage::Search);
        SetCaption({});
    });
    connect(ImageButtonSysInfo_, &QToolButton::clicked, this, [this] { SysInfoButtonClick(true); });
    connect(ImageButtonHelp_, &QToolButton::clicked, this, [this] { HelpButtonClick(); });
    auto* f1 = new QShortcut(QKeySequence::HelpContents, this);
    connect(f1, &QShortcut::activated, this, [this] {
        if (HelpAvailable_)
            HelpButtonClick();
    });
    connect(ImageButtonOptions_, &QToolButton::clicked, this, [this] { OptionsButtonClick(); });
    connect(ImageButtonExit_, &QToolButton::clicked, this, &QWidget::close);
}

void TFormMain::LayoutMenuBand(bool showPane) {
    // The device pane comes with the device list; until then every request lays the band out
    // without it.
    Q_UNUSED(showPane);

    // The band's controls in tab order, visible ones only, nested ones included (the pane's own
    // button is placed with the pane).
    std::vector<QWidget*> controls;
    for (QWidget* w = PanelMenu_->nextInFocusChain(); w != PanelMenu_; w = w->nextInFocusChain())
        if (PanelMenu_->isAncestorOf(w) && w->isVisibleTo(PanelMenu_))
            controls.push_back(w);
    const auto onBand = [this](QWidget* w) { return w->parentWidget() == PanelMenu_; };

    // Without the pane: stacked from the top, each as wide as the band.
    int top = 0;
    for (QWidget* control : controls) {
        if (!onBand(control))
            continue;
        control->setGeometry(0, top, PanelMenu_->width(), control->height());
        top += control->height();
    }
    PanelMenu_->setMinimumHeight(top);

    // The buttons lighten a step each from the top down.
    int brightness = 90;
    for (QWidget* control : controls) {
        auto* button = qobject_cast<TImageButton*>(control);
        if (button != nullptr && onBand(button)) {
            button->SetBrightness(brightness);
            brightness += 5;
        }
    }
}

void TFormMain::CreateReportPage() {
    TabSheetReport_ = new QWidget(PageControl_);
    TabSheetReport_->setObjectName("TabSheetReport");
    TabSheetReport_->setProperty(kHelpContextProperty, kHelpReportPage);
    auto* layout = new QVBoxLayout(TabSheetReport_);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    PanelReportTop_ = new TGradientPanel(TabSheetReport_);
    PanelReportTop_->setObjectName("PanelReportTop");
    PanelReportTop_->setFixedHeight(28);
    auto* bar = new QHBoxLayout(PanelReportTop_);
    bar->setContentsMargins(2, 0, 2, 0);
    bar->setSpacing(0);
    ImageButtonOpenReport_ = MakeToolButton(PanelReportTop_, "ImageButtonOpenReport");
    ImageButtonReportCompare_ = MakeToolButton(PanelReportTop_, "ImageButtonReportCompare");
    ImageButtonReportSave_ = MakeToolButton(PanelReportTop_, "ImageButtonReportSave");
    ImageButtonSearch_ = MakeToolButton(PanelReportTop_, "ImageButtonSearch");
    ImageButtonSearchNext_ = MakeToolButton(PanelReportTop_, "ImageButtonSearchNext");
    ImageButtonPreviousDiff_ = MakeToolButton(PanelReportTop_, "ImageButtonPreviousDiff");
    ImageButtonNextDiff_ = MakeToolButton(PanelReportTop_, "ImageButtonNextDiff");
    for (QToolButton* button : {ImageButtonOpenReport_, ImageButtonReportCompare_,
                                ImageButtonReportSave_, ImageButtonSearch_, ImageButtonSearchNext_,
                                ImageButtonPreviousDiff_, ImageButtonNextDiff_})
        bar->addWidget(button);
    bar->addStretch(1);
    ImageButtonReportCompare_->setEnabled(false);
    // Saving runs through the export wizard, which is not part of this build yet.
    ImageButtonReportSave_->setEnabled(false);
    ImageButtonSearch_->setEnabled(false);
    ImageButtonSearchNext_->setEnabled(false);
    ImageButtonPreviousDiff_->setEnabled(false);
    ImageButtonPreviousDiff_->hide();
    ImageButtonNextDiff_->setEnabled(false);
    ImageButtonNextDiff_->hide();
    layout->addWidget(PanelReportTop_);

    ExtTreeListReport_ = new TExtTreeView(TabSheetReport_);
    ExtTreeListReport_->setObjectName("ExtTreeListReport");
    PrepareView(*ExtTreeListReport_);
    layout->addWidget(ExtTreeListReport_, 1);
    PageControl_->addWidget(TabSheetReport_);
    connect(ExtTreeListReport_, &TExtTreeView::TreeViewChange, this, [this] { UpdatePopupMenu(); });

    connect(ImageButtonOpenReport_, &QToolButton::clicked, this, [this] {
        ActivatePage(TPage::Report);
        OpenReport();
    });
    connect(ImageButtonReportCompare_, &QToolButton::clicked, this, [this] { CompareReport(); });
    connect(ImageButtonSearch_, &QToolButton::clicked, this, [this] { FindText(); });
    connect(ImageButtonSearchNext_, &QToolButton::clicked, this, [this] { FindNext(); });
    connect(ImageButtonNextDiff_, &QToolButton::clicked, this, [this] { NextDiff(); });
    connect(ImageButtonPreviousDiff_, &QToolButton::clicked, this, [this] { PreviousDiff(); });
}

void TFormMain::PrepareView(TExtTreeView& view) {
    // The window's picture lists: the icons and state pictures of the picture library.
    view.SetImages(pictures::IconImage);
    view.SetStateImages(pictures::StateImage);
    // The shared context menu, whose shortcuts work while the view has the focus.
    for (QAction* action : PopupMenu_->actions())
        view.addAction(action);
    TMyTreeView& tree = view.TreeView();
    tree.setContextMenuPolicy(Qt::CustomContextMenu);
    connect(&tree, &QWidget::customContextMenuRequested, this, [this, &tree](const QPoint& at) {
        UpdatePopupMenu();
        PopupMenu_->exec(tree.viewport()->mapToGlobal(at));
    });
}

void TFormMain::CreateSysInfoPage() {
    TabSheetSysInfo_ = new QWidget(PageControl_);
    TabSheetSysInfo_->setObjectName("TabSheetSysInfo");
    TabSheetSysInfo_->setProperty(kHelpContextProperty, kHelpSysInfoPage);
    auto* layout = new QVBoxLayout(TabSheetSysInfo_);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* top = new TGradientPanel(TabSheetSysInfo_);
    top->setObjectName("PanelSysInfoTop");
    top->Overlay = [this, top](QPainter& painter) {
        if (Session_ != nullptr && Session_->Mode() == TConnectionMode::RemoteHost)
            painter.drawImage(top->width() - 30, 1,
                              pictures::MenuImage(Session_->ConnectionFrame() +
                                                  pictures::miConnectionFrame1 - 1));
    };
    top->setFixedHeight(28);
    auto* bar = new QHBoxLayout(top);
    bar->setContentsMargins(2, 0, 2, 0);
    bar->setSpacing(0);
    for (const char* name :
         {"ImageButtonConnect", "ImageButtonSysInfoSave", "ImageButtonSysInfoCompare",
          "ImageButtonSysInfoCloseCompare", "ImageButtonSysInfoConfig",
          "ImageButtonSysInfoPreviousDiff", "ImageButtonSysInfoNextDiff", "ImageButtonSysInfoPower",
          "ImageButtonRemoteDesktop"}) {
        QToolButton* button = MakeToolButton(top, name);
        button->setEnabled(false);
        bar->addWidget(button);
        SysInfoButtons_.push_back(button);
    }
    bar->addStretch(1);
    layout->addWidget(top);
    ImageButtonConnect_ = SysInfoButtons_[0];
    ImageButtonSysInfoSave_ = SysInfoButtons_[1];
    ImageButtonSysInfoCompare_ = SysInfoButtons_[2];
    ImageButtonSysInfoCloseCompare_ = SysInfoButtons_[3];
    ImageButtonSysInfoConfig_ = SysInfoButtons_[4];
    ImageButtonSysInfoPreviousDiff_ = SysInfoButtons_[5];
    ImageButtonSysInfoNextDiff_ = SysInfoButtons_[6];
    ImageButtonSysInfoPower_ = SysInfoButtons_[7];
    ImageButtonRemoteDesktop_ = SysInfoButtons_[8];
    // Connect shows in the remote variant only; the device pane shows power and remote desktop.
    for (QToolButton* button :
         {ImageButtonConnect_, ImageButtonSysInfoCloseCompare_, ImageButtonSysInfoPreviousDiff_,
          ImageButtonSysInfoNextDiff_, ImageButtonSysInfoPower_, ImageButtonRemoteDesktop_})
        button->setVisible(false);

    ExtTreeViewSysInfo_ = new TExtTreeView(TabSheetSysInfo_);
    ExtTreeViewSysInfo_->setObjectName("ExtTreeViewSysInfo");
    PrepareView(*ExtTreeViewSysInfo_);
    layout->addWidget(ExtTreeViewSysInfo_, 1);
    PageControl_->addWidget(TabSheetSysInfo_);

    TSysInfoSession::THooks hooks;
    hooks.Status = [this](const QString& text) { SetStatusText(text); };
    hooks.Error = [this](const support::TUserMessage& message) {
        ShowError(message.Format, message.Args);
    };
    hooks.ProcessEvents = [] { QApplication::processEvents(); };
    hooks.ConnectEnabled = [this](bool on) { ImageButtonConnect_->setEnabled(on); };
    hooks.ConfigEnabled = [this](bool on) {
        ImageButtonSysInfoConfig_->setEnabled(on && OptionsAvailable_);
    };
    hooks.Question = [this](const support::TUserMessage& message) {
        return Sink_->AskYesNo(message);
    };
    hooks.ConnectionPicture = [top](int) { top->repaint(); };
    Session_ = new TSysInfoSession(*ExtTreeViewSysInfo_, Settings_, std::move(hooks), this);
    connect(Session_, &TSysInfoSession::SessionChanged, this, [this] { SessionChanged(); });

    TMyTreeView& tree = ExtTreeViewSysInfo_->TreeView();
    connect(ExtTreeViewSysInfo_, &TExtTreeView::TreeViewChange, this,
            [this](report::TTreeNode* node) {
                if (!Session_->Busy())
                    Session_->NodeSelected(node);
                UpdatePopupMenu();
            });
    // A click on an entry without lines yet, or on no entry, fetches it.
    connect(ExtTreeViewSysInfo_, &TExtTreeView::TreeViewClick, this, [this] {
        const report::TTreeNode* node = ExtTreeViewSysInfo_->Selected();
        if (node == nullptr || node->ChildCount() == 0)
            Session_->LoadEntryOnDemand();
    });
    connect(&tree, &QTreeView::expanded, this, [this](const QModelIndex& index) {
        report::TTreeNode* node = ExtTreeViewSysInfo_->Model().Node(index);
        if (node != nullptr && node == ExtTreeViewSysInfo_->Selected())
            Session_->NodeExpanded(node, true);
    });
    connect(&tree, &QTreeView::collapsed, this, [this](const QModelIndex& index) {
        report::TTreeNode* node = ExtTreeViewSysInfo_->Model().Node(index);
        if (node != nullptr && node == ExtTreeViewSysInfo_->Selected())
            Session_->NodeExpanded(node, false);
    });
    tree.installEventFilter(this);
    connect(ImageButtonConnect_, &QToolButton::clicked, this, [this] { ConnectButtonClick(); });
    connect(ImageButtonSysInfoCompare_, &QToolButton::clicked, this, [this] { LiveCompare(); });
    connect(ImageButtonSysInfoCloseCompare_, &QToolButton::clicked, this, [this] {
        EndLiveCompare();
        SysInfoButtonClick(false);
    });
    connect(ImageButtonSysInfoConfig_, &QToolButton::clicked, this,
            [this] { ConfigButtonClick(); });
    connect(ImageButtonSysInfoNextDiff_, &QToolButton::clicked, this, [this] { NextDiff(); });
    connect(ImageButtonSysInfoPreviousDiff_, &QToolButton::clicked, this,
            [this] { PreviousDiff(); });
}

bool TFormMain::eventFilter(QObject* watched, QEvent* event) {
    // The Right arrow on a root entry fetches it; a key that fetched goes no further.
    if (ExtTreeViewSysInfo_ != nullptr && watched == &ExtTreeViewSysInfo_->TreeView() &&
        event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Right &&
        static_cast<QKeyEvent*>(event)->modifiers() == Qt::NoModifier)
        return Session_->LoadEntryOnDemand();
    return QMainWindow::eventFilter(watched, event);
}

void TFormMain::CreateTestsPage() {
    TabSheetTests_ = new QWidget(PageControl_);
    TabSheetTests_->setObjectName("TabSheetTests");
    PageControl_->addWidget(TabSheetTests_);
}

void TFormMain::CreateSearchPage() {
    TabSheetSearch_ = new QWidget(PageControl_);
    TabSheetSearch_->setObjectName("TabSheetSearch");
    TabSheetSearch_->setProperty(kHelpContextProperty, kHelpSearchPage);
    auto* grid = new QGridLayout(TabSheetSearch_);
    Label1_ = new QLabel(TabSheetSearch_);
    Label1_->setObjectName("Label1");
    auto* directory = new QWidget(TabSheetSearch_);
    directory->setObjectName("PanelSearchDirectory");
    auto* directoryLayout = new QHBoxLayout(directory);
    directoryLayout->setContentsMargins(0, 0, 0, 0);
    EditSearchDirectory_ = new QLineEdit(directory);
    EditSearchDirectory_->setObjectName("EditSearchDirectory");
    BtnFolderSelection_ = new QPushButton("...", directory);
    BtnFolderSelection_->setObjectName("BtnFolderSelection");
    directoryLayout->addWidget(EditSearchDirectory_, 1);
    directoryLayout->addWidget(BtnFolderSelection_);
    ButtonSearchStart_ = new QPushButton(TabSheetSearch_);
    ButtonSearchStart_->setObjectName("ButtonSearchStart");
    ButtonSearchStart_->setEnabled(false);
    RBText_ = new QRadioButton(TabSheetSearch_);
    RBText_->setObjectName("RBText");
    RBText_->setChecked(true);
    EditText_ = new QLineEdit(TabSheetSearch_);
    EditText_->setObjectName("EditText");
    RBErrors_ = new QRadioButton(TabSheetSearch_);
    RBErrors_->setObjectName("RBErrors");
    RBWarnings_ = new QRadioButton(TabSheetSearch_);
    RBWarnings_->setObjectName("RBWarnings");
    CheckBoxDateRange_ = new QCheckBox(TabSheetSearch_);
    CheckBoxDateRange_->setObjectName("CheckBoxDateRange");
    auto* dates = new QWidget(TabSheetSearch_);
    dates->setObjectName("PanelDate");
    auto* datesLayout = new QHBoxLayout(dates);
    datesLayout->setContentsMargins(0, 0, 0, 0);
    LabelStart_ = new QLabel(dates);
    LabelEnd_ = new QLabel(dates);
    const QDateTime now = QDateTime::currentDateTime();
    DateTimePickerStart_ = new QDateTimeEdit(now.addDays(-1), dates);
    DateTimePickerStart_->setObjectName("DateTimePickerStart");
    DateTimePickerStart_->setCalendarPopup(true);
    DateTimePickerEnd_ = new QDateTimeEdit(now, dates);
    DateTimePickerEnd_->setObjectName("DateTimePickerEnd");
    DateTimePickerEnd_->setCalendarPopup(true);
    datesLayout->addWidget(LabelStart_);
    datesLayout->addWidget(DateTimePickerStart_);
    datesLayout->addWidget(LabelEnd_);
    datesLayout->addWidget(DateTimePickerEnd_);
    datesLayout->addStretch(1);
    dates->setEnabled(false);
    ListViewReports_ = new QTreeWidget(TabSheetSearch_);
    ListViewReports_->setObjectName("ListViewReports");
    ListViewReports_->setColumnCount(2);
    ListViewReports_->setRootIsDecorated(false);
    ListViewReports_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ListViewReports_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListViewReports_->header()->setStretchLastSection(false);
    ListViewReports_->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    ListViewReports_->header()->resizeSection(1, 163);
    ListViewReports_->header()->setSectionsClickable(true);
    ListViewReports_->header()->setSortIndicatorShown(true);
    // The first column is marked as sorted while the list is still empty.
    ListViewReports_->header()->setSortIndicator(0, Qt::DescendingOrder);

    grid->addWidget(Label1_, 0, 0);
    grid->addWidget(directory, 0, 1);
    grid->addWidget(ButtonSearchStart_, 0, 2);
    grid->addWidget(RBText_, 1, 0);
    grid->addWidget(EditText_, 1, 1);
    grid->addWidget(RBErrors_, 2, 0, 1, 2);
    grid->addWidget(RBWarnings_, 3, 0, 1, 2);
    grid->addWidget(CheckBoxDateRange_, 4, 0);
    grid->addWidget(dates, 4, 1, 1, 2);
    grid->addWidget(ListViewReports_, 5, 0, 1, 3);
    grid->setRowStretch(5, 1);
    grid->setColumnStretch(1, 1);
    PageControl_->addWidget(TabSheetSearch_);

    PopupMenuSearchResults_ = new QMenu(this);
    PopupMenuSearchResults_->setObjectName("PopupMenuSearchResults");
    PMI_Search_Open_ = PopupMenuSearchResults_->addAction(QString());
    PMI_Search_Open_->setObjectName("PMI_Search_Open");
    PopupMenuSearchResults_->addSeparator();
    PMI_Search_SelectAll_ = PopupMenuSearchResults_->addAction(QString());
    PMI_Search_SelectAll_->setObjectName("PMI_Search_SelectAll");
    PMI_Search_SelectAll_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_A));
    PMI_Search_CopyToClipboard_ = PopupMenuSearchResults_->addAction(QString());
    PMI_Search_CopyToClipboard_->setObjectName("PMI_Search_CopyToClipboard");
    PMI_Search_CopyToClipboard_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
    for (QAction* action : {PMI_Search_Open_, PMI_Search_SelectAll_, PMI_Search_CopyToClipboard_}) {
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        ListViewReports_->addAction(action);
    }
    ListViewReports_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ListViewReports_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        const bool empty = ListViewReports_->topLevelItemCount() == 0;
        PMI_Search_Open_->setEnabled(!empty);
        PMI_Search_SelectAll_->setEnabled(!empty);
        PMI_Search_CopyToClipboard_->setEnabled(!empty &&
                                                !ListViewReports_->selectedItems().isEmpty());
        PopupMenuSearchResults_->exec(ListViewReports_->viewport()->mapToGlobal(at));
    });
    connect(PMI_Search_Open_, &QAction::triggered, this, [this] { OpenSearchResult(); });
    connect(ListViewReports_, &QTreeWidget::itemDoubleClicked, this,
            [this] { OpenSearchResult(); });
    connect(PMI_Search_SelectAll_, &QAction::triggered, ListViewReports_, &QTreeWidget::selectAll);
    connect(PMI_Search_CopyToClipboard_, &QAction::triggered, this,
            [this] { CopySearchResults(); });
    connect(ListViewReports_->header(), &QHeaderView::sectionClicked, this,
            [this](int column) { SortSearchResults(column); });

    connect(BtnFolderSelection_, &QPushButton::clicked, this, [this] {
        const QString current = EditSearchDirectory_->text();
        const QString start = QFileInfo(current).isDir() ? current : QString();
        const QString folder = FolderDialog_(this, tr("Select a directory to examine:"), start);
        if (!folder.isEmpty())
            EditSearchDirectory_->setText(folder);
    });
    connect(RBText_, &QRadioButton::toggled, this, [this](bool on) {
        EditText_->setEnabled(on);
        if (on)
            EditText_->setFocus();
        UpdateSearchStartButton();
    });
    connect(RBErrors_, &QRadioButton::toggled, this, [this] { UpdateSearchStartButton(); });
    connect(EditText_, &QLineEdit::textChanged, this, [this] { UpdateSearchStartButton(); });
    connect(EditSearchDirectory_, &QLineEdit::textChanged, this,
            [this] { UpdateSearchStartButton(); });
    connect(CheckBoxDateRange_, &QCheckBox::toggled, dates, &QWidget::setEnabled);
    connect(ButtonSearchStart_, &QPushButton::clicked, this, [this] { StartOrStopSearch(); });
}

void TFormMain::CreatePopupMenu() {
    PopupMenu_ = new QMenu(this);
    PopupMenu_->setObjectName("PopupMenu");
    const auto add = [this](const char* name, QKeySequence shortcut = {}) {
        QAction* action = PopupMenu_->addAction(QString());
        action->setObjectName(name);
        action->setShortcut(shortcut);
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        return action;
    };
    PMI_Expand_ = add("PMI_Expand");
    PMI_Collapse_ = add("PMI_Collapse");
    PopupMenu_->addSeparator()->setObjectName("N3");
    PMI_FindText_ = add("PMI_FindText", QKeySequence(Qt::CTRL | Qt::Key_F));
    PMI_FindNext_ = add("PMI_FindNext", QKeySequence(Qt::Key_F3));
    PMI_FindNext_->setEnabled(false);
    PM_LineCompare_ = PopupMenu_->addSeparator();
    PM_LineCompare_->setObjectName("PM_LineCompare");
    PM_LineCompare_->setVisible(false);
    PMI_Update_ = add("PMI_Update", QKeySequence(Qt::Key_F5));
    PMI_DebugMode_ = add("PMI_DebugMode");
    PMI_DebugMode_->setCheckable(true);
    PMI_PreviousDiff_ = add("PMI_PreviousDiff", QKeySequence(Qt::Key_F7));
    PMI_NextDiff_ = add("PMI_NextDiff", QKeySequence(Qt::Key_F8));
    for (QAction* action : {PMI_PreviousDiff_, PMI_NextDiff_}) {
        action->setEnabled(false);
        action->setVisible(false);
    }
    PopupMenu_->addSeparator()->setObjectName("N4");
    PMI_CopyToClipboard_ = add("PMI_CopyToClipboard", QKeySequence(Qt::CTRL | Qt::Key_C));
    PopupMenu_->addSeparator()->setObjectName("N1");
    PMI_Help_ = add("PMI_Help");
    connect(PMI_Help_, &QAction::triggered, this, [this] { ShowHelp(kHelpPopupMenu); });

    connect(PMI_Expand_, &QAction::triggered, this, [this] {
        TExtTreeView& view = ActiveView();
        if (const report::TTreeNode* node = view.Selected())
            view.TreeView().expandRecursively(view.Model().IndexOf(node));
    });
    connect(PMI_Collapse_, &QAction::triggered, this, [this] {
        TExtTreeView& view = ActiveView();
        const report::TTreeNode* node = view.Selected();
        if (node == nullptr)
            return;
        TMyTreeView& tree = view.TreeView();
        QModelIndex index = view.Model().IndexOf(node);
        if (!tree.isExpanded(index))
            index = index.parent();
        if (!index.isValid() || !tree.isExpanded(index))
            return;
        const std::function<void(const QModelIndex&)> collapse = [&](const QModelIndex& at) {
            for (int row = 0; row < tree.model()->rowCount(at); ++row)
                collapse(tree.model()->index(row, 0, at));
            tree.collapse(at);
        };
        collapse(index);
    });
    connect(PMI_Update_, &QAction::triggered, this, [this] {
        if (ActivePage() == TPage::SysInfo && PMI_Update_->isEnabled())
            Session_->RefreshCurrentEntry();
    });
    connect(PMI_DebugMode_, &QAction::triggered, this, [this](bool checked) {
        if (ActivePage() != TPage::SysInfo)
            return;
        Session_->SetDebugMode(checked);
        // The modules inside the program are asked again with the new flag.
        if (Session_->Mode() == TConnectionMode::LocalModules) {
            Session_->DisconnectSession();
            Session_->ConnectSession(true);
        } else if (Session_->Mode() == TConnectionMode::LocalAgent) {
            TExtTreeView& view = *ExtTreeViewSysInfo_;
            for (size_t i = 0; i < view.Tree().TopCount(); ++i) {
                report::TTreeNode* hardware = view.Tree().Top(i);
                if (hardware->ImageCode() != report::kCategoryHardware)
                    continue;
                view.SetSelected(hardware);
                view.TreeView().collapse(view.Model().IndexOf(hardware));
                view.Model().BeginTreeReset();
                hardware->DeleteChildren();
                view.Model().EndTreeReset();
                view.SetSelected(hardware);
                Session_->EnumerateRootEntries(hardware);
                break;
            }
        }
    });
    connect(PMI_FindText_, &QAction::triggered, this, [this] {
        if (ImageButtonSearch_->isEnabled())
            FindText();
    });
    connect(PMI_FindNext_, &QAction::triggered, this, [this] {
        if (ImageButtonSearchNext_->isEnabled())
            FindNext();
    });
    connect(PMI_PreviousDiff_, &QAction::triggered, this, [this] {
        if (DiffButtons().Previous.isEnabled())
            PreviousDiff();
    });
    connect(PMI_NextDiff_, &QAction::triggered, this, [this] {
        if (DiffButtons().Next.isEnabled())
            NextDiff();
    });
    connect(PMI_CopyToClipboard_, &QAction::triggered, this, [this] { CopyToClipboard(); });
}

void TFormMain::RetranslateUi() {
    setWindowTitle(ProgramTitle() + CaptionSuffix_);
    const auto set = [](QAbstractButton* button, const QString& caption, const QString& hint) {
        button->setText(caption);
        button->setToolTip(hint);
    };
    set(ImageButtonReport_, tr("&Report"), tr("View a report file"));
    set(ImageButtonSearchReports_, tr("&Search"), tr("Scan directory with report files"));
    set(ImageButtonSysInfo_, tr("S&ystem information"), tr("Hardware and Systeminformation"));
    set(ImageButtonTests_, tr("Hardware&tests"), QString());
    set(ImageButtonHelp_, tr("&Help"), tr("Programdescription"));
    set(ImageButtonOptions_, tr("Program&options"), tr("Information and settings"));
    set(ImageButtonExit_, tr("Exit"), tr("Exit program"));

    set(ImageButtonOpenReport_, tr("Open"), tr("Open a report file"));
    set(ImageButtonReportCompare_, tr("Compare"), tr("Compare with a second file"));
    set(ImageButtonReportSave_, tr("Save"), tr("Save or export"));
    set(ImageButtonSearch_, tr("Search..."), tr("Search text or entrys in the report"));
    set(ImageButtonSearchNext_, tr("Find next"), tr("Find next ocurrence"));
    set(ImageButtonPreviousDiff_, tr("Previous"), tr("Goto previous difference (F7)"));
    set(ImageButtonNextDiff_, tr("Next"), tr("Goto next difference (F8)"));

    const QString sysInfoCaptions[] = {
        tr("Connect"),  tr("Save"), tr("Compare"),       tr("Close Compare"), tr("Configuration"),
        tr("Previous"), tr("Next"), tr("Power Options"), tr("Remote Desktop")};
    for (size_t i = 0; i < SysInfoButtons_.size(); ++i)
        SysInfoButtons_[i]->setText(sysInfoCaptions[i]);
    ImageButtonSysInfoCompare_->setToolTip(tr("Compare with a report file"));
    ImageButtonSysInfoCloseCompare_->setToolTip(tr("Closes the compare mode"));
    ImageButtonSysInfoPreviousDiff_->setToolTip(tr("Goto previous difference (F7)"));
    ImageButtonSysInfoNextDiff_->setToolTip(tr("Goto next difference (F8)"));

    Label1_->setText(tr("Directory:"));
    ButtonSearchStart_->setText(Scanning_ ? tr("Stop") : tr("Start"));
    RBText_->setText(tr("&Text:"));
    RBErrors_->setText(tr("&Error entrys"));
    RBWarnings_->setText(tr("&Warnings"));
    CheckBoxDateRange_->setText(tr("Check Date Range"));
    LabelStart_->setText(tr("Start:"));
    LabelEnd_->setText(tr("End:"));
    ListViewReports_->setHeaderLabels({tr("Filename"), tr("Last change")});
    PMI_Search_Open_->setText(tr("Open"));
    PMI_Search_SelectAll_->setText(tr("Select all"));
    PMI_Search_CopyToClipboard_->setText(tr("Copy to clipboard"));

    PMI_Expand_->setText(tr("&Expand"));
    PMI_Collapse_->setText(tr("&Collapse"));
    PMI_FindText_->setText(tr("Search..."));
    PMI_FindNext_->setText(tr("Find next"));
    PMI_Update_->setText(tr("Update"));
    PMI_DebugMode_->setText(tr("Debug Mode"));
    PMI_PreviousDiff_->setText(tr("Previous Difference"));
    PMI_NextDiff_->setText(tr("Next Difference"));
    PMI_Help_->setText(tr("Help"));
    UpdatePopupMenu();
    StatusPanel1_->setText(tr("Hardware and system information"));
}

void TFormMain::ReadSettings(bool atStart) {
    const int language = app::ReadRegistrySettings(Settings_);
    if (language >= 0) {
        support::SwitchLanguage(static_cast<uint8_t>(language), false, LanguageLoader_);
        const std::string help =
            app::SelectHelpFile(platform::Platform().ProgramPath(), support::CurrentLanguageCode());
        if (!help.empty())
            Settings_.HelpFile = help;
    }
    if (!atStart)
        ConfigureMainWindow();
}

void TFormMain::ConfigureMainWindow() {
    const std::string programPath = platform::Platform().ProgramPath();
    if (!Settings_.HelpFile.empty()) {
        HelpAvailable_ = true;
    } else {
        Settings_.HelpDocument =
            app::ReadHelpDocument(app::IniFilePath(programPath), support::CurrentLanguageCode());
        HelpAvailable_ = !Settings_.HelpDocument.empty();
    }
    OptionsAvailable_ = sources::TDialogLibrary::Present();
    ImageButtonHelp_->setVisible(HelpAvailable_);
    ImageButtonOptions_->setVisible(OptionsAvailable_);
    Settings_.RemoteVariant = app::IsRemoteVariant(support::ProgramFolder());
    if (ImageButtonConnect_ != nullptr)
        ImageButtonConnect_->setVisible(Settings_.RemoteVariant);
    if (Settings_.RemoteVariant) {
        SetProgramTitle(FromAnsi(app::ApplicationTitle(true)));
        setWindowTitle(ProgramTitle() + CaptionSuffix_);
    }
}

void TFormMain::SetMessageSink(support::TMessageSink* sink) {
    Sink_ = sink != nullptr ? sink : BoxSink_.get();
}

namespace {
// A message box shown in the middle of a long operation gets the normal pointer, not the
// hourglass of the operation.
struct TNormalCursor {
    TNormalCursor() : Active(QApplication::overrideCursor() != nullptr) {
        if (Active)
            QApplication::setOverrideCursor(Qt::ArrowCursor);
    }
    ~TNormalCursor() {
        if (Active)
            QApplication::restoreOverrideCursor();
    }
    bool Active;
};
} // namespace

void TFormMain::ShowError(const std::string& format, const std::vector<std::string>& args) {
    TNormalCursor normal;
    Sink_->ShowError({format, args});
}

void TFormMain::ShowLoadFailure(int result, const QString& fileName) {
    const support::TUserMessage message = report::LoadFailureMessage(result, ToAnsi(fileName));
    ShowError(message.Format, message.Args);
}

void TFormMain::ShowInformation(const std::string& format, const std::vector<std::string>& args) {
    TNormalCursor normal;
    Sink_->ShowInformation({format, args});
}

QString TFormMain::StatusText() const {
    return StatusPanel0_->text();
}

void TFormMain::SetStatusText(const QString& text) {
    StatusPanel0_->setText(text);
}

// --- Pages

TFormMain::TPage TFormMain::ActivePage() const {
    const QWidget* page = PageControl_->currentWidget();
    if (page == TabSheetSysInfo_)
        return TPage::SysInfo;
    if (page == TabSheetSearch_)
        return TPage::Search;
    if (page == TabSheetTests_)
        return TPage::Tests;
    return TPage::Report;
}

void TFormMain::ActivatePage(TPage page) {
    const TPage previous = ActivePage();
    QWidget* sheet = TabSheetReport_;
    QToolButton* button = ImageButtonReport_;
    switch (page) {
    case TPage::Report:
        break;
    case TPage::SysInfo:
        sheet = TabSheetSysInfo_;
        button = ImageButtonSysInfo_;
        break;
    case TPage::Search:
        sheet = TabSheetSearch_;
        button = ImageButtonSearchReports_;
        break;
    case TPage::Tests:
        sheet = TabSheetTests_;
        button = ImageButtonTests_;
        break;
    }
    // The status texts belong to the page that wrote them.
    if (previous != page && previous != TPage::Tests)
        SetStatusText(QString());
    // Another page ends the comparison and the session with this computer.
    if (page != TPage::SysInfo && Session_ != nullptr) {
        EndLiveCompare();
        if (Session_->InSession())
            Session_->DisconnectSession();
    }
    PageControl_->setCurrentWidget(sheet);
    button->setChecked(true);
}

void TFormMain::ReportButtonClick(bool fromClick) {
    ActivatePage(TPage::Report);
    SetReportCaption();
    if (ExtTreeListReport_->Tree().TopCount() > 0)
        ExtTreeListReport_->TreeView().setFocus();
    else if (fromClick)
        OpenReport();
}

void TFormMain::HelpButtonClick() {
    if (Settings_.HelpFile.empty()) {
        if (!Settings_.HelpDocument.empty())
            platform::Platform().ShellExecute(Settings_.HelpDocument);
        return;
    }
    // The topic of the control that has the focus, or of the nearest parent that has one.
    int context = 0;
    for (const QWidget* w = QApplication::focusWidget(); w != nullptr && context == 0;
         w = w->parentWidget())
        context = w->property(kHelpContextProperty).toInt();
    ShowHelp(context != 0 ? context : kHelpMainWindow);
}

int TFormMain::ShowHelp(int context) {
    const int topic = RoutedHelpContext(context, *ExtTreeListReport_);
    if (Settings_.HelpFile.empty())
        return topic;
    // An HTML help document names its topics by anchors; other formats open at their start.
    const QString file = FromPath(Settings_.HelpFile);
    const QString suffix = QFileInfo(file).suffix().toLower();
    if (suffix == "htm" || suffix == "html")
        platform::Platform().ShellExecute(
            ToPath(QUrl::fromLocalFile(file).toString() + "#" + QString::number(topic)));
    else
        platform::Platform().ShellExecute(Settings_.HelpFile);
    return topic;
}

void TFormMain::OptionsButtonClick() {
    // The owner handed to the dialogs is this window.
    sources::TDialogLibrary dialogs(*Sink_, static_cast<QWidget*>(this));
    if (dialogs.ShowOptionsDialog(0, 0) == 1)
        ReadSettings(false);
}

void TFormMain::SetReportCaption() {
    // A failed load may have emptied the view while the name of the last good file is kept.
    if (!ReportFileName_.empty() && ExtTreeListReport_->Tree().TopCount() > 0)
        SetCaption(" [" + FileNameOnly(ReportFileName_) + "]");
    else
        SetCaption({});
}

void TFormMain::SetCaption(const QString& suffix) {
    CaptionSuffix_ = suffix;
    setWindowTitle(ProgramTitle() + suffix);
}

// --- Report page

void TFormMain::OpenReport(const QString& requested) {
    const QString shownCaption = CaptionSuffix_;
    SetCaption({});
    QString fileName = requested;
    if (fileName.isEmpty()) {
        if (OpenDialogFolder_.isEmpty()) {
            std::string documents = platform::Platform().SpecialFolder(platform::kFolderPersonal);
            if (!documents.empty() && documents.back() != '/')
                documents += '/';
            std::error_code error;
            const std::string reports = documents + "Taveric Reports";
            if (fs::is_directory(reports, error))
                OpenDialogFolder_ = FromPath(reports);
            else if (fs::is_directory(documents, error))
                OpenDialogFolder_ = FromPath(documents);
            else // no documents folder (a server account): home, not the working folder
                OpenDialogFolder_ = QDir::homePath();
        }
        fileName = OpenFileDialog_(this, OpenDialogFolder_, ReportFilter());
    }
    TWaitCursor wait;
    QCoreApplication::processEvents();

    bool loaded = false;
    bool attempted = false; // the view was cleared for a load
    const std::string path = ToPath(fileName);
    std::error_code error;
    if (!fileName.isEmpty() && fs::is_regular_file(path, error)) {
        attempted = true;
        ExtTreeListReport_->ClearReport();
        ExtTreeListReport_->SetCompareMode(false);
        ImageButtonReportSave_->setVisible(true);
        ImageButtonReportSave_->setEnabled(false);
        ImageButtonNextDiff_->setEnabled(false);
        ImageButtonNextDiff_->setVisible(false);
        ImageButtonPreviousDiff_->setEnabled(false);
        ImageButtonPreviousDiff_->setVisible(false);
        QCoreApplication::processEvents();

        const int result = ExtTreeListReport_->LoadReport(path);
        if (result != 0) {
            ShowLoadFailure(result, fileName);
        } else {
            loaded = true;
            report::TReportTree& tree = ExtTreeListReport_->Tree();
            if (report::TTreeNode* first = tree.First()) {
                ExtTreeListReport_->SetSelected(first);
                if (tree.TopCount() == 1)
                    ExtTreeListReport_->TreeView().expand(
                        ExtTreeListReport_->Model().IndexOf(first));
            }
            ExtTreeListReport_->ShowSearchHit(
                ExtTreeListReport_->Search().FindImageCodes(report::ErrorEntryCodes()));
        }
    } else if (!fileName.isEmpty()) {
        ShowError("File '%s' not found", {ToAnsi(fileName)});
    }

    const bool hasNodes = ExtTreeListReport_->Tree().TopCount() > 0;
    ImageButtonSearch_->setEnabled(hasNodes);
    ImageButtonReportCompare_->setEnabled(hasNodes);
    // The save button waits for the export wizard.
    if (loaded) {
        // Only a file that was read names the page; a cancelled dialog keeps the shown one.
        ReportFileName_ = path;
        SearchMode_ = TInReportSearch::None;
        ImageButtonSearchNext_->setEnabled(false);
    }
    // Without a load the shown report, and its caption, stay.
    if (attempted)
        SetReportCaption();
    else
        SetCaption(shownCaption);
    UpdatePopupMenu();
    ExtTreeListReport_->TreeView().setFocus();
}

void TFormMain::CompareReport() {
    ActivatePage(TPage::Report);
    SetStatusText(tr("Comparing..."));
    QCoreApplication::processEvents();
    const QString fileName = OpenFileDialog_(this, OpenDialogFolder_, ReportFilter());
    TWaitCursor wait;
    const std::string path = ToPath(fileName);
    std::error_code error;
    if (fileName.isEmpty()) {
        // Cancelled.
    } else if (!fs::is_regular_file(path, error)) {
        ShowError("File '%s' not found", {ToAnsi(fileName)});
    } else {
        QCoreApplication::processEvents();
        const int result = ExtTreeListReport_->LoadCompareReport(path);
        if (result != 0) {
            ShowLoadFailure(result, fileName);
        } else {
            // The view switched to the three columns "Property", "Old value", "New value".
            SetCaption(" [" + FileNameOnly(ReportFileName_) + " : " +
                       QFileInfo(fileName).fileName() + "]");
            ImageButtonReportCompare_->setEnabled(false);
            ImageButtonReportSave_->setVisible(false);
            ShowFirstDifference();
        }
    }
    SetStatusText(QString());
    UpdatePopupMenu();
}

TFormMain::TDiffButtons TFormMain::DiffButtons() {
    if (ActivePage() == TPage::SysInfo)
        return {*ExtTreeViewSysInfo_, *ImageButtonSysInfoPreviousDiff_,
                *ImageButtonSysInfoNextDiff_};
    return {*ExtTreeListReport_, *ImageButtonPreviousDiff_, *ImageButtonNextDiff_};
}

void TFormMain::ShowFirstDifference() {
    const TDiffButtons page = DiffButtons();
    page.Previous.setVisible(true);
    page.Previous.setEnabled(false);
    page.Next.setVisible(true);
    page.View.SetSelected(nullptr);
    if (page.View.NextDifference()) {
        page.Next.setEnabled(true);
    } else {
        page.View.SetSelected(page.View.Tree().First());
        page.Next.setEnabled(false);
        ShowError("No differences found!");
    }
}

void TFormMain::NextDiff() {
    const TDiffButtons page = DiffButtons();
    if (page.View.NextDifference()) {
        page.Previous.setEnabled(true);
    } else {
        page.Next.setEnabled(false);
        ShowInformation("No more differences found!");
    }
    UpdatePopupMenu();
}

void TFormMain::PreviousDiff() {
    const TDiffButtons page = DiffButtons();
    if (page.View.PreviousDifference()) {
        page.Next.setEnabled(true);
    } else {
        page.Previous.setEnabled(false);
        ShowInformation("No previous differences found");
    }
    UpdatePopupMenu();
}

void TFormMain::FindText() {
    TSearchRequest request;
    if (!SearchDialog_(this, request))
        return;
    report::TTreeSearch& search = ExtTreeListReport_->Search();
    bool found = false;
    switch (request.Kind) {
    case report::TSearchKind::Text:
        SearchMode_ = TInReportSearch::Text;
        found = ExtTreeListReport_->ShowSearchHit(search.FindText(ToAnsi(request.Text)));
        if (!found)
            ShowInformation("Cannot find text '%s'", {ToAnsi(request.Text)});
        break;
    case report::TSearchKind::Errors:
        SearchMode_ = TInReportSearch::Errors;
        found = ExtTreeListReport_->ShowSearchHit(search.FindImageCodes(report::ErrorEntryCodes()));
        if (!found)
            found = ExtTreeListReport_->ShowSearchHit(
                search.FindImageCodes(report::ErrorEntrySecondTry()));
        if (!found)
            ShowInformation("No error entrys found");
        break;
    case report::TSearchKind::Warnings:
        SearchMode_ = TInReportSearch::Warnings;
        found = ExtTreeListReport_->ShowSearchHit(search.FindImageCodes(report::WarningCodes()));
        if (!found)
            ShowInformation("No warnings found");
        break;
    }
    if (found)
        ImageButtonSearchNext_->setEnabled(true);
    UpdatePopupMenu();
}

void TFormMain::FindNext() {
    report::TTreeSearch& search = ExtTreeListReport_->Search();
    switch (SearchMode_) {
    case TInReportSearch::None:
        ImageButtonSearchNext_->setEnabled(false);
        break;
    case TInReportSearch::Text:
        if (!ExtTreeListReport_->ShowSearchHit(search.FindTextNext())) {
            ImageButtonSearchNext_->setEnabled(false);
            ShowInformation("Cannot find another occurrence of the text");
            SearchMode_ = TInReportSearch::None;
        }
        break;
    case TInReportSearch::Errors:
    case TInReportSearch::Warnings:
        if (!ExtTreeListReport_->ShowSearchHit(search.FindImageCodesNext())) {
            ImageButtonSearchNext_->setEnabled(false);
            ShowInformation(SearchMode_ == TInReportSearch::Errors ? "No more error entrys found"
                                                                   : "No more warnings found");
            SearchMode_ = TInReportSearch::None;
        }
        break;
    }
    UpdatePopupMenu();
}

void TFormMain::CopyToClipboard() {
    TExtTreeView& view = ActiveView();
    if (view.Selected() == nullptr)
        return;
    if (view.ChartShown()) {
        view.CopyChart();
    } else {
        QApplication::clipboard()->setText(view.SelectedText());
    }
}

TExtTreeView& TFormMain::ActiveView() {
    return ActivePage() == TPage::SysInfo && ExtTreeViewSysInfo_ != nullptr ? *ExtTreeViewSysInfo_
                                                                            : *ExtTreeListReport_;
}

void TFormMain::UpdatePopupMenu() {
    if (PMI_CopyToClipboard_ == nullptr || ExtTreeListReport_ == nullptr)
        return;
    // Topics by number exist only in a real help file, not in the plain help document.
    PMI_Help_->setVisible(!ImageButtonHelp_->isHidden() && Settings_.HelpDocument.empty());
    if (ActivePage() == TPage::SysInfo && ExtTreeViewSysInfo_ != nullptr) {
        UpdateSysInfoPopupMenu();
        return;
    }
    // The report page's rules; the system information page brings its own with the session.
    const bool compare = ExtTreeListReport_->CompareMode();
    PMI_DebugMode_->setVisible(false);
    PMI_Update_->setVisible(false);
    PMI_FindText_->setVisible(true);
    PMI_FindNext_->setVisible(true);
    PMI_FindText_->setEnabled(ImageButtonSearch_->isEnabled());
    PMI_FindNext_->setEnabled(ImageButtonSearchNext_->isEnabled());
    PM_LineCompare_->setVisible(compare);
    PMI_PreviousDiff_->setVisible(compare);
    PMI_NextDiff_->setVisible(compare);
    PMI_PreviousDiff_->setEnabled(ImageButtonPreviousDiff_->isEnabled());
    PMI_NextDiff_->setEnabled(ImageButtonNextDiff_->isEnabled());

    const report::TTreeNode* node = ExtTreeListReport_->Selected();
    TMyTreeView& tree = ExtTreeListReport_->TreeView();
    if (node != nullptr) {
        const QModelIndex index = ExtTreeListReport_->Model().IndexOf(node);
        PMI_Expand_->setEnabled(node->ChildCount() > 0);
        PMI_Collapse_->setEnabled(tree.isExpanded(index) ||
                                  (index.parent().isValid() && tree.isExpanded(index.parent())));
        PMI_CopyToClipboard_->setEnabled(true);
        PMI_CopyToClipboard_->setText(ExtTreeListReport_->ChartShown() ? tr("Copy chart")
                                                                       : tr("Copy text"));
    } else {
        PMI_Expand_->setEnabled(false);
        PMI_Collapse_->setEnabled(false);
        PMI_CopyToClipboard_->setEnabled(false);
        PMI_CopyToClipboard_->setText(tr("Copy to clipboard"));
    }
}

void TFormMain::UpdateSysInfoPopupMenu() {
    TExtTreeView& view = *ExtTreeViewSysInfo_;
    const bool compare = view.CompareMode();
    PMI_DebugMode_->setVisible(true);
    PMI_DebugMode_->setEnabled(Session_->InSession());
    PMI_FindText_->setVisible(false);
    PMI_FindNext_->setVisible(false);
    PM_LineCompare_->setVisible(compare);
    PMI_PreviousDiff_->setVisible(compare);
    PMI_NextDiff_->setVisible(compare);
    PMI_PreviousDiff_->setEnabled(ImageButtonSysInfoPreviousDiff_->isEnabled());
    PMI_NextDiff_->setEnabled(ImageButtonSysInfoNextDiff_->isEnabled());
    PMI_Update_->setVisible(true);
    // Update is offered for the entries that may be fetched again on demand.
    report::TTreeNode* node = view.Selected();
    const int module = Session_->CurrentModule();
    const report::TTreeNode* root = node != nullptr ? node->AncestorAtLevel(1) : nullptr;
    const TAddRootInfo* info = root != nullptr && module >= 0 && module != Session_->SensorModule()
                                   ? Session_->RootInfo(module, root->Index())
                                   : nullptr;
    PMI_Update_->setEnabled(info != nullptr && info->Kind == 1);
    TMyTreeView& tree = view.TreeView();
    if (node != nullptr) {
        const QModelIndex index = view.Model().IndexOf(node);
        PMI_Expand_->setEnabled(node->ChildCount() > 0);
        PMI_Collapse_->setEnabled(tree.isExpanded(index) ||
                                  (index.parent().isValid() && tree.isExpanded(index.parent())));
        PMI_CopyToClipboard_->setEnabled(true);
        PMI_CopyToClipboard_->setText(view.ChartShown() ? tr("Copy chart") : tr("Copy text"));
    } else {
        PMI_Expand_->setEnabled(false);
        PMI_Collapse_->setEnabled(false);
        PMI_CopyToClipboard_->setEnabled(false);
        PMI_CopyToClipboard_->setText(tr("Copy to clipboard"));
    }
}

// --- System information page

void TFormMain::SysInfoButtonClick(bool fromClick) {
    ActivatePage(TPage::SysInfo);
    SetCaption({});
    SetStatusText(tr("Disconnected..."));
    ImageButtonConnect_->setEnabled(true);
    QApplication::processEvents();
    // This computer. A session already showing stays as it is.
    if (Session_->InSession()) {
        SetStatusText(QString());
        SessionChanged();
        return;
    }
    Session_->SetDeviceName(tr("This computer").toStdString());
    Session_->ConnectSession(fromClick);
    if (!Session_->InSession())
        ReportButtonClick(false);
}

void TFormMain::ConnectButtonClick() {
    if (Session_->InSession()) {
        Session_->DisconnectSession();
        SetCaption({});
        SetStatusText(tr("Disconnected..."));
        ImageButtonConnect_->setEnabled(true);
    } else {
        Session_->ConnectSession(true);
    }
}

void TFormMain::SessionChanged() {
    const bool filled = Session_->InSession() && !ExtTreeViewSysInfo_->Tree().Empty();
    ImageButtonConnect_->setText(filled ? tr("Disconnect") : tr("Connect"));
    if (filled)
        SetCaption(" [" + FromAnsi(Session_->DeviceName()) + "]");
    else if (ActivePage() == TPage::SysInfo)
        SetCaption({});
    // Saving the live tree runs through the export wizard, which is not part of this build.
    ImageButtonSysInfoCompare_->setEnabled(filled);
    if (!Session_->InSession())
        ImageButtonSysInfoConfig_->setEnabled(false);
    UpdatePopupMenu();
}

void TFormMain::LiveCompare() {
    const QString fileName = OpenFileDialog_(this, OpenDialogFolder_, ReportFilter());
    if (fileName.isEmpty())
        return;
    const std::string path = ToPath(fileName);
    std::error_code error;
    if (!fs::is_regular_file(path, error)) {
        ShowError("File '%s' not found", {ToAnsi(fileName)});
        return;
    }
    const QList<QToolButton*> actions = {ImageButtonConnect_, ImageButtonSysInfoSave_,
                                         ImageButtonSysInfoCompare_, ImageButtonSysInfoConfig_};
    bool collected = false;
    {
        TWaitCursor wait;
        for (QToolButton* button : actions)
            button->setEnabled(false);
        collected = Session_->CollectLiveTree();
        Session_->EndSessionKeepTree();
    }
    if (!collected) {
        // A failed fetch has ended the session and said why.
        ImageButtonConnect_->setEnabled(true);
        return;
    }
    QCoreApplication::processEvents();
    SetStatusText(tr("Comparing..."));
    TWaitCursor wait;
    QCoreApplication::processEvents();
    const int result = ExtTreeViewSysInfo_->LoadCompareReport(path);
    if (result != 0) {
        ShowLoadFailure(result, fileName);
        // The collected tree stays; the session is over, so only Connect and Compare work on.
        ImageButtonConnect_->setEnabled(true);
        ImageButtonSysInfoCompare_->setEnabled(true);
    } else {
        const QString name = QFileInfo(fileName).fileName();
        const qsizetype close = CaptionSuffix_.indexOf(']');
        SetCaption(close >= 0 ? QString(CaptionSuffix_).insert(close, " : " + name)
                              : " [LocalSystem : " + name + "]");
        for (QToolButton* button :
             {ImageButtonConnect_, ImageButtonRemoteDesktop_, ImageButtonSysInfoPower_,
              ImageButtonSysInfoSave_, ImageButtonSysInfoCompare_, ImageButtonSysInfoConfig_})
            button->setVisible(false);
        ImageButtonSysInfoCloseCompare_->setVisible(true);
        ImageButtonSysInfoCloseCompare_->setEnabled(true);
        ShowFirstDifference();
    }
    SetStatusText(QString());
    UpdatePopupMenu();
}

void TFormMain::EndLiveCompare() {
    if (!ExtTreeViewSysInfo_->CompareMode())
        return;
    ExtTreeViewSysInfo_->ClearReport();
    ExtTreeViewSysInfo_->SetCompareMode(false);
    SetCaption({});
    ImageButtonConnect_->setText(tr("Connect"));
    ImageButtonConnect_->setVisible(Settings_.RemoteVariant);
    ImageButtonSysInfoCompare_->setVisible(true);
    ImageButtonSysInfoSave_->setVisible(true);
    for (QToolButton* button : {ImageButtonSysInfoCloseCompare_, ImageButtonSysInfoNextDiff_,
                                ImageButtonSysInfoPreviousDiff_})
        button->setVisible(false);
    QCoreApplication::processEvents();
}

void TFormMain::ConfigButtonClick() {
    TExtTreeView& view = *ExtTreeViewSysInfo_;
    if (view.Selected() == nullptr && !view.Tree().Empty())
        view.SetSelected(view.Tree().First());
    if (Session_->Mode() != TConnectionMode::LocalAgent)
        return; // the modules inside the program have nothing to configure
    const bool timerRan = Session_->UpdateTimer().isActive();
    Session_->UpdateTimer().stop();
    sources::TDialogLibrary dialogs(*Sink_, static_cast<QWidget*>(this));
    dialogs.ShowSharedMemConfigDialog({}, Settings_.QueryTimeout);
    if (timerRan && Session_->InSession())
        Session_->UpdateTimer().start();
}

// --- Search page

void TFormMain::UpdateSearchStartButton() {
    // While a scan runs the button only stops it.
    if (Scanning_)
        return;
    ButtonSearchStart_->setEnabled(!EditSearchDirectory_->text().isEmpty() &&
                                   (!RBText_->isChecked() || !EditText_->text().isEmpty()));
}

void TFormMain::StartOrStopSearch() {
    ButtonSearchStart_->setEnabled(false);
    if (Scanning_) {
        SearchThread_->requestInterruption();
        QCoreApplication::processEvents();
        return;
    }
    const QString folder = EditSearchDirectory_->text();
    if (!QFileInfo(folder).isDir()) {
        // The button stays disabled until one of the edits changes.
        ShowError("Directory '%s' not found", {ToAnsi(folder)});
        return;
    }
    report::TFolderScan scan;
    SearchFolder_ = folder.endsWith('/') ? folder : folder + '/';
    scan.Folder = ToPath(SearchFolder_);
    if (RBErrors_->isChecked()) {
        scan.Kind = report::TSearchKind::Errors;
    } else if (RBWarnings_->isChecked()) {
        scan.Kind = report::TSearchKind::Warnings;
    } else {
        scan.Kind = report::TSearchKind::Text;
        scan.Text = ToAnsi(EditText_->text());
    }
    // The range is taken at the start: the user may touch the pickers while the scan runs.
    scan.DateRange = CheckBoxDateRange_->isChecked();
    const auto toTime = [](const QDateTime& at) {
        return std::chrono::system_clock::time_point(
            std::chrono::milliseconds(at.toMSecsSinceEpoch()));
    };
    scan.Start = toTime(DateTimePickerStart_->dateTime());
    scan.End = toTime(DateTimePickerEnd_->dateTime());
    ListViewReports_->clear();

    SearchThread_ = new TSearchThread(std::move(scan), this);
    connect(SearchThread_, &TSearchThread::Hit, this, &TFormMain::SearchHit);
    connect(SearchThread_, &TSearchThread::Progress, this,
            [this](qulonglong scanned, qulonglong found, bool canceled) {
                QString text = tr("Scanned: %1, Found: %2").arg(scanned).arg(found);
                if (canceled)
                    text += tr(", Search canceled");
                SetStatusText(text);
            });
    connect(SearchThread_, &QThread::finished, this, &TFormMain::SearchEnded);
    Scanning_ = true;
    ButtonSearchStart_->setText(tr("Stop"));
    ButtonSearchStart_->setEnabled(true);
    SearchThread_->start();
}

void TFormMain::SearchHit(const QString& name, const QDateTime& lastChange) {
    ListViewReports_->addTopLevelItem(new TSearchResultItem(name, lastChange));
}

void TFormMain::SearchEnded() {
    // Queued hits and counts were delivered before this, in the order they were sent.
    SearchThread_->deleteLater();
    SearchThread_ = nullptr;
    Scanning_ = false;
    ButtonSearchStart_->setText(tr("Start"));
    ButtonSearchStart_->setEnabled(true);
    emit SearchFinished();
}

void TFormMain::OpenSearchResult() {
    QTreeWidgetItem* item = ListViewReports_->currentItem();
    if (item == nullptr && !ListViewReports_->selectedItems().isEmpty())
        item = ListViewReports_->selectedItems().front();
    if (item == nullptr)
        return;
    const QString file = SearchFolder_ + item->text(0);
    ReportButtonClick(false);
    OpenReport(file);
}

void TFormMain::CopySearchResults() {
    const QList<QTreeWidgetItem*> selected = ListViewReports_->selectedItems();
    if (selected.isEmpty())
        return;
    QList<QUrl> urls;
    QByteArray gnome = "copy";
    QString text;
    for (const QTreeWidgetItem* item : selected) {
        const QUrl url = QUrl::fromLocalFile(SearchFolder_ + item->text(0));
        urls << url;
        gnome += '\n' + url.toEncoded();
        text += SearchFolder_ + item->text(0) + '\n';
    }
    auto* data = new QMimeData;
    data->setUrls(urls);
    data->setData("x-special/gnome-copied-files", gnome);
    data->setText(text);
    QApplication::clipboard()->setMimeData(data);
}

void TFormMain::SortSearchResults(int column) {
    if (column < 0 || column > 1)
        return;
    for (int i = 0; i < 2; ++i) {
        if (i != column)
            SortMarks_[i] = -1;
    }
    SortMarks_[column] = SortMarks_[column] == 0 ? 1 : 0;
    const Qt::SortOrder order = SortMarks_[column] == 0 ? Qt::AscendingOrder : Qt::DescendingOrder;
    ListViewReports_->sortItems(column, order);
    ListViewReports_->header()->setSortIndicator(column, order);
}

// --- Window events

void TFormMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!FirstShown_) {
        FirstShown_ = true;
        if (const QScreen* at = screen())
            move(at->availableGeometry().center() - rect().center());
        FirstShowing();
    }
}

void TFormMain::FirstShowing() {
    FirstShow_ = app::FirstShowAction(Args_);
    if (FirstShow_.Kind == app::TFirstShowKind::ReadTestResults)
        Settings_.TestResultFile = app::ReadTestResultFile();
    else if (FirstShow_.Kind == app::TFirstShowKind::OpenReport)
        OpenReport(FromPath(FirstShow_.ReportPath));
    // Without a report to show, the program shows this computer (quietly: a failed connect
    // falls back to the report page).
    if (ExtTreeListReport_->Tree().Empty()) {
        SysInfoButtonClick(false);
        QCoreApplication::processEvents();
        if (ActivePage() == TPage::SysInfo)
            ExtTreeViewSysInfo_->TreeView().setFocus();
    } else {
        ReportButtonClick(false);
    }
}

void TFormMain::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange)
        RetranslateUi();
    QMainWindow::changeEvent(event);
}

void TFormMain::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void TFormMain::dropEvent(QDropEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    event->acceptProposedAction();
    for (const QUrl& url : urls) {
        if (!url.isLocalFile())
            continue;
        ReportButtonClick(false);
        OpenReport(url.toLocalFile());
    }
}

void TFormMain::closeEvent(QCloseEvent* event) {
    if (SearchThread_ != nullptr)
        SearchThread_->requestInterruption();
    QMainWindow::closeEvent(event);
}

} // namespace ostero::ui
