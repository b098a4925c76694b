#pragma once
// The mail message that the SMTP client transmits: addresses, texts (Shift-JIS or
// ISO-2022-JP bytes as the caller prepared them) and at most a few file attachments.
#include "mail/headerlist.h"

#include <ctime>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zp {

struct MailAddressItem {
    std::string Address;
    std::string Name;

    // Address alone when Name is empty or equals the upper-cased Address, else
    // Name + " <" + Address + ">".
    std::string Text() const;
    // Parses "Name <addr>", "addr (Name)" or a bare address; quotes around the name go.
    void setText(std::string_view text);

    bool operator==(const MailAddressItem&) const = default;
};

class MailAddressList {
public:
    // Clears the list and reads a comma-separated text; a comma inside an opened quoted name
    // does not split; empty entries are skipped.
    void setText(std::string_view text);
    // The items' Text forms joined by ", ".
    std::string Text() const;

    MailAddressItem& add(MailAddressItem item);
    void clear() { m_items.clear(); }
    bool empty() const { return m_items.empty(); }
    std::size_t size() const { return m_items.size(); }
    const MailAddressItem& operator[](std::size_t i) const { return m_items[i]; }
    MailAddressItem& operator[](std::size_t i) { return m_items[i]; }
    auto begin() const { return m_items.begin(); }
    auto end() const { return m_items.end(); }

private:
    std::vector<MailAddressItem> m_items;
};

enum MessagePriority { mpHighest, mpHigh, mpNormal, mpLow, mpLowest };

// One MIME part. Its Content-Type and Content-Transfer-Encoding live in Headers, looked up
// without regard to letter case, so Headers.setValue("Content-Type", ...) is the same as
// setContentType(...).
class MessagePart {
public:
    std::string ContentType() const { return Headers.value("Content-Type"); }
    void setContentType(std::string_view v) { Headers.setValue("Content-Type", v); }
    std::string ContentTransfer() const { return Headers.value("Content-Transfer-Encoding"); }
    void setContentTransfer(std::string_view v) {
        Headers.setValue("Content-Transfer-Encoding", v);
    }

    HeaderList Headers;
    // Further header lines of the part, written one by one after the generated ones.
    HeaderList ExtraHeaders;
};

// A file attached by path; its last path component is the name the receiver sees.
class Attachment : public MessagePart {
public:
    explicit Attachment(std::string fileName = {}) : FileName(std::move(fileName)) {}

    std::string FileName;
    // The name the receiver sees, as UTF-8; empty means the last path component of FileName,
    // written as its bytes are.
    std::string Name;
    std::string ContentDisposition; // empty means "attachment"
};

class MailMessage {
public:
    MailAddressItem From;
    MailAddressList Recipients;
    MailAddressList CCList;
    MailAddressList BccList;
    MailAddressList ReplyTo;
    // With CharSet "UTF-8", Subject, From.Name, Body and the attachments' names are UTF-8 and
    // the body goes out in base64; otherwise they are ISO-2022-JP (or Shift-JIS) bytes.
    std::string Subject;
    std::vector<std::string> Body; // lines without CR LF
    std::string CharSet = "ISO-2022-JP";
    std::string ContentType = "text/plain";
    MessagePriority Priority = mpNormal;
    // On: the Date header is the time of writing; off: the time in Date.
    bool UseNowForDate = true;
    std::time_t Date = 0;
    HeaderList ExtraHeaders; // written after the generated header lines
    std::vector<Attachment> MessageParts;

    // Creates an attachment for the file at path in MessageParts and gives it.
    Attachment& addAttachment(std::string path);
};

} // namespace zp
