#include "support/TextCodec.h"

#include <gtest/gtest.h>

#include <iconv.h>

#include <string>

using namespace std::string_literals;

namespace ostero::support {
namespace {

std::string AllBytes() {
    std::string bytes;
    for (int c = 0; c < 256; ++c)
        bytes += static_cast<char>(c);
    return bytes;
}

// --- Round trips.

TEST(TextCodecRoundTrip, EveryByteThroughUtf8) {
    const std::string bytes = AllBytes();
    const std::string utf8 = AnsiToUtf8(bytes);
    EXPECT_EQ(Utf8ToAnsi(utf8), bytes);
    for (int c = 0; c < 256; ++c) {
        const std::string one(1, static_cast<char>(c));
        EXPECT_EQ(Utf8ToAnsi(AnsiToUtf8(one)), one) << "byte " << c;
    }
}

TEST(TextCodecRoundTrip, EveryByteThroughUtf16) {
    const std::string bytes = AllBytes();
    const std::u16string utf16 = AnsiToUtf16(bytes);
    ASSERT_EQ(utf16.size(), 256u);
    EXPECT_EQ(Utf16ToAnsi(utf16), bytes);
}

TEST(TextCodecRoundTrip, EveryByteThroughItsCodePoint) {
    for (int c = 0; c < 256; ++c)
        EXPECT_EQ(UnicodeToAnsiChar(AnsiCharToUnicode(static_cast<unsigned char>(c))), c) << c;
}

// --- The bytes 0x80 to 0x9F.

struct THighCase {
    const char* Name;
    unsigned char Byte;
    char32_t CodePoint;
    std::string Utf8;
};

class TextCodecHighBytes : public ::testing::TestWithParam<THighCase> {};

TEST_P(TextCodecHighBytes, MapsBothWays) {
    const THighCase& c = GetParam();
    const std::string byte(1, static_cast<char>(c.Byte));
    EXPECT_EQ(AnsiCharToUnicode(c.Byte), c.CodePoint);
    EXPECT_EQ(UnicodeToAnsiChar(c.CodePoint), c.Byte);
    EXPECT_EQ(AnsiToUtf8(byte), c.Utf8);
    EXPECT_EQ(Utf8ToAnsi(c.Utf8), byte);
}

INSTANTIATE_TEST_SUITE_P(TextCodec, TextCodecHighBytes,
                         ::testing::Values(THighCase{"Euro", 0x80, 0x20AC, "\xE2\x82\xAC"},
                                           THighCase{"Undefined81", 0x81, 0x0081, "\xC2\x81"},
                                           THighCase{"LowQuote", 0x82, 0x201A, "\xE2\x80\x9A"},
                                           THighCase{"Florin", 0x83, 0x0192, "\xC6\x92"},
                                           THighCase{"SCaron", 0x8A, 0x0160, "\xC5\xA0"},
                                           THighCase{"Undefined8D", 0x8D, 0x008D, "\xC2\x8D"},
                                           THighCase{"ZCaron", 0x8E, 0x017D, "\xC5\xBD"},
                                           THighCase{"Undefined8F", 0x8F, 0x008F, "\xC2\x8F"},
                                           THighCase{"Undefined90", 0x90, 0x0090, "\xC2\x90"},
                                           THighCase{"LeftQuote", 0x91, 0x2018, "\xE2\x80\x98"},
                                           THighCase{"EnDash", 0x96, 0x2013, "\xE2\x80\x93"},
                                           THighCase{"TradeMark", 0x99, 0x2122, "\xE2\x84\xA2"},
                                           THighCase{"Undefined9D", 0x9D, 0x009D, "\xC2\x9D"},
                                           THighCase{"YDiaeresis", 0x9F, 0x0178, "\xC5\xB8"},
                                           THighCase{"NoBreakSpace", 0xA0, 0x00A0, "\xC2\xA0"},
                                           THighCase{"ETilde", 0xF1, 0x00F1, "\xC3\xB1"},
                                           THighCase{"LastByte", 0xFF, 0x00FF, "\xC3\xBF"}),
                         [](const auto& info) { return info.param.Name; });

// The system's own converter as an independent reference for every defined byte.
TEST(TextCodecHighBytesReference, AgreesWithSystemConverter) {
    iconv_t cd = ::iconv_open("UTF-8", "CP1252");
    if (cd == reinterpret_cast<iconv_t>(-1))
        GTEST_SKIP() << "no CP1252 converter on this system";
    int compared = 0;
    for (int c = 0x20; c < 256; ++c) {
        char in = static_cast<char>(c);
        char out[8] = {};
        char* inPtr = &in;
        char* outPtr = out;
        size_t inLeft = 1, outLeft = sizeof out;
        ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
        if (::iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1))
            continue; // one of the five undefined bytes
        EXPECT_EQ(AnsiToUtf8(std::string(1, in)), std::string(out, outPtr)) << "byte " << c;
        ++compared;
    }
    ::iconv_close(cd);
    EXPECT_GE(compared, 256 - 0x20 - 5);
}

// --- Input that is not clean UTF-8.

struct TDecodeCase {
    const char* Name;
    std::string Utf8;
    std::string Ansi;
};

class TextCodecUtf8ToAnsi : public ::testing::TestWithParam<TDecodeCase> {};

TEST_P(TextCodecUtf8ToAnsi, Converts) {
    EXPECT_EQ(Utf8ToAnsi(GetParam().Utf8), GetParam().Ansi);
}

INSTANTIATE_TEST_SUITE_P(
    TextCodec, TextCodecUtf8ToAnsi,
    ::testing::Values(TDecodeCase{"Ascii", "plain text", "plain text"},
                      TDecodeCase{"Accents",
                                  "Fran\xC3\xA7"
                                  "ais Espa\xC3\xB1ol",
                                  "Fran\xE7"
                                  "ais Espa\xF1ol"},
                      TDecodeCase{"EmbeddedNul", "a\0b"s, "a\0b"s},
                      // Malformed bytes are kept as they are.
                      TDecodeCase{"Windows1252Unconverted",
                                  "Fran\xE7"
                                  "ais",
                                  "Fran\xE7"
                                  "ais"},
                      TDecodeCase{"LoneContinuationByte", "a\x80z", "a\x80z"},
                      TDecodeCase{"TruncatedAtEnd", "ab\xC3", "ab\xC3"},
                      TDecodeCase{"TruncatedEuro", "\xE2\x82z", "\xE2\x82z"},
                      TDecodeCase{"BadContinuation", "\xC3(", "\xC3("},
                      TDecodeCase{"Overlong", "\xC0\xAF", "\xC0\xAF"},
                      TDecodeCase{"EncodedSurrogate", "\xED\xA0\x80", "\xED\xA0\x80"},
                      TDecodeCase{"BeyondUnicode", "\xF4\x90\x80\x80", "\xF4\x90\x80\x80"},
                      TDecodeCase{"InvalidLeadByte", "\xFF\xFE", "\xFF\xFE"},
                      // Characters without a Windows-1252 byte become '?', one per character.
                      TDecodeCase{"LatinExtended", "A\xC4\x80Z", "A?Z"},
                      TDecodeCase{"Cjk", "\xE4\xB8\xAD\xE6\x96\x87", "??"},
                      TDecodeCase{"OutsideBasicPlane", "x\xF0\x9F\x98\x80y", "x?y"},
                      TDecodeCase{"C1ControlWithEuroSlot", "\xC2\x80", "?"}),
    [](const auto& info) { return info.param.Name; });

TEST(TextCodecReplacement, CallerChoosesTheReplacement) {
    EXPECT_EQ(Utf8ToAnsi("a\xE4\xB8\xAD", '_'), "a_");
    EXPECT_EQ(Utf16ToAnsi(u"a\u4E2D", '_'), "a_");
    EXPECT_EQ(UnicodeToAnsiChar(0x4E2D), -1);
    EXPECT_EQ(UnicodeToAnsiChar(0x0080), -1); // its byte holds the euro sign
}

TEST(TextCodecUtf16, SurrogatesBecomeOneReplacement) {
    EXPECT_EQ(Utf16ToAnsi(u"x\U0001F600y"), "x?y"); // a pair: one character
    EXPECT_EQ(Utf16ToAnsi(std::u16string{u'a', char16_t(0xD800)}), "a?");
    EXPECT_EQ(Utf16ToAnsi(std::u16string{char16_t(0xDC00), u'b'}), "?b");
    EXPECT_EQ(Utf16ToAnsi(u"\u20AC\u00E7"), "\x80\xE7");
}

} // namespace
} // namespace ostero::support
