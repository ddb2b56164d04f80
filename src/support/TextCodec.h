#pragma once
// Windows-1252 <-> UTF-8 conversion. The cores keep texts as 8-bit Windows-1252 strings;
// everything that reads or writes outside text (files in UTF-8, the modules, the UI) converts
// at its boundary with these functions.

#include <cstdint>
#include <string>
#include <string_view>

namespace ostero::support {

// Every Windows-1252 byte maps to one Unicode character; the five undefined bytes
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 control of the same number so that no byte is lost.
std::string AnsiToUtf8(std::string_view ansi);

// Characters without a Windows-1252 byte become `replacement`; malformed UTF-8 bytes are taken
// as Latin-1 bytes, which keeps Windows-1252 input that was handed over unconverted.
std::string Utf8ToAnsi(std::string_view utf8, char replacement = '?');

// UTF-16 code units (host order) to Windows-1252; surrogate pairs become one replacement.
std::string Utf16ToAnsi(std::u16string_view utf16, char replacement = '?');
std::u16string AnsiToUtf16(std::string_view ansi);

// Unicode code point of one Windows-1252 byte, and back (-1 when the code point has no byte).
char32_t AnsiCharToUnicode(unsigned char c);
int UnicodeToAnsiChar(char32_t cp);

// Upper case of Windows-1252 text: ASCII letters, the accented Latin letters 0xE0..0xFE (except
// the division sign 0xF7) and the four letters whose capitals lie in 0x80..0x9F.
char AnsiUpperChar(char c);
std::string AnsiUpperCase(std::string_view text);
// Equal without regard to letter case (as AnsiUpperCase folds it).
bool AnsiSameText(std::string_view a, std::string_view b);

} // namespace ostero::support
