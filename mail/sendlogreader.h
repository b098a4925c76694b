#pragma once
// Reads back what the log sorting tool needs of a send log: its recipient entries. Texts
// are Shift-JIS byte strings, as the log writer wrote them.
#include <cstddef>
#include <istream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zp {

enum class SendLogForm { Text, Html };

// The form of a log by its file name: ".txt" or ".html" (letters in either case, as the
// platform's "*.txt" pattern matches them); no value for any other file.
std::optional<SendLogForm> sendLogFormOf(std::string_view fileName);

enum class RecipientsStatus {
    Ok,         // the header line and at least one recipient line
    NoHeader,   // no recipients header line
    NoEntries,  // the header is followed directly by a line without "@" or by the end
    TooLarge,   // more recipient lines, or longer ones, than a log can hold
    ReadFailed, // the stream broke off
};

struct SendLogRecipients {
    RecipientsStatus status = RecipientsStatus::NoHeader;
    // The entry texts ("name (address)" or the address alone), in the order of the log;
    // in the HTML form without the blank the writer puts after each and with the character
    // references of "&", "<", ">", '"' and "'" decoded.
    std::vector<std::string> entries;
};

// Limits on what one log may make us hold: a recipient line no longer than this, and at
// most so many recipients.
inline constexpr std::size_t kMaxRecipientLine = 64 * 1024;
inline constexpr std::size_t kMaxRecipients = 20000;

// Finds the recipients header line (in the text form the line "【送信先】", in the HTML form
// its marked-up line, each matched whole, so that a subject holding the marker in the HTML
// title is not taken for it) and takes the lines after it while they hold an "@"
// character. Lines end at CR LF, LF or CR. Reads no further than the recipients.
SendLogRecipients readSendLogRecipients(std::istream& in, SendLogForm form);
SendLogRecipients readSendLogRecipients(std::string_view content, SendLogForm form);

// "&amp;", "&lt;", "&gt;", "&quot;", "&apos;" and numeric references below 0x80 turned
// back into their characters; anything else is kept as written.
std::string decodeHtmlEntities(std::string_view text);

} // namespace zp
