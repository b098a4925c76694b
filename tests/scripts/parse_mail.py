#!/usr/bin/python3
"""Reads one mail message (as the SMTP server stores it) with Python's email package and
prints what a mail reader would show, one "key<TAB>value" line each; in values a backslash,
CR, LF and TAB are written as \\\\, \\r, \\n and \\t.

    parse_mail.py MESSAGE_FILE

Keys: subject, from_name, from_addr, to, reply_to, x_mailer, date, content_type,
mime_version, defects, body (the text part decoded by its charset), body_charset, and for
every attachment: attachment_filename, attachment_type, attachment_hex.
"""
import email
import email.policy
import sys


def escape(value):
    return (str(value).replace("\\", "\\\\").replace("\r", "\\r").replace("\n", "\\n")
            .replace("\t", "\\t"))


def show(key, value):
    sys.stdout.write(f"{key}\t{escape(value)}\n")


def text_of(part):
    # Every text part names its charset; a missing one would read as US-ASCII and fail here.
    charset = part.get_content_charset() or "us-ascii"
    # A base64 body holds the text's CR LF line ends; a reader shows lines either way.
    return part.get_payload(decode=True).decode(charset).replace("\r\n", "\n")


def main():
    with open(sys.argv[1], "rb") as f:
        msg = email.message_from_binary_file(f, policy=email.policy.default)
    show("subject", msg["Subject"] or "")
    sender = msg["From"]
    if sender is not None and sender.addresses:
        show("from_name", sender.addresses[0].display_name)
        show("from_addr", sender.addresses[0].addr_spec)
    show("to", ", ".join(a.addr_spec for a in msg["To"].addresses) if msg["To"] else "")
    show("reply_to", ", ".join(a.addr_spec for a in msg["Reply-To"].addresses)
         if msg["Reply-To"] else "")
    show("x_mailer", msg["X-Mailer"] or "")
    show("date", msg["Date"].datetime.isoformat() if msg["Date"] else "")
    show("content_type", msg.get_content_type())
    show("mime_version", msg["MIME-Version"] or "")
    defects = list(msg.defects)
    for part in msg.walk():
        defects += part.defects
        if part.is_multipart():
            continue
        if part.get_content_disposition() == "attachment":
            show("attachment_filename", part.get_filename())
            show("attachment_type", part.get_content_type())
            show("attachment_hex", part.get_payload(decode=True).hex())
        elif part.get_content_maintype() == "text":
            show("body", text_of(part))
            show("body_charset", part.get_content_charset() or "")
    show("defects", "; ".join(type(d).__name__ for d in defects))


if __name__ == "__main__":
    main()
