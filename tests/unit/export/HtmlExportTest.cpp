#include "export/HtmlExport.h"

#include <gtest/gtest.h>

#include <regex>

using namespace ostero;
using exporting::RenderHtml;
using exporting::THtmlOptions;
using report::AddNode;
using report::TTreeNode;

namespace {

size_t Count(const std::string& text, const std::string& what) {
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++count;
    return count;
}

std::string Page(const report::TReportTree& tree, THtmlOptions options = {}) {
    return RenderHtml(tree, "/tmp/page.htm", options).Document;
}

// Every table opened is closed, and the page ends as a page.
void ExpectBalanced(const std::string& page) {
    EXPECT_EQ(Count(page, "<table"), Count(page, "</table>")) << page;
    EXPECT_EQ(page.substr(page.size() - 9), "</html>\r\n");
}

} // namespace

TEST(HtmlExport, PropertyRowsByTypeCode) {
    struct TCase {
        std::string Record;
        uint32_t Type, Flags;
        std::string Row;
    };
    const std::vector<TCase> cases = {
        {"CPU=2.4 GHz", 10, 0,
         "<td colspan=\"2\" class=\"LevelxBold\"><script type=\"text/javascript\">"
         "javascript:di('010_16');</script>CPU</td><td class=\"LevelxValueBold\">2.4 "
         "GHz</td></tr>"},
        {"Title", 10, 0, "<td colspan=\"3\" class=\"LevelxBoldItalic\">"},
        {"Sub=x", 11, 0, "<tr><td width=\"12\">&nbsp;</td><td colspan=\"1\" class=\"Levelx\">"},
        {"Dump=a  b    c", 31, 0,
         "<td class=\"LevelxValueCour\">a&nbsp;&nbsp;b&nbsp;&nbsp;"
         "&nbsp;&nbsp;c</td>"},
        {"Home=www.example.org", 10, report::nfLink,
         "<a href=\"http://www.example.org\">www.example.org</a>"},
        {"Home=https://example.org/a", 10, report::nfLink,
         "<a href=\"https://example.org/a\">https://example.org/a</a>"},
        {"Odd=a&b<c>\"", 20, 0, "a&amp;b&lt;c&gt;&quot;</td>"},
        {"Temp=45 \xB0"
         "C \x80 caf\xE9",
         20, 0, "45 &deg;C &euro; caf&#233;</td>"},
    };
    for (const TCase& c : cases) {
        report::TReportTree tree;
        TTreeNode* group = AddNode(tree, nullptr, 1, 0, "Group", 0);
        AddNode(tree, group, 11, c.Flags, c.Record, c.Type);
        const std::string page = Page(tree);
        EXPECT_NE(page.find(c.Row), std::string::npos) << c.Record << "\n" << page;
        ExpectBalanced(page);
    }
}

// The report part of the page, byte for byte, for every kind of row: groups with and without a
// table, each class of property row, rule lines, the spacer cell, links, the first-row literal,
// private rows left out, and the closing of deeper tables.
TEST(HtmlExport, ReportRowsExactlyInBothModes) {
    report::TReportTree tree;
    TTreeNode* c = AddNode(tree, nullptr, 401, 0, "Devices", 0);
    c = AddNode(tree, c, 3, 0, "CPUs", 1);
    c = AddNode(tree, c, 11, 0, "Name=Xeon", 10);
    c = AddNode(tree, c, 12, 0, "Title", 10);
    c = AddNode(tree, c, 13, 0, "Sub=a<b", 11);
    c = AddNode(tree, c, 14, 0, "Dump=a  b", 31);
    c = AddNode(tree, c, 15, report::nfLink, "Home=www.x.org", 12);
    c = AddNode(tree, c, 16, report::nfPrivate, "Serial=1", 20);
    c = AddNode(tree, c, 17, 0, "Code=x=y", 32);
    c = AddNode(tree, c, 18, 0, "Wide=z", 40);
    c = AddNode(tree, c, 19, 0, "Narrow=w", 41);
    c = AddNode(tree, c, 5, 0, "Empty", 1);
    c = AddNode(tree, c, 6, 0, "Disks", 1);
    c = AddNode(tree, c, 7, 0, "Disk 0", 2);
    c = AddNode(tree, c, 8, 0, "Size=1 GB", 20);
    c = AddNode(tree, c, 402, 0, "System \x80", 0);
    c = AddNode(tree, c, 20, 0, "Font=Courier  New", 32);
    c = AddNode(tree, c, 21, 0, "Kind=", 40);
    AddNode(tree, c, 0, 0, "Plain=1", 20);

    struct TCase {
        bool Mime;
        std::string Rows;
    };
    const TCase cases[] = {
        {false,
         "<table class=\"Level_0\">\r\n"
         " <tr><td><input class=\"btn\" type=\"button\" value=\"+\" id=\"button_0\" "
         "onclick=\"javascript:OnButtonClick('0')\"/> <script "
         "type=\"text/javascript\">javascript:di('000_16');</script>Devices</td></tr>\r\n"
         " <tr><td><table class=\"Level_1\" id=\"table_0\" style=\"DISPLAY:none\">\r\n"
         "  <tr><td><input class=\"btn\" type=\"button\" value=\"+\" id=\"button_1\" "
         "onclick=\"javascript:OnButtonClick('1')\"/> <script "
         "type=\"text/javascript\">javascript:di('002_16');</script>CPUs</td></tr>\r\n"
         "  <tr><td><table class=\"Level_2\" id=\"table_1\" style=\"DISPLAY:none\">\r\n"
         "   <tr><td><table class=\"ValueList\">\r\n"
         "    <tr><td colspan=\"2\" class=\"LevelxBold\"><script "
         "type=\"text/javascript\">javascript:di('010_16');</script>Name</td><td "
         "class=\"LevelxValueBold\">Xeon</td></tr>\r\n"
         "    <tr><td colspan=\"3\" style=\"border-top:1px solid\" "
         "class=\"LevelxBoldItalic\"><script "
         "type=\"text/javascript\">javascript:di('011_16');</script>Title</td></tr>\r\n"
         "    <tr><td width=\"12\">&nbsp;</td><td colspan=\"1\" class=\"Levelx\"><script "
         "type=\"text/javascript\">javascript:di('012_16');</script>Sub</td><td "
         "class=\"LevelxValue\">a&lt;b</td></tr>\r\n"
         "    <tr><td colspan=\"2\" class=\"LevelxCour\"><script "
         "type=\"text/javascript\">javascript:di('013_16');</script>Dump</td><td "
         "class=\"LevelxValueCour\">a&nbsp;&nbsp;b</td></tr>\r\n"
         "    <tr><td width=\"12\">&nbsp;</td><td colspan=\"1\" style=\"border-top:1px solid\" "
         "class=\"LevelxBold\"><script "
         "type=\"text/javascript\">javascript:di('014_16');</script>Home</td><td "
         "style=\"border-top:1px solid\" class=\"LevelxValueBold\"><a "
         "href=\"http://www.x.org\">www.x.org</a></td></tr>\r\n"
         "    <tr><td colspan=\"2\" style=\"border-top:1px solid\" "
         "class=\"LevelxCourBold\"><script "
         "type=\"text/javascript\">javascript:di('016_16');</script>Code</td><td "
         "style=\"border-top:1px solid\" class=\"LevelxValueCourBold\">x=y</td></tr>\r\n"
         "    <tr><td width=\"12\">&nbsp;</td><td colspan=\"1\" style=\"border-top:1px solid\" "
         "class=\"LevelxCourBold\"><script "
         "type=\"text/javascript\">javascript:di('017_16');</script>Wide</td><td "
         "style=\"border-top:1px solid\" class=\"LevelxValueCourBold\">z</td></tr>\r\n"
         "    <tr><td width=\"12\">&nbsp;</td><td colspan=\"1\" class=\"LevelxCour\"><script "
         "type=\"text/javascript\">javascript:di('018_16');</script>Narrow</td><td "
         "class=\"LevelxValueCour\">w</td></tr>\r\n"
         "   </table></td></tr>\r\n"
         "  </table></td></tr>\r\n"
         "  <tr><td><script "
         "type=\"text/javascript\">javascript:di('004_16');</script>Empty</td></tr>\r\n"
         "  <tr><td><input class=\"btn\" type=\"button\" value=\"+\" id=\"button_2\" "
         "onclick=\"javascript:OnButtonClick('2')\"/> <script "
         "type=\"text/javascript\">javascript:di('005_16');</script>Disks</td></tr>\r\n"
         "  <tr><td><table class=\"Level_2\" id=\"table_2\" style=\"DISPLAY:none\">\r\n"
         "   <tr><td><input class=\"btn\" type=\"button\" value=\"+\" id=\"button_3\" "
         "onclick=\"javascript:OnButtonClick('3')\"/> <script "
         "type=\"text/javascript\">javascript:di('006_16');</script>Disk 0</td></tr>\r\n"
         "   <tr><td><table class=\"Level_x\" id=\"table_3\" style=\"DISPLAY:none\">\r\n"
         "    <tr><td><table class=\"ValueList\">\r\n"
         "     <tr><td colspan=\"2\" class=\"Levelx\"><script "
         "type=\"text/javascript\">javascript:di('007_16');</script>Size</td><td "
         "class=\"LevelxValue\">1 GB</td></tr>\r\n"
         "    </table></td></tr>\r\n"
         "   </table></td></tr>\r\n"
         "  </table></td></tr>\r\n"
         " </table></td></tr>\r\n"
         " <tr><td><input class=\"btn\" type=\"button\" value=\"+\" id=\"button_4\" "
         "onclick=\"javascript:OnButtonClick('4')\"/> <script "
         "type=\"text/javascript\">javascript:di('054_16');</script>System &euro;</td></tr>\r\n"
         " <tr><td><table class=\"Level_1\" id=\"table_4\" style=\"DISPLAY:none\">\r\n"
         "  <tr><td><table class=\"ValueList\">\r\n"
         "   <tr><td colspan=\"2\" class=\"LevelxCourBold\"><script "
         "type=\"text/javascript\">javascript:di('019_16');</script>Font</td><td "
         "class=\"LevelxValueCourBold\">Courier&nbsp;&nbsp;New</td></tr>\r\n"
         "   <tr><td width=\"12\">&nbsp;</td><td colspan=\"2\" class=\"LevelxCourBold\"><script "
         "type=\"text/javascript\">javascript:di('020_16');</script>Kind</td></tr>\r\n"
         "   <tr><td colspan=\"2\" class=\"Levelx\">Plain</td><td "
         "class=\"LevelxValue\">1</td></tr>\r\n"
         "  </table></td></tr>\r\n"
         " </table></td></tr>\r\n"
         "</table>\r\n"},
        {true,
         "<table class=3D\"Level_0\">\r\n"
         " <tr><td><input class=3D\"btn\" type=3D\"button\" value=3D\"+\" id=3D\"button_0\" "
         "onclick=3D\"javascript:OnButtonClick('0')\"/> <img "
         "src=3D\"i000_16.gif\")/>Devices</td></tr>\r\n"
         " <tr><td><table class=3D\"Level_1\" id=3D\"table_0\" style=3D\"DISPLAY:none\">\r\n"
         "  <tr><td><input class=3D\"btn\" type=3D\"button\" value=3D\"+\" id=3D\"button_1\" "
         "onclick=3D\"javascript:OnButtonClick('1')\"/> <img "
         "src=3D\"i002_16.gif\")/>CPUs</td></tr>\r\n"
         "  <tr><td><table class=3D\"Level_2\" id=3D\"table_1\" style=3D\"DISPLAY:none\">\r\n"
         "   <tr><td><table class=3D\"ValueList\">\r\n"
         "    <tr><td colspan=3D\"2\" class=3D\"LevelxBold\"><img "
         "src=3D\"i010_16.gif\")/>Name</td><td class=3D\"LevelxValueBold\">Xeon</td></tr>\r\n"
         "    <tr><td colspan=3D\"3\" style=3D\"border-top:1px solid\" "
         "class=3D\"LevelxBoldItalic\"><img src=3D\"i011_16.gif\")/>Title</td></tr>\r\n"
         "    <tr><td width=3D\"12\">&nbsp;</td><td colspan=3D\"1\" class=3D\"Levelx\"><img "
         "src=3D\"i012_16.gif\")/>Sub</td><td class=3D\"LevelxValue\">a&lt;b</td></tr>\r\n"
         "    <tr><td colspan=3D\"2\" class=3D\"LevelxCour\"><img "
         "src=3D\"i013_16.gif\")/>Dump</td><td "
         "class=3D\"LevelxValueCour\">a&nbsp;&nbsp;b</td></tr>\r\n"
         "    <tr><td width=3D\"12\">&nbsp;</td><td colspan=3D\"1\" style=3D\"border-top:1px "
         "solid\" class=3D\"LevelxBold\"><img src=3D\"i014_16.gif\")/>Home</td><td "
         "style=3D\"border-top:1px solid\" class=3D\"LevelxValueBold\"><a "
         "href=3D\"http://www.x.org\">www.x.org</a></td></tr>\r\n"
         "    <tr><td colspan=3D\"2\" style=3D\"border-top:1px solid\" "
         "class=3D\"LevelxCourBold\"><img src=3D\"i016_16.gif\")/>Code</td><td "
         "style=3D\"border-top:1px solid\" class=3D\"LevelxValueCourBold\">x=3Dy</td></tr>\r\n"
         "    <tr><td width=3D\"12\">&nbsp;</td><td colspan=3D\"1\" style=3D\"border-top:1px "
         "solid\" class=3D\"LevelxCourBold\"><img src=3D\"i017_16.gif\")/>Wide</td><td "
         "style=3D\"border-top:1px solid\" class=3D\"LevelxValueCourBold\">z</td></tr>\r\n"
         "    <tr><td width=3D\"12\">&nbsp;</td><td colspan=3D\"1\" class=3D\"LevelxCour\"><img "
         "src=3D\"i018_16.gif\")/>Narrow</td><td class=3D\"LevelxValueCour\">w</td></tr>\r\n"
         "   </table></td></tr>\r\n"
         "  </table></td></tr>\r\n"
         "  <tr><td><img src=3D\"i004_16.gif\")/>Empty</td></tr>\r\n"
         "  <tr><td><input class=3D\"btn\" type=3D\"button\" value=3D\"+\" id=3D\"button_2\" "
         "onclick=3D\"javascript:OnButtonClick('2')\"/> <img "
         "src=3D\"i005_16.gif\")/>Disks</td></tr>\r\n"
         "  <tr><td><table class=3D\"Level_2\" id=3D\"table_2\" style=3D\"DISPLAY:none\">\r\n"
         "   <tr><td><input class=3D\"btn\" type=3D\"button\" value=3D\"+\" id=3D\"button_3\" "
         "onclick=3D\"javascript:OnButtonClick('3')\"/> <img src=3D\"i006_16.gif\")/>Disk "
         "0</td></tr>\r\n"
         "   <tr><td><table class=3D\"Level_x\" id=3D\"table_3\" style=3D\"DISPLAY:none\">\r\n"
         "    <tr><td><table class=3D\"ValueList\">\r\n"
         "     <tr><td colspan=3D\"2\" class=3D\"Levelx\"><img "
         "src=3D\"i007_16.gif\")/>Size</td><td class=3D\"LevelxValue\">1 GB</td></tr>\r\n"
         "    </table></td></tr>\r\n"
         "   </table></td></tr>\r\n"
         "  </table></td></tr>\r\n"
         " </table></td></tr>\r\n"
         " <tr><td><input class=3D\"btn\" type=3D\"button\" value=3D\"+\" id=3D\"button_4\" "
         "onclick=3D\"javascript:OnButtonClick('4')\"/> <img src=3D\"i054_16.gif\")/>System "
         "&euro;</td></tr>\r\n"
         " <tr><td><table class=3D\"Level_1\" id=3D\"table_4\" style=3D\"DISPLAY:none\">\r\n"
         "  <tr><td><table class=3D\"ValueList\">\r\n"
         "   <tr><td colspan=3D\"2\" class=\"LevelxCourBold\"><img "
         "src=3D\"i019_16.gif\")/>Font</td><td "
         "class=3D\"LevelxValueCourBold\">Courier&nbsp;&nbsp;New</td></tr>\r\n"
         "   <tr><td width=3D\"12\">&nbsp;</td><td colspan=3D\"2\" class=3D\"LevelxCourBold\"><img "
         "src=3D\"i020_16.gif\")/>Kind</td></tr>\r\n"
         "   <tr><td colspan=3D\"2\" class=3D\"Levelx\">Plain</td><td "
         "class=3D\"LevelxValue\">1</td></tr>\r\n"
         "  </table></td></tr>\r\n"
         " </table></td></tr>\r\n"
         "</table>\r\n"},
    };
    for (const TCase& row : cases) {
        THtmlOptions options;
        options.Mime = row.Mime;
        const std::string doc = RenderHtml(tree, "/tmp/x.htm", options).Document;
        const size_t from =
            doc.find(row.Mime ? "<table class=3D\"Level_0\">" : "<table class=\"Level_0\">");
        ASSERT_NE(from, std::string::npos);
        EXPECT_EQ(doc.substr(from, doc.find("<br/>", from) - from), row.Rows) << row.Mime;
    }
}

// A link value becomes an anchor only when it is a web address; any other value, whatever it
// would start in a browser, is written as text like any value.
TEST(HtmlExport, OnlyWebAddressesOfLinkValuesBecomeAnchors) {
    struct TCase {
        const char* Name;
        bool Mime;
        std::string Value;
        std::string Cell; // the value cell of the row
    };
    const std::string cell = "<td class=\"LevelxValue\">";
    const std::string mimeCell = "<td class=3D\"LevelxValue\">";
    const TCase cases[] = {
        {"script", false, "javascript:alert(1)", cell + "javascript:alert(1)</td>"},
        {"script in capitals", false, "JavaScript:alert(document.cookie)",
         cell + "JavaScript:alert(document.cookie)</td>"},
        {"script behind blanks", false, "  javascript:alert(1)",
         cell + "  javascript:alert(1)</td>"},
        {"file", false, "file:///etc/passwd", cell + "file:///etc/passwd</td>"},
        {"data", false, "data:text/html,<script>alert(1)</script>",
         cell + "data:text/html,&lt;script&gt;alert(1)&lt;/script&gt;</td>"},
        {"web scheme without slashes", false, "http:example.org", cell + "http:example.org</td>"},
        {"an address with a quote that would end the attribute", false,
         "https://example.org/\"onmouseover=\"alert(1)",
         cell + "https://example.org/&quot;onmouseover=&quot;alert(1)</td>"},
        {"http", false, "http://example.org/a?b=1&c=2",
         cell +
             "<a "
             "href=\"http://example.org/a?b=1&amp;c=2\">http://example.org/a?b=1&amp;c=2</a></td>"},
        {"https in capitals", false, "HTTPS://EXAMPLE.ORG/",
         cell + "<a href=\"HTTPS://EXAMPLE.ORG/\">HTTPS://EXAMPLE.ORG/</a></td>"},
        {"www", false, "www.example.org",
         cell + "<a href=\"http://www.example.org\">www.example.org</a></td>"},
        {"www in any case", false, "wWw.example.org",
         cell + "<a href=\"http://wWw.example.org\">wWw.example.org</a></td>"},
        {"www with blanks after it", false, "www.example.org  ",
         cell + "<a href=\"http://www.example.org\">www.example.org  </a></td>"},
        {"script in MIME mode", true, "javascript:x=1", mimeCell + "javascript:x=3D1</td>"},
        {"web address in MIME mode", true, "https://example.org/?a=1",
         mimeCell + "<a href=3D\"https://example.org/?a=3D1\">https://example.org/?a=3D1</a></td>"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        report::TReportTree tree;
        TTreeNode* group = AddNode(tree, nullptr, 1, 0, "Group", 0);
        AddNode(tree, group, 0, report::nfLink, "Home=" + c.Value, 20);
        THtmlOptions options;
        options.Mime = c.Mime;
        const std::string page = Page(tree, options);
        const size_t row = page.find(">Home</td>");
        ASSERT_NE(row, std::string::npos) << page;
        const std::string rest = page.substr(row + 10);
        EXPECT_EQ(rest.substr(0, rest.find("</tr>")), c.Cell);
        if (!c.Mime)
            ExpectBalanced(page);
    }
}

// The page's own file name reaches the page in the chart picture's address: a name made to end
// the attribute stays inside it, and the address still names the picture written beside it.
TEST(HtmlExport, AHostileFileNameCannotAddAttributes) {
    report::TReportTree tree;
    report::TChart chart;
    chart.AddSeries("CPU [%]").AddPoint(45000, 5);
    TTreeNode* log = AddNode(tree, nullptr, report::kCategorySensorLog, 0, "Sensorlog", 0);
    auto object = std::make_unique<report::TChartObject>();
    object->Chart = &chart;
    log->SetObject(std::move(object));

    const std::string folder = "/tmp/a dir";
    const exporting::THtmlOutput out =
        RenderHtml(tree, folder + "/x\" onerror=\"alert(1)#?&<%.html", {});
    ASSERT_EQ(out.SideFiles.size(), 1u);
    EXPECT_EQ(out.SideFiles[0].first, folder + "/x\" onerror=\"alert(1)#?&<%_01.jpg");
    EXPECT_NE(out.Document.find("<img style=\"background-color: #ffffff\" "
                                "src=\"x%22%20onerror%3D%22alert%281%29%23%3F%26%3C%25_01.jpg\" "
                                "alt=\"Sensorlog\"/>"),
              std::string::npos)
        << out.Document;
    EXPECT_EQ(out.Document.find("onerror=\""), std::string::npos);
    ExpectBalanced(out.Document);

    // The MIME document names its parts itself: the file name reaches neither the page nor the
    // part headers.
    struct TPictures : exporting::TExportPictures {
        std::string IconGif(int) override { return {}; }
        std::string BannerGif() override { return "GIF89a"; }
        std::string ChartJpeg(const report::TChart&, int, int) override { return {}; }
        std::string ChartEmf(const report::TChart&, int, int) override { return "EMF"; }
    } pictures;
    THtmlOptions mime;
    mime.Mime = true;
    mime.Pictures = &pictures;
    const std::string doc =
        RenderHtml(tree, folder + "/x\r\nContent-Type: text/html\" onerror=\"1.mht", mime).Document;
    EXPECT_EQ(doc.find("onerror"), std::string::npos);
    EXPECT_EQ(Count(doc, "Content-Type: "), 4u) << "message, page, banner and chart";
    EXPECT_NE(doc.find("src=3D\"Chart.wmf\""), std::string::npos);
    EXPECT_NE(doc.find("Content-Location: file:///Chart.wmf\r\n"), std::string::npos);
}

TEST(HtmlExport, GroupsOpenTablesOnlyWhenTheyHaveContent) {
    report::TReportTree tree;
    TTreeNode* top = AddNode(tree, nullptr, 401, 0, "Hardwaredevices", 0);
    TTreeNode* c = AddNode(tree, top, 3, 0, "Empty", 1);
    c = AddNode(tree, c, 3, 0, "CPUs", 1);
    c = AddNode(tree, c, 11, 0, "A=1", 10);
    c = AddNode(tree, c, 4, 0, "Memory", 1);
    c = AddNode(tree, c, 12, 0, "B=2", 10);
    c = AddNode(tree, c, 402, 0, "Systeminformation", 0);
    const std::string page = Page(tree);
    // "Empty" is followed by a node of its own depth: no button, no table.
    EXPECT_NE(page.find(" <tr><td><script type=\"text/javascript\">javascript:di('002_16');"
                        "</script>Empty</td></tr>"),
              std::string::npos);
    EXPECT_EQ(Count(page, "class=\"ValueList\""), 2u);
    EXPECT_EQ(Count(page, "id=\"button_"), 3u);
    EXPECT_NE(page.find("while (x < 3) {"), std::string::npos);
    ExpectBalanced(page);

    // Content left out (private) still closes the table opened for it.
    report::TReportTree secret;
    TTreeNode* g = AddNode(secret, nullptr, 1, 0, "Users", 0);
    AddNode(secret, g, 50, report::nfPrivate, "Name=root", 10);
    AddNode(secret, nullptr, 1, 0, "After", 0);
    const std::string hidden = Page(secret);
    EXPECT_EQ(hidden.find("root"), std::string::npos);
    ExpectBalanced(hidden);
    THtmlOptions keep;
    keep.KeepPrivate = true;
    EXPECT_NE(Page(secret, keep).find("root"), std::string::npos);
}

TEST(HtmlExport, ContentsTreeWithChartAndSubtrees) {
    // The main tree, and a contents tree whose nodes lead into it.
    report::TReportTree main;
    TTreeNode* hw = AddNode(main, nullptr, 401, 0, "Hardwaredevices", 0);
    TTreeNode* cpus = AddNode(main, hw, 3, 0, "CPUs", 1);
    AddNode(main, cpus, 11, 0, "Name=Xeon", 10);
    report::TChart chart;
    chart.AddSeries("CPU [%]").AddPoint(45000, 5);

    report::TReportTree contents;
    for (const char* name : {"First", "Sensorlog", "Third"}) {
        TTreeNode* node = contents.AppendTop(name, 401);
        node->SetStateIndex(4);
        auto info = std::make_unique<report::TReportInfo>();
        if (std::string(name) == "Sensorlog")
            info->Chart = &chart;
        else
            info->Subtree = cpus;
        node->SetObject(std::move(info));
    }
    struct TPictures : exporting::TExportPictures {
        std::string IconGif(int) override { return "GIF89a"; }
        std::string BannerGif() override { return "GIF89a-banner"; }
        std::string ChartJpeg(const report::TChart&, int w, int h) override {
            return "JPEG " + std::to_string(w) + "x" + std::to_string(h);
        }
        std::string ChartEmf(const report::TChart&, int, int) override { return "EMF"; }
    } pictures;
    THtmlOptions options;
    options.Pictures = &pictures;
    const exporting::THtmlOutput out = RenderHtml(contents, "/tmp/report.htm", options);
    ASSERT_EQ(out.SideFiles.size(), 1u);
    EXPECT_EQ(out.SideFiles[0].first, "/tmp/report_01.jpg");
    EXPECT_EQ(out.SideFiles[0].second, "JPEG 640x440");
    EXPECT_NE(out.Document.find("<img style=\"background-color: #ffffff\" src=\"report_01.jpg\" "
                                "alt=\"Sensorlog\"/>"),
              std::string::npos);
    EXPECT_EQ(Count(out.Document, "Xeon"), 2u);
    ExpectBalanced(out.Document);
}

TEST(HtmlExport, MimeDocumentMarksEveryMarkupEqualsAndCarriesItsPictures) {
    report::TReportTree tree;
    TTreeNode* g = AddNode(tree, nullptr, 4, 0, "Group", 0);
    AddNode(tree, g, 41, 0, "Formula=a=b", 20);
    struct TPictures : exporting::TExportPictures {
        std::string IconGif(int entry) override { return "icon" + std::to_string(entry); }
        std::string BannerGif() override { return std::string(114, 'B'); }
        std::string ChartJpeg(const report::TChart&, int, int) override { return {}; }
        std::string ChartEmf(const report::TChart&, int, int) override { return {}; }
    } pictures;
    THtmlOptions options;
    options.Mime = true;
    options.Pictures = &pictures;
    const std::string doc = RenderHtml(tree, "/tmp/x.mht", options).Document;
    EXPECT_EQ(doc.rfind("From: <tAVERIC Ostero>\r\nSubject: Taveric Report\r\n", 0), 0u);
    EXPECT_NE(doc.find("a=3Db"), std::string::npos);
    EXPECT_NE(doc.find("<img src=3D\"i003_16.gif\")/>"), std::string::npos);
    EXPECT_NE(doc.find("<img src=3D\"i040_16.gif\")/>"), std::string::npos);
    EXPECT_NE(doc.find("Content-Location: file:///i003_16.gif"), std::string::npos);
    EXPECT_NE(doc.find("Content-Location: file:///i040_16.gif"), std::string::npos);
    // Every "=" of the page part is either "=3D" or the "==" comparisons of the scripts
    // written as "=3D=", and none is followed by something a quoted-printable reader would
    // take for an escape.
    const std::string page = doc.substr(doc.find("<html"), doc.find("</html>") - doc.find("<html"));
    const std::regex bad("=(?!3D)(?![^0-9A-F])[0-9A-F]");
    EXPECT_FALSE(std::regex_search(page, bad));
    const std::string end = "\r\n\r\n------=_MHTML_tAVERIC_Report_0001--\r\n";
    EXPECT_EQ(doc.substr(doc.size() - end.size()), end);
    // The banner of 114 bytes is 152 base64 characters: two lines of 76.
    const size_t banner = doc.find("Content-Location: file:///Header.gif\r\n\r\n");
    ASSERT_NE(banner, std::string::npos);
    const std::string lines = doc.substr(banner + 40, 2 * 78);
    EXPECT_EQ(lines.substr(76, 2), "\r\n");
    EXPECT_EQ(lines.substr(154, 2), "\r\n");
}

TEST(HtmlExport, LanguageAndEmptyReport) {
    report::TReportTree empty;
    THtmlOptions german;
    german.LanguageIndex = 0;
    const std::string page = Page(empty, german);
    EXPECT_NE(page.find(" return \"DE\";"), std::string::npos);
    EXPECT_NE(page.find("<table class=\"Level_0\">"), std::string::npos);
    ExpectBalanced(page);
    EXPECT_NE(Page(empty).find(" return \"EN\";"), std::string::npos);
    // Only ASCII bytes: the page is what its charset says.
    for (char c : page)
        ASSERT_LT(static_cast<unsigned char>(c), 0x80);
}

TEST(HtmlExport, Base64LinesOf76) {
    EXPECT_EQ(exporting::Base64Lines("Man"), "TWFu\r\n");
    EXPECT_EQ(exporting::Base64Lines("Ma"), "TWE=\r\n");
    EXPECT_EQ(exporting::Base64Lines(""), "");
    EXPECT_EQ(exporting::Base64Lines(std::string(57, 'x')).size(), 78u);
}
