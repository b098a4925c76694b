#include "addrentry.h"

namespace zp {

namespace {

bool isSjisLeadByte(unsigned char c) {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// Bytes of the character that starts at i: a lead byte takes the byte after it with it,
// whatever that byte is, as the platform's character functions do. In well-formed text
// this changes nothing (no trail byte is a blank or a parenthesis); in a hand-edited
// entry with a stray lead byte, the byte after it is never taken for " (" or ")".
std::size_t charLength(std::string_view s, std::size_t i) {
    return isSjisLeadByte(static_cast<unsigned char>(s[i])) && i + 1 < s.size() ? 2 : 1;
}

} // namespace

std::string formatAddrEntry(std::string_view name, std::string_view address) {
    if (name.empty())
        return std::string(address);
    std::string entry;
    entry.reserve(name.size() + address.size() + 3);
    entry.append(name).append(" (").append(address).append(")");
    return entry;
}

AddrEntry parseAddrEntry(std::string_view entry) {
    std::size_t p = std::string_view::npos;
    for (std::size_t i = 0; i < entry.size(); i += charLength(entry, i)) {
        if (entry[i] == ' ' && i + 1 < entry.size() && entry[i + 1] == '(') {
            p = i;
            break;
        }
    }
    if (p == std::string_view::npos)
        return {std::string(), std::string(entry)};
    std::string_view rest = entry.substr(p + 2);
    // The last character, not the last byte: walk to it.
    std::size_t last = std::string_view::npos;
    for (std::size_t i = 0; i < rest.size(); i += charLength(rest, i))
        last = i;
    if (last != std::string_view::npos && rest.size() - last == 1 && rest[last] == ')')
        rest.remove_suffix(1);
    return {std::string(entry.substr(0, p)), std::string(rest)};
}

} // namespace zp
