#pragma once
// The one boundary between Qt's Unicode and the program's Shift-JIS (code page 932)
// byte strings. A character with no CP932 form becomes "?".
#include <QString>
#include <string>

namespace zp {

std::string toSjis(const QString& text);
QString fromSjis(const std::string& bytes);

// The text with the characters that input methods type as JIS X 0208's own mapping (a wave
// dash for "〜", a minus sign for "−") replaced by the code page's forms of the same
// characters, which toSjis gives them. Every character stays at its place.
QString foldToCp932Forms(const QString& text);

} // namespace zp
