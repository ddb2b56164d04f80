// Answer lines of the agent and the out-of-band sources, as case tables per line format.
#include "sources/AnswerLines.h"

#include <gtest/gtest.h>

using namespace ostero::sources;

namespace {

struct NodeCase {
    const char* Name;
    const char* Line;
    TLineStatus Status;
    int32_t Level;
    int32_t Image;
    const char* Text;
    int32_t Flags;
};

void ExpectNode(const NodeCase& c, TLineStatus status, const TAnswerNode& node) {
    SCOPED_TRACE(c.Name);
    ASSERT_EQ(status, c.Status);
    if (status != TLineStatus::Entry)
        return;
    EXPECT_EQ(node.LevelOrType, c.Level);
    EXPECT_EQ(node.ImageCode, c.Image);
    EXPECT_EQ(node.Text, c.Text);
    EXPECT_EQ(node.Flags, c.Flags);
}

constexpr auto E = TLineStatus::Entry;
constexpr auto N = TLineStatus::NoEntry;
constexpr auto S = TLineStatus::Skipped;
constexpr auto I = TLineStatus::Illegal;

TEST(AnswerLinesTest, SubInfoLines) {
    const NodeCase cases[] = {
        {"group level 0 becomes 1", "0;11;CPU 0;1;", E, 1, 11, "CPU 0", 0},
        {"level 8 becomes 9", "8;0;Deep;1", E, 9, 0, "Deep", 0},
        {"level 9 becomes type 10", "9;16;Model=X;1;4", E, 10, 16, "Model=X", 4},
        {"type 10 unchanged", "10;16;A=B=C;1;8\r\n", E, 10, 16, "A=B=C", 8},
        {"quoted text with separator", "20;1;\"Path=a;b\";1;0", E, 20, 1, "Path=a;b", 0},
        {"blank flags read 0", "20;1;x=y;1; ", E, 20, 1, "x=y", 0},
        {"result 0 ends", "0;0;;0", N, 0, 0, "", 0},
        {"end line need not carry numbers", ";;;-1", N, 0, 0, "", 0},
        {"empty text skipped", "20;1;;1;0", S, 0, 0, "", 0},
        {"level not a number", "x;1;a=b;1;0", I, 0, 0, "", 0},
        {"image not a number", "20;1a;a=b;1;0", I, 0, 0, "", 0},
        {"flags not a number", "20;1;a=b;1;many", I, 0, 0, "", 0},
        {"result missing", "20;1;a=b", I, 0, 0, "", 0},
        {"result too large for 32 bits", "20;1;a=b;99999999999", I, 0, 0, "", 0},
        {"level beyond the type codes", "256;1;a=b;1", I, 0, 0, "", 0},
        {"negative level", "-1;1;a=b;1", I, 0, 0, "", 0},
        {"empty line", "", I, 0, 0, "", 0},
    };
    for (const auto& c : cases) {
        TAnswerNode node;
        int32_t result = -7;
        ExpectNode(c, ParseSubInfoLine(c.Line, node, result), node);
    }
    TAnswerNode node;
    int32_t result = 0;
    EXPECT_EQ(ParseSubInfoLine("0;0;x;77", node, result), N);
    EXPECT_EQ(result, 77); // error codes reach the caller
}

TEST(AnswerLinesTest, RootInfoAndRootListLines) {
    struct Case {
        const char* Name;
        const char* Line;
        TLineStatus Status;
        int32_t Image;
        uint16_t Kind;
        bool Sorted;
        const char* Text;
        const char* Key;
    };
    const Case cases[] = {
        {"plain entry", "3;0;CPUs;cpu;1", E, 3, 0, false, "CPUs", "cpu"},
        {"kind 260 is sorted kind 4", "3;260;CPUs;;1", E, 3, 4, true, "CPUs", ""},
        {"kind 255 is not sorted", "3;255;CPUs;;1", E, 3, 255, false, "CPUs", ""},
        {"end of list", "0;0;;;0", N, 0, 0, false, "", ""},
        {"empty name skipped", "3;0;;key;1", S, 0, 0, false, "", ""},
        {"kind beyond 16 bits", "3;65536;CPUs;;1", I, 0, 0, false, "", ""},
        {"negative kind", "3;-4;CPUs;;1", I, 0, 0, false, "", ""},
        {"image not a number", "three;0;CPUs;;1", I, 0, 0, false, "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TAnswerRoot root;
        int32_t result = 0;
        const TLineStatus status = ParseRootInfoLine(c.Line, root, result);
        ASSERT_EQ(status, c.Status);
        if (status != E)
            continue;
        EXPECT_EQ(root.ImageCode, c.Image);
        EXPECT_EQ(root.Kind, c.Kind);
        EXPECT_EQ(root.Sorted, c.Sorted);
        EXPECT_EQ(root.Name, c.Text);
        EXPECT_EQ(root.Key, c.Key);
    }
    TAnswerRoot root;
    EXPECT_EQ(ParseRootListLine("500;257;Sensors;s", root), E);
    EXPECT_EQ(root.Kind, 1);
    EXPECT_TRUE(root.Sorted);
    EXPECT_EQ(ParseRootListLine("500;1;;s", root), S);
    EXPECT_EQ(ParseRootListLine("500;one;Sensors;s", root), I);
}

TEST(AnswerLinesTest, SubListOverviewAndVigantLines) {
    const NodeCase subList[] = {
        {"name only", "1;5;Fans", E, 1, 5, "Fans", 0},
        {"name and value, level as delivered", "20;5;Fan 1;x;1200 rpm", E, 20, 5, "Fan 1=1200 rpm",
         0},
        {"empty name skipped", "20;5;;x;3", S, 0, 0, "", 0},
        {"level not a number", "a;5;Fan", I, 0, 0, "", 0},
    };
    for (const auto& c : subList) {
        TAnswerNode node;
        ExpectNode(c, ParseSubListLine(c.Line, node), node);
    }
    const NodeCase overview[] = {
        {"without flags", "0;3;Processor", E, 0, 3, "Processor", 0},
        {"with flags", "20;3;Speed=2 GHz;4", E, 20, 3, "Speed=2 GHz", 4},
        {"bad flags", "20;3;Speed=2 GHz;fast", I, 0, 0, "", 0},
        {"empty text", "20;3;", S, 0, 0, "", 0},
    };
    for (const auto& c : overview) {
        TAnswerNode node;
        ExpectNode(c, ParseOverviewLine(c.Line, node), node);
    }
    const NodeCase vigant[] = {
        {"value in two parts",
         "20;66;CPU;45;\xB0"
         "C;1",
         E, 20, 66,
         "CPU=45\xB0"
         "C",
         1},
        {"empty flags", "20;66;Fan;1200; rpm;", E, 20, 66, "Fan=1200 rpm", 0},
        {"empty name", "20;66;;1;2", S, 0, 0, "", 0},
        {"image beyond 32 bits", "20;4294967296;Fan;1;2", I, 0, 0, "", 0},
    };
    for (const auto& c : vigant) {
        TAnswerNode node;
        ExpectNode(c, ParseVigantLine(c.Line, node), node);
    }
}

TEST(AnswerLinesTest, IllegalLineMessageCarriesTheLineWithoutItsEnd) {
    EXPECT_EQ(IllegalAnswerMessage("x;1;a;1\r\n").Text(), "Illegal answer received: x;1;a;1");
}

} // namespace
