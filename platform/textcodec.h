#pragma once
// The one boundary between Qt's Unicode and the program's Shift-JIS (code page 932) byte
// strings, through text/'s converter: the bytes Windows writes, a character with no CP932 form
// as "?", and a byte or pair that is no character read as U+FFFD.
#include <QString>
#include <string>
#include <utility>

namespace zp {

std::string toSjis(const QString& text);
QString fromSjis(const std::string& bytes);

// The text with the characters that input methods type as JIS X 0208's own mapping (a wave
// dash for "〜", a minus sign for "−") replaced by the code page's forms of the same
// characters, which toSjis gives them. Every character stays at its place.
QString foldToCp932Forms(const QString& text);

// The first character that Shift-JIS does not keep as it is, as {index, length in UTF-16
// units}; {size, 0} when the text goes there and back unchanged. A character folded to the
// code page's form of another code point counts as not kept: in a file or folder name it
// would name another file.
std::pair<qsizetype, qsizetype> firstCharNotKeptInSjis(const QString& text);

} // namespace zp
