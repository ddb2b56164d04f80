#include "ExportTestTree.h"
#include "export/JsonExport.h"
#include "export/XmlExport.h"
#include "support/TextCodec.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <unistd.h>

using namespace ostero;

namespace {

// Runs a python3 program on a file and answers what it prints; false when there is no python3.
bool RunPython(const std::string& program, const std::string& file, std::string& output) {
    if (std::system("command -v python3 >/dev/null 2>&1") != 0)
        return false;
    const std::string command = "python3 -c '" + program + "' '" + file + "'";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr)
        return false;
    std::array<char, 4096> buffer;
    output.clear();
    for (size_t n; (n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0;)
        output.append(buffer.data(), n);
    return ::pclose(pipe) == 0;
}

std::string TempFile(const char* name) {
    return (std::filesystem::temp_directory_path() /
            ("ostero_" + std::to_string(::getpid()) + "_" + name))
        .string();
}

TEST(XmlExport, NestsChosenNodesWithNameIdAndValue) {
    export_test::TContentsFixture f;
    // No chart-line nodes, no chart-only or unchecked contents nodes, private data only on demand.
    EXPECT_EQ(exporting::RenderXml(f.Contents.Tree, false),
              "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\r\n"
              "<Taveric_Report>\r\n"
              "  <Node Name=\"Hardwaredevices\" ID=\"401\">\r\n"
              "    <Node Name=\"CPUs\" ID=\"3\">\r\n"
              "      <Node Name=\"CPU\" ID=\"11\">2.4 GHz</Node>\r\n"
              "    </Node>\r\n"
              "  </Node>\r\n"
              "  <Node Name=\"Sensor chart\" ID=\"91\"></Node>\r\n"
              "  <Node Name=\"Notes\" ID=\"0\">\r\n"
              "    <Node Name=\"Owner\" ID=\"0\">Ann</Node>\r\n"
              "  </Node>\r\n"
              "</Taveric_Report>\r\n");
    EXPECT_NE(exporting::RenderXml(f.Contents.Tree, true)
                  .find("<Node Name=\"Serial\" ID=\"43\">A1</Node>"),
              std::string::npos);
}

TEST(XmlExport, EncodesMarkupWindowsOnlyCharactersAndControls) {
    struct Case {
        const char* In;
        const char* Out;
    } cases[] = {
        {"a<b & \"c\">", "a&lt;b &amp; &quot;c&quot;&gt;"},
        {"5 \x80 \x93x\x94 \x96", "5 &#8364; &#8220;x&#8221; &#8211;"},
        {"\x81 \xA0\xE9\xFF", "&#129; \xA0\xE9\xFF"}, // undefined byte; Latin-1 left alone
        {"a\tb\r\nc\x01", "a&#9;b&#13;&#10;c?"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(exporting::EncodeXmlExportText(c.In), c.Out) << c.In;
}

TEST(XmlExport, WindowsCharactersSurviveAStandardParser) {
    report::TReportTree tree;
    const std::string name = "Pr\xE9is \x80 \x84x\x93 <&>";
    const std::string value = "\x96 \x85 \xA9 a\tb\r\nc \x9F";
    report::TTreeNode* group = tree.AppendTop(name, 400);
    report::AddNode(tree, group, 11, 0, "P=" + value, 10);
    const std::string file = TempFile("roundtrip.xml");
    std::string error;
    ASSERT_TRUE(exporting::SaveXml(tree, file, false, &error)) << error;
    std::string output;
    const bool ran =
        RunPython("import sys, xml.dom.minidom as m\n"
                  "d = m.parse(sys.argv[1]).documentElement.getElementsByTagName(\"Node\")\n"
                  "sys.stdout.buffer.write((d[0].getAttribute(\"Name\") + \"\\0\" + "
                  "d[1].firstChild.data).encode(\"utf-8\"))\n",
                  file, output);
    std::filesystem::remove(file);
    if (!ran)
        GTEST_SKIP() << "python3 with xml.dom.minidom is not available";
    EXPECT_EQ(output, support::AnsiToUtf8(name) + '\0' + support::AnsiToUtf8(value));
}

TEST(XmlExport, EmptyReportAndSaveFailuresKeepThePreviousFile) {
    report::TReportTree empty;
    EXPECT_EQ(exporting::RenderXml(empty, false),
              "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\r\n"
              "<Taveric_Report></Taveric_Report>\r\n");

    const std::string file = TempFile("keep.xml");
    std::ofstream(file) << "good";
    report::TReportTree loop;
    report::TTreeNode* node = loop.AppendTop("Loop", 0);
    export_test::TContentsFixture::Info(node, 4)->Subtree = node;
    std::string error;
    EXPECT_FALSE(exporting::SaveXml(loop, file, false, &error));
    EXPECT_FALSE(error.empty());
    std::ifstream in(file);
    std::string kept;
    std::getline(in, kept);
    EXPECT_EQ(kept, "good");
    std::filesystem::remove(file);

    EXPECT_FALSE(exporting::SaveXml(empty, "/proc/no/such/dir/x.xml", false, &error));
    EXPECT_FALSE(error.empty());
}

TEST(JsonExport, EscapesEveryControlCharacterAndConvertsToUtf8) {
    EXPECT_EQ(exporting::JsonString("a\"b\\c/"), "\"a\\\"b\\\\c/\"");
    EXPECT_EQ(exporting::JsonString("\t\r\n\b\f\x01\x1F\x7F"),
              "\"\\t\\r\\n\\b\\f\\u0001\\u001f\\u007f\"");
    // 0x81 is undefined in Windows-1252 and stands for the C1 control U+0081.
    EXPECT_EQ(exporting::JsonString("\x80\x81\xB0\xFF"), "\"\xE2\x82\xAC\\u0081\xC2\xB0\xC3\xBF\"");
}

TEST(JsonExport, WritesTheExactLayout) {
    export_test::TContentsFixture f;
    f.Contents.Chart.Series[0].AddMissing(45000.6, 41.5);
    f.Contents.Chart.AddSeries("Fan \"RPM\"").Axis = report::TAxisSide::Right;
    f.Contents.Chart.Series[1].Active = false;
    f.Contents.Chart.Series[1].AddPoint(45000.5, 1200);
    EXPECT_EQ(
        exporting::RenderJson(f.Contents, false),
        "{\r\n"
        "  \"format\": \"Taveric Ostero report\",\r\n"
        "  \"version\": 1,\r\n"
        "  \"nodes\": [\r\n"
        "    {\"text\": \"Hardwaredevices\", \"image\": 401, \"flags\": 0, \"children\": [\r\n"
        "      {\"text\": \"CPUs\", \"image\": 3, \"flags\": 0, \"children\": [\r\n"
        "        {\"text\": \"CPU\", \"value\": \"2.4 GHz\", \"image\": 11, \"type\": 10, "
        "\"flags\": 0, \"children\": []}\r\n"
        "      ]}\r\n"
        "    ]},\r\n"
        "    {\"text\": \"Sensor chart\", \"image\": 91, \"flags\": 0, \"children\": [\r\n"
        "      {\"text\": \"CPU [\xC2\xB0"
        "C]\", \"image\": 93, \"flags\": 0, \"children\": []}\r\n"
        "    ]},\r\n"
        "    {\"text\": \"Notes\", \"image\": 0, \"flags\": 0, \"children\": [\r\n"
        "      {\"text\": \"Owner\", \"value\": \"Ann\", \"image\": 0, \"type\": 21, "
        "\"flags\": 0, \"children\": []}\r\n"
        "    ]}\r\n"
        "  ],\r\n"
        "  \"chart\": {\"leftTitle\": \"\", \"rightTitle\": \"\", \"series\": [\r\n"
        "    {\"title\": \"CPU [\xC2\xB0"
        "C]\", \"active\": true, \"axis\": \"L\", \"points\": [[45000.5, 41.5], "
        "[45000.6, null]]},\r\n"
        "    {\"title\": \"Fan \\\"RPM\\\"\", \"active\": false, \"axis\": \"R\", "
        "\"points\": [[45000.5, 1200]]}\r\n"
        "  ]}\r\n"
        "}\r\n");
}

TEST(JsonExport, StandardParserReadsNodesAndChart) {
    export_test::TContentsFixture f;
    f.Contents.Chart.Series[0].AddMissing(45000.6, 41.5);
    f.Contents.Chart.AddSeries("Fan [RPM]").Axis = report::TAxisSide::Right;
    f.Contents.Chart.Series[1].Active = false;
    f.Contents.Chart.Series[1].AddPoint(45000.5, 1200);
    f.Contents.Chart.LeftTitle = "Temperature [\xB0"
                                 "C]";
    const std::string file = TempFile("report.json");
    std::string error;
    ASSERT_TRUE(exporting::SaveJson(f.Contents, file, false, &error)) << error;
    std::string output;
    const bool ran = RunPython(
        "import sys, json\n"
        "d = json.load(open(sys.argv[1], encoding=\"utf-8\"))\n"
        "def walk(n, depth):\n"
        "  print(\" \" * depth + repr([n.get(k) for k in (\"text\", \"value\", \"image\", "
        "\"type\", \"flags\")]))\n"
        "  for c in n[\"children\"]: walk(c, depth + 1)\n"
        "for n in d[\"nodes\"]: walk(n, 0)\n"
        "print(d[\"version\"], d[\"chart\"][\"leftTitle\"], d[\"chart\"][\"series\"])\n",
        file, output);
    std::filesystem::remove(file);
    if (!ran)
        GTEST_SKIP() << "python3 is not available";
    EXPECT_EQ(output,
              "['Hardwaredevices', None, 401, None, 0]\n"
              " ['CPUs', None, 3, None, 0]\n"
              "  ['CPU', '2.4 GHz', 11, 10, 0]\n"
              "['Sensor chart', None, 91, None, 0]\n"
              " ['CPU [\xC2\xB0"
              "C]', None, 93, None, 0]\n"
              "['Notes', None, 0, None, 0]\n"
              " ['Owner', 'Ann', 0, 21, 0]\n"
              "1 Temperature [\xC2\xB0"
              "C] [{'title': 'CPU [\xC2\xB0"
              "C]', 'active': True, 'axis': 'L', 'points': [[45000.5, 41.5], [45000.6, None]]}, "
              "{'title': 'Fan [RPM]', 'active': False, 'axis': 'R', 'points': [[45000.5, "
              "1200]]}]\n");
}

TEST(JsonExport, EmptyDocumentIsValidJson) {
    report::TReportDocument doc;
    EXPECT_EQ(exporting::RenderJson(doc, false),
              "{\r\n  \"format\": \"Taveric Ostero report\",\r\n  \"version\": 1,\r\n"
              "  \"nodes\": [],\r\n"
              "  \"chart\": {\"leftTitle\": \"\", \"rightTitle\": \"\", \"series\": []}\r\n}\r\n");
}

} // namespace
