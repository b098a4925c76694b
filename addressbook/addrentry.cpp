#include "addrentry.h"

namespace zp {

// Shift-JIS trail bytes are 0x40..0x7E and 0x80..0xFC, so the bytes of " ", "(" and ")"
// (0x20, 0x28, 0x29) are always characters of their own: searching bytes finds the same
// positions as walking the text character by character.

std::string formatAddrEntry(std::string_view name, std::string_view address) {
    if (name.empty())
        return std::string(address);
    std::string entry;
    entry.reserve(name.size() + address.size() + 3);
    entry.append(name).append(" (").append(address).append(")");
    return entry;
}

AddrEntry parseAddrEntry(std::string_view entry) {
    const std::size_t p = entry.find(" (");
    if (p == std::string_view::npos)
        return {std::string(), std::string(entry)};
    std::string_view rest = entry.substr(p + 2);
    if (!rest.empty() && rest.back() == ')')
        rest.remove_suffix(1);
    return {std::string(entry.substr(0, p)), std::string(rest)};
}

} // namespace zp
