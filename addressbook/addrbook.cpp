#include "addrbook.h"

#include "addredit.h"
#include "addrentry.h"
#include "text/cp932.h"
#include "text/utf8.h"

#include <unordered_set>

namespace zp {

namespace {

std::string addressKey(std::string_view address) {
    return contactfile::lowerAscii(contactfile::trim(address));
}

// The first character of the UTF-8 text that the program's Shift-JIS cannot hold, or "".
std::string firstNotHeld(std::string_view utf8) {
    for (std::size_t pos = 0; pos < utf8.size();) {
        const std::size_t at = pos;
        if (!cp932Holds(nextUtf8(utf8, pos)))
            return std::string(utf8.substr(at, pos - at));
    }
    return {};
}

class Planner {
public:
    explicit Planner(const std::vector<std::string>& existing) : m_count(existing.size()) {
        for (const std::string& entry : existing)
            m_seen.insert(addressKey(parseAddrEntry(entry).address));
    }
    void add(const std::string& name, const std::string& address);
    AddrImport take() { return std::move(m_plan); }

private:
    void refuse(ImportRefusal why, const std::string& name, const std::string& address,
                std::string character = {}) {
        if (m_plan.refused++ == 0)
            m_plan.firstRefused = {why, name, address, std::move(character)};
    }

    std::size_t m_count;
    std::unordered_set<std::string> m_seen;
    AddrImport m_plan;
};

void Planner::add(const std::string& name, const std::string& address) {
    if (!isImportableAddress(address))
        return refuse(ImportRefusal::BadAddress, name, address);
    const std::string key = addressKey(address);
    if (m_seen.contains(key)) {
        ++m_plan.duplicates;
        return;
    }
    if (std::string ch = firstNotHeld(name); !ch.empty())
        return refuse(ImportRefusal::NameNotHeld, name, address, std::move(ch));
    if (m_count >= kMaxAddrEntries)
        return refuse(ImportRefusal::ListFull, name, address);
    AddrInput in = cleanAddrInput(utf8ToSjis(name), address);
    if (in.check != AddrInputCheck::Ok)
        return refuse(ImportRefusal::TooLong, name, address);
    m_seen.insert(key);
    m_plan.entries.push_back(std::move(in.entry));
    ++m_count;
}

std::string escapeText(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c == '\\' || c == ',' || c == ';')
            out += '\\';
        if (c == '\n' || c == '\r')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

// RFC 2426 2.6: a line longer than 75 bytes goes on after CR LF and a blank, never inside
// a UTF-8 sequence.
void appendFolded(std::string& out, std::string_view line) {
    std::size_t width = 0;
    for (std::size_t i = 0; i < line.size();) {
        std::size_t n = 1;
        while (i + n < line.size() && (static_cast<unsigned char>(line[i + n]) & 0xC0) == 0x80)
            ++n;
        if (width + n > 75) {
            out += "\r\n ";
            width = 1;
        }
        out.append(line.substr(i, n));
        width += n;
        i += n;
    }
    out += "\r\n";
}

} // namespace

bool isImportableAddress(std::string_view address) {
    const std::size_t at = address.rfind('@');
    if (at == std::string_view::npos || at == 0 || at + 1 == address.size())
        return false;
    for (char ch : address) {
        const auto c = static_cast<unsigned char>(ch);
        if (c <= 0x20 || c >= 0x7F || ch == '(' || ch == ')' || ch == '<' || ch == '>' || ch == ',')
            return false;
    }
    return address.size() <= kMaxAddrEntryBytes;
}

AddrImport planAddrImport(const std::vector<std::string>& existing,
                          const std::vector<Contact>& contacts) {
    Planner planner(existing);
    for (const Contact& contact : contacts)
        for (const std::string& address : contact.addresses)
            planner.add(contact.name, address);
    return planner.take();
}

std::string writeVCards(const std::vector<std::string>& entries) {
    std::string out;
    for (const std::string& entry : entries) {
        const AddrEntry parts = parseAddrEntry(entry);
        const std::string address = sjisToUtf8(contactfile::trim(parts.address));
        if (address.empty())
            continue;
        std::string name = sjisToUtf8(contactfile::trim(parts.name));
        if (name.empty())
            name = address;
        out += "BEGIN:VCARD\r\nVERSION:3.0\r\n";
        appendFolded(out, "FN:" + escapeText(name));
        appendFolded(out, "N:" + escapeText(name) + ";;;;");
        appendFolded(out, "EMAIL;TYPE=INTERNET:" + escapeText(address));
        out += "END:VCARD\r\n";
    }
    return out;
}

} // namespace zp
