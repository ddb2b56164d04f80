#include "support/IniFile.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <limits>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include <csignal>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace ostero::support {
namespace {

namespace fs = std::filesystem;

// A store filled from text, without a file behind it.
std::unique_ptr<TMemIniFile> IniFromText(std::string_view text) {
    auto ini = std::make_unique<TMemIniFile>("");
    ini->SetText(text);
    return ini;
}

std::vector<std::string> Lines(std::initializer_list<const char*> lines) {
    return {lines.begin(), lines.end()};
}

// --- TStringHash

TEST(IniStringHash, HashRotatesLeftByTwoAndTakesBytesUnsigned) {
    EXPECT_EQ(TStringHash::HashOf(""), 0u);
    EXPECT_EQ(TStringHash::HashOf("AB"), 0x146u);
    // Longer than 16 bytes, so bits wrap around; the high bytes must not be sign-extended.
    EXPECT_EQ(TStringHash::HashOf("Description.DE.31\xE4\xFF"), 0x2E4CF306u);
}

TEST(IniStringHash, NewestOfEqualKeysWinsAndChainsKeepKeysApart) {
    TStringHash hash(1); // one bucket: every key shares a chain
    hash.Add("alpha", 0);
    hash.Add("beta", 1);
    hash.Add("alpha", 2);
    EXPECT_EQ(hash.ValueOf("alpha"), 2);
    EXPECT_EQ(hash.ValueOf("beta"), 1);
    EXPECT_EQ(hash.ValueOf("ALPHA"), -1);
    EXPECT_EQ(hash.ValueOf("alph"), -1);
    hash.Clear();
    EXPECT_EQ(hash.ValueOf("beta"), -1);
}

// --- THashedStringList

TEST(IniHashedStringList, LookupsFindTheLastMatchAndIgnoreBareLinesByName) {
    THashedStringList list;
    for (const char* line : {"a=1", "b", "a=2", "b", "c="})
        list.Add(line);
    EXPECT_EQ(list.IndexOfName("a"), 2);
    EXPECT_EQ(list.IndexOf("b"), 3);
    EXPECT_EQ(list.IndexOfName("b"), -1);
    EXPECT_EQ(list.IndexOfName("c"), 4);
    EXPECT_EQ(list.IndexOf("a=1"), 0);
    EXPECT_EQ(list.IndexOf("missing"), -1);

    // The plain list walks from the front and answers the first match.
    TStringList plain;
    for (const char* line : {"a=1", "b", "a=2"})
        plain.Add(line);
    EXPECT_EQ(plain.IndexOfName("A"), 0);
    EXPECT_EQ(plain.IndexOf("B"), 1);
}

// Every kind of change after a lookup must be seen by the next lookup.
TEST(IniHashedStringList, IndexesFollowEveryChange) {
    THashedStringList list;
    list.Add("k=1");
    list.Add("x=0");
    ASSERT_EQ(list.IndexOfName("k"), 0);
    ASSERT_EQ(list.IndexOf("x=0"), 1);

    list.Add("k=2");
    EXPECT_EQ(list.IndexOfName("k"), 2);
    list.Put(2, "m=2");
    EXPECT_EQ(list.IndexOfName("k"), 0);
    EXPECT_EQ(list.IndexOfName("m"), 2);
    list.Insert(0, "first");
    EXPECT_EQ(list.IndexOfName("m"), 3);
    EXPECT_EQ(list.IndexOf("x=0"), 2);
    list.Delete(1);
    EXPECT_EQ(list.IndexOfName("k"), -1);
    EXPECT_EQ(list.IndexOf("x=0"), 1);
    list.SetCaseSensitive(true);
    EXPECT_EQ(list.IndexOfName("M"), -1);
    list.SetCaseSensitive(false);
    EXPECT_EQ(list.IndexOfName("M"), 2);
    list.Clear();
    EXPECT_EQ(list.IndexOf("first"), -1);
}

struct TCaseRow {
    const char* Name;
    const char* Stored;
    const char* Lookup;
    bool MatchesWithoutCase;
};

class IniLetterCase : public ::testing::TestWithParam<TCaseRow> {};

TEST_P(IniLetterCase, UpperCasesAsciiAndWindows1252Letters) {
    const TCaseRow& row = GetParam();
    THashedStringList list;
    list.Add(std::string(row.Stored) + "=v");
    EXPECT_EQ(list.IndexOfName(row.Lookup) == 0, row.MatchesWithoutCase);
    list.SetCaseSensitive(true);
    EXPECT_EQ(list.IndexOfName(row.Lookup) == 0, std::string_view(row.Stored) == row.Lookup);
}

INSTANTIATE_TEST_SUITE_P(Rows, IniLetterCase,
                         ::testing::Values(TCaseRow{"Ascii", "HelpFile", "HELPFILE", true},
                                           TCaseRow{"Identical", "Key", "Key", true},
                                           TCaseRow{"AUmlaut", "gr\xE4t", "GR\xC4T", true},
                                           TCaseRow{"SCaron", "\x9A", "\x8A", true},
                                           TCaseRow{"YDiaeresis", "\xFF", "\x9F", true},
                                           TCaseRow{"DivisionIsNoLetter", "\xF7", "\xD7", false},
                                           TCaseRow{"SharpSStays", "\xDF", "SS", false},
                                           TCaseRow{"DigitsAndPunctuation", "a.1", "A.1", true},
                                           TCaseRow{"Different", "abc", "abd", false}),
                         [](const auto& info) { return std::string(info.param.Name); });

// --- Loading

struct TLoadRow {
    const char* Name;
    std::string Text;
    std::string Stored; // what the store writes back
};

class IniLoad : public ::testing::TestWithParam<TLoadRow> {};

TEST_P(IniLoad, StoresLinesByTheFileRules) {
    EXPECT_EQ(IniFromText(GetParam().Text)->GetText(), GetParam().Stored);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, IniLoad,
    ::testing::Values(
        TLoadRow{"Empty", "", ""},
        TLoadRow{"BlanksInsideBrackets", "[  Main  ]\nk=v\n", "[Main]\r\nk=v\r\n\r\n"},
        TLoadRow{"BlanksAroundNameAndValue", "[s]\n  name \t=  some value  \n",
                 "[s]\r\nname=some value\r\n\r\n"},
        TLoadRow{"ControlCharactersTrimmed", std::string("\x01[s]\x1F\n\x00k=v\t\n", 12),
                 "[s]\r\nk=v\r\n\r\n"},
        TLoadRow{"CommentsSkipped", "[s]\n; note\n   ;indented=1\nk=v ; not a comment\n",
                 "[s]\r\nk=v ; not a comment\r\n\r\n"},
        TLoadRow{"LinesBeforeFirstSectionIgnored", "orphan=1\nbare\n\n[s]\nk=v",
                 "[s]\r\nk=v\r\n\r\n"},
        TLoadRow{"BareLineKeptAsItIs", "[s]\n   just  text \n", "[s]\r\njust  text\r\n\r\n"},
        TLoadRow{"SplitAtFirstEquals", "[s]\nurl = a=b = c\n = empty name\n",
                 "[s]\r\nurl=a=b = c\r\n=empty name\r\n\r\n"},
        TLoadRow{"EmptyValueKept", "[s]\nk =\n", "[s]\r\nk=\r\n\r\n"},
        TLoadRow{"AllLineEnds", "[a]\r\nx=1\r[b]\ry=2\r\n\r\nz=3",
                 "[a]\r\nx=1\r\n\r\n[b]\r\ny=2\r\nz=3\r\n\r\n"},
        TLoadRow{"RepeatedSectionOpensAnother", "[s]\na=1\n[s]\nb=2\n",
                 "[s]\r\na=1\r\n\r\n[s]\r\nb=2\r\n\r\n"},
        TLoadRow{"EmptySectionKept", "[e]\n[s]\nk=v\n", "[e]\r\n\r\n[s]\r\nk=v\r\n\r\n"},
        TLoadRow{"LoneBracketsAreBareLines", "[s]\n[\n]\n[]\nk=v\n",
                 "[s]\r\n[\r\n]\r\n\r\n[]\r\nk=v\r\n\r\n"},
        TLoadRow{"BracketsWithTextAfterAreBareLines", "[s]\n[t] x\n", "[s]\r\n[t] x\r\n\r\n"}),
    [](const auto& info) { return std::string(info.param.Name); });

// --- Reading entries

TEST(IniRead, LaterDuplicatesWin) {
    const auto ini = IniFromText("[s]\nname=1\nname=2\n"
                                 "[t]\nold=1\nx=early\n"
                                 "[t]\nx=late\n");
    EXPECT_EQ(ini->ReadString("s", "name", ""), "2");
    EXPECT_EQ(ini->ReadString("t", "x", ""), "late");
    // The later section is the one used: what only the earlier one holds is not found.
    EXPECT_EQ(ini->ReadString("t", "old", "default"), "default");
}

TEST(IniRead, DefaultOnlyWhenSectionOrEntryIsMissing) {
    const auto ini = IniFromText("[s]\nempty=\nbare line\n");
    EXPECT_EQ(ini->ReadString("s", "empty", "default"), "");
    EXPECT_EQ(ini->ReadString("s", "missing", "default"), "default");
    EXPECT_EQ(ini->ReadString("s", "bare line", "default"), "default");
    EXPECT_EQ(ini->ReadString("other", "empty", "default"), "default");
}

TEST(IniRead, LetterCaseIgnoredUnlessMadeCaseSensitive) {
    const auto ini = IniFromText("[Program]\nHelpFile=manual.pdf\n");
    EXPECT_FALSE(ini->CaseSensitive());
    EXPECT_EQ(ini->ReadString("PROGRAM", "helpfile", ""), "manual.pdf");

    ini->SetCaseSensitive(true); // applies to the sections already loaded
    EXPECT_EQ(ini->ReadString("PROGRAM", "HelpFile", "-"), "-");
    EXPECT_EQ(ini->ReadString("Program", "helpfile", "-"), "-");
    EXPECT_EQ(ini->ReadString("Program", "HelpFile", "-"), "manual.pdf");

    // A new section's entries take the store's setting.
    ini->WriteString("New", "Key", "1");
    EXPECT_EQ(ini->ReadString("New", "KEY", "-"), "-");
    ini->SetCaseSensitive(false);
    EXPECT_EQ(ini->ReadString("new", "KEY", "-"), "1");
}

// --- Integers and booleans

struct TIntegerRow {
    const char* Name;
    std::optional<std::string> Value; // nullopt: no entry
    int Expected;                     // the default is 777
};

class IniReadInteger : public ::testing::TestWithParam<TIntegerRow> {};

TEST_P(IniReadInteger, ConvertsOrGivesDefault) {
    TMemIniFile ini("");
    if (GetParam().Value)
        ini.WriteString("s", "k", *GetParam().Value);
    EXPECT_EQ(ini.ReadInteger("s", "k", 777), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, IniReadInteger,
    ::testing::Values(
        TIntegerRow{"Decimal", "42", 42}, TIntegerRow{"Zero", "0", 0},
        TIntegerRow{"Negative", "-17", -17}, TIntegerRow{"Plus", "+5", 5},
        TIntegerRow{"LeadingSpaces", "  8", 8}, TIntegerRow{"HexLowerX", "0x1F", 31},
        TIntegerRow{"HexUpperX", "0X1f", 31}, TIntegerRow{"Dollar", "$1F", 31},
        TIntegerRow{"NegativeDollar", "-$10", -16},
        TIntegerRow{"HexFullWidthIsBitPattern", "0xFFFFFFFF", -1},
        TIntegerRow{"HexTooWide", "0x100000000", 777}, TIntegerRow{"ZeroXAlone", "0x", 777},
        TIntegerRow{"DollarAlone", "$", 777}, TIntegerRow{"SignAlone", "-", 777},
        TIntegerRow{"TrailingLetters", "12abc", 777}, TIntegerRow{"TrailingSpace", "12 ", 777},
        TIntegerRow{"HexDigitsInDecimal", "1F", 777}, TIntegerRow{"ZeroXAfterSign", "-0x10", 777},
        TIntegerRow{"Largest", "2147483647", 2147483647},
        TIntegerRow{"Smallest", "-2147483648", -2147483647 - 1},
        TIntegerRow{"Overflow", "2147483648", 777}, TIntegerRow{"Underflow", "-2147483649", 777},
        TIntegerRow{"Empty", "", 777}, TIntegerRow{"Missing", std::nullopt, 777}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(IniReadBool, NonZeroIsTrueAndUnreadableGivesDefault) {
    const auto ini = IniFromText("[s]\none=1\nzero=0\nminus=-1\nhex=0x10\nword=yes\n");
    EXPECT_TRUE(ini->ReadBool("s", "one", false));
    EXPECT_FALSE(ini->ReadBool("s", "zero", true));
    EXPECT_TRUE(ini->ReadBool("s", "minus", false));
    EXPECT_TRUE(ini->ReadBool("s", "hex", false));
    EXPECT_TRUE(ini->ReadBool("s", "word", true));
    EXPECT_FALSE(ini->ReadBool("s", "word", false));
    EXPECT_TRUE(ini->ReadBool("s", "missing", true));
}

TEST(IniWriteTyped, WritesDecimalAndOneOrZero) {
    TMemIniFile ini("");
    ini.WriteInteger("s", "i", -2147483647 - 1);
    ini.WriteBool("s", "t", true);
    ini.WriteBool("s", "f", false);
    EXPECT_EQ(ini.ReadString("s", "i", ""), "-2147483648");
    EXPECT_EQ(ini.ReadString("s", "t", ""), "1");
    EXPECT_EQ(ini.ReadString("s", "f", ""), "0");
}

// --- Floats, dates and times

TEST(IniFloat, WritesShortestDotTextThatReadsBackExactly) {
    TMemIniFile ini("");
    const std::vector<std::pair<double, const char*>> written = {
        {0.1, "0.1"}, {-2.5, "-2.5"}, {3.0, "3"}, {1e20, "1e+20"}, {-2.5e-7, "-2.5e-07"}};
    for (const auto& [value, text] : written) {
        ini.WriteFloat("s", "f", value);
        EXPECT_EQ(ini.ReadString("s", "f", ""), text);
    }
    for (const double value :
         {1.0 / 3, std::numeric_limits<double>::max(), std::numeric_limits<double>::denorm_min(),
          -0.0, std::numeric_limits<double>::infinity()}) {
        ini.WriteFloat("s", "f", value);
        const double back = ini.ReadFloat("s", "f", 42);
        EXPECT_EQ(back, value) << ini.ReadString("s", "f", "");
        EXPECT_EQ(std::signbit(back), std::signbit(value));
    }
    ini.WriteFloat("s", "f", std::nan(""));
    EXPECT_TRUE(std::isnan(ini.ReadFloat("s", "f", 42)));
}

TEST(IniFloat, ReadsTolerantlyButNeverGuesses) {
    const auto ini = IniFromText("[s]\nplus=+1.5\nexp=2E3\nlead=.5\n"
                                 "comma=1,5\nhex=0x1p3\nword=abc\ncut=1e\ntwo=++1\nbig=1e999\n");
    EXPECT_EQ(ini->ReadFloat("s", "plus", 0), 1.5);
    EXPECT_EQ(ini->ReadFloat("s", "exp", 0), 2000.0);
    EXPECT_EQ(ini->ReadFloat("s", "lead", 0), 0.5);
    for (const char* bad : {"comma", "hex", "word", "cut", "two", "big", "missing"})
        EXPECT_EQ(ini->ReadFloat("s", bad, -7), -7) << bad;
}

TEST(IniDateTime, WritesFixedFormats) {
    TMemIniFile ini("");
    const TDateTime leapDayNoonAndAQuarterSecond = 45351.5 + 250.0 / 86'400'000;
    ini.WriteDate("s", "d", leapDayNoonAndAQuarterSecond);
    ini.WriteTime("s", "t", leapDayNoonAndAQuarterSecond);
    ini.WriteDateTime("s", "dt", leapDayNoonAndAQuarterSecond);
    ini.WriteDateTime("s", "before", -1.25);
    ini.WriteDateTime("s", "first", -693593);
    ini.WriteDateTime("s", "last", 2958465.99999999);
    ini.WriteTime("s", "zero", 0);
    EXPECT_EQ(ini.ReadString("s", "d", ""), "2024-02-29");
    EXPECT_EQ(ini.ReadString("s", "t", ""), "12:00:00.250");
    EXPECT_EQ(ini.ReadString("s", "dt", ""), "2024-02-29 12:00:00.250");
    EXPECT_EQ(ini.ReadString("s", "before", ""), "1899-12-29 06:00:00");
    EXPECT_EQ(ini.ReadString("s", "first", ""), "0001-01-01 00:00:00");
    EXPECT_EQ(ini.ReadString("s", "last", ""), "9999-12-31 23:59:59.999");
    EXPECT_EQ(ini.ReadString("s", "zero", ""), "00:00:00");
}

TEST(IniDateTime, ReadsBackWhatItWrites) {
    TMemIniFile ini("");
    for (const TDateTime value : {45351.5 + 250.0 / 86'400'000, 0.0, -1.25, 25569.75, -693593.0}) {
        ini.WriteDateTime("s", "dt", value);
        EXPECT_NEAR(ini.ReadDateTime("s", "dt", 1e9), value, 1e-9) << value;
        ini.WriteDate("s", "d", value);
        EXPECT_EQ(ini.ReadDate("s", "d", 1e9), std::trunc(value)) << value;
        ini.WriteTime("s", "t", value);
        EXPECT_NEAR(ini.ReadTime("s", "t", 1e9), std::fabs(value - std::trunc(value)), 1e-9);
    }
}

TEST(IniDateTime, ValuesWithoutADateAreRefusedAndNothingIsWritten) {
    TMemIniFile ini("");
    ini.WriteString("s", "d", "kept");
    for (const double bad :
         {std::nan(""), std::numeric_limits<double>::infinity(), -693594.0, 2958466.0}) {
        EXPECT_THROW(ini.WriteDate("s", "d", bad), std::out_of_range) << bad;
        EXPECT_THROW(ini.WriteDateTime("s", "d", bad), std::out_of_range) << bad;
        EXPECT_THROW(ini.WriteTime("s", "d", bad), std::out_of_range) << bad;
    }
    EXPECT_EQ(ini.ReadString("s", "d", ""), "kept");
}

enum class TDateRead { Date, Time, DateTime };

struct TDateReadRow {
    const char* Name;
    TDateRead Read;
    const char* Text;
    std::optional<TDateTime> Expected; // nullopt: the default
};

class IniDateRead : public ::testing::TestWithParam<TDateReadRow> {};

TEST_P(IniDateRead, ConvertsOrGivesDefault) {
    const TDateReadRow& row = GetParam();
    TMemIniFile ini("");
    ini.WriteString("s", "k", row.Text);
    constexpr TDateTime kDefault = -12345.0;
    TDateTime value = kDefault;
    switch (row.Read) {
    case TDateRead::Date:
        value = ini.ReadDate("s", "k", kDefault);
        break;
    case TDateRead::Time:
        value = ini.ReadTime("s", "k", kDefault);
        break;
    case TDateRead::DateTime:
        value = ini.ReadDateTime("s", "k", kDefault);
        break;
    }
    EXPECT_NEAR(value, row.Expected.value_or(kDefault), 1e-9);
}

constexpr TDateTime kHour = 1.0 / 24;

INSTANTIATE_TEST_SUITE_P(
    Rows, IniDateRead,
    ::testing::Values(
        TDateReadRow{"Date", TDateRead::Date, "2024-02-29", 45351},
        TDateReadRow{"DateShortFields", TDateRead::Date, "1970-1-1", 25569},
        TDateReadRow{"DateNotALeapYear", TDateRead::Date, "2023-02-29", std::nullopt},
        TDateReadRow{"DateMonth13", TDateRead::Date, "2024-13-01", std::nullopt},
        TDateReadRow{"DateYearZero", TDateRead::Date, "0000-01-01", std::nullopt},
        TDateReadRow{"DateLocaleStyle", TDateRead::Date, "29.02.2024", std::nullopt},
        TDateReadRow{"DateWithTime", TDateRead::Date, "2024-02-29 12:00", std::nullopt},
        TDateReadRow{"Time", TDateRead::Time, "06:00:00", 6 * kHour},
        TDateReadRow{"TimeHoursMinutes", TDateRead::Time, "6:30", 6.5 * kHour},
        TDateReadRow{"TimeFractionIsDecimal", TDateRead::Time, "00:00:00.5", 0.5 / 86400},
        TDateReadRow{"TimeHour24", TDateRead::Time, "24:00:00", std::nullopt},
        TDateReadRow{"TimeMinute60", TDateRead::Time, "12:60", std::nullopt},
        TDateReadRow{"TimeHourOnly", TDateRead::Time, "12", std::nullopt},
        TDateReadRow{"TimeTooManyFractionDigits", TDateRead::Time, "12:00:00.1234", std::nullopt},
        TDateReadRow{"DateTime", TDateRead::DateTime, "2024-02-29 18:00:00", 45351.75},
        TDateReadRow{"DateTimeWithT", TDateRead::DateTime, "2024-02-29T18:00", 45351.75},
        TDateReadRow{"DateTimeBeforeDayZero", TDateRead::DateTime, "1899-12-29 06:00", -1.25},
        TDateReadRow{"DateTimeDateOnly", TDateRead::DateTime, "2024-02-29", 45351},
        TDateReadRow{"DateTimeTimeOnly", TDateRead::DateTime, "18:00", 18 * kHour},
        TDateReadRow{"DateTimeTrailingText", TDateRead::DateTime, "2024-02-29 18:00 x",
                     std::nullopt},
        TDateReadRow{"DateTimeNoSeparator", TDateRead::DateTime, "2024-02-2918:00", std::nullopt},
        TDateReadRow{"Empty", TDateRead::DateTime, "", std::nullopt}),
    [](const auto& info) { return std::string(info.param.Name); });

// --- Binary streams

TEST(IniBinaryStream, RoundTripsFromThePositionWithoutMovingIt) {
    TMemIniFile ini("");
    TByteStream source{{0xDE, 0xAD, 0x00, 0x7F, 0x80, 0xFF}, 2};
    ini.WriteBinaryStream("s", "b", source);
    EXPECT_EQ(ini.ReadString("s", "b", ""), "007F80FF");
    EXPECT_EQ(source.Position, 2u);

    TByteStream target;
    EXPECT_EQ(ini.ReadBinaryStream("s", "b", target), 4u);
    EXPECT_EQ(target.Data, (std::vector<uint8_t>{0x00, 0x7F, 0x80, 0xFF}));
    EXPECT_EQ(target.Position, 0u);

    source.Position = source.Data.size();
    ini.WriteBinaryStream("s", "b", source);
    EXPECT_EQ(ini.ReadString("s", "b", "-"), "");
}

struct TBinaryReadRow {
    const char* Name;
    const char* Value; // nullptr: no entry
    std::vector<uint8_t> Data;
    std::size_t Position;
    std::vector<uint8_t> ExpectedData;
    std::size_t ExpectedCount;
};

class IniBinaryRead : public ::testing::TestWithParam<TBinaryReadRow> {};

TEST_P(IniBinaryRead, DecodesAtThePositionAndGrowsByHalfTheText) {
    const TBinaryReadRow& row = GetParam();
    TMemIniFile ini("");
    if (row.Value)
        ini.WriteString("s", "b", row.Value);
    TByteStream stream{row.Data, row.Position};
    EXPECT_EQ(ini.ReadBinaryStream("s", "b", stream), row.ExpectedCount);
    EXPECT_EQ(stream.Data, row.ExpectedData);
    EXPECT_EQ(stream.Position, row.Position);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, IniBinaryRead,
    ::testing::Values(TBinaryReadRow{"IntoEmpty", "0aFf", {}, 0, {0x0A, 0xFF}, 2},
                      TBinaryReadRow{"AtPositionOverwritesAndGrows",
                                     "0102",
                                     {0xAA, 0xBB, 0xCC},
                                     1,
                                     {0xAA, 0x01, 0x02, 0x00, 0x00},
                                     4},
                      TBinaryReadRow{"AtEnd", "01", {0xAA}, 1, {0xAA, 0x01}, 1},
                      TBinaryReadRow{"PositionPastEnd", "01", {}, 2, {0x00, 0x00, 0x01}, 1},
                      TBinaryReadRow{"OddDigitIgnored", "ABC", {}, 0, {0xAB}, 1},
                      TBinaryReadRow{"StopsAtNonHexPair", "01ZZ02", {}, 0, {0x01, 0x00, 0x00}, 3},
                      TBinaryReadRow{"EmptyValueLeavesStream", "", {0x11}, 0, {0x11}, 0},
                      TBinaryReadRow{"MissingLeavesStream", nullptr, {0x11}, 1, {0x11}, 0}),
    [](const auto& info) { return std::string(info.param.Name); });

// --- Changing the store

TEST(IniWrite, ReplacesTheLastDuplicateOrAppends) {
    const auto ini = IniFromText("[s]\nk=1\nk=2\n[t]\nx=1\n[t]\ny=1\n");
    ini->WriteString("s", "K", "3");
    ini->WriteString("s", "new", "4");
    ini->WriteString("t", "z", "5");
    ini->WriteString("added", "a", "6");
    EXPECT_EQ(ini->GetText(), "[s]\r\nk=1\r\nK=3\r\nnew=4\r\n\r\n"
                              "[t]\r\nx=1\r\n\r\n"
                              "[t]\r\ny=1\r\nz=5\r\n\r\n"
                              "[added]\r\na=6\r\n\r\n");
}

TEST(IniWrite, LineBreaksAreRefusedAndChangeNothing) {
    const auto ini = IniFromText("[s]\nk=v\n");
    EXPECT_THROW(ini->WriteString("s", "k", "x\r\n[evil]"), std::invalid_argument);
    EXPECT_THROW(ini->WriteString("s", "k\n", "x"), std::invalid_argument);
    EXPECT_THROW(ini->WriteString("new\r", "k", "x"), std::invalid_argument);
    EXPECT_EQ(ini->GetText(), "[s]\r\nk=v\r\n\r\n");
}

TEST(IniWrite, DeleteKeyRemovesTheEntryFound) {
    const auto ini = IniFromText("[s]\nk=1\nk=2\nm=3\n");
    ini->DeleteKey("s", "k");
    EXPECT_EQ(ini->ReadString("s", "k", ""), "1"); // the earlier duplicate shows again
    ini->DeleteKey("s", "k");
    ini->DeleteKey("s", "absent");
    ini->DeleteKey("absent", "m");
    EXPECT_EQ(ini->GetText(), "[s]\r\nm=3\r\n\r\n");
}

TEST(IniWrite, EraseSectionRemovesTheSectionFound) {
    const auto ini = IniFromText("[a]\nk=early\n[b]\nk=b\n[a]\nk=late\n");
    ini->EraseSection("A");
    EXPECT_EQ(ini->ReadString("a", "k", ""), "early");
    EXPECT_EQ(ini->ReadString("b", "k", ""), "b");
    ini->EraseSection("absent");
    ini->EraseSection("b");
    EXPECT_EQ(ini->GetText(), "[a]\r\nk=early\r\n\r\n");
}

TEST(IniSections, ListsReplaceTheTargetsContent) {
    const auto ini = IniFromText("[s]\nk=1\nbare\n=x\n[empty]\n[s]\nk=2\n");
    TStringList list;
    list.Add("left over");
    ini->ReadSections(list);
    EXPECT_EQ(list.Texts(), Lines({"s", "empty", "s"}));
    ini->ReadSection("S", list); // the later section of that name
    EXPECT_EQ(list.Texts(), Lines({"k"}));
    ini->ReadSection("absent", list);
    EXPECT_EQ(list.Count(), 0);

    const auto first = IniFromText("[s]\nk=1\nbare\n=x\n");
    first->ReadSection("s", list);
    EXPECT_EQ(list.Texts(), Lines({"k", "", ""}));
    first->ReadSectionValues("s", list);
    EXPECT_EQ(list.Texts(), Lines({"k=1", "bare", "=x"}));
}

TEST(IniSections, EmptySectionDoesNotExist) {
    const auto ini = IniFromText("[full]\nbare\n[empty]\n");
    EXPECT_TRUE(ini->SectionExists("full"));
    EXPECT_TRUE(ini->SectionExists("FULL"));
    EXPECT_FALSE(ini->SectionExists("empty"));
    EXPECT_FALSE(ini->SectionExists("absent"));
    ini->WriteString("empty", "k", "v");
    EXPECT_TRUE(ini->SectionExists("empty"));
}

// --- Files

class IniFiles : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        Root_ = fs::path(::testing::TempDir()) /
                ("IniFileTest-" + std::to_string(getpid()) + "-" + test->name());
        fs::remove_all(Root_);
        fs::create_directories(Root_);
        fs::permissions(Root_, fs::perms(0755)); // reachable for the unprivileged child below
    }
    void TearDown() override {
        std::error_code ec;
        for (const auto& entry : fs::recursive_directory_iterator(Root_, ec))
            fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(Root_, ec);
    }

    static void WriteBytes(const fs::path& file, std::string_view bytes) {
        std::ofstream(file, std::ios::binary) << bytes;
    }
    static std::string ReadBytes(const fs::path& file) {
        std::ifstream in(file, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    static std::set<std::string> Listing(const fs::path& folder) {
        std::set<std::string> names;
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(folder, ec))
            names.insert(entry.path().filename().string());
        return names;
    }

    fs::path Root_;
};

TEST_F(IniFiles, LoadsTheFileAndTakesAMissingFileAsEmpty) {
    WriteBytes(Root_ / "a.ini", "[Program]\r\nHelpFile = \xE9t\xE9.chm\r\n");
    const TMemIniFile ini((Root_ / "a.ini").string());
    EXPECT_EQ(ini.ReadString("program", "helpfile", ""), "\xE9t\xE9.chm");
    EXPECT_TRUE(ini.LastError().empty());

    for (const fs::path& missing : {Root_ / "missing.ini", Root_ / "no" / "folder.ini",
                                    Root_ / "a.ini" / "under-a-file.ini", fs::path()}) {
        TMemIniFile none(missing.string());
        EXPECT_TRUE(none.Reload()) << missing;
        EXPECT_EQ(none.GetText(), "");
        EXPECT_EQ(none.ReadInteger("s", "k", 5), 5);
    }
}

TEST_F(IniFiles, UnreadableFileGivesEmptyStoreAndAReason) {
    fs::create_directory(Root_ / "folder.ini");
    TMemIniFile folder((Root_ / "folder.ini").string());
    EXPECT_FALSE(folder.Reload());
    EXPECT_NE(folder.LastError().find("folder.ini"), std::string::npos) << folder.LastError();

    WriteBytes(Root_ / "huge.ini", "[s]\nk=v\n");
    fs::resize_file(Root_ / "huge.ini", TMemIniFile::kMaxFileSize + 1); // sparse, instant
    TMemIniFile huge((Root_ / "huge.ini").string());
    EXPECT_FALSE(huge.Reload());
    EXPECT_FALSE(huge.LastError().empty());
    EXPECT_EQ(huge.GetText(), "");

    // Reload replaces whatever the store held.
    WriteBytes(Root_ / "b.ini", "[s]\nk=1\n");
    TMemIniFile ini((Root_ / "b.ini").string());
    ini.WriteString("s", "extra", "1");
    WriteBytes(Root_ / "b.ini", "[s]\nk=2\n");
    EXPECT_TRUE(ini.Reload());
    EXPECT_EQ(ini.GetText(), "[s]\r\nk=2\r\n\r\n");
}

TEST_F(IniFiles, UpdateFileWritesCrLfLinesAndABlankLinePerSection) {
    const fs::path file = Root_ / "tests.ini";
    WriteBytes(file, "; header\n[Functiontest]\nDescription.1 = Memory\n[Sensorlog]\n");
    fs::permissions(file, fs::perms(0600));
    TMemIniFile ini(file.string());
    ini.WriteString("Functiontest", "ProgramFile.1", "mem.exe");
    ini.WriteInteger("Stresstest", "Reboot.1.1", 3);
    ASSERT_TRUE(ini.UpdateFile()) << ini.LastError();

    EXPECT_EQ(ReadBytes(file), "[Functiontest]\r\nDescription.1=Memory\r\n"
                               "ProgramFile.1=mem.exe\r\n\r\n"
                               "[Sensorlog]\r\n\r\n"
                               "[Stresstest]\r\nReboot.1.1=3\r\n\r\n");
    EXPECT_EQ(fs::status(file).permissions() & fs::perms::all, fs::perms(0600));
    EXPECT_EQ(Listing(Root_), std::set<std::string>{"tests.ini"});
    EXPECT_EQ(TMemIniFile(file.string()).GetText(), ini.GetText());
}

TEST_F(IniFiles, UpdateFileReplacesWhatALinkPointsAt) {
    fs::create_directory(Root_ / "real");
    WriteBytes(Root_ / "real" / "x.ini", "[s]\nk=1\n");
    fs::create_symlink(Root_ / "real" / "x.ini", Root_ / "link.ini");
    TMemIniFile ini((Root_ / "link.ini").string());
    ini.WriteString("s", "k", "2");
    ASSERT_TRUE(ini.UpdateFile()) << ini.LastError();
    EXPECT_TRUE(fs::is_symlink(Root_ / "link.ini"));
    EXPECT_EQ(ReadBytes(Root_ / "real" / "x.ini"), "[s]\r\nk=2\r\n\r\n");
    EXPECT_EQ(Listing(Root_ / "real"), std::set<std::string>{"x.ini"});
}

// Runs `action` in a child process after `prepare`; nullopt when `prepare` failed.
std::optional<bool> RunInChild(const std::function<bool()>& prepare,
                               const std::function<bool()>& action) {
    const pid_t child = fork();
    if (child == 0)
        _exit(!prepare() ? 2 : action() ? 1 : 0);
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) == 2)
        return std::nullopt;
    return WEXITSTATUS(status) == 1;
}

// Runs `action` without root's right to write anywhere: as root in a child that became
// "nobody", otherwise here.
std::optional<bool> RunWithoutRoot(const std::function<bool()>& action) {
    if (geteuid() != 0)
        return action();
    return RunInChild([] { return setgid(65534) == 0 && setuid(65534) == 0; }, action);
}

TEST_F(IniFiles, UpdateFileIntoReadOnlyFolderFailsAndTouchesNothing) {
    const fs::path folder = Root_ / "locked";
    fs::create_directory(folder);
    WriteBytes(folder / "x.ini", "[s]\nk=old\n");
    fs::permissions(folder / "x.ini", fs::perms(0666));
    fs::permissions(folder, fs::perms(0555));

    TMemIniFile ini((folder / "x.ini").string());
    ini.WriteString("s", "k", "new");
    const std::optional<bool> written = RunWithoutRoot([&] { return ini.UpdateFile(); });
    if (!written)
        GTEST_SKIP() << "cannot drop root rights here";
    EXPECT_FALSE(*written);
    EXPECT_EQ(ReadBytes(folder / "x.ini"), "[s]\nk=old\n");
    EXPECT_EQ(Listing(folder), std::set<std::string>{"x.ini"});
}

// A file size limit makes the system refuse the write half-way, as a full disk would.
TEST_F(IniFiles, UpdateFileCutShortLeavesThePreviousFile) {
    const fs::path file = Root_ / "x.ini";
    WriteBytes(file, "[s]\nk=old\n");
    TMemIniFile ini(file.string());
    ini.WriteString("s", "k", std::string(100000, 'n'));
    const std::optional<bool> written = RunInChild(
        [] {
            const rlimit limit{4096, 4096};
            return std::signal(SIGXFSZ, SIG_IGN) != SIG_ERR && setrlimit(RLIMIT_FSIZE, &limit) == 0;
        },
        [&] { return ini.UpdateFile(); });
    ASSERT_TRUE(written.has_value());
    EXPECT_FALSE(*written);
    EXPECT_EQ(ReadBytes(file), "[s]\nk=old\n");
    EXPECT_EQ(Listing(Root_), std::set<std::string>{"x.ini"});
}

struct TWriteFailureRow {
    const char* Name;
    const char* Target; // below the test folder
};

class IniUpdateFailure : public IniFiles, public ::testing::WithParamInterface<TWriteFailureRow> {};

TEST_P(IniUpdateFailure, FailsWithAReasonAndLeavesTheFolderAsItWas) {
    fs::create_directory(Root_ / "dir.ini");
    WriteBytes(Root_ / "dir.ini" / "inside", "keep");
    WriteBytes(Root_ / "plain", "keep");
    const std::set<std::string> before = Listing(Root_);

    TMemIniFile ini((Root_ / GetParam().Target).string());
    ini.WriteString("s", "k", "v");
    EXPECT_FALSE(ini.UpdateFile());
    EXPECT_FALSE(ini.LastError().empty());
    EXPECT_EQ(Listing(Root_), before);
    EXPECT_EQ(Listing(Root_ / "dir.ini"), std::set<std::string>{"inside"});
    EXPECT_EQ(ReadBytes(Root_ / "plain"), "keep");
}

INSTANTIATE_TEST_SUITE_P(Rows, IniUpdateFailure,
                         ::testing::Values(TWriteFailureRow{"TargetIsAFolder", "dir.ini"},
                                           TWriteFailureRow{"FolderIsAFile", "plain/x.ini"},
                                           TWriteFailureRow{"FolderMissing", "none/x.ini"}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(IniUpdateFile, NoFileNameFails) {
    TMemIniFile ini("");
    ini.WriteString("s", "k", "v");
    EXPECT_FALSE(ini.UpdateFile());
    EXPECT_FALSE(ini.LastError().empty());
}

} // namespace
} // namespace ostero::support
