#pragma once
// UTF-8 text: characters, grapheme clusters.
#include <cstddef>
#include <string>
#include <string_view>

namespace zp {

// The character at pos, which moves past it. A byte that does not begin a well-formed
// sequence (overlong forms, surrogates and values above U+10FFFF included) gives U+FFFD and
// moves one byte.
char32_t nextUtf8(std::string_view text, std::size_t& pos);
void appendUtf8(std::string& out, char32_t c);

// The bytes of the grapheme cluster at pos: a character with the marks, variation
// selectors, emoji modifiers and zero-width-joined characters that belong to it, or a pair
// of regional indicators (a flag). Never 0 when pos is inside the text.
std::size_t graphemeLength(std::string_view text, std::size_t pos);

} // namespace zp
