#include "mail/message.h"

#include <algorithm>

namespace zp {

namespace {

bool isBlank(char c) {
    return static_cast<unsigned char>(c) <= 0x20;
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

std::string upperCased(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; });
    return out;
}

// Removes pairs of double or single quotes around the whole name.
std::string unquoted(std::string_view name) {
    while (name.size() > 1 && ((name.front() == '"' && name.back() == '"') ||
                               (name.front() == '\'' && name.back() == '\''))) {
        name.remove_prefix(1);
        name.remove_suffix(1);
    }
    return std::string(name);
}

} // namespace

std::string MailAddressItem::Text() const {
    if (Name.empty() || Name == upperCased(Address))
        return Address;
    return Name + " <" + Address + ">";
}

void MailAddressItem::setText(std::string_view text) {
    text = trimmed(text);
    Address.clear();
    Name.clear();
    if (!text.empty() && text.back() == '>' && text.find('<') != std::string_view::npos) {
        const std::size_t open = text.find('<');
        Address = trimmed(text.substr(open + 1, text.size() - 1 - (open + 1)));
        Name = unquoted(trimmed(text.substr(0, open)));
    } else if (!text.empty() && text.back() == ')' && text.find('(') != std::string_view::npos) {
        const std::size_t open = text.find('(');
        Name = unquoted(trimmed(text.substr(open + 1, text.size() - 1 - (open + 1))));
        Address = trimmed(text.substr(0, open));
    } else {
        Address = text;
    }
}

void MailAddressList::setText(std::string_view text) {
    m_items.clear();
    std::size_t start = 0;
    int quotes = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i < text.size()) {
            if (text[i] == '"')
                ++quotes;
            // A comma inside a quoted name that has been opened but not closed does not split.
            if (text[i] != ',' || quotes == 1)
                continue;
        }
        const std::string_view entry = trimmed(text.substr(start, i - start));
        if (!entry.empty()) {
            MailAddressItem item;
            item.setText(entry);
            m_items.push_back(std::move(item));
        }
        start = i + 1;
        quotes = 0;
    }
}

std::string MailAddressList::Text() const {
    std::string out;
    for (const MailAddressItem& item : m_items) {
        if (!out.empty())
            out += ", ";
        out += item.Text();
    }
    return out;
}

MailAddressItem& MailAddressList::add(MailAddressItem item) {
    m_items.push_back(std::move(item));
    return m_items.back();
}

Attachment& MailMessage::addAttachment(std::string path) {
    MessageParts.emplace_back(std::move(path));
    return MessageParts.back();
}

} // namespace zp
