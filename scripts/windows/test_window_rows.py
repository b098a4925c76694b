#!/usr/bin/python3
"""The texts of scripts/windows/test-window.sh's mail rows: writes the settings file a row
starts the window with, and reads the mail that arrived back with Python's email package.

    test_window_rows.py ini ROW FILE PORT [CAFILE]
        FILE: the settings file as the program reads it (Shift-JIS, CR LF), with the server
        127.0.0.1:PORT, the sender, one checked recipient, the row's subject and body, the
        row's charset choice and the picture size limit; with CAFILE (a Windows or POSIX
        path as the program sees it) the connection is STARTTLS and CAFILE is trusted.
    test_window_rows.py login
        prints USER:PASSWORD, the login the settings file gives (for smtp_server.py --auth)
    test_window_rows.py limit
        prints the size limit in bytes that the settings file sets for the working JPEG
    test_window_rows.py check ROW MESSAGE JPEG
        compares the mail (as tests/scripts/smtp_server.py saved it) with what the row
        typed: subject, body, charset, sender and recipient exactly, and the attachment's
        bytes with JPEG. Prints the differences and exits 1 when there are any.
    test_window_rows.py saved FILE PORT
        checks that the program wrote the settings file back when it closed: the window's
        place (which the row's file does not hold) is there and the server port is kept.

ROW is one of iso-2022-jp, utf-8, starttls.
"""
import email
import email.policy
import sys

SENDER = "me@example.jp"
SENDER_NAME = "山田 太郎"
RECIPIENT = "hanako@example.jp"
# Below the 19 KB that quality 90 gives the 240x320 test picture: the limit has to take effect.
LIMIT_KB = 15
# The login the test server takes (tests/scripts/smtp_server.py --auth).
USER = "alice"
PASSWORD = "s3cret"

# The charset box's rows: 0 automatic, 1 JIS (ISO-2022-JP always), 2 UTF-8 always.
ROWS = {
    "iso-2022-jp": dict(
        charset=1,
        subject="写真を送ります　東京駅にて",
        body=["こんにちは。", "今日の写真です。", "ABC-123 ですよ"],
    ),
    # Characters JIS X 0208 lacks: Windows' own extensions (held by code page 932) and one
    # that only the file's escapes can hold.
    "utf-8": dict(
        charset=2,
        subject="髙﨑さんへ ①㈱ \U0001F4F7",
        body=["ＵＴＦ－８の本文です ①②", "絵文字 \U0001F600 も", "最後の行"],
    ),
    "starttls": dict(
        charset=1,
        subject="暗号化して送ります",
        body=["STARTTLS で届きました。", "以上"],
    ),
}


def escape_unheld(text):
    """As the program keeps text the code page cannot hold: "&#x<HEX>;" per character, and
    an "&" that would read as such a form written "&#x26;" (text/charescape.h)."""
    out = []
    for i, ch in enumerate(text):
        if ch == "&" and text[i + 1:i + 3] == "#x":
            out.append("&#x26;")
            continue
        try:
            ch.encode("cp932")
            out.append(ch)
        except UnicodeEncodeError:
            out.append("&#x%X;" % ord(ch))
    return "".join(out)


def write_ini(row, path, port, cafile=None):
    r = ROWS[row]
    lines = [
        "; written by scripts/windows/test-window.sh",
        "[smtp]",
        "host=127.0.0.1",
        "port=%d" % port,
        # The window asks for the server settings first when the user is empty.
        "user=" + USER,
        "addr=" + SENDER,
        "name=" + escape_unheld(SENDER_NAME),
    ]
    if cafile:
        lines += ["security=1", "cafile=" + cafile]
    lines += [
        # The password box's key: the POP3 password, which AUTH LOGIN uses too.
        "[pop3]",
        "name=" + PASSWORD,
        "[general]",
        "userpbs=0",
        "autoSend=0",
        "[jpeg]",
        "limit=1",
        "maxsize=%d" % LIMIT_KB,
        "[size]",
        "width=240",
        "height=320",
        "[mail]",
        "title=" + escape_unheld(r["subject"]),
        "charset=%d" % r["charset"],
        "bodycount=%d" % len(r["body"]),
    ]
    lines += ["body%d=%s" % (i + 1, escape_unheld(t)) for i, t in enumerate(r["body"])]
    lines += ["addrcount=1", "addr1=山田 花子 (%s)" % RECIPIENT, "addrChecked1=1"]
    # Microsoft's code page 932 table, as Windows (and the program) writes it.
    with open(path, "wb") as f:
        f.write(("\r\n".join(lines) + "\r\n").encode("cp932"))


def check_mail(row, message, jpeg):
    r = ROWS[row]
    with open(message, "rb") as f:
        msg = email.message_from_binary_file(f, policy=email.policy.default)
    with open(jpeg, "rb") as f:
        picture = f.read()
    body, charset, attachments = None, None, []
    defects = list(msg.defects)
    for part in msg.walk():
        defects += part.defects
        if part.is_multipart():
            continue
        if part.get_content_disposition() == "attachment":
            attachments.append(part)
        elif part.get_content_maintype() == "text" and body is None:
            charset = part.get_content_charset()
            raw = part.get_payload(decode=True)
            body = raw.decode(charset or "us-ascii").replace("\r\n", "\n")
    sender = msg["From"].addresses[0] if msg["From"] and msg["From"].addresses else None
    got = {
        "subject": str(msg["Subject"] or ""),
        "from_name": sender.display_name if sender else "",
        "from_addr": sender.addr_spec if sender else "",
        "to": ", ".join(a.addr_spec for a in msg["To"].addresses) if msg["To"] else "",
        "body": body,
        "body_charset": charset,
        "attachments": len(attachments),
        "attachment_type": attachments[0].get_content_type() if attachments else "",
        "attachment_same": bool(attachments) and attachments[0].get_payload(decode=True) == picture,
        "defects": "; ".join(type(d).__name__ for d in defects),
    }
    want = {
        "subject": r["subject"],
        "from_name": SENDER_NAME,
        "from_addr": SENDER,
        "to": RECIPIENT,
        # A reader shows the lines with LF ends; the last line has one too.
        "body": "\n".join(r["body"]) + "\n",
        "body_charset": "iso-2022-jp" if r["charset"] == 1 else "utf-8",
        "attachments": 1,
        "attachment_type": "image/jpeg",
        "attachment_same": True,
        "defects": "",
    }
    wrong = [k for k in want if got[k] != want[k]]
    for k in wrong:
        print("  %s: got %r, expected %r" % (k, got[k], want[k]))
    return 1 if wrong else 0


def check_saved(path, port):
    with open(path, "rb") as f:
        text = f.read().decode("cp932", errors="replace")
    lines = [l.strip().lower() for l in text.split("\r\n")]
    problems = []
    if "[winposition]" not in lines:
        problems.append("no [WinPosition] section: the file was not written back")
    if "port=%d" % port not in lines:
        problems.append("port=%d is gone" % port)
    for p in problems:
        print("  " + p)
    return 1 if problems else 0


def main(argv):
    if len(argv) >= 4 and argv[0] == "ini":
        write_ini(argv[1], argv[2], int(argv[3]), argv[4] if len(argv) > 4 else None)
        return 0
    if argv == ["login"]:
        print(USER + ":" + PASSWORD)
        return 0
    if argv == ["limit"]:
        print(LIMIT_KB * 1024)
        return 0
    if len(argv) == 4 and argv[0] == "check":
        return check_mail(argv[1], argv[2], argv[3])
    if len(argv) == 3 and argv[0] == "saved":
        return check_saved(argv[1], int(argv[2]))
    sys.stderr.write(__doc__)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
