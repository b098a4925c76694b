#pragma once
// Shift-JIS (code page 932) to ISO-2022-JP (RFC 1468) conversion.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace zp {

inline bool isSjisLeadByte(unsigned char c) {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// The JIS X 0208 code of the Shift-JIS pair c1 c2 by the usual arithmetic; characters of the
// IBM extension rows (FA40-FC4B) first become the same character in the NEC rows, so they stay
// inside the 94 x 94 set.
std::array<unsigned char, 2> sjisCharToJis(unsigned char c1, unsigned char c2);

// Every run of double-byte characters is opened by ESC $ B and closed by ESC ( B before the
// next single-byte character or at the end. Half-width katakana become their full-width forms
// (voiced marks merged) inside such runs. A lead byte at the very end of the text is dropped.
std::string sjisToJis(std::string_view sjis);

// The stricter conversion of the message writer: bytes that have no JIS X 0208 form (0x80,
// 0xA0, 0xFD-0xFF, user-defined characters, lead bytes without a valid trail byte) are
// dropped. Text that is already ISO-2022-JP passes unchanged.
std::string toIso2022jp(std::string_view sjis);

// True when no byte is above 0x7F.
bool isSevenBit(std::string_view text);

} // namespace zp
