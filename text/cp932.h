#pragma once
// Code page 932 (Shift-JIS as Windows has it) and Unicode: the program's one converter between
// the two, used by the plain libraries, by the file names of fileio/ and, through a QString
// wrapper, by the window layer. Encoding writes the bytes Windows writes (a character that
// stands at several codes takes the first of JIS X 0208, NEC row 13 and the IBM extension,
// never the NEC-selected copy of the IBM extension), so that a file Windows wrote comes back
// byte for byte; decoding reads every code, the NEC-selected copies included.
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
// The code page's own form of a character that input methods outside Windows type as JIS X
// 0208's mapping (the ten listed above: U+301C becomes U+FF5E, U+2212 becomes U+FF0D, ...);
// any other character as it is.
char32_t cp932Form(char32_t c);
// Whether the program's Shift-JIS text can hold c.
bool cp932Holds(char32_t c);
// Whether ISO-2022-JP carries c: ASCII, half-width katakana (sent as their full-width
// forms) and the characters of JIS X 0208 rows 1-8 and 16-84. Not NEC row 13 (①, ㈱), the
// IBM extensions (髙, 﨑) or the user-defined area, which strict readers cannot decode.
bool iso2022jpCarries(char32_t c);

// UTF-8 as Shift-JIS; a character without a code becomes "?".
std::string utf8ToSjis(std::string_view utf8);
// Shift-JIS as UTF-8; a byte or pair without a character becomes the replacement (U+FFFD
// unless another is given), and the bytes after it are read on.
std::string sjisToUtf8(std::string_view sjis, std::string_view replacement = "\xEF\xBF\xBD");
// Shift-JIS as UTF-8 in `utf8`; false when a byte or pair is no character (`utf8` then holds
// what came before it).
bool sjisToUtf8Strict(std::string_view sjis, std::string& utf8);

// The first character of the UTF-8 text that ISO-2022-JP cannot carry, as UTF-8 (the whole
// grapheme cluster it stands in), or an empty text when it carries them all.
std::string firstCharacterNotInIso2022jp(std::string_view utf8);
// The UTF-8 text with every character (grapheme cluster) that ISO-2022-JP cannot carry
// replaced by the replacement text, whole: a cluster of a carried letter and a mark it
// cannot carry goes as one.
std::string replaceNotInIso2022jp(std::string_view utf8, std::string_view replacement);

} // namespace zp
