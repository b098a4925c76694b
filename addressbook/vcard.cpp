// vCard 2.1 (as phones write it: CHARSET and QUOTED-PRINTABLE parameters, soft line
// breaks), 3.0 (RFC 2426) and 4.0 (RFC 6350). Only the name and the addresses are taken;
// readings (SORT-STRING, X-PHONETIC-*) are left, since the list shows one name.
#include "contactfile.h"

#include "text/cp932.h"

#include <optional>

namespace zp {

using namespace contactfile;

namespace {

// The file's lines one at a time, ended by LF, CR LF or a lone CR, with their numbers.
class Lines {
public:
    explicit Lines(std::string_view text) : m_text(text) {}
    bool next(std::string_view& line) {
        if (m_pos >= m_text.size())
            return false;
        std::size_t end = m_text.find_first_of("\r\n", m_pos);
        if (end == std::string_view::npos)
            end = m_text.size();
        line = m_text.substr(m_pos, end - m_pos);
        m_pos = end;
        if (m_pos < m_text.size() && m_text[m_pos] == '\r')
            ++m_pos;
        if (m_pos < m_text.size() && m_text[m_pos] == '\n' && (m_pos == end || m_text[end] == '\r'))
            ++m_pos;
        ++m_number;
        return true;
    }
    std::size_t number() const { return m_number; }

private:
    std::string_view m_text;
    std::size_t m_pos = 0;
    std::size_t m_number = 0;
};

struct Property {
    std::string name; // lower case, without its group
    std::string charset;
    bool quotedPrintable = false;
    bool base64 = false;
    std::string_view value;
};

// The position of the first ":" that is not inside a quoted parameter value.
std::size_t valueColon(std::string_view line) {
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '"')
            quoted = !quoted;
        else if (line[i] == ':' && !quoted)
            return i;
    }
    return std::string_view::npos;
}

void applyParameter(Property& p, std::string_view param) {
    const std::size_t eq = param.find('=');
    const std::string key = lowerAscii(trim(param.substr(0, eq)));
    std::string written(trim(param.substr(eq == std::string_view::npos ? 0 : eq + 1)));
    if (written.size() >= 2 && written.front() == '"' && written.back() == '"')
        written = written.substr(1, written.size() - 2);
    const std::string value = lowerAscii(written);
    if (key == "charset") {
        p.charset = std::move(written); // as written, to be named in a message
    } else if (key == "encoding" || eq == std::string_view::npos) {
        if (value == "quoted-printable")
            p.quotedPrintable = true;
        else if (value == "base64" || value == "b")
            p.base64 = true;
    }
}

std::optional<Property> parseProperty(std::string_view line) {
    const std::size_t colon = valueColon(line);
    if (colon == std::string_view::npos)
        return std::nullopt;
    Property p;
    p.value = line.substr(colon + 1);
    std::string_view head = line.substr(0, colon);
    std::size_t semi = head.find(';');
    std::string_view name = head.substr(0, semi);
    if (const std::size_t dot = name.rfind('.'); dot != std::string_view::npos)
        name.remove_prefix(dot + 1); // "item1.EMAIL": the group is of no use here
    p.name = lowerAscii(trim(name));
    bool quoted = false;
    std::size_t start = semi == std::string_view::npos ? head.size() : semi + 1;
    for (std::size_t i = start; i <= head.size(); ++i) {
        if (i < head.size() && head[i] == '"')
            quoted = !quoted;
        if (i == head.size() || (head[i] == ';' && !quoted)) {
            applyParameter(p, head.substr(start, i - start));
            start = i + 1;
        }
    }
    return p;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// RFC 2045 6.7; soft line breaks are already joined. A lone "=" at the very end is a soft
// break before the end of the file.
std::optional<std::string> decodeQuotedPrintable(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '=') {
            out += value[i];
            continue;
        }
        if (i + 1 == value.size())
            break;
        const int hi = i + 2 < value.size() ? hexValue(value[i + 1]) : -1;
        const int lo = hi >= 0 ? hexValue(value[i + 2]) : -1;
        if (lo < 0)
            return std::nullopt;
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
    }
    return out;
}

enum class Charset { Guess, Utf8, ShiftJis, Latin1, Unknown };

Charset charsetOf(const std::string& written) {
    const std::string name = lowerAscii(written);
    if (name.empty())
        return Charset::Guess;
    if (name == "utf-8" || name == "utf8")
        return Charset::Utf8;
    for (const char* sjis : {"shift_jis", "shift-jis", "sjis", "x-sjis", "cp932", "windows-31j",
                             "ms_kanji", "csshiftjis", "ms932"})
        if (name == sjis)
            return Charset::ShiftJis;
    for (const char* latin : {"us-ascii", "ascii", "iso-8859-1", "latin1", "iso_8859-1"})
        if (name == latin)
            return Charset::Latin1;
    return Charset::Unknown;
}

std::string toUtf8(std::string_view bytes, Charset charset) {
    switch (charset) {
    case Charset::ShiftJis:
        return sjisToUtf8(bytes);
    case Charset::Latin1: {
        std::string out;
        for (char c : bytes) {
            const auto b = static_cast<unsigned char>(c);
            if (b < 0x80) {
                out += c;
            } else {
                out += static_cast<char>(0xC0 | (b >> 6));
                out += static_cast<char>(0x80 | (b & 0x3F));
            }
        }
        return out;
    }
    case Charset::Utf8: // a malformed byte is taken as Shift-JIS too: never kept malformed
    case Charset::Guess:
    case Charset::Unknown:
        break;
    }
    return guessToUtf8(bytes);
}

// RFC 6350 3.4 for 3.0 and 4.0; vCard 2.1 escapes only the ";" of structured values.
std::string unescape(std::string_view text, bool v21) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c != '\\' || i + 1 == text.size()) {
            out += c;
            continue;
        }
        const char n = text[i + 1];
        if (n == ';' || (!v21 && (n == ',' || n == '\\'))) {
            out += n;
            ++i;
        } else if (!v21 && (n == 'n' || n == 'N')) {
            out += '\n';
            ++i;
        } else {
            out += c;
        }
    }
    return out;
}

// The components of a structured value (N, ORG), split at ";" not escaped.
std::vector<std::string> components(std::string_view text, bool v21) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || (text[i] == ';' && (i == 0 || text[i - 1] != '\\'))) {
            parts.push_back(unescape(text.substr(start, i - start), v21));
            start = i + 1;
        }
    }
    return parts;
}

struct Card {
    bool v21 = false;
    std::string fn, family, given, org;
    std::vector<std::string> addresses;
};

void takeProperty(Card& card, const Property& p, const std::string& value) {
    if (p.name == "version") {
        card.v21 = trim(value) == "2.1";
    } else if (p.name == "fn") {
        card.fn = unescape(value, card.v21);
    } else if (p.name == "n") {
        const std::vector<std::string> parts = components(value, card.v21);
        card.family = parts.empty() ? std::string() : parts[0];
        card.given = parts.size() < 2 ? std::string() : parts[1];
    } else if (p.name == "org") {
        card.org = components(value, card.v21).front();
    } else if (p.name == "email") {
        std::string address(trim(unescape(value, card.v21)));
        if (lowerAscii(address.substr(0, 7)) == "mailto:")
            address.erase(0, 7);
        if (!address.empty())
            card.addresses.push_back(std::move(address));
    }
}

Contact contactOf(Card& card) {
    std::string name = cleanName(card.fn);
    if (name.empty())
        name = cleanName(joinName(card.family, card.given));
    if (name.empty())
        name = cleanName(card.org);
    return {std::move(name), std::move(card.addresses)};
}

bool wanted(const std::string& name) {
    return name == "version" || name == "fn" || name == "n" || name == "org" || name == "email";
}

class Reader {
public:
    explicit Reader(std::string_view text) : m_lines(text) {}
    ContactFile run();

private:
    bool logicalLine(std::string& out, std::size_t& number);
    bool handle(const std::string& line, std::size_t number);
    void endCard() {
        if (!m_card.addresses.empty())
            m_result.contacts.push_back(contactOf(m_card));
    }

    Lines m_lines;
    std::string_view m_pending;
    bool m_hasPending = false;
    int m_depth = 0;
    std::size_t m_addresses = 0;
    Card m_card;
    ContactFile m_result;
};

bool isQuotedPrintableLine(std::string_view line) {
    const std::size_t colon = valueColon(line);
    return colon != std::string_view::npos &&
           lowerAscii(line.substr(0, colon)).find("quoted-printable") != std::string::npos;
}

// One property with its folded lines (a blank or tab at the start) and, for a
// quoted-printable value, the lines after a soft break ("=" at the end) joined to it.
bool Reader::logicalLine(std::string& out, std::size_t& number) {
    std::string_view line;
    if (m_hasPending) {
        line = m_pending;
        m_hasPending = false;
    } else if (!m_lines.next(line)) {
        return false;
    }
    number = m_lines.number();
    out.assign(line);
    const bool qp = isQuotedPrintableLine(line);
    std::string_view next;
    while (m_lines.next(next)) {
        if (qp && !out.empty() && out.back() == '=') {
            out.pop_back();
            out.append(next);
        } else if (!next.empty() && (next.front() == ' ' || next.front() == '\t')) {
            // vCard 2.1 unfolds a line break before a blank into that blank; 3.0 and 4.0
            // drop the blank too (RFC 6350 3.2).
            out.append(m_card.v21 ? next : next.substr(1));
        } else {
            m_pending = next;
            m_hasPending = true;
            break;
        }
    }
    return true;
}

bool Reader::handle(const std::string& line, std::size_t number) {
    const std::optional<Property> p = parseProperty(line);
    if (!p)
        return true; // a blank line or a stray text line between cards
    if (p->name == "begin" || p->name == "end") {
        if (lowerAscii(trim(p->value)) != "vcard")
            return true;
        if (p->name == "begin" && m_depth++ == 0)
            m_card = Card();
        if (p->name == "end" && m_depth > 0 && --m_depth == 0)
            endCard();
        return true;
    }
    const Charset charset = charsetOf(p->charset);
    if (charset == Charset::Unknown) {
        // Named in the message: a name of a few dozen bytes at most.
        m_result.error = {ContactFileFault::UnknownCharset, number, p->charset.substr(0, 40)};
        return false;
    }
    std::string raw(p->value);
    if (p->quotedPrintable) {
        std::optional<std::string> decoded = decodeQuotedPrintable(raw);
        if (!decoded) {
            m_result.error = {ContactFileFault::BadQuotedPrintable, number, {}};
            return false;
        }
        raw = std::move(*decoded);
    }
    // A card inside another (a 2.1 AGENT) is another person.
    if (m_depth != 1 || p->base64 || !wanted(p->name))
        return true;
    if (p->name == "email" && ++m_addresses > kMaxContactAddresses) {
        m_result.error = {ContactFileFault::TooManyAddresses, number, {}};
        return false;
    }
    takeProperty(m_card, *p, toUtf8(raw, charset));
    return true;
}

ContactFile Reader::run() {
    std::string line;
    std::size_t number = 0;
    while (logicalLine(line, number))
        if (!handle(line, number))
            return {std::move(m_result.error), {}};
    if (m_depth > 0) // the last card is not ended; what it has is kept
        endCard();
    return std::move(m_result);
}

} // namespace

ContactFile readVCards(std::string_view bytes) {
    return Reader(bytes).run();
}

} // namespace zp
