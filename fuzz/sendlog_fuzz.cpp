// The send-log reader on arbitrary file contents: byte 0 picks the form (bit 0: HTML), the
// rest is the file. Every entry it returns must come from a line holding an at sign and
// stay within the limits a log is read with.
//   build-fuzz/fuzz/fuzz_sendlog -max_total_time=300 -rss_limit_mb=512 -timeout=5 corpus/
#include "mail/sendlogreader.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const auto form = (data[0] & 1) ? zp::SendLogForm::Html : zp::SendLogForm::Text;
    const std::string_view content(reinterpret_cast<const char*>(data + 1), size - 1);
    const zp::SendLogRecipients r = zp::readSendLogRecipients(content, form);
    if (r.entries.size() > zp::kMaxRecipients)
        std::abort();
    if ((r.status == zp::RecipientsStatus::Ok) == r.entries.empty())
        std::abort();
    for (const auto& e : r.entries)
        if (e.size() > zp::kMaxRecipientLine)
            std::abort();
    return 0;
}
