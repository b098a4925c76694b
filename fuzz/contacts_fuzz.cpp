// The address-book file readers (vCard and CSV) on arbitrary file contents, and the entries
// planned from what they read: a refused file gives no contact, every entry fits the
// settings file, and the entries written out as vCard read back whole.
//   build-fuzz/fuzz/fuzz_contacts -max_total_time=300 -rss_limit_mb=512 -timeout=5 corpus/
#include "addressbook/addrbook.h"
#include "addressbook/addredit.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const zp::ContactFile file = zp::readContacts(bytes);
    if (!file.ok() && !file.contacts.empty())
        std::abort();
    const zp::AddrImport plan = zp::planAddrImport({}, file.contacts);
    if (plan.entries.size() > zp::kMaxAddrEntries)
        std::abort();
    for (const std::string& entry : plan.entries)
        if (entry.size() > zp::kMaxAddrEntryBytes)
            std::abort();
    if (plan.entries.empty())
        return 0;
    const zp::ContactFile back = zp::readContacts(zp::writeVCards(plan.entries));
    if (!back.ok() || back.contacts.size() != plan.entries.size())
        std::abort();
    return 0;
}
