#!/usr/bin/python3
"""Debian's Postfix as a real SMTP server for the tests, with the restrictions submission
servers commonly apply, run from a configuration and queue of its own in WORKDIR (an
empty folder the test made); the system's own mail setup is neither read nor changed.

    postfix_server.py WORKDIR

Listens on a free port of 127.0.0.1 and prints "PORT <n>". Every message for the domain
example.jp goes into the Maildir WORKDIR/mail/inbox; the path of each delivered file is
printed as "DELIVERED <path>". Runs as root (Postfix's master drops its rights to the
postfix user). SIGTERM stops Postfix and then the script; so does the end of the process
that started the script.
"""
import ctypes
import os
import pwd
import signal
import socket
import subprocess
import sys
import time

MAIN_CF = """\
compatibility_level = 3.6
queue_directory = {d}/queue
data_directory = {d}/data
command_directory = /usr/sbin
daemon_directory = /usr/lib/postfix/sbin
meta_directory = /etc/postfix
shlib_directory = /usr/lib/postfix
mail_owner = postfix
setgid_group = postdrop
maillog_file_prefixes = {d}
maillog_file = {d}/maillog
myhostname = mx.example.test
mydomain = example.test
myorigin = $myhostname
mydestination =
inet_interfaces = 127.0.0.1
inet_protocols = ipv4
mynetworks = 127.0.0.0/8
# No headers added for the test's own messages: a missing Message-ID or Date shows.
local_header_rewrite_clients =
always_add_missing_headers = no
smtpd_helo_required = yes
smtpd_helo_restrictions = reject_non_fqdn_helo_hostname, reject_invalid_helo_hostname
smtpd_sender_restrictions = reject_non_fqdn_sender
smtpd_recipient_restrictions = reject_non_fqdn_recipient, permit_mynetworks,
    reject_unauth_destination
smtpd_forbid_bare_newline = reject
smtpd_forbid_bare_newline_exclusions =
virtual_mailbox_domains = example.jp
virtual_mailbox_base = {d}/mail
virtual_mailbox_maps = static:inbox/
virtual_uid_maps = static:{uid}
virtual_gid_maps = static:{gid}
alias_maps =
alias_database =
local_recipient_maps =
smtputf8_enable = no
biff = no
"""

SERVICES = [
    ("cleanup", "unix", "n", "0", "cleanup"), ("qmgr", "unix", "n", "1", "qmgr"),
    ("rewrite", "unix", "-", "-", "trivial-rewrite"), ("bounce", "unix", "-", "0", "bounce"),
    ("defer", "unix", "-", "0", "bounce"), ("trace", "unix", "-", "0", "bounce"),
    ("verify", "unix", "-", "1", "verify"), ("proxymap", "unix", "-", "-", "proxymap"),
    ("smtp", "unix", "-", "-", "smtp"), ("error", "unix", "-", "-", "error"),
    ("retry", "unix", "-", "-", "error"), ("discard", "unix", "-", "-", "discard"),
    ("virtual", "unix", "-", "-", "virtual"), ("anvil", "unix", "-", "1", "anvil"),
    ("scache", "unix", "-", "1", "scache"), ("postlog", "unix-dgram", "n", "1", "postlogd"),
]


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def configure(workdir, port):
    owner = pwd.getpwnam("postfix")
    for sub in ("etc", "queue", "data", "mail"):
        os.makedirs(os.path.join(workdir, sub), exist_ok=True)
    # The postfix user works in these; the folders above them must let it through.
    os.chmod(workdir, 0o755)
    for sub in ("data", "mail"):
        os.chown(os.path.join(workdir, sub), owner.pw_uid, owner.pw_gid)
    with open(os.path.join(workdir, "etc", "main.cf"), "w") as f:
        f.write(MAIN_CF.format(d=workdir, uid=owner.pw_uid, gid=owner.pw_gid))
    with open(os.path.join(workdir, "etc", "master.cf"), "w") as f:
        f.write(f"127.0.0.1:{port} inet n - n - - smtpd\n")
        for name, kind, private, limit, command in SERVICES:
            # The delivery agent keeps root rights to write as the mailbox owner.
            unprivileged = "n" if command == "virtual" else "-"
            f.write(f"{name} {kind} {private} {unprivileged} n - {limit} {command}\n")


def die_with_parent():
    # Where the system supports it, the master also ends when this script is killed.
    libc = ctypes.CDLL(None, use_errno=True)
    libc.prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG


def main():
    workdir = os.path.abspath(sys.argv[1])
    port = free_port()
    configure(workdir, port)
    config = os.path.join(workdir, "etc")
    # "check" creates the queue folders with their owners and modes.
    subprocess.run(["/usr/sbin/postfix", "-c", config, "check"], check=True)
    master = subprocess.Popen(["/usr/lib/postfix/sbin/master", "-c", config, "-d"],
                              preexec_fn=die_with_parent)
    parent = os.getppid()

    def stop(*_):
        # The master ends its own processes before it exits.
        master.terminate()
        try:
            master.wait(timeout=10)
        except subprocess.TimeoutExpired:
            master.kill()
        sys.exit(0)

    signal.signal(signal.SIGTERM, stop)
    # Ready once smtpd's port accepts a connection.
    deadline = time.monotonic() + 20
    while True:
        try:
            socket.create_connection(("127.0.0.1", port), timeout=1).close()
            break
        except OSError:
            if master.poll() is not None or time.monotonic() > deadline:
                log = os.path.join(workdir, "maillog")
                if os.path.exists(log):
                    sys.stderr.write(open(log, errors="replace").read())
                sys.exit("postfix did not start")
            time.sleep(0.05)
    print(f"PORT {port}", flush=True)
    inbox = os.path.join(workdir, "mail", "inbox", "new")
    seen = set()
    while master.poll() is None:
        if os.getppid() != parent:
            stop()  # the test has gone without stopping this server
        if os.path.isdir(inbox):
            for name in sorted(os.listdir(inbox)):
                if name not in seen:
                    seen.add(name)
                    print(f"DELIVERED {os.path.join(inbox, name)}", flush=True)
        time.sleep(0.02)


if __name__ == "__main__":
    main()
