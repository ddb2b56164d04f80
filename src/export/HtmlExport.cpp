#include "export/HtmlExport.h"

#include "export/MakerInfo.h"
#include "support/LinkPolicy.h"
#include "support/TextBuffer.h"
#include "support/TextCodec.h"
#include "support/platform/FileReplace.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string_view>

namespace ostero::exporting {

using report::TTreeListObj;
using report::TTreeNode;

namespace {

constexpr const char* kBoundary = "----=_MHTML_tAVERIC_Report_0001";

struct TEntity {
    unsigned char Char;
    const char* Name;
};
constexpr TEntity kEntities[] = {
    {'"', "quot;"},   {'&', "amp;"},    {'<', "lt;"},    {'>', "gt;"},
    {0x80, "euro;"},  {0x99, "trade;"}, {0xA9, "copy;"}, {0xAE, "reg;"},
    {0xB0, "deg;"},   {0xC4, "Auml;"},  {0xD6, "Ouml;"}, {0xDC, "Uuml;"},
    {0xDF, "szlig;"}, {0xE4, "auml;"},  {0xF6, "ouml;"}, {0xFC, "uuml;"},
};

bool IsBoldType(int type) {
    return type == 10 || type == 12;
}

// A file name as a relative address: every byte but letters, digits and "-._~" percent-encoded,
// so that a name with quotes, "#", "?" or "%" still names its file and cannot end the
// attribute it is written into.
std::string UriPathSegment(std::string_view name) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(name.size());
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
            (byte >= '0' && byte <= '9') || c == '-' || c == '.' || c == '_' || c == '~') {
            out += c;
        } else {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 15];
        }
    }
    return out;
}

} // namespace

namespace {

// The entity of each byte that has one, built once.
struct TEntityTable {
    const char* Names[256] = {};
    TEntityTable() {
        for (const TEntity& entity : kEntities)
            Names[entity.Char] = entity.Name;
    }
};

// `out` is a std::string or a TTextBuffer.
template <class TOut> void AppendEncoded(TOut& out, std::string_view text, bool mime) {
    static const TEntityTable table;
    size_t plain = 0; // start of the run of bytes that stay as they are
    for (size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const char* name = table.Names[byte];
        if (name == nullptr && byte < 0x80 && !(byte == '=' && mime))
            continue;
        out.append(text.data() + plain, i - plain);
        plain = i + 1;
        if (name != nullptr) {
            out += '&';
            out += name;
        } else if (byte >= 0x80) {
            out += "&#";
            out += std::to_string(static_cast<unsigned>(support::AnsiCharToUnicode(byte)));
            out += ';';
        } else {
            out += "=3D";
        }
    }
    out.append(text.data() + plain, text.size() - plain);
}

} // namespace

std::string EncodeHtmlText(const std::string& text, bool mime) {
    std::string out;
    out.reserve(text.size() + 8);
    AppendEncoded(out, text, mime);
    return out;
}

std::string Base64Lines(const std::string& bytes) {
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string encoded;
    encoded.reserve((bytes.size() + 2) / 3 * 4);
    for (size_t i = 0; i < bytes.size(); i += 3) {
        const uint32_t b0 = static_cast<unsigned char>(bytes[i]);
        const uint32_t b1 = i + 1 < bytes.size() ? static_cast<unsigned char>(bytes[i + 1]) : 0;
        const uint32_t b2 = i + 2 < bytes.size() ? static_cast<unsigned char>(bytes[i + 2]) : 0;
        const uint32_t triple = (b0 << 16) | (b1 << 8) | b2;
        encoded += kAlphabet[(triple >> 18) & 63];
        encoded += kAlphabet[(triple >> 12) & 63];
        encoded += i + 1 < bytes.size() ? kAlphabet[(triple >> 6) & 63] : '=';
        encoded += i + 2 < bytes.size() ? kAlphabet[triple & 63] : '=';
    }
    std::string lines;
    lines.reserve(encoded.size() + encoded.size() / 76 * 2 + 2);
    for (size_t i = 0; i < encoded.size(); i += 76) {
        lines.append(encoded, i, 76);
        lines += "\r\n";
    }
    return lines;
}

namespace {

using support::TTextBuffer;

class THtmlWriter {
public:
    // With a sink the document goes to it in pieces as it is made, so a big report is never
    // held whole in memory.
    THtmlWriter(const report::TReportTree& tree, const std::string& pageFileName,
                const THtmlOptions& options, platform::TFileReplacement* sink = nullptr)
        : Tree_(tree), PageFileName_(pageFileName), Options_(options), Mime_(options.Mime),
          Q_(options.Mime ? "3D" : ""), Sink_(sink), Out_(kFlushSize + 4096) {
        // The pieces of markup every row repeats, with the markup quote in them, made once.
        SpacerCell_ = "<td width=" + Q_ + "\"12\">&nbsp;</td>";
        NameCell_ = "<td colspan=" + Q_ + "\"";
        RuledClass_ = "\" style=" + Q_ + "\"border-top:1px solid\" class=" + Q_ + "\"";
        PlainClass_ = "\" class=" + Q_ + "\"";
        RuledValueCell_ = "<td style=" + Q_ + "\"border-top:1px solid\" class=" + Q_ + "\"";
        ValueCell_ = "<td class=" + Q_ + "\"";
        ButtonCell_ = " <tr><td><input class=" + Q_ + "\"btn\" type=" + Q_ +
                      "\"button\" value=" + Q_ + "\"+\" id=" + Q_ + "\"button_";
        ButtonClick_ = "\" onclick=" + Q_ + "\"javascript:OnButtonClick('";
        GroupTable_ = " <tr><td><table class=" + Q_;
        GroupTableId_ = " id=" + Q_ + "\"table_";
        GroupTableStyle_ = "\" style=" + Q_ + "\"DISPLAY:none\">";
    }

    THtmlOutput Render();

private:
    static constexpr size_t kFlushSize = 1 << 20;

    void Line(std::string_view text) {
        Out_ += text;
        EndLine();
    }
    void EndLine() {
        Out_ += "\r\n";
        if (Sink_ != nullptr && Out_.size() >= kFlushSize) {
            Sink_->Write(Out_.View());
            Out_.clear();
        }
    }
    std::string Text(const char* english) const {
        return Options_.Translate ? Options_.Translate(english) : std::string(english);
    }
    std::string Encode(const std::string& text) const { return EncodeHtmlText(text, Mime_); }
    // "=" of generated markup and script, followed by the markup quote.
    std::string Eq() const { return "=" + Q_; }
    // The node's icon reference, appended to the output.
    void AppendIcon(TTextBuffer& out, const TTreeNode& node);
    void Head();
    void StyleSheet();
    void BodyStart();
    void BodyEnd();
    void Scripts();
    void Walk(const TTreeNode* start, int levelOffset);
    const TTreeNode* PropertyRun(const TTreeNode* first, int depth);
    void ChartRow(const report::TChart& chart, int n);
    void CloseDeeper(int depth);
    void MimePictures();

    const report::TReportTree& Tree_;
    std::string PageFileName_;
    const THtmlOptions& Options_;
    const bool Mime_;
    const std::string Q_;
    platform::TFileReplacement* Sink_;
    TTextBuffer Out_;
    std::string SpacerCell_, NameCell_, RuledClass_, PlainClass_, RuledValueCell_, ValueCell_;
    std::string ButtonCell_, ButtonClick_, GroupTable_, GroupTableId_, GroupTableStyle_;
    std::vector<std::string> IconMarkup_; // by icon-list entry, made when first used
    int OpenDepth_ = -1;
    int TableCount_ = 0;
    bool IconUsed_[122] = {};
    std::string ChartFile_;  // the page's one chart picture, once written
    std::string ChartBytes_; // its bytes
    THtmlOutput Output_;
};

void THtmlWriter::AppendIcon(TTextBuffer& out, const TTreeNode& node) {
    const int entry = report::ImageListIndex(node.ImageCode());
    if (entry < 0 || (Mime_ && entry > 121))
        return;
    if (Mime_)
        IconUsed_[entry] = true;
    const auto index = static_cast<size_t>(entry);
    if (index >= IconMarkup_.size())
        IconMarkup_.resize(index + 1);
    std::string& markup = IconMarkup_[index];
    if (markup.empty()) {
        // Three digits with leading zeros; entries above 999 keep all their digits.
        const std::string digits = std::to_string(entry);
        const std::string number =
            std::string(digits.size() < 3 ? 3 - digits.size() : 0, '0') + digits;
        markup =
            Mime_ ? "<img src=3D\"i" + number + "_16.gif\")/>"
                  : "<script type=\"text/javascript\">javascript:di('" + number + "_16');</script>";
    }
    out += markup;
}

void THtmlWriter::StyleSheet() {
    const auto text = [](const char* size, const char* color, const char* weight,
                         const char* extra = "", const char* style = "normal") {
        return std::string("{") + extra + "font-size:" + size + ";color:" + color +
               ";font-weight:" + weight +
               ";vertical-align:middle;line-height:normal;font-style:" + style +
               ";font-variant:normal;}";
    };
    const char* tahoma = "font-family:Tahoma, Verdana, Arial;";
    const char* courier = "font-family:Courier New;";
    struct TBlock {
        const char* Open;
        const char* Close;
        bool Print;
    };
    for (const TBlock& block : {TBlock{"  @media print {", "}", true},
                                TBlock{"  @media screen, handheld, projection {", "  }", false}}) {
        const bool p = block.Print;
        const std::string text_ = p ? "#000000" : "#fff";
        const std::string value = p ? "#808080" : "#a0a0a0";
        const std::string level = p ? "#0066FF" : "#ffc800";
        Line(block.Open);
        const std::string page =
            std::string("margin-top:10px;margin-bottom:10px;padding:0;font-size:14px;") +
            (p ? "width:1024px;color:#333333;" : "min-width:640px;color:#b2b2b2;") +
            "font-family:verdana, arial, sans-serif;background-color:" +
            (p ? "#ffffff" : "#202226") + ";text-align:center;";
        Line("    html {" + page + "}");
        Line("    body {" + page + "}");
        if (p) {
            Line("    input.btn {display:none;}");
            Line("    input.btn_print {display:none;}");
            Line("    table.dottedline_NoPrint {display:none;}");
            Line("    .Program {display:none;}");
            Line("    .NoPrint {display:none;}");
        } else {
            Line("    input.btn {border:1px;font-weight:bold;width:20px;height:20px;color:#ffc800;"
                 "background-color:#333333;}");
            Line("    table.dottedline_NoPrint {border-width:1px;border-color:#999;"
                 "border-left:#999 1px dotted;width:100%;}");
            Line("    .Program {font-size:150%;color:#b2b2b2;}");
            Line(
                "    .NoPrint {border:0;font-weight:bold;font-size:125%;width:98%;color:#ffc800;}");
        }
        Line("    .Level0 " + text("125%", level.c_str(), "bold"));
        Line("    .Level1 " + text("105%", level.c_str(), "bold"));
        Line("    .Level1Value " + text("105%", level.c_str(), "bold"));
        Line("    .Level2 " + text("95%", text_.c_str(), "normal"));
        Line("    .Level2Bold " + text("95%", text_.c_str(), "bold"));
        Line("    .Level2Value " + text("95%", value.c_str(), "normal"));
        Line("    .Level2ValueBold " + text("95%", value.c_str(), "bold"));
        Line("    .Levelx " + text("95%", text_.c_str(), "normal", tahoma));
        Line("    .LevelxBold " + text("95%", text_.c_str(), "bold", tahoma));
        Line("    .LevelxBoldItalic " + text("95%", text_.c_str(), "bold", tahoma, "italic"));
        Line("    .LevelxCour " + text("95%", text_.c_str(), "normal", courier));
        Line("    .LevelxCourBold " + text("95%", text_.c_str(), "bold", courier));
        Line("    .LevelxValue " + text("95%", value.c_str(), "normal", tahoma));
        Line("    .LevelxValueBold " + text("95%", value.c_str(), "bold", tahoma));
        Line("    .LevelxValueCour " + text("95%", value.c_str(), "normal", courier));
        Line("    .LevelxValueCourBold " + text("95%", value.c_str(), "bold", courier));
        const char* copyright = p ? "#000000" : "#999999";
        Line(std::string("    .Copyright {font-size:90%;color:") + copyright +
             ";text-align:center;}");
        Line(std::string("    .Copyright a {font-size:90%;color:") + copyright +
             ";text-align:center;}");
        Line(std::string("    .Copyright a:hover {font-size:90%;color:") +
             (p ? "#000000" : "#ffc800") + ";text-align:center;}");
        if (p) {
            Line("    a {color:#000000;}");
            Line("    a:hover {color:#000000;}");
        } else {
            Line("    a {color:#ffc800;text-decoration:none;}");
            Line("    a:hover {color:#ffc800;text-decoration:underline;}");
        }
        const char* ink = p ? "#000000" : "#ffffff";
        Line("    table.Level_0 {font-weight:bold;font-size:130%;width:100%;color:" + level + ";}");
        Line("    table.Level_1 {font-weight:bold;font-size:90%;margin-left:20px;width:97%;color:" +
             level + ";}");
        Line(std::string("    table.Level_2 {font-weight:bold;font-size:90%;margin-left:20px;"
                         "width:97%;color:") +
             ink + ";}");
        Line(std::string("    table.Level_x {font-weight:normal;font-size:100%;margin-left:20px;"
                         "width:97%;color:") +
             ink + ";}");
        Line("    table.ValueList {border:#999999 1px solid;width:100%;color:#b2b2b2;"
             "line-height:96%;}");
        Line(block.Close);
    }
    Line("  img {padding:0 2px 0 2px;border-width:0;border-color:#000000;margin:0;"
         "background-position:center;}");
    Line("  img.icon {display:none;}");
    Line("  table {background-position:left;text-align:left;}");
    Line("  table.dottedline {border-width:1px;border-color:#999;border-left:#999 1px dotted;"
         "width:100%;}");
    Line("  .nolinkcolor a {color:#b2b2b2;text-decoration:none;font-weight:normal;}");
    Line("  .nolinkcolor a:hover {color:#b2b2b2;text-decoration:none;font-weight:normal;}");
}

void THtmlWriter::Head() {
    if (Mime_) {
        Line("From: <tAVERIC Ostero>");
        Line("Subject: Taveric Report");
        Line("MIME-Version: 1.0");
        Line("Content-Type: multipart/related;");
        Line(std::string("\tboundary=\"") + kBoundary + "\";");
        Line("\ttype=\"text/html\"");
        Line("");
        Line(std::string("--") + kBoundary);
        Line("Content-Type: text/html; charset=\"utf-8\"");
        Line("Content-Transfer-Encoding: quoted-printable");
        Line("Content-Location: file:///htm.htm");
        Line("");
    } else {
        Line("<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Transitional//EN\" "
             "\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd\">");
    }
    Line("<html xmlns=" + Q_ + "\"http://www.w3.org/1999/xhtml\" xml:lang=" + Q_ +
         "\"en\" lang=" + Q_ + "\"en\">");
    Line("<head>");
    Line("<!-- saved from url=(0013)about:internet -->");
    // Every byte of the page is ASCII (see EncodeHtmlText), so the declaration holds.
    Line("<meta http-equiv=" + Q_ + "\"Content-Type\" content=" + Q_ +
         "\"text/html; charset=" + Q_ + "utf-8\" />");
    const std::pair<const char*, std::string> metas[] = {
        {"\"keywords\"           content=", kKeywords},
        {"\"author\"             content=", kAuthor},
        {"\"page-type\"          content=", "Business Page"},
        {"\"publisher\"          content=", kMakerName},
        {"\"audience\"           content=", "All"},
        {"\"copyright\"          content=", kCopyright},
    };
    for (const auto& [name, content] : metas)
        Line("<meta name=" + Q_ + name + Q_ + "\"" + Encode(content) + "\" />");
    if (!Mime_) {
        Line(std::string("<link rel=\"shortcut icon\" href=\"") + kFavicon + "\" />");
        Line(std::string("<link rel=\"icon\" href=\"") + kFavicon + "\" type=\"image/x-icon\" />");
    }
    Line("");
    Line("<style type=" + Q_ + "\"text/css\">");
    StyleSheet();
    Line("</style>");
    Line("");
    Line("<title>" +
         (Options_.Title.empty() ? std::string("Taveric Report") : Encode(Options_.Title)) +
         "</title>");
    if (!Mime_) {
        Line("");
        Line("<script type=\"text/javascript\">");
        Line("<!--");
        Line("function language() {");
        Line(Options_.LanguageIndex == 0 ? " return \"DE\";" : " return \"EN\";");
        Line("}");
        Line("function di(iconname) {");
        Line("}");
        Line("function logo() {");
        Line("document.write('<table align=\"center\" width=\"100%\" border=\"0\" "
             "cellspacing=\"0\"><tr>');");
        Line(std::string("document.write('<td class=\"Program\"><span class=\"nolinkcolor\"><a "
                         "href=\"") +
             kMakerSite + "\" target=\"_blank\"><b><i><font color=\"#ffc800\">" + kMakerName +
             "</font></i></b>&nbsp;Report</a></span>');");
        Line("document.write('</td></tr></table>');");
        Line("}");
        Line("-->");
        Line("</script>");
        Line("");
        Line(std::string("<link href=\"") + kReportStyleSheet +
             "\" rel=\"stylesheet\" type=\"text/css\"/>");
        Line(std::string("<script src=\"") + kReportScript +
             "\" type=\"text/javascript\"></script>");
    }
    Line("</head>");
    Line("");
    Line("<body>");
}

void THtmlWriter::BodyStart() {
    if (!Mime_)
        Line(std::string("<script src=\"") + kTopBannerScript +
             "\" type=\"text/javascript\"></script>");
    Line("<a name=" + Q_ + "\"TOP\"></a>");
    if (Mime_) {
        Line("<table align=" + Q_ + "\"center\" width=" + Q_ + "\"100%\" border=" + Q_ +
             "\"0\" cellspacing=" + Q_ + "\"0\"><tr><td class=" + Q_ +
             "\"Program\"><span class=" + Q_ + "\"nolinkcolor\"><a href=" + Q_ + "\"" + kMakerSite +
             "\" target=" + Q_ + "\"_blank\"><img src=" + Q_ + "\"Header.gif\" alt=" + Q_ + "\"" +
             kMakerSiteName + "\"/></a></span> </td></tr>");
        Line("</table>");
    } else {
        Line("<script type=\"text/javascript\">javascript:logo();</script>");
        Line(std::string("<script src=\"") + kExtraScript +
             "\" type=\"text/javascript\"></script>");
        Line(std::string("<script src=\"") + kAddOnScript +
             "\" type=\"text/javascript\"></script>");
    }
    Line("<table class=" + Q_ + "\"dottedline_NoPrint\" cellspacing=" + Q_ + "\"0\" cellpadding=" +
         Q_ + "\"0\" border=" + Q_ + "\"1\"><tbody><tr><td></td></tr></tbody></table>");
    Line("<br/>");
    Line("<table class=" + Q_ + "\"NoPrint\" id=" + Q_ + "\"Collapse_all\"><tr><td align=" + Q_ +
         "\"right\"><span id=" + Q_ + "\"Expand_Btn_Text\" style=" + Q_ +
         "\"font-size:small;color:#b2b2b2\">" + Encode(Text("Expand all")) + " </span>");
    Line("  <input name=" + Q_ + "\"Collapse_all\" type=" + Q_ + "\"button\" class=" + Q_ +
         "\"btn\" id=" + Q_ + "\"Collapse_all_button\" value=" + Q_ + "\"+\" onclick=" + Q_ +
         "\"javascript:OnExpandAllClick('')\" /></td></tr>");
    Line("</table>");
    OpenDepth_ = -1;
    TableCount_ = 0;
    Line("<table class=" + Q_ + "\"Level_0\">");
}

void THtmlWriter::CloseDeeper(int depth) {
    while (OpenDepth_ >= depth + 1) {
        Out_.append(static_cast<size_t>(OpenDepth_), ' ');
        Out_ += "</table></td></tr>";
        EndLine();
        --OpenDepth_;
    }
}

const TTreeNode* THtmlWriter::PropertyRun(const TTreeNode* first, int depth) {
    const std::string indent(static_cast<size_t>(depth + 1), ' ');
    Out_ += indent;
    Out_ += "<tr><td><table class=";
    Out_ += Q_;
    Out_ += "\"ValueList\">";
    EndLine();
    const TTreeNode* last = first;
    bool firstRow = true;
    for (const TTreeNode* node = first; node != nullptr && node->Property() != nullptr;
         node = node->NextSibling()) {
        last = node;
        if (!report::ChosenWithContent(*node, Options_.KeepPrivate))
            continue;
        const TTreeListObj& property = *node->Property();
        const int type = property.TypeCode;
        const bool hasValue = !property.Value.empty();
        const bool spacer = type == 11 || type == 12 || type == 40 || type == 41;
        const int span = 3 - (spacer ? 1 : 0) - (hasValue ? 1 : 0);
        const bool blanks = type == 31 || type == 32 || type == 40 || type == 41;
        // Only a web address becomes an anchor; any other link value is written as text.
        const std::optional<std::string> target = (property.Flags & report::nfLink) != 0
                                                      ? support::SafeLinkTarget(property.Value)
                                                      : std::nullopt;
        const bool link = target.has_value();
        const char* nameClass = "Levelx";
        const char* valueClass = "LevelxValue";
        if (IsBoldType(type)) {
            nameClass = "LevelxBold";
            valueClass = "LevelxValueBold";
        } else if (type == 32 || type == 40) {
            nameClass = "LevelxCourBold";
            valueClass = "LevelxValueCourBold";
        } else if (type == 31 || type == 41) {
            nameClass = "LevelxCour";
            valueClass = "LevelxValueCour";
        }
        if (!hasValue && type == 10)
            nameClass = "LevelxBoldItalic";
        const bool boldKind = hasValue ? (type == 10 || type == 12 || type == 32 || type == 40)
                                       : (type == 10 || type == 12);
        const bool ruled = boldKind && !firstRow;
        Out_ += indent;
        Out_ += " <tr>";
        if (spacer)
            Out_ += SpacerCell_;
        Out_ += NameCell_;
        Out_ += static_cast<char>('0' + span);
        if (firstRow && hasValue && (type == 32 || type == 40)) {
            Out_ += "\" class=\"LevelxCourBold\">";
        } else {
            Out_ += ruled ? RuledClass_ : PlainClass_;
            Out_ += nameClass;
            Out_ += "\">";
        }
        AppendIcon(Out_, *node);
        AppendEncoded(Out_, node->Text(), Mime_);
        Out_ += "</td>";
        if (hasValue) {
            Out_ += ruled ? RuledValueCell_ : ValueCell_;
            Out_ += valueClass;
            Out_ += "\">";
            if (!blanks && !link) {
                AppendEncoded(Out_, property.Value, Mime_); // the usual row: straight out
            } else {
                std::string value;
                AppendEncoded(value, property.Value, Mime_);
                if (blanks) {
                    for (size_t at = value.find("  "); at != std::string::npos;
                         at = value.find("  "))
                        value.replace(at, 2, "&nbsp;&nbsp;");
                }
                if (link)
                    value = "<a href=" + Q_ + "\"" + Encode(*target) + "\">" + value + "</a>";
                Out_ += value;
            }
            Out_ += "</td>";
        }
        Out_ += "</tr>";
        EndLine();
        firstRow = false;
    }
    Out_ += indent;
    Out_ += "</table></td></tr>";
    EndLine();
    OpenDepth_ = depth;
    return last;
}

void THtmlWriter::ChartRow(const report::TChart& chart, int n) {
    if (ChartFile_.empty()) {
        if (Mime_) {
            ChartFile_ = "Chart.wmf";
            if (Options_.Pictures)
                ChartBytes_ = Options_.Pictures->ChartEmf(chart, 640, 440);
        } else {
            std::filesystem::path page(PageFileName_);
            ChartFile_ = page.stem().string() + "_01.jpg";
            if (Options_.Pictures)
                ChartBytes_ = Options_.Pictures->ChartJpeg(chart, 640, 440);
            Output_.SideFiles.emplace_back((page.parent_path() / ChartFile_).string(), ChartBytes_);
        }
    }
    Line(std::string(static_cast<size_t>(n + 1), ' ') + " <tr><td><img style=" + Q_ +
         "\"background-color: #ffffff\" src=" + Q_ + "\"" + Encode(UriPathSegment(ChartFile_)) +
         "\" alt=" + Q_ + "\"" + Encode(Text("Sensorlog")) + "\"/></td></tr>");
}

void THtmlWriter::Walk(const TTreeNode* start, int levelOffset) {
    if (start == nullptr)
        return;
    int d = levelOffset;
    const int startLevel = start->Level();
    for (const TTreeNode* node = start; node != nullptr && node->Level() >= startLevel;
         node = node->NextInTree()) {
        if (!report::ChosenWithContent(*node, Options_.KeepPrivate))
            continue;
        const int depth = node->Level() + d;
        if (node->Property() != nullptr) {
            node = PropertyRun(node, depth);
            continue;
        }
        CloseDeeper(depth);
        const report::TReportInfo* info = node->ReportInfo();
        const report::TChartObject* chartObject = node->ChartObject();
        const TTreeNode* next = node->NextInTree();
        const bool collapsible = info != nullptr || chartObject != nullptr ||
                                 (node->Object() == nullptr && next != nullptr &&
                                  (next->Property() != nullptr || next->Level() > node->Level()));
        Out_.append(static_cast<size_t>(std::max(0, depth)), ' ');
        if (collapsible) {
            char n[16];
            const std::string_view number(n, std::to_chars(n, n + sizeof n, TableCount_).ptr);
            Out_ += ButtonCell_;
            Out_ += number;
            Out_ += ButtonClick_;
            Out_ += number;
            Out_ += "')\"/> ";
            AppendIcon(Out_, *node);
            AppendEncoded(Out_, node->Text(), Mime_);
            Out_ += "</td></tr>";
            EndLine();
            const char* level = depth == 0   ? "\"Level_1\""
                                : depth == 1 ? "\"Level_2\""
                                             : "\"Level_x\"";
            Out_.append(static_cast<size_t>(std::max(0, depth)), ' ');
            Out_ += GroupTable_;
            Out_ += level;
            Out_ += GroupTableId_;
            Out_ += number;
            Out_ += GroupTableStyle_;
            EndLine();
            ++TableCount_;
        } else {
            Out_ += " <tr><td>";
            AppendIcon(Out_, *node);
            AppendEncoded(Out_, node->Text(), Mime_);
            Out_ += "</td></tr>";
            EndLine();
        }
        const report::TChart* chart = chartObject ? chartObject->Chart
                                      : info      ? info->Chart
                                                  : nullptr;
        if (chart != nullptr) {
            ChartRow(*chart, startLevel + node->Level());
            ++d;
        } else if (info != nullptr && info->Subtree != nullptr) {
            // The subtree's top lies one level below this node as written, also after a chart
            // row has moved the rest of the walk a level deeper.
            Walk(info->Subtree, depth - info->Subtree->Level() + 1);
            CloseDeeper(depth);
        }
        OpenDepth_ = node->Level() + d;
        // A group's table is closed with the next level even when all of its content was left
        // out (private or unchecked): otherwise the page would keep it open.
        if (collapsible && !(chart == nullptr && info != nullptr && info->Subtree != nullptr))
            OpenDepth_ = std::max(OpenDepth_, depth + 1);
    }
}

void THtmlWriter::Scripts() {
    const std::string eq = Eq();
    const std::string same = "=" + Q_ + "=";
    Line("");
    Line("<script type=" + Q_ + "\"text/javascript\">");
    Line("<!--");
    Line("function OnButtonClick(id) {");
    for (const char* part : {"document.getElementById('table_'+id).style.display",
                             "document.getElementById('button_'+id).value"}) {
        const bool table = std::string(part).find("table_") != std::string::npos;
        const std::string closed = table ? "'none'" : "'+'";
        const std::string open = table ? "'block'" : "'-'";
        Line(std::string("  if (") + part + same + closed + ") {");
        Line(std::string("    ") + part + eq + open + ";");
        Line("  }");
        Line("  else {");
        Line(std::string("    ") + part + eq + closed + ";");
        Line("  }");
    }
    Line("}");
    Line("function OnExpandAllClick() {");
    Line("  var x     " + eq + " 0;");
    Line("  if (document.getElementById('Collapse_all_button').value" + same + "'+') {");
    const auto branch = [&](const char* button, const std::string& label, const char* display,
                            const char* sign) {
        Line(std::string("    document.getElementById('Collapse_all_button').value") + eq + button +
             ";");
        Line("    document.getElementById('Expand_Btn_Text').firstChild.data" + eq + "'" + label +
             " ';");
        Line("    while (x < " + std::to_string(TableCount_) + ") {");
        Line(std::string("      document.getElementById('table_'+x).style.display") + eq + display +
             ";");
        Line(std::string("      document.getElementById('button_'+x).value") + eq + sign + ";");
        Line("      x " + eq + " x + 1;");
        Line("    }");
    };
    // Texts inside script strings: entity references would show as written.
    const auto scriptText = [this](const char* english) {
        std::string text;
        for (char c : Text(english)) {
            const auto byte = static_cast<unsigned char>(c);
            char escaped[8];
            if (byte >= 0x80 || c == '\'' || c == '\\' || c == '<' || c == '=') {
                std::snprintf(escaped, sizeof escaped, "\\u%04x",
                              static_cast<unsigned>(support::AnsiCharToUnicode(byte)));
                text += escaped;
            } else {
                text += c;
            }
        }
        return text;
    };
    branch("'-'", scriptText("Collaps all"), "'block'", "'-'");
    Line("  }");
    Line("  else {");
    branch("'+'", scriptText("Expand all"), "'none'", "'+'");
    Line("  }");
    Line("}");
    Line("-->");
    Line("</script>");
    Line("");
    Line("</body>");
    Line("</html>");
}

void THtmlWriter::BodyEnd() {
    Line("<br/>");
    const std::string dotted = "<table class=" + Q_ + "\"dottedline\" cellspacing=" + Q_ +
                               "\"0\" cellpadding=" + Q_ + "\"0\" border=" + Q_ +
                               "\"1\"><tbody><tr><td></td></tr></tbody></table>";
    Line(dotted);
    Line("<p class=" + Q_ + "\"Copyright\">" +
         Encode(Text("The names of actual companies and products mentioned herein may be the "
                     "trademarks of their respective owners.")) +
         "<br/></p>");
    Line(dotted + "<br/>");
    if (!Mime_)
        Line(std::string("<script src=\"") + kBottomBannerScript +
             "\" type=\"text/javascript\"></script>");
    Line("<div class=" + Q_ + "\"Copyright\">" + Encode(kCopyright) + "</div>");
    Line("<div class=" + Q_ + "\"Copyright\"><a");
    Line(" href=" + Q_ + "\"" + kMakerSite + "\" target=" + Q_ + "\"_blank\">" + kMakerSiteName +
         "</a> <a");
    Line(" href=" + Q_ + "\"" + kSupportSite + "\" target=" + Q_ + "\"_blank\">" +
         kSupportSiteName + "</a>");
    Line("</div>");
    Scripts();
}

void THtmlWriter::MimePictures() {
    const auto part = [this](const char* type, const std::string& name, const std::string& bytes) {
        Line(std::string("--") + kBoundary);
        Line(std::string("Content-Type: ") + type);
        Line("Content-Transfer-Encoding: base64");
        Line("Content-Location: file:///" + name);
        Line("");
        Out_ += Base64Lines(bytes);
    };
    part("image/gif", "Header.gif",
         Options_.Pictures ? Options_.Pictures->BannerGif() : std::string());
    Line("");
    for (int entry = 0; entry < 122; ++entry) {
        if (!IconUsed_[entry] || Options_.Pictures == nullptr)
            continue;
        const std::string gif = Options_.Pictures->IconGif(entry);
        if (gif.empty())
            continue;
        char name[32];
        std::snprintf(name, sizeof name, "i%3.3d_16.gif", entry);
        Line("");
        part("image/gif", name, gif);
    }
    if (!ChartFile_.empty() && !ChartBytes_.empty()) {
        Line("");
        part("application/octet-stream", ChartFile_, ChartBytes_);
    }
    Line("");
    Line(std::string("--") + kBoundary + "--");
}

THtmlOutput THtmlWriter::Render() {
    Head();
    BodyStart();
    Walk(Tree_.First(), 0);
    for (int n = OpenDepth_; n >= 0; --n)
        Line(n > 0 ? std::string(static_cast<size_t>(n), ' ') + "</table></td></tr>" : "</table>");
    if (OpenDepth_ < 0)
        Line("</table>");
    BodyEnd();
    if (Mime_)
        MimePictures();
    if (Sink_ != nullptr) {
        Sink_->Write(Out_.View());
        Out_.clear();
    }
    Output_.Document = std::string(Out_.View());
    return std::move(Output_);
}

} // namespace

THtmlOutput RenderHtml(const report::TReportTree& tree, const std::string& pageFileName,
                       const THtmlOptions& options) {
    return THtmlWriter(tree, pageFileName, options).Render();
}

bool SaveHtml(const report::TReportTree& tree, const std::string& fileName,
              const THtmlOptions& options, std::string* error) {
    std::string why;
    platform::TFileReplacement page;
    if (!page.Begin(fileName, why)) {
        if (error)
            *error = why;
        return false;
    }
    const THtmlOutput output = THtmlWriter(tree, fileName, options, &page).Render();
    // The pictures first: a page whose picture could not be written is not put in place.
    for (const auto& [path, bytes] : output.SideFiles) {
        if (!bytes.empty() && !platform::ReplaceFileContents(path, bytes, why)) {
            if (error)
                *error = why;
            return false;
        }
    }
    if (!page.Commit(why)) {
        if (error)
            *error = why;
        return false;
    }
    return true;
}

} // namespace ostero::exporting
