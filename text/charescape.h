#pragma once
// Keeping characters that Shift-JIS cannot hold in the program's Shift-JIS files (the
// settings file's subject and body, the send logs).
//
// Such a character is written as "&#x" + its code point in upper-case hexadecimal without
// leading zeros + ";", the form of an HTML character reference (an emoji U+1F4F7 is
// "&#x1F4F7;"). Every character Shift-JIS holds is written as it always was. The one
// exception: an "&" that is followed by "#x", hexadecimal digits and ";" is written as
// "&#x26;", so that text the user typed in this form reads back as typed.
//
// Reading turns back exactly these forms: "&#x" with the canonical hexadecimal of a
// character that Shift-JIS cannot hold, and "&#x26;" when "#x", hexadecimal digits and ";"
// follow it. Anything else is kept as written, so a file written before the escapes existed
// reads as it did unless it holds such a form itself, typed by hand. An older copy of the
// program shows the escapes as they stand ("写真&#x1F4F7;") and writes them back unchanged.
#include <string>
#include <string_view>

namespace zp {

// UTF-8 text with every character that code page 932 cannot hold escaped (UTF-8 out).
std::string escapeUnheld(std::string_view utf8);
// The reverse of escapeUnheld on UTF-8 text.
std::string unescapeUnheld(std::string_view utf8);

// UTF-8 to the Shift-JIS that the files hold, escapes included, and back.
std::string toSjisKeepingAll(std::string_view utf8);
std::string fromSjisKeepingAll(std::string_view sjis);

// Shift-JIS text in the escaped form as HTML text: "&", "<", ">" and '"' become entities,
// while the escapes of characters Shift-JIS cannot hold stay the character references they
// are, so a browser shows the text as typed.
std::string htmlEscapeKeepingAll(std::string_view sjis);

// One byte of HTML text: "&", "<", ">" and '"' as their entities, any other byte as it is.
void appendHtmlEscaped(std::string& out, char ch);

} // namespace zp
