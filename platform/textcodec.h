#pragma once
// The one boundary between Qt's Unicode and the program's Shift-JIS (code page 932)
// byte strings. A character with no CP932 form becomes "?".
#include <QString>
#include <string>

namespace zp {

std::string toSjis(const QString& text);
QString fromSjis(const std::string& bytes);

} // namespace zp
