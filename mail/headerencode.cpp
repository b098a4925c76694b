#include "mail/headerencode.h"

#include "mail/base64.h"
#include "mail/jis.h"

namespace zp {

std::string makeEncodedWord(std::string_view text) {
    std::string word = "=?ISO-2022-JP?B?";
    base64Append(word, text);
    word += "?=";
    return word;
}

std::string encodeHeaderText(std::string_view text, bool noHeaderEncode) {
    if (noHeaderEncode || isSevenBit(text))
        return std::string(text);
    return makeEncodedWord(text);
}

} // namespace zp
