#pragma once
// Turns a MailMessage into the text sent after the SMTP DATA command: RFC 822 header lines,
// an ISO-2022-JP body and, with an attachment, a multipart/mixed body with base64 parts.
#include "mail/message.h"

#include <atomic>
#include <ctime>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace zp {

// Writes the whole message as the lines sent after DATA: dot-stuffed, without the final ".",
// each line without its CR LF. Changes the message as the writer does (dot-stuffed body
// lines, defaults filled into the attachment parts, ContentType replaced), so a message is
// written once. Throws zp::MailError (mail/mailerror.h) when an attachment cannot be read, and
// AbortError when the cancel flag is set while an attachment is encoded or written.
void writeMessage(MailMessage& message, const std::function<void(std::string_view line)>& emitLine,
                  const std::atomic<bool>* cancel = nullptr);

// The fixed multipart boundary.
inline constexpr std::string_view kMimeBoundary = "=_NextPart_5qzv8nrmxt2kpw4ohbjdcl";

// Charset, header encoding letter ('B' or 'Q') and whether Shift-JIS text is converted.
struct MailCharset {
    std::string charset;
    char encoding;
    bool convertToJis;
};
// The row for a Windows primary language id and sub-language id (Chinese 0x04, Japanese
// 0x11, Korean 0x12, anything else).
MailCharset mailCharsetForLanguage(int primaryLanguage, int subLanguage);
// The program is made for Japanese systems: always the ISO-2022-JP row.
MailCharset mailCharsetForSystem();
// The charset of a message whose texts (Subject, From.Name, Body, attachment names) are UTF-8:
// "=?UTF-8?B?" words and a base64 body.
MailCharset utf8MailCharset();
// The row a message is written with: UTF-8 when its CharSet says so, else the system's.
MailCharset mailCharsetOf(const MailMessage& message);

// RFC 2047 encoded words for the parts of text that need them; words needing encoding hold
// control bytes, bytes above 0x7E or one of specials. Encoded words are at most 75 columns
// and are joined by CR LF and a tab. ISO-2022-JP words are cut between characters, each
// ending in ASCII mode, and UTF-8 words between grapheme clusters, so every word decodes on
// its own and no character is parted from its marks.
// column: where the value starts on its line ("Subject: " takes 9); the first word keeps
// that line within the 76 characters of RFC 2047.
std::string encodeHeaderValue(std::string_view text, std::string_view specials,
                              const MailCharset& cs = mailCharsetForSystem(),
                              std::size_t column = 0);

// The whole text as one run of encoded words, white space included (for a parameter value).
std::string encodeWholeText(std::string_view text, const MailCharset& cs, std::size_t column);

// The RFC 822 specials used for display names.
inline constexpr std::string_view kRfc822Specials = "()<>[]:;@\\,.\"";

std::string formatAddress(const MailAddressItem& item, std::size_t column = 0,
                          const MailCharset& cs = mailCharsetForSystem());
std::string formatAddressList(const MailAddressList& list,
                              const MailCharset& cs = mailCharsetForSystem());

// The parameter lines of an attachment's file name, without the leading white space: for an
// ASCII name `name="…"` and `filename="…"` as they always were; for any other (a UTF-8 name)
// `name=` holds RFC 2047 encoded words in the message's charset (UTF-8 where ISO-2022-JP
// cannot carry the name) for older readers, and the file name is given as RFC 2231
// `filename*0*=UTF-8''…` continuations of whole characters.
struct FileNameParameters {
    std::vector<std::string> name;     // lines of the Content-Type parameter
    std::vector<std::string> filename; // lines of the Content-Disposition parameter
};
FileNameParameters fileNameParameters(std::string_view name, const MailCharset& cs);

// "Sun, 6 Dec 2026 17:59:00 +0900" for the local time t, daylight saving included.
// Throws TimeZoneInfoError when the local time zone cannot be read.
std::string internetDate(std::time_t t);
// The same from broken-down local time and its offset east of UTC in seconds.
std::string internetDate(const std::tm& local, long utcOffsetSeconds);

// The right-hand side of the Message-ID taken from the sender's address: the part after the
// last "@" when it is a dot-atom or a domain literal (RFC 5322 3.6.4), else empty.
std::string senderDomain(std::string_view address);
// "<" UTC time "." 64 random bits in hexadecimal "@" domain ">", unique per call.
std::string makeMessageId(std::string_view domain);

// The header lines that GenerateHeader makes (before folding into physical lines), for
// a message whose ContentType has already been completed.
HeaderList GenerateHeader(const MailMessage& message);

} // namespace zp
