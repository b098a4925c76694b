#pragma once
// The text form of an address-book entry, shared by the recipient list, the send operation,
// the send log and the log sorting tool: "name (address)", or the address alone.
// Texts are Shift-JIS byte strings.
#include <string>
#include <string_view>

namespace zp {

struct AddrEntry {
    std::string name; // empty for an entry without a name
    std::string address;
    bool operator==(const AddrEntry&) const = default;
};

// The address alone when the name is empty, otherwise name + " (" + address + ")".
// Nothing is trimmed.
std::string formatAddrEntry(std::string_view name, std::string_view address);

// Splits an entry at its first blank followed by "(": the name is what comes before it, the
// address what follows, less one final ")". Without such a blank the name is empty and the
// address is the whole text. Nothing is trimmed.
AddrEntry parseAddrEntry(std::string_view entry);

} // namespace zp
