// The file-name parameters of an attachment part.
#include "mail/messagewriter.h"
#include "text/cp932.h"
#include "text/utf8.h"

#include <algorithm>

namespace zp {

namespace {

// RFC 2231 7: attribute-char, the bytes that stand for themselves in an extended value.
bool isAttributeChar(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::string_view("!#$&+-.^_`|~").find(static_cast<char>(c)) != std::string_view::npos;
}

std::string percentEncoded(std::string_view bytes) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (isAttributeChar(c)) {
            out += ch;
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

bool allCarried(std::string_view utf8) {
    for (std::size_t pos = 0; pos < utf8.size();)
        if (!iso2022jpCarries(nextUtf8(utf8, pos)))
            return false;
    return true;
}

// RFC 2231 3 and 4: filename*0*=UTF-8''…; filename*1*=…, each piece of whole grapheme
// clusters, so that every line stays well within 78 characters.
std::vector<std::string> extendedFileName(std::string_view utf8) {
    constexpr std::size_t kPieceLength = 54;
    std::vector<std::string> pieces(1);
    for (std::size_t pos = 0; pos < utf8.size();) {
        const std::size_t length = graphemeLength(utf8, pos);
        std::string encoded = percentEncoded(utf8.substr(pos, length));
        if (!pieces.back().empty() && pieces.back().size() + encoded.size() > kPieceLength)
            pieces.emplace_back();
        pieces.back() += encoded;
        pos += length;
    }
    std::vector<std::string> lines;
    if (pieces.size() == 1)
        return {"filename*=UTF-8''" + pieces[0]};
    for (std::size_t i = 0; i < pieces.size(); ++i)
        lines.push_back("filename*" + std::to_string(i) + "*=" + (i == 0 ? "UTF-8''" : "") +
                        pieces[i] + (i + 1 < pieces.size() ? ";" : ""));
    return lines;
}

} // namespace

FileNameParameters fileNameParameters(std::string_view name, const MailCharset& cs) {
    const bool ascii = std::all_of(name.begin(), name.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii)
        return {{"name=\"" + std::string(name) + "\""}, {"filename=\"" + std::string(name) + "\""}};
    // Older readers take name= of the Content-Type: encoded words in the message's charset,
    // or in UTF-8 where ISO-2022-JP cannot carry the name. Their line breaks fold the quoted
    // value; white space between encoded words is no part of the text (RFC 2047 6.2).
    constexpr std::size_t kColumn = std::string_view("        name=\"").size();
    const bool iso = cs.charset == "ISO-2022-JP" && allCarried(name);
    const std::string words = iso ? encodeWholeText(utf8ToSjis(name), cs, kColumn)
                                  : encodeWholeText(name, utf8MailCharset(), kColumn);
    FileNameParameters p;
    std::string line = "name=\"";
    for (std::size_t start = 0;;) {
        const std::size_t end = words.find("\r\n\t", start);
        line += words.substr(start, end - start);
        if (end == std::string::npos)
            break;
        p.name.push_back(std::move(line));
        line.clear();
        start = end + 3;
    }
    p.name.push_back(line + "\"");
    p.filename = extendedFileName(name);
    return p;
}

} // namespace zp
