#include "support/platform/RegistryFile.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

using namespace std::string_literals;
using ostero::platform::kRegistryHeader;
using ostero::platform::TRegistryFile;
using ostero::platform::TRegistryStatus;
using ostero::platform::TRegValue;
using ostero::platform::TRegValueKind;

namespace {

constexpr const char* kKey = "HKEY_CURRENT_USER\\Software\\Taveric";

std::string File(const std::string& body) {
    return std::string(kRegistryHeader) + "\n\n" + body;
}

// --- One value line, read.

struct TValueCase {
    const char* Name;
    std::string Body;      // the file after the header
    std::string Key;       // looked up with this spelling
    std::string ValueName; // and this one
    TRegValueKind Kind;
    std::string Text; // String and Raw
    uint32_t Dword;
};

class RegistryFileValue : public ::testing::TestWithParam<TValueCase> {};

TEST_P(RegistryFileValue, ReadsAsWritten) {
    const TValueCase& c = GetParam();
    TRegistryFile file;
    const auto result = file.Parse(File(c.Body));
    ASSERT_TRUE(result.Ok()) << result.Message();
    EXPECT_EQ(result.SkippedLines, 0u);
    const TRegValue* value = file.FindValue(c.Key, c.ValueName);
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(value->Kind, c.Kind);
    if (c.Kind == TRegValueKind::Dword)
        EXPECT_EQ(value->Dword, c.Dword);
    else
        EXPECT_EQ(value->Text, c.Text);
}

const std::string kSection = "[HKEY_CURRENT_USER\\Software\\Taveric]\n";

INSTANTIATE_TEST_SUITE_P(
    Kinds, RegistryFileValue,
    ::testing::Values(
        TValueCase{"String", kSection + "\"Name\"=\"text\"\n", kKey, "Name", TRegValueKind::String,
                   "text", 0},
        TValueCase{"EmptyString", kSection + "\"Name\"=\"\"\n", kKey, "Name", TRegValueKind::String,
                   "", 0},
        TValueCase{"EscapedBackslashAndQuote", kSection + R"("Path"="C:\\Dir\\\"quoted\"")" + "\n",
                   kKey, "Path", TRegValueKind::String, R"(C:\Dir\"quoted")", 0},
        TValueCase{"LineBreakAndNulEscapes", kSection + R"("M"="a\nb\rc\0d")" + "\n", kKey, "M",
                   TRegValueKind::String, "a\nb\rc\0d"s, 0},
        TValueCase{"UnknownEscapeStaysAsWritten", kSection + R"("P"="C:\temp\x")" + "\n", kKey, "P",
                   TRegValueKind::String, R"(C:\temp\x)", 0},
        TValueCase{"Utf8Text",
                   kSection + "\"L\"=\"Fran\xC3\xA7"
                              "ais\"\n",
                   kKey, "L", TRegValueKind::String,
                   "Fran\xC3\xA7"
                   "ais",
                   0},
        TValueCase{"Dword", kSection + "\"Count\"=dword:0000001f\n", kKey, "Count",
                   TRegValueKind::Dword, "", 31},
        TValueCase{"DwordUpperCaseAndShort", kSection + "\"Max\"=DWORD:FFFFFFFF\n", kKey, "Max",
                   TRegValueKind::Dword, "", 0xFFFFFFFFu},
        TValueCase{"DwordOfNineDigitsIsRaw", kSection + "\"N\"=dword:123456789\n", kKey, "N",
                   TRegValueKind::Raw, "dword:123456789", 0},
        TValueCase{"HexIsRaw", kSection + "\"B\"=hex:01,02,ff\n", kKey, "B", TRegValueKind::Raw,
                   "hex:01,02,ff", 0},
        TValueCase{"ExpandStringIsRaw", kSection + "\"E\"=hex(2):25,00,00,00\n", kKey, "E",
                   TRegValueKind::Raw, "hex(2):25,00,00,00", 0},
        TValueCase{"RawGoesOnOverIndentedLines",
                   kSection + "\"B\"=hex:01,02,\\\n  03,04\n\"After\"=\"x\"\n", kKey, "B",
                   TRegValueKind::Raw, "hex:01,02,\\\n  03,04", 0},
        TValueCase{"UnterminatedStringIsRaw", kSection + "\"U\"=\"open\n", kKey, "U",
                   TRegValueKind::Raw, "\"open", 0},
        TValueCase{"DefaultValue", kSection + "@=\"default\"\n", kKey, "", TRegValueKind::String,
                   "default", 0},
        TValueCase{"QuotedEmptyNameIsTheDefault", kSection + "\"\"=\"default\"\n", kKey, "",
                   TRegValueKind::String, "default", 0},
        TValueCase{"NameWithEscapes", kSection + R"("a \"b\" \\c"="v")" + "\n", kKey, R"(a "b" \c)",
                   TRegValueKind::String, "v", 0},
        TValueCase{"ValueNameIgnoresCase", kSection + "\"MixedCase\"=\"v\"\n", kKey, "mIXEDcASE",
                   TRegValueKind::String, "v", 0},
        TValueCase{"KeyPathIgnoresCase", kSection + "\"N\"=\"v\"\n",
                   "hkey_current_user\\SOFTWARE\\taveric", "N", TRegValueKind::String, "v", 0},
        TValueCase{"KeyPathNormalised", kSection + "\"N\"=\"v\"\n",
                   "\\HKEY_CURRENT_USER\\\\Software\\Taveric\\", "N", TRegValueKind::String, "v",
                   0},
        TValueCase{"BlanksAroundEquals", kSection + "  \"N\" = \"v\"  \n", kKey, "N",
                   TRegValueKind::String, "v", 0},
        TValueCase{"WindowsLineEnds", "[HKEY_CURRENT_USER\\Software\\Taveric]\r\n\"N\"=\"v\"\r\n",
                   kKey, "N", TRegValueKind::String, "v", 0},
        TValueCase{"LaterLineOfTheSameNameWins", kSection + "\"N\"=\"old\"\n\"n\"=\"new\"\n", kKey,
                   "N", TRegValueKind::String, "new", 0},
        TValueCase{"RepeatedSectionsMerge",
                   kSection +
                       "\"A\"=\"1\"\n\n[HKEY_CURRENT_USER\\SOFTWARE\\TAVERIC]\n\"B\"=\"2\"\n",
                   kKey, "b", TRegValueKind::String, "2", 0}),
    [](const auto& info) { return std::string(info.param.Name); });

// --- Whole files.

TEST(RegistryFile, WritesTheExactFormat) {
    TRegistryFile file;
    ASSERT_TRUE(file.SetString(kKey, "", "default"));
    ASSERT_TRUE(file.SetString(kKey, "Path", R"(C:\Dir\"q")"));
    ASSERT_TRUE(file.SetDword(kKey, "Count", 31));
    ASSERT_TRUE(file.SetString(kKey, "Two lines", "a\r\nb"));
    ASSERT_TRUE(file.CreateKey("HKEY_CURRENT_USER\\Software\\Taveric\\Empty"));
    EXPECT_EQ(file.Serialize(), "Windows Registry Editor Version 5.00\n"
                                "\n"
                                "[HKEY_CURRENT_USER\\Software\\Taveric]\n"
                                "@=\"default\"\n"
                                "\"Path\"=\"C:\\\\Dir\\\\\\\"q\\\"\"\n"
                                "\"Count\"=dword:0000001f\n"
                                "\"Two lines\"=\"a\\r\\nb\"\n"
                                "\n"
                                "[HKEY_CURRENT_USER\\Software\\Taveric\\Empty]\n"
                                "\n");
}

TEST(RegistryFile, RewriteKeepsUnknownKindsAndOtherLines) {
    const std::string original = File("; written by hand\n"
                                      "\n"
                                      "[HKEY_CURRENT_USER\\Software\\Taveric]\n"
                                      "\"Blob\"=hex:01,02,\\\n"
                                      "  03,04\n"
                                      "; a comment between values\n"
                                      "\"Multi\"=hex(7):41,00,00,00\n"
                                      "\"Text\"=\"old\"\n"
                                      "\n");
    TRegistryFile file;
    ASSERT_TRUE(file.Parse(original).Ok());
    EXPECT_EQ(file.Serialize(), original);

    ASSERT_TRUE(file.SetString(kKey, "Text", "new"));
    std::string expected = original;
    expected.replace(expected.find("\"old\""), 5, "\"new\"");
    EXPECT_EQ(file.Serialize(), expected);
}

TEST(RegistryFile, DamagedLinesAreSkippedAndTheRestIsRead) {
    const std::string text = File("\"BeforeAnySection\"=\"x\"\n"
                                  "[HKEY_CURRENT_USER\\Software\\Taveric]\n"
                                  "\"Good1\"=\"1\"\n"
                                  "\x01\x02\xff\xfe garbage\n"
                                  "\"Name without equals\"\n"
                                  "no quotes=\"x\"\n"
                                  "[unclosed section\n"
                                  "[HKEY_CURRENT_USER\\Bad] trailing\n"
                                  "\"Good2\"=dword:00000002\n"
                                  "[-HKEY_CURRENT_USER\\Software\\Removed]\n"
                                  "\"Good3\"=\"3\"\n"s +
                                  std::string("\"Nul\0in\"\n", 9));
    TRegistryFile file;
    const auto result = file.Parse(text);
    ASSERT_TRUE(result.Ok());
    EXPECT_EQ(result.SkippedLines, 8u);
    EXPECT_EQ(result.FirstSkippedLine, 3u);
    ASSERT_NE(file.FindValue(kKey, "Good1"), nullptr);
    ASSERT_NE(file.FindValue(kKey, "Good2"), nullptr);
    EXPECT_EQ(file.FindValue(kKey, "Good2")->Dword, 2u);
    ASSERT_NE(file.FindValue(kKey, "Good3"), nullptr);
    EXPECT_EQ(file.ValueNames(kKey), (std::vector<std::string>{"Good1", "Good2", "Good3"}));
    EXPECT_FALSE(file.KeyExists("HKEY_CURRENT_USER\\Software\\Removed"));
    EXPECT_FALSE(file.KeyExists("HKEY_CURRENT_USER\\Bad"));
    // A rewrite reads back the same.
    TRegistryFile again;
    ASSERT_TRUE(again.Parse(file.Serialize()).Ok());
    EXPECT_EQ(again, file);
}

struct TStatusCase {
    const char* Name;
    std::string Text;
    TRegistryStatus Status;
};

class RegistryFileStatus : public ::testing::TestWithParam<TStatusCase> {};

TEST_P(RegistryFileStatus, ReportsWhetherTheTextIsARegistryFile) {
    TRegistryFile file;
    ASSERT_TRUE(file.SetString(kKey, "Stale", "x")); // a failed parse must not keep old content
    const auto result = file.Parse(GetParam().Text, 64);
    EXPECT_EQ(result.Status, GetParam().Status) << result.Message();
    EXPECT_FALSE(result.Message().empty());
    if (!result.Ok()) {
        EXPECT_TRUE(file.Keys().empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Headers, RegistryFileStatus,
    ::testing::Values(
        TStatusCase{"Empty", "", TRegistryStatus::Ok},
        TStatusCase{"OnlyBlankLines", "\n \n\t\n", TRegistryStatus::Ok},
        TStatusCase{"HeaderOnly", "Windows Registry Editor Version 5.00\n", TRegistryStatus::Ok},
        TStatusCase{"ByteOrderMarkAndWindowsLineEnd",
                    "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n", TRegistryStatus::Ok},
        TStatusCase{"OldHeader", "REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n", TRegistryStatus::Ok},
        TStatusCase{"OtherText", "hello\n[HKEY_CURRENT_USER\\A]\n",
                    TRegistryStatus::NotARegistryFile},
        TStatusCase{"SectionWithoutHeader", "[HKEY_CURRENT_USER\\A]\n\"a\"=\"b\"\n",
                    TRegistryStatus::NotARegistryFile},
        TStatusCase{"Utf16File", "\xFF\xFEW\0i\0n\0"s, TRegistryStatus::NotARegistryFile},
        TStatusCase{"AboveTheSizeLimit", std::string(65, '\n'), TRegistryStatus::TooLarge}),
    [](const auto& info) { return std::string(info.param.Name); });

// --- Keys.

class RegistryFileKeys : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(
            File_
                .Parse(File("[HKEY_CURRENT_USER\\Software\\Taveric\\Ostero\\Config]\n"
                            "\"A\"=\"1\"\n\n"
                            "[HKEY_CURRENT_USER\\Software\\Taveric\\Ostero\\Config\\Sub]\n\n"
                            "[HKEY_CURRENT_USER\\Software\\Taveric\\OsteroBackup]\n\n"
                            "[HKEY_CURRENT_USER\\Software\\taveric\\Dorvo]\n\n"
                            "[HKEY_CURRENT_USER\\Software\\Other]\n\n"))
                .Ok());
    }
    TRegistryFile File_;
};

TEST_F(RegistryFileKeys, ParentsOfAKeyExistOnFolderBoundariesOnly) {
    EXPECT_TRUE(File_.KeyExists("HKEY_CURRENT_USER\\Software\\Taveric\\Ostero\\Config"));
    EXPECT_TRUE(File_.KeyExists("HKEY_CURRENT_USER\\Software\\Taveric\\Ostero"));
    EXPECT_TRUE(File_.KeyExists("hkey_current_user\\software"));
    EXPECT_FALSE(File_.KeyExists("HKEY_CURRENT_USER\\Software\\Taveric\\Oster"));
    EXPECT_FALSE(File_.KeyExists("HKEY_CURRENT_USER\\Software\\Taveric\\Ostero\\Config\\Sub\\X"));
    EXPECT_FALSE(File_.KeyExists(""));
    // Only a section has values.
    EXPECT_TRUE(File_.ValueNames("HKEY_CURRENT_USER\\Software\\Taveric").empty());
}

TEST_F(RegistryFileKeys, SubKeyNamesAreDirectChildrenOnceEach) {
    EXPECT_EQ(File_.SubKeyNames("HKEY_CURRENT_USER\\Software\\TAVERIC"),
              (std::vector<std::string>{"Ostero", "OsteroBackup", "Dorvo"}));
    EXPECT_EQ(File_.SubKeyNames("HKEY_CURRENT_USER\\Software"),
              (std::vector<std::string>{"Taveric", "Other"}));
    EXPECT_EQ(File_.SubKeyNames(""), (std::vector<std::string>{"HKEY_CURRENT_USER"}));
    EXPECT_TRUE(File_.SubKeyNames("HKEY_CURRENT_USER\\Nothing").empty());
}

TEST_F(RegistryFileKeys, DeleteKeyTakesItsSubKeysButNotNamesalikes) {
    EXPECT_TRUE(File_.DeleteKey("HKEY_CURRENT_USER\\software\\taveric\\OSTERO"));
    EXPECT_FALSE(File_.KeyExists("HKEY_CURRENT_USER\\Software\\Taveric\\Ostero\\Config\\Sub"));
    EXPECT_FALSE(File_.KeyExists("HKEY_CURRENT_USER\\Software\\Taveric\\Ostero"));
    EXPECT_TRUE(File_.KeyExists("HKEY_CURRENT_USER\\Software\\Taveric\\OsteroBackup"));
    EXPECT_FALSE(File_.DeleteKey("HKEY_CURRENT_USER\\Software\\Taveric\\Ostero"));
    EXPECT_FALSE(File_.DeleteKey("HKEY_CURRENT_USER")); // a root stays
    EXPECT_FALSE(File_.DeleteKey(""));
}

TEST_F(RegistryFileKeys, TheParentOfADeletedKeyStays) {
    // "...\Taveric" existed only through its sub keys.
    EXPECT_TRUE(File_.DeleteKey("HKEY_CURRENT_USER\\Software\\Taveric\\Ostero"));
    EXPECT_TRUE(File_.DeleteKey("HKEY_CURRENT_USER\\Software\\Taveric\\OsteroBackup"));
    EXPECT_TRUE(File_.DeleteKey("HKEY_CURRENT_USER\\Software\\Taveric\\Dorvo"));
    EXPECT_TRUE(File_.KeyExists("HKEY_CURRENT_USER\\Software\\Taveric"));
    EXPECT_TRUE(File_.SubKeyNames("HKEY_CURRENT_USER\\Software\\Taveric").empty());
}

TEST_F(RegistryFileKeys, NamesKeepTheSpellingTheyWereCreatedWith) {
    bool changed = true;
    EXPECT_TRUE(File_.CreateKey("HKEY_CURRENT_USER\\SOFTWARE\\TAVERIC\\DORVO", &changed));
    EXPECT_FALSE(changed);
    EXPECT_TRUE(File_.SetString("HKEY_CURRENT_USER\\Software\\Taveric\\Ostero\\Config", "a", "2",
                                &changed));
    EXPECT_TRUE(changed);
    EXPECT_TRUE(File_.SetString("HKEY_CURRENT_USER\\Software\\Taveric\\Ostero\\Config", "A", "2",
                                &changed));
    EXPECT_FALSE(changed); // the same value again
    const std::string text = File_.Serialize();
    EXPECT_NE(text.find("[HKEY_CURRENT_USER\\Software\\taveric\\Dorvo]"), std::string::npos);
    EXPECT_NE(text.find("\"A\"=\"2\""), std::string::npos);
    EXPECT_EQ(text.find("DORVO"), std::string::npos);
}

TEST_F(RegistryFileKeys, NewKeysJoinTheirRelatives) {
    ASSERT_TRUE(File_.SetDword("HKEY_CURRENT_USER\\Software\\Taveric\\Ostero\\New", "N", 1));
    std::vector<std::string> paths;
    for (const auto& key : File_.Keys())
        paths.push_back(key.Path);
    EXPECT_EQ(paths, (std::vector<std::string>{
                         "HKEY_CURRENT_USER\\Software\\Taveric\\Ostero\\Config",
                         "HKEY_CURRENT_USER\\Software\\Taveric\\Ostero\\Config\\Sub",
                         "HKEY_CURRENT_USER\\Software\\Taveric\\Ostero\\New",
                         "HKEY_CURRENT_USER\\Software\\Taveric\\OsteroBackup",
                         "HKEY_CURRENT_USER\\Software\\taveric\\Dorvo",
                         "HKEY_CURRENT_USER\\Software\\Other",
                     }));
}

TEST_F(RegistryFileKeys, ValuesAreRemovedByName) {
    const std::string key = "HKEY_CURRENT_USER\\Software\\Taveric\\Ostero\\Config";
    EXPECT_FALSE(File_.DeleteValue(key, "Missing"));
    EXPECT_FALSE(File_.DeleteValue("HKEY_CURRENT_USER\\Nowhere", "A"));
    EXPECT_TRUE(File_.DeleteValue(key, "a"));
    EXPECT_EQ(File_.FindValue(key, "A"), nullptr);
    EXPECT_TRUE(File_.KeyExists(key)); // the key stays without values
}

TEST(RegistryFile, KeyPathsThatCannotBeWrittenAreRefused) {
    TRegistryFile file;
    EXPECT_FALSE(file.CreateKey("HKEY_CURRENT_USER\\Line\nBreak"));
    EXPECT_FALSE(file.SetString("HKEY_CURRENT_USER\\Tab\there", "n", "v"));
    EXPECT_FALSE(file.SetDword("\\\\", "n", 1));
    // Written out, it would read back as an importer's request to delete a key.
    EXPECT_FALSE(file.CreateKey("\\-HKEY_CURRENT_USER\\X"));
    EXPECT_EQ(file.Parse(File("[\\-HKEY_CURRENT_USER\\X]\n")).SkippedLines, 1u);
    EXPECT_TRUE(file.Keys().empty());
    // Value names and texts may hold anything.
    EXPECT_TRUE(file.SetString(kKey, "line\nbreak\"", "\n\r\\\"\0"s));
    TRegistryFile again;
    ASSERT_TRUE(again.Parse(file.Serialize()).Ok());
    ASSERT_NE(again.FindValue(kKey, "line\nbreak\""), nullptr);
    EXPECT_EQ(again.FindValue(kKey, "line\nbreak\"")->Text, "\n\r\\\"\0"s);
}

TEST(RegistryFile, ManyRepeatedSectionsAndValuesReadInLinearTime) {
    // Merging by scanning would take minutes here.
    std::string body;
    for (int i = 0; i < 100000; ++i)
        body += "[HKEY_CURRENT_USER\\A]\n\"v" + std::to_string(i % 1000) + "\"=\"x\"\n";
    const auto start = std::chrono::steady_clock::now();
    TRegistryFile file;
    ASSERT_TRUE(file.Parse(File(body)).Ok());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    ASSERT_EQ(file.Keys().size(), 1u);
    EXPECT_EQ(file.Keys()[0].Values.size(), 1000u);
}

} // namespace
