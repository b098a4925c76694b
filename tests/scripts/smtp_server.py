"""A real SMTP server on 127.0.0.1 for the tests: aiosmtpd, optionally offering
AUTH LOGIN for one user, saving every message it receives into a folder.

    smtp_server.py OUTDIR [--auth USER:PASSWORD]

Prints "PORT <n>" once it listens on a free port, then serves until killed. Each
message is saved as OUTDIR/<n>.eml (the bytes as received after DATA, the
dot-stuffing undone) with OUTDIR/<n>.env holding "MAIL FROM" and "RCPT TO" lines.
"""
import argparse
import asyncio
import os
import sys

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword


class Saver:
    def __init__(self, outdir):
        self.outdir = outdir
        self.count = 0

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        base = os.path.join(self.outdir, str(self.count))
        with open(base + ".eml.part", "wb") as f:
            f.write(envelope.original_content)
        with open(base + ".env", "w", encoding="utf-8") as f:
            f.write("MAIL FROM " + envelope.mail_from + "\n")
            for rcpt in envelope.rcpt_tos:
                f.write("RCPT TO " + rcpt + "\n")
        # The .eml appears whole or not at all.
        os.replace(base + ".eml.part", base + ".eml")
        return "250 Message accepted for delivery"


def make_authenticator(user, password):
    def authenticate(server, session, envelope, mechanism, auth_data):
        ok = (
            isinstance(auth_data, LoginPassword)
            and auth_data.login == user.encode()
            and auth_data.password == password.encode()
        )
        return AuthResult(success=ok, handled=False)

    return authenticate


async def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("outdir")
    parser.add_argument("--auth", help="USER:PASSWORD accepted by AUTH LOGIN")
    args = parser.parse_args()
    handler = Saver(args.outdir)

    def factory():
        kwargs = dict(decode_data=False, hostname="fake-smtp.test")
        if args.auth:
            user, _, password = args.auth.partition(":")
            kwargs.update(
                authenticator=make_authenticator(user, password),
                auth_require_tls=False,
                auth_required=False,
                auth_exclude_mechanism=["PLAIN"],
            )
        return SMTP(handler, **kwargs)

    loop = asyncio.get_running_loop()
    server = await loop.create_server(factory, "127.0.0.1", 0)
    port = server.sockets[0].getsockname()[1]
    print("PORT", port, flush=True)
    # Nobody reads the pipe after the port line: warnings go to a file instead.
    sys.stderr = open(os.path.join(args.outdir, "server.log"), "w", buffering=1)
    async with server:
        await server.serve_forever()


if __name__ == "__main__":
    try:
        asyncio.run(main())
    except KeyboardInterrupt:
        sys.exit(0)
