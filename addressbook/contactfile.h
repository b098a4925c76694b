#pragma once
// Address-book files that phones and mail programs write: vCard 2.1, 3.0 and 4.0, and the
// CSV of web and desktop address books. They are read from bytes into contacts with their
// names and addresses in UTF-8; nothing here knows the recipient list.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace zp {

// A file larger than this is refused before it is read whole: a phone's backup of a few
// thousand contacts with photos stays well under it.
inline constexpr std::size_t kMaxContactFileBytes = 16 * 1024 * 1024;
// One line of the file (before folded lines are joined). Folded photos have lines of 75
// bytes; a megabyte is far beyond any line a writer of these formats makes.
inline constexpr std::size_t kMaxContactLineBytes = 1024 * 1024;
// Addresses of one file: ten times what the recipient list can hold, far beyond any
// person's address book.
inline constexpr std::size_t kMaxContactAddresses = 100000;
// Fields of one CSV record; exports have about a hundred columns. Quoted line breaks can
// join lines, so the line bound alone would not bound a record.
inline constexpr std::size_t kMaxCsvFields = 4096;

enum class ContactFileFault {
    None,
    TooLarge,           // more than kMaxContactFileBytes
    Binary,             // a NUL byte: no text file
    UnknownFormat,      // neither a vCard nor a CSV with a known header
    LineTooLong,        // a line over kMaxContactLineBytes
    BadQuotedPrintable, // "=" not followed by two hex digits in a value
    UnknownCharset,     // a CHARSET parameter this reader does not convert; detail names it
    UnclosedQuote,      // a CSV field whose quotes never close
    TooManyFields,      // a CSV record of more than kMaxCsvFields fields
    TooManyAddresses,   // more than kMaxContactAddresses in the file
};

struct ContactFileError {
    ContactFileFault fault = ContactFileFault::None;
    std::size_t line = 0; // 1-based line of the file where the fault is, 0 for the whole file
    std::string detail;
};

struct Contact {
    std::string name; // UTF-8; empty when the card has none
    std::vector<std::string> addresses;
};

struct ContactFile {
    ContactFileError error;
    std::vector<Contact> contacts; // empty whenever there is an error
    bool ok() const { return error.fault == ContactFileFault::None; }
};

// Reads a vCard file (one or many cards) or a CSV file; which one is told by the content.
ContactFile readContacts(std::string_view bytes);

ContactFile readVCards(std::string_view bytes);
ContactFile readContactCsv(std::string_view bytes);

// Shared by both readers.
namespace contactfile {

// The text as UTF-8: kept when it is well-formed UTF-8, else read as Shift-JIS (a byte
// without a character there becomes U+FFFD).
std::string guessToUtf8(std::string_view bytes);
bool isUtf8(std::string_view bytes);
// Control characters become blanks and blanks at both ends go, so that a name from a
// multi-line field stays one line of the settings file.
std::string cleanName(std::string_view utf8);
// A name from its parts: family name first when either part is not ASCII (as Japanese
// names are written), else given name first.
std::string joinName(std::string_view family, std::string_view given);
// ASCII-only lower case, for comparing header and property names.
std::string lowerAscii(std::string_view text);
std::string_view trim(std::string_view text);

} // namespace contactfile

} // namespace zp
