#!/usr/bin/python3
"""Reads one mail message with Python's email package under its modern policy
(email.policy.default), the strict reading a new provider's filters give it, and prints
one "key<TAB>value" line each; in values a backslash, CR, LF and TAB are written as
\\\\, \\r, \\n and \\t.

    strict_read.py MESSAGE_FILE

Keys: message_id, message_id_count, mime_version, mime_version_count, subject, from_name,
from_addr, charset, body (the text part's content, CR LF as LF), attachment_hex,
attachment_filename (get_filename: RFC 2231 filename* first), defects (of the
message, its parts and every header, "Name:DefectClass" for a header's).
"""
import email
import email.policy
import sys


def escape(value):
    return (str(value).replace("\\", "\\\\").replace("\r", "\\r").replace("\n", "\\n")
            .replace("\t", "\\t"))


def show(key, value):
    sys.stdout.write(f"{key}\t{escape(value)}\n")


def main():
    with open(sys.argv[1], "rb") as f:
        msg = email.message_from_binary_file(f, policy=email.policy.default)
    defects = [type(d).__name__ for d in msg.defects]
    for name, value in msg.items():
        defects += [f"{name}:{type(d).__name__}" for d in getattr(value, "defects", ())]
    ids = msg.get_all("Message-ID") or []
    show("message_id_count", len(ids))
    show("message_id", ids[0] if ids else "")
    versions = msg.get_all("MIME-Version") or []
    show("mime_version_count", len(versions))
    show("mime_version", versions[0] if versions else "")
    show("subject", msg["Subject"] or "")
    sender = msg["From"]
    if sender is not None and sender.addresses:
        show("from_name", sender.addresses[0].display_name)
        show("from_addr", sender.addresses[0].addr_spec)
    for part in msg.walk():
        if part is not msg:
            defects += [type(d).__name__ for d in part.defects]
        if part.is_multipart():
            continue
        if part.get_content_disposition() == "attachment":
            show("attachment_hex", part.get_content().hex())
            show("attachment_filename", part.get_filename() or "")
        elif part.get_content_maintype() == "text":
            show("charset", part.get_content_charset() or "")
            show("body", part.get_content().replace("\r\n", "\n"))
    show("defects", "; ".join(defects))


if __name__ == "__main__":
    main()
