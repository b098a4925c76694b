#pragma once
// What the address dialog does with the name and the address the user typed, and where a
// dragged entry of the recipient list goes. Texts are Shift-JIS byte strings.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace zp {

// The settings file reads a value up to this many bytes; a longer entry would come back
// cut after the next start.
inline constexpr std::size_t kMaxAddrEntryBytes = 2047;

// Every blank directly before a "(" is removed, however many there are, so that the first
// " (" of an entry is always the one between the name and the address.
std::string cleanAddrName(std::string_view name);
// Every "(" and ")" is removed; everything else, blanks included, stays.
std::string cleanAddrAddress(std::string_view address);

enum class AddrInputCheck {
    Ok,
    EmptyAddress, // nothing but blanks once the parentheses are gone
    TooLong,      // the entry would not fit in the settings file
};

struct AddrInput {
    AddrInputCheck check = AddrInputCheck::Ok;
    std::string entry; // the cleaned entry text; empty unless check is Ok
};

// Cleans the name and the address as typed (not trimmed) and builds the entry. The address
// is judged after cleaning: "()" is as empty as "".
AddrInput cleanAddrInput(std::string_view name, std::string_view address);

// Dragging entry `source` onto entry `target` of a list of `count` entries: a copy of the
// source (text and check mark) is inserted at `insertAt`, then the entry at `removeAt` is
// deleted. The dragged entry ends at `target`; the entries between shift by one toward
// its old place.
struct DropSteps {
    int insertAt;
    int removeAt;
};
// Nothing to do (nullopt) when either index is not an entry (a drop below the last entry
// has target -1) or when the entry is dropped on itself.
std::optional<DropSteps> dropSteps(int count, int source, int target);

} // namespace zp
