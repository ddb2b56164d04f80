#pragma once
// The report as one XHTML page with collapsible groups, or, with the MIME flag, as a MIME HTML
// document that carries its pictures (banner, icons, chart) in the same file.

#include "report/Chart.h"
#include "report/ReportTree.h"

#include <functional>
#include <string>

namespace ostero::exporting {

// The pictures a page needs; they come from the program's picture library, which is not part
// of the Qt-free writers.
class TExportPictures {
public:
    virtual ~TExportPictures() = default;
    // The icon-list entry on magenta as GIF; empty when the entry has no picture.
    virtual std::string IconGif(int entry) = 0;
    // The 341 x 40 banner as GIF.
    virtual std::string BannerGif() = 0;
    // The chart with its legend, drawn on white, as JPEG of quality 95, or as enhanced metafile.
    virtual std::string ChartJpeg(const report::TChart& chart, int width, int height) = 0;
    virtual std::string ChartEmf(const report::TChart& chart, int width, int height) = 0;
};

struct THtmlOptions {
    std::string Title;        // empty: "Taveric Report"
    bool KeepPrivate = false; // write properties marked private
    bool Mime = false;        // a MIME HTML document instead of a page
    int LanguageIndex = 255;  // interface language; 0 (German) makes language() answer "DE"
    // Pictures; without them the page is written without chart and icon pictures.
    TExportPictures* Pictures = nullptr;
    // Interface-language texts ("Expand all", "Collaps all", "Sensorlog", the trademark note),
    // Windows-1252 in and out; without one the English text is used.
    std::function<std::string(const char* english)> Translate;
};

// Writes the page (or document) of `tree`. The file is replaced as a whole: a failure leaves
// the old file as it was. False with `error` set on failure.
bool SaveHtml(const report::TReportTree& tree, const std::string& fileName,
              const THtmlOptions& options, std::string* error = nullptr);

// The page or document as bytes, with the pictures it names beside the page (file name and
// bytes; the chart JPEG of a page) for the caller to write.
struct THtmlOutput {
    std::string Document;
    std::vector<std::pair<std::string, std::string>> SideFiles;
};
THtmlOutput RenderHtml(const report::TReportTree& tree, const std::string& pageFileName,
                       const THtmlOptions& options);

// A text for the page: the markup characters and the letters of the entity table as named
// entities, every other character above 127 as a numeric character reference (so the page
// reads right whatever it is taken for), and in MIME mode "=" as "=3D".
std::string EncodeHtmlText(const std::string& text, bool mime);

// Base64 in lines of 76 characters, each ended by CR LF.
std::string Base64Lines(const std::string& bytes);

} // namespace ostero::exporting
