#include "sendlogreader.h"

#include "sendlogformat.h"

#include <sstream>

namespace zp {
namespace {

bool isLeadByte(unsigned char b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

// The at sign as a character: a trail byte 0x40 of a double-byte character (the
// full-width blank is 0x81 0x40) is no at sign.
bool holdsAtSign(std::string_view line) {
    for (std::size_t i = 0; i < line.size(); ++i) {
        const auto b = static_cast<unsigned char>(line[i]);
        if (isLeadByte(b))
            ++i;
        else if (b == '@')
            return true;
    }
    return false;
}

bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

// Hands out the lines of a stream one at a time, keeping at most kMaxRecipientLine bytes
// of each, so that a file of one endless line costs no more memory than a short one.
class LineReader {
public:
    explicit LineReader(std::istream& in) : m_in(in) {}

    // False at the end of the stream. A line longer than the limit is cut and marked.
    bool next(std::string& line, bool& cut) {
        line.clear();
        cut = false;
        bool any = false;
        for (;;) {
            const int c = m_in.get();
            if (c == std::char_traits<char>::eof())
                return any;
            any = true;
            if (c == '\n')
                return true;
            if (c == '\r') {
                if (m_in.peek() == '\n')
                    m_in.get();
                return true;
            }
            if (line.size() < kMaxRecipientLine)
                line.push_back(static_cast<char>(c));
            else
                cut = true;
        }
    }

    bool broken() const { return m_in.bad(); }

private:
    std::istream& m_in;
};

} // namespace

std::optional<SendLogForm> sendLogFormOf(std::string_view name) {
    auto endsWith = [&](std::string_view suffix) {
        return name.size() > suffix.size() &&
               equalsIgnoringAsciiCase(name.substr(name.size() - suffix.size()), suffix);
    };
    if (endsWith(sendlog::kHtmlSuffix))
        return SendLogForm::Html;
    if (endsWith(sendlog::kTextSuffix))
        return SendLogForm::Text;
    return std::nullopt;
}

std::string decodeHtmlEntities(std::string_view text) {
    static constexpr struct {
        std::string_view name;
        char ch;
    } kNamed[] = {{"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t semi = text[i] == '&' ? text.find(';', i + 1) : std::string_view::npos;
        if (semi == std::string_view::npos || semi - i > 8) {
            out.push_back(text[i++]);
            continue;
        }
        const std::string_view ref = text.substr(i + 1, semi - i - 1);
        int decoded = -1;
        for (const auto& n : kNamed)
            if (ref == n.name)
                decoded = static_cast<unsigned char>(n.ch);
        if (ref.size() >= 2 && ref[0] == '#') {
            const bool hex = ref[1] == 'x' || ref[1] == 'X';
            const std::string_view digits = ref.substr(hex ? 2 : 1);
            int value = digits.empty() ? -1 : 0;
            for (char d : digits) {
                int v = -1;
                if (d >= '0' && d <= '9')
                    v = d - '0';
                else if (hex && d >= 'a' && d <= 'f')
                    v = d - 'a' + 10;
                else if (hex && d >= 'A' && d <= 'F')
                    v = d - 'A' + 10;
                if (v < 0 || value >= 0x80) {
                    value = -1;
                    break;
                }
                value = value * (hex ? 16 : 10) + v;
            }
            // Only ASCII: a Shift-JIS text has no single byte for anything above it.
            if (value > 0 && value < 0x80)
                decoded = value;
        }
        if (decoded < 0) {
            out.push_back(text[i++]);
            continue;
        }
        out.push_back(static_cast<char>(decoded));
        i = semi + 1;
    }
    return out;
}

SendLogRecipients readSendLogRecipients(std::istream& in, SendLogForm form) {
    const std::string_view header =
        form == SendLogForm::Html ? sendlog::kHtmlRecipientsLine : sendlog::kRecipientsMarker;
    SendLogRecipients result;
    LineReader reader(in);
    std::string line;
    bool cut = false;
    bool found = false;
    while (!found && reader.next(line, cut))
        found = !cut && line == header;
    if (!found) {
        result.status = reader.broken() ? RecipientsStatus::ReadFailed : RecipientsStatus::NoHeader;
        return result;
    }
    while (reader.next(line, cut)) {
        // A line cut short may hold its at sign in the part not kept.
        if (!cut && !holdsAtSign(line))
            break;
        if (cut || result.entries.size() == kMaxRecipients) {
            result.entries.clear();
            result.status = RecipientsStatus::TooLarge;
            return result;
        }
        if (form == SendLogForm::Html) {
            if (!line.empty() && line.back() == ' ')
                line.pop_back();
            line = decodeHtmlEntities(line);
        }
        result.entries.push_back(line);
    }
    if (reader.broken()) {
        result.entries.clear();
        result.status = RecipientsStatus::ReadFailed;
        return result;
    }
    result.status = result.entries.empty() ? RecipientsStatus::NoEntries : RecipientsStatus::Ok;
    return result;
}

SendLogRecipients readSendLogRecipients(std::string_view content, SendLogForm form) {
    std::istringstream in{std::string(content)};
    return readSendLogRecipients(in, form);
}

} // namespace zp
