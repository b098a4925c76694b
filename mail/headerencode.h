#pragma once
// The encoded-word step for header texts that still hold 8-bit bytes after sjisToJis.
#include <string>
#include <string_view>

namespace zp {

// "=?ISO-2022-JP?B?" + base64 of all bytes of text + "?=": one word, however long.
std::string makeEncodedWord(std::string_view text);

// text unchanged when noHeaderEncode is on or text is 7-bit; else its encoded word.
std::string encodeHeaderText(std::string_view text, bool noHeaderEncode = false);

} // namespace zp
