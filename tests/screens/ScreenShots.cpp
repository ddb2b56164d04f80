// Pictures of the report page as the user sees it: a report, the same report compared with a
// changed copy, and a chart node with its pane. "shoot" writes report.png, compare.png and
// chart.png of the main window into a folder (run it on a display, e.g. under xvfb-run);
// "check" tests them: the window's size, more than one colour, the compare colours.
//   ostero_screens shoot <folder> <report.trp>
//   ostero_screens check <folder>
#include "report/ReportFile.h"
#include "support/UserMessage.h"
#include "ui/report/ExtTreeView.h"
#include "ui/shell/FormMain.h"
#include "ui/shell/QtBridge.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPixmap>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

using namespace ostero;
namespace fs = std::filesystem;

namespace {

constexpr int kWidth = 821;
constexpr int kHeight = 546;
const char* const kShots[] = {"report.png", "compare.png", "chart.png"};

// Messages go to the error output instead of boxes that would wait for a click.
struct TPrintedMessages : support::TMessageSink {
    void ShowError(const support::TUserMessage& message) override {
        std::fprintf(stderr, "error box: %s\n", message.Text().c_str());
    }
    void ShowInformation(const support::TUserMessage& message) override {
        std::fprintf(stderr, "information box: %s\n", message.Text().c_str());
    }
};

// Lets posted layouts and paints run.
void Settle() {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 300)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
}

// The report with the first property's value changed, the second removed and one added beside
// them (so that each compare colour shows in the first group the compare opens), and every
// fifth value changed further on.
bool WriteChangedCopy(const std::string& from, const std::string& to) {
    report::TReportDocument doc;
    if (report::LoadReport(doc, from, nullptr) != 0)
        return false;
    int properties = 0;
    report::TTreeNode* removed = nullptr;
    report::TTreeNode* owner = nullptr;
    for (report::TTreeNode* node = doc.Tree.First(); node; node = node->NextInTree()) {
        report::TTreeListObj* property = node->Property();
        if (property == nullptr)
            continue;
        ++properties;
        if (properties == 1) {
            property->Value += " (changed)";
            owner = node->Parent();
        } else if (properties == 2) {
            removed = node;
        } else if (properties % 5 == 0) {
            property->Value += " (changed)";
        }
    }
    if (owner != nullptr) {
        report::TTreeNode* added = owner->AppendChild("Added property", 34);
        auto object = std::make_unique<report::TTreeListObj>();
        object->TypeCode = 10;
        object->Value = "new";
        added->SetObject(std::move(object));
    }
    if (removed != nullptr)
        removed->Delete();
    return report::SaveReport(doc, to, true);
}

bool Save(QWidget& window, const fs::path& file) {
    const QImage image = window.grab().toImage();
    if (!image.save(QString::fromStdString(file.string()), "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", file.c_str());
        return false;
    }
    return true;
}

report::TTreeNode* FirstChartNode(report::TReportTree& tree) {
    for (report::TTreeNode* node = tree.First(); node; node = node->NextInTree()) {
        if (node->ChartObject() != nullptr)
            return node;
    }
    return nullptr;
}

int Shoot(const fs::path& folder, const std::string& sample) {
    fs::create_directories(folder);
    // A settings and documents folder of its own: no user's settings change the pictures.
    const fs::path home = folder / "home";
    fs::create_directories(home / "config");
    fs::create_directories(home / "Documents");
    ::setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
    std::ofstream(home / "config" / "user-dirs.dirs")
        << "XDG_DOCUMENTS_DIR=\"" << (home / "Documents").string() << "\"\n";
    const std::string copy = (folder / "changed.trp").string();
    if (!WriteChangedCopy(sample, copy)) {
        std::fprintf(stderr, "cannot read %s or write its changed copy\n", sample.c_str());
        return 1;
    }

    QApplication::setApplicationDisplayName(QStringLiteral("Taveric Ostero"));
    TPrintedMessages messages;
    ui::TQtLanguageLoader loader;
    ui::TFormMain form({}, "", loader);
    form.SetMessageSink(&messages);
    form.SetOpenFileDialog(
        [&copy](QWidget*, const QString&, const QString&) { return QString::fromStdString(copy); });
    form.resize(kWidth, kHeight);
    form.show();
    Settle();

    // The window starts on this computer's page; the report button leads to the report page.
    form.ActivatePage(ui::TFormMain::TPage::Report);
    form.OpenReport(QString::fromStdString(sample));
    Settle();
    if (!Save(form, folder / "report.png"))
        return 1;

    form.CompareReport();
    Settle();
    if (!form.ReportView().CompareMode()) {
        std::fprintf(stderr, "the compare did not happen\n");
        return 1;
    }
    if (!Save(form, folder / "compare.png"))
        return 1;

    form.OpenReport(QString::fromStdString(sample));
    Settle();
    report::TTreeNode* chart = FirstChartNode(form.ReportView().Tree());
    if (chart == nullptr) {
        std::fprintf(stderr, "%s has no chart node\n", sample.c_str());
        return 1;
    }
    form.ReportView().SetSelected(chart);
    Settle();
    if (!form.ReportView().ChartShown()) {
        std::fprintf(stderr, "the chart pane did not open\n");
        return 1;
    }
    return Save(form, folder / "chart.png") ? 0 : 1;
}

// Colours are given as blue, green, red, as the view draws them.
QRgb Bgr(uint32_t bgr) {
    return qRgb(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                static_cast<int>((bgr >> 16) & 0xFF));
}

bool Contains(const QImage& image, QRgb color) {
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if ((image.pixel(x, y) & 0xFFFFFF) == (color & 0xFFFFFF))
                return true;
        }
    }
    return false;
}

int Check(const fs::path& folder) {
    int failures = 0;
    const auto fail = [&failures](const std::string& file, const char* what) {
        std::fprintf(stderr, "%s: %s\n", file.c_str(), what);
        ++failures;
    };
    for (const char* name : kShots) {
        const fs::path file = folder / name;
        QImage image;
        if (!image.load(QString::fromStdString(file.string()))) {
            fail(file.string(), "missing or not a picture");
            continue;
        }
        if (image.size() != QSize(kWidth, kHeight))
            fail(file.string(), "not the window's size");
        const QRgb first = image.pixel(0, 0);
        bool varied = false;
        for (int y = 0; y < image.height() && !varied; ++y) {
            for (int x = 0; x < image.width() && !varied; ++x)
                varied = image.pixel(x, y) != first;
        }
        if (!varied)
            fail(file.string(), "a single colour");
        if (std::string(name) == "compare.png") {
            if (!Contains(image, Bgr(0xC0FFFF)))
                fail(file.string(), "no row marked changed");
            if (!Contains(image, Bgr(0xD0FFD0)) && !Contains(image, Bgr(0xFFD0D0)))
                fail(file.string(), "no row marked added or removed");
        }
    }
    return failures == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "check" && argc == 3)
        return Check(argv[2]);
    if (mode == "shoot" && argc == 4) {
        QApplication application(argc, argv);
        return Shoot(fs::absolute(argv[2]), fs::absolute(argv[3]).string());
    }
    std::fprintf(stderr, "usage: %s shoot <folder> <report.trp> | check <folder>\n", argv[0]);
    return 2;
}
