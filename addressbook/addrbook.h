#pragma once
// Contacts read from an address-book file turned into entries of the recipient list, and
// the list written out as vCard 3.0 for other address books. Entries are Shift-JIS byte
// strings; contacts are UTF-8.
#include "contactfile.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace zp {

// The settings file keeps at most this many entries.
inline constexpr std::size_t kMaxAddrEntries = 10000;

enum class ImportRefusal {
    None,
    BadAddress,  // not one "local@domain" of printable ASCII without blanks or brackets
    NameNotHeld, // the name has a character Shift-JIS cannot hold; in `character`
    TooLong,     // the entry would not fit in the settings file
    ListFull,    // the list already holds kMaxAddrEntries
};

struct ImportRefused {
    ImportRefusal why = ImportRefusal::None;
    std::string name;      // UTF-8, as read
    std::string address;   // as read
    std::string character; // UTF-8, for NameNotHeld
};

struct AddrImport {
    std::vector<std::string> entries; // to add after the existing ones, in file order
    std::size_t duplicates = 0;
    std::size_t refused = 0;
    ImportRefused firstRefused; // why is None when nothing was refused
};

// One entry per address of each contact, the contact's name kept. An address already in
// `existing` (or earlier in the file) counts as a duplicate; addresses compare without
// regard to ASCII case. A name character that Shift-JIS holds only in another form (the
// wave dash) takes that form, as the address dialog does.
AddrImport planAddrImport(const std::vector<std::string>& existing,
                          const std::vector<Contact>& contacts);

// Whether the address can be an entry's address: "local@domain", printable ASCII with no
// blank, no parenthesis (the entry's own brackets) and no "<", ">" or ",".
bool isImportableAddress(std::string_view address);

// The entries as vCard 3.0 (RFC 2426) in UTF-8: one card per entry with FN, N and EMAIL,
// lines ended by CR LF and folded at 75 bytes. An entry without a name is named by its
// address, since FN cannot be empty.
std::string writeVCards(const std::vector<std::string>& entries);

} // namespace zp
