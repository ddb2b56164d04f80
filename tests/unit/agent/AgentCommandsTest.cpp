#include "AgentCommands.h"
#include "AgentServer.h"

#include "support/SysUtils.h"

#include <gtest/gtest.h>

using namespace ostero::vigant;

TEST(AgentCommands, ParsesTheVocabulary) {
    struct TCase {
        const char* Command;
        TCommandKind Kind;
        std::string Text;
        int32_t A, B, C;
    };
    const std::vector<TCase> cases = {
        {"InitializeDLL:DevSurvey.dll", TCommandKind::InitializeDll, "DevSurvey.dll", 0, 0, 0},
        {"initializedll:SysFacts.dll", TCommandKind::InitializeDll, "SysFacts.dll", 0, 0, 0},
        {"InitializeDLL:", TCommandKind::Malformed, "", 0, 0, 0},
        {"ENUMROOTINFOS:1;12;0", TCommandKind::EnumRootInfos, "", 1, 12, 0},
        {"ENUMROOTINFOS:1;12;1", TCommandKind::EnumRootInfos, "", 1, 12, 1},
        {"ENUMROOTINFOS:1;12", TCommandKind::Malformed, "", 0, 0, 0},
        {"ENUMROOTINFOS:1;12;0;9", TCommandKind::Malformed, "", 0, 0, 0},
        {"ENUMROOTINFOS:1;-2;0", TCommandKind::Malformed, "", 0, 0, 0},
        {"ENUMROOTINFOS:1; 2;0", TCommandKind::Malformed, "", 0, 0, 0},
        {"ENUMROOTINFOS:1;99999999999;0", TCommandKind::Malformed, "", 0, 0, 0},
        {"ENUMSUBINFOS:0;3;250", TCommandKind::EnumSubInfos, "", 0, 3, 250},
        {"DESTROYDLL:1", TCommandKind::DestroyDll, "", 1, 0, 0},
        {"DESTROYDLL:", TCommandKind::Malformed, "", 0, 0, 0},
        {"Overview:", TCommandKind::Overview, "", 0, 0, 0},
        {"Overview:x", TCommandKind::Malformed, "", 0, 0, 0},
        {"ENUMVIGANT:1;2", TCommandKind::EnumVigant, "", 1, 2, 0},
        {"ENUMVIGANT:2;1", TCommandKind::Malformed, "", 2, 1, 0},
        {"SetLanguage:DE", TCommandKind::SetLanguage, "DE", 0, 0, 0},
        {"GetComputerName", TCommandKind::GetComputerName, "", 0, 0, 0},
        {"AUTHENTICATE:", TCommandKind::Authenticate, "", 0, 0, 0},
        {"", TCommandKind::Unknown, "", 0, 0, 0},
        {"ENUM", TCommandKind::Unknown, "", 0, 0, 0},
    };
    for (const TCase& c : cases) {
        const TAgentCommand parsed = ParseAgentCommand(c.Command);
        EXPECT_EQ(parsed.Kind, c.Kind) << c.Command;
        if (parsed.Kind == TCommandKind::Malformed)
            continue;
        EXPECT_EQ(parsed.Text, c.Text) << c.Command;
        EXPECT_EQ(parsed.Args[0], c.A) << c.Command;
        EXPECT_EQ(parsed.Args[1], c.B) << c.Command;
        EXPECT_EQ(parsed.Args[2], c.C) << c.Command;
    }
}

TEST(AgentCommands, AnswerFieldsComeBackThroughTheViewersFieldSplitting) {
    using ostero::support::GetSeparatedField;
    const std::vector<std::string> fields = {"plain", "with;semicolon", "say \"hi\"",
                                             "",      "\"quoted;\"",    "caf\xE9"};
    std::string line;
    for (size_t i = 0; i < fields.size(); ++i)
        line += (i ? ";" : "") + QuoteField(fields[i]);
    for (size_t i = 0; i < fields.size(); ++i)
        EXPECT_EQ(GetSeparatedField(line, static_cast<unsigned>(i + 1)), fields[i]) << line;
    // A line break would end the line: it becomes a blank.
    EXPECT_EQ(GetSeparatedField(AnswerLine({"a\r\nb", "c"}), 2), "c");
    // A quote before a semicolon would end the field there (a shell command line of a
    // process, say): it becomes an apostrophe, and the fields after it stay in place.
    const std::string command = "sh -c \"cat \"x\"; ls\" \"a;b\"";
    const std::string quoted = AnswerLine({"20", "0", command, "1", "12"});
    EXPECT_EQ(GetSeparatedField(quoted, 3), "sh -c \"cat \"x'; ls\" \"a;b\"");
    EXPECT_EQ(GetSeparatedField(quoted, 4), "1");
    EXPECT_EQ(GetSeparatedField(quoted, 5), "12");
}

TEST(AgentServer, AnswersWithoutModulesSayWhy) {
    TAgentServer server("/nonexistent-folder");
    EXPECT_EQ(server.Execute("InitializeDLL:SysFacts.dll"), "Please retry!");
    EXPECT_EQ(server.Execute("InitializeDLL:DevSurvey.dll"),
              "Cannot load library '/nonexistent-folder/DevSurvey.so'");
    EXPECT_EQ(server.Execute("InitializeDLL:../../lib/libc.so.6"),
              "Unknown module '../../lib/libc.so.6'");
    EXPECT_EQ(server.Execute("ENUMROOTINFOS:0;0;0"), "Module 0 is not initialised");
    EXPECT_EQ(server.Execute("DESTROYDLL:3"), "Module 3 is not initialised");
    EXPECT_EQ(server.Execute("SetLanguage:FR"), "OK");
    EXPECT_EQ(server.Language(), "FR");
}
