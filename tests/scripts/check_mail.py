"""Reads a saved mail with Python's email package and prints what a mail reader
would show, one "field=value" line each (UTF-8; in values "\\" is written "\\\\"
and a line break "\\n"), for the tests to compare with what was sent.

    check_mail.py MESSAGE.eml [ATTACHMENT_OUT]

The payload of the first attachment, decoded, is written to ATTACHMENT_OUT.
"""
import email
import email.header
import email.policy
import email.utils
import sys


def decoded(value):
    if value is None:
        return ""
    return str(email.header.make_header(email.header.decode_header(value)))


def emit(name, value):
    text = value.replace("\\", "\\\\").replace("\r\n", "\n").replace("\n", "\\n")
    print(name + "=" + text)


def body_text(part):
    # Every text part names its charset; a missing one would read as US-ASCII and fail here.
    raw = part.get_payload(decode=True) or b""
    return raw.decode(part.get_content_charset() or "us-ascii")


def main():
    with open(sys.argv[1], "rb") as f:
        message = email.message_from_bytes(f.read(), policy=email.policy.compat32)
    name, address = email.utils.parseaddr(message.get("From", ""))
    emit("from_name", decoded(name))
    emit("from_address", address)
    emit("subject", decoded(message.get("Subject")))
    emit("to", ", ".join(a for _, a in email.utils.getaddresses(message.get_all("To", []))))
    emit("reply_to", ", ".join(a for _, a in email.utils.getaddresses(message.get_all("Reply-To", []))))
    emit("x_mailer", message.get("X-Mailer", ""))
    emit("mime_version", message.get("MIME-Version", ""))
    emit("content_type", message.get_content_type())
    emit("charset", message.get_param("charset") or "")
    emit("has_date", "yes" if email.utils.parsedate_tz(message.get("Date", "")) else "no")
    if not message.is_multipart():
        emit("body", body_text(message))
        emit("attachments", "0")
        return
    parts = message.get_payload()
    emit("body", body_text(parts[0]))
    attachments = parts[1:]
    emit("attachments", str(len(attachments)))
    if attachments:
        first = attachments[0]
        emit("attachment_type", first.get_content_type())
        emit("attachment_filename", first.get_filename() or "")
        emit("attachment_disposition", first.get_content_disposition() or "")
        payload = first.get_payload(decode=True) or b""
        emit("attachment_size", str(len(payload)))
        if len(sys.argv) > 2:
            with open(sys.argv[2], "wb") as f:
                f.write(payload)


if __name__ == "__main__":
    main()
