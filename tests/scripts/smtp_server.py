"""A real SMTP server on 127.0.0.1 for the tests: aiosmtpd, optionally offering
AUTH LOGIN for one user, saving every message it receives into a folder.

    smtp_server.py OUTDIR [--auth USER:PASSWORD] [--plain-only]
                          [--tls CERT KEY --mode starttls|tls]

Prints "PORT <n>" once it listens on a free port, then serves until killed. Each
message is saved as OUTDIR/<n>.eml (the bytes as received after DATA, the
dot-stuffing undone) with OUTDIR/<n>.env holding "MAIL FROM" and "RCPT TO" lines.
"""
import argparse
import asyncio
import os
import ssl
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
    parser.add_argument("--plain-only", action="store_true", help="offer AUTH PLAIN, not LOGIN")
    parser.add_argument("--tls", nargs=2, metavar=("CERT", "KEY"))
    parser.add_argument("--mode", choices=["starttls", "tls"], default="starttls")
    args = parser.parse_args()
    handler = Saver(args.outdir)
    context = None
    if args.tls:
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(*args.tls)
    starttls = context is not None and args.mode == "starttls"

    def factory():
        kwargs = dict(decode_data=False, hostname="fake-smtp.test")
        if starttls:
            # The mail is taken only over the protected connection.
            kwargs.update(tls_context=context, require_starttls=True)
        if args.auth:
            user, _, password = args.auth.partition(":")
            kwargs.update(
                authenticator=make_authenticator(user, password),
                # With STARTTLS, AUTH is announced and taken only after the handshake.
                auth_require_tls=starttls,
                auth_required=False,
                auth_exclude_mechanism=["LOGIN"] if args.plain_only else ["PLAIN"],
            )
        return SMTP(handler, **kwargs)

    loop = asyncio.get_running_loop()
    implicit = context if context is not None and args.mode == "tls" else None
    server = await loop.create_server(factory, "127.0.0.1", 0, ssl=implicit)
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
