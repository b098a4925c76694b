// CSV as address books export it (RFC 4180: fields in double quotes may hold commas, quotes
// doubled and line breaks), told apart by the names in the header line.
#include "contactfile.h"

#include <array>

namespace zp {

using namespace contactfile;

namespace {

using Record = std::vector<std::string>;

class CsvReader {
public:
    explicit CsvReader(std::string_view text) : m_text(text) {}
    // The next record; false at the end or on a quote left open (then error is set).
    bool next(Record& record, ContactFileError& error);
    std::size_t line() const { return m_line; }

private:
    void endOfLine();

    std::string_view m_text;
    std::size_t m_pos = 0;
    std::size_t m_line = 1;
};

void CsvReader::endOfLine() {
    if (m_text[m_pos] == '\r' && m_pos + 1 < m_text.size() && m_text[m_pos + 1] == '\n')
        ++m_pos;
    ++m_pos;
    ++m_line;
}

bool CsvReader::next(Record& record, ContactFileError& error) {
    record.clear();
    if (m_pos >= m_text.size())
        return false;
    std::string field;
    bool quoted = false;
    std::size_t quoteLine = 0;
    while (m_pos < m_text.size()) {
        const char c = m_text[m_pos];
        if (quoted) {
            if (c == '"' && m_pos + 1 < m_text.size() && m_text[m_pos + 1] == '"') {
                field += '"';
                m_pos += 2;
            } else if (c == '"') {
                quoted = false;
                ++m_pos;
            } else if (c == '\r' || c == '\n') {
                field += '\n';
                endOfLine();
            } else {
                field += c;
                ++m_pos;
            }
        } else if (c == '"') {
            quoted = true;
            quoteLine = m_line;
            ++m_pos;
        } else if (c == ',') {
            if (record.size() + 1 >= kMaxCsvFields) {
                error = {ContactFileFault::TooManyFields, m_line, {}};
                return false;
            }
            record.push_back(std::move(field));
            field.clear();
            ++m_pos;
        } else if (c == '\r' || c == '\n') {
            endOfLine();
            break;
        } else {
            field += c;
            ++m_pos;
        }
    }
    if (quoted) {
        error = {ContactFileFault::UnclosedQuote, quoteLine, {}};
        return false;
    }
    record.push_back(std::move(field));
    return true;
}

// Where a known export keeps the parts of a contact.
struct Columns {
    std::vector<std::size_t> whole;  // a display name, taken first when it is not empty
    std::vector<std::size_t> family; // family name, joined to the given name otherwise
    std::vector<std::size_t> given;
    std::vector<std::size_t> addresses; // each may hold several, " ::: " between them
};

// Header names of Google Contacts (both of its layouts), Thunderbird (English and
// Japanese) and Outlook.
constexpr std::array kWholeNames{"name", "display name", "表示名"};
constexpr std::array kFamilyNames{"family name", "last name", "姓"};
constexpr std::array kGivenNames{"given name", "first name", "名"};
constexpr std::array kAddressNames{"primary email",    "secondary email",     "e-mail address",
                                   "e-mail 2 address", "e-mail 3 address",    "email address",
                                   "メールアドレス",   "第 2 メールアドレス", "第2メールアドレス"};

template <std::size_t N>
bool oneOf(const std::string& name, const std::array<const char*, N>& names) {
    for (const char* n : names)
        if (name == n)
            return true;
    return false;
}

// Google numbers its address columns: "E-mail 1 - Value", "E-mail 2 - Value", ...
bool isNumberedAddress(const std::string& name) {
    if (!name.starts_with("e-mail ") || !name.ends_with(" - value"))
        return false;
    const std::string_view number = std::string_view(name).substr(7, name.size() - 7 - 8);
    return !number.empty() && number.find_first_not_of("0123456789") == std::string_view::npos;
}

Columns columnsOf(const Record& header) {
    Columns c;
    for (std::size_t i = 0; i < header.size(); ++i) {
        const std::string name = lowerAscii(trim(header[i]));
        if (oneOf(name, kWholeNames))
            c.whole.push_back(i);
        else if (oneOf(name, kFamilyNames))
            c.family.push_back(i);
        else if (oneOf(name, kGivenNames))
            c.given.push_back(i);
        else if (oneOf(name, kAddressNames) || isNumberedAddress(name))
            c.addresses.push_back(i);
    }
    return c;
}

std::string firstOf(const Record& r, const std::vector<std::size_t>& columns) {
    for (std::size_t i : columns)
        if (i < r.size() && !trim(r[i]).empty())
            return std::string(trim(r[i]));
    return {};
}

Contact contactOf(const Record& r, const Columns& c) {
    Contact contact;
    contact.name = cleanName(firstOf(r, c.whole));
    if (contact.name.empty())
        contact.name = cleanName(joinName(firstOf(r, c.family), firstOf(r, c.given)));
    for (std::size_t i : c.addresses) {
        if (i >= r.size())
            continue;
        std::string_view rest = r[i];
        while (!rest.empty()) {
            const std::size_t sep = rest.find(":::");
            const std::string_view one = trim(rest.substr(0, sep));
            if (!one.empty())
                contact.addresses.emplace_back(one);
            rest = sep == std::string_view::npos ? std::string_view() : rest.substr(sep + 3);
        }
    }
    return contact;
}

} // namespace

ContactFile readContactCsv(std::string_view bytes) {
    const std::string text = guessToUtf8(bytes);
    CsvReader reader(text);
    ContactFile result;
    Record record;
    if (!reader.next(record, result.error))
        return {result.error.fault == ContactFileFault::None
                    ? ContactFileError{ContactFileFault::UnknownFormat, 0, {}}
                    : result.error,
                {}};
    const Columns columns = columnsOf(record);
    if (columns.addresses.empty())
        return {{ContactFileFault::UnknownFormat, 0, {}}, {}};
    std::size_t addresses = 0;
    while (reader.next(record, result.error)) {
        Contact contact = contactOf(record, columns);
        addresses += contact.addresses.size();
        if (addresses > kMaxContactAddresses) {
            result.error = {ContactFileFault::TooManyAddresses, reader.line() - 1, {}};
            break;
        }
        if (!contact.addresses.empty())
            result.contacts.push_back(std::move(contact));
    }
    if (!result.ok())
        result.contacts.clear();
    return result;
}

} // namespace zp
