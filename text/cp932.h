#pragma once
// Code page 932 (Shift-JIS as Windows has it) and Unicode, without a platform codec, for the
// plain libraries that must tell which characters the program's Shift-JIS files and its
// ISO-2022-JP mail can hold.
#include <cstdint>
#include <string>
#include <string_view>

namespace zp {

// The Shift-JIS code of c: a byte value below 0x100 for ASCII and half-width katakana, a
// lead and trail byte pair (lead * 256 + trail) otherwise; 0 when code page 932 has no such
// character. The forms that input methods outside Windows type for some JIS X 0208
// characters (U+301C wave dash, U+2212 minus sign, U+2016, U+2014, U+00A2, U+00A3, U+00AC,
// U+00A5, U+00A6, U+203E) take the code of the code page's own form, as the window's
// conversion does. U+0000 is code 0 as well; it holds, being ASCII.
std::uint16_t cp932Code(char32_t c);
// Whether the program's Shift-JIS text can hold c.
bool cp932Holds(char32_t c);
// Whether ISO-2022-JP carries c: ASCII, half-width katakana (sent as their full-width
// forms) and the characters of JIS X 0208 rows 1-8 and 16-84. Not NEC row 13 (①, ㈱), the
// IBM extensions (髙, 﨑) or the user-defined area, which strict readers cannot decode.
bool iso2022jpCarries(char32_t c);

// UTF-8 as Shift-JIS; a character without a code becomes "?".
std::string utf8ToSjis(std::string_view utf8);
// Shift-JIS as UTF-8; a byte or pair without a character becomes U+FFFD.
std::string sjisToUtf8(std::string_view sjis);

// The first character of the UTF-8 text that ISO-2022-JP cannot carry, as UTF-8 (the whole
// grapheme cluster it stands in), or an empty text when it carries them all.
std::string firstCharacterNotInIso2022jp(std::string_view utf8);
// The UTF-8 text with every character (grapheme cluster) that ISO-2022-JP cannot carry
// replaced by the replacement text, whole: a cluster of a carried letter and a mark it
// cannot carry goes as one.
std::string replaceNotInIso2022jp(std::string_view utf8, std::string_view replacement);

} // namespace zp
