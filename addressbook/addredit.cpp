#include "addredit.h"

#include "addrentry.h"

namespace zp {

// The blank, "(" and ")" are never the second byte of a Shift-JIS double-byte character,
// so the byte-wise scans below cannot split one.

std::string cleanAddrName(std::string_view name) {
    std::string out;
    out.reserve(name.size());
    for (char c : name) {
        if (c == '(') {
            while (!out.empty() && out.back() == ' ')
                out.pop_back();
        }
        out += c;
    }
    return out;
}

std::string cleanAddrAddress(std::string_view address) {
    std::string out;
    out.reserve(address.size());
    for (char c : address)
        if (c != '(' && c != ')')
            out += c;
    return out;
}

namespace {

// Blanks and control characters, the bytes an address cannot consist of alone.
bool isBlankByte(char c) {
    return static_cast<unsigned char>(c) <= 0x20;
}

bool isBlankOnly(std::string_view s) {
    for (char c : s)
        if (!isBlankByte(c))
            return false;
    return true;
}

} // namespace

AddrInput cleanAddrInput(std::string_view name, std::string_view address) {
    const std::string cleanAddress = cleanAddrAddress(address);
    if (isBlankOnly(cleanAddress))
        return {AddrInputCheck::EmptyAddress, {}};
    std::string entry = formatAddrEntry(cleanAddrName(name), cleanAddress);
    if (entry.size() > kMaxAddrEntryBytes)
        return {AddrInputCheck::TooLong, {}};
    return {AddrInputCheck::Ok, std::move(entry)};
}

std::optional<DropSteps> dropSteps(int count, int source, int target) {
    if (source < 0 || source >= count || target < 0 || target >= count || source == target)
        return std::nullopt;
    if (target > source)
        return DropSteps{target + 1, source};
    return DropSteps{target, source + 1};
}

} // namespace zp
