#!/usr/bin/python3
"""SMTP server for tests: AUTH LOGIN/PLAIN without TLS, delivery through Dovecot LMTP.

Every message accepted is also kept byte for byte in the capture directory
(NNNN.eml plus NNNN.json with the envelope), so tests can check exactly what a
client sent. Recipients listed in the refuse file are turned away at RCPT; the
file is read on every RCPT, so a test can change it while the server runs.
Each refuse line is an address, optionally followed by the reply to give, e.g.
    bounce@tess.test
    full@tess.test 452 4.2.2 Mailbox full
Recipients in a local domain that are not users get 550; other domains are
accepted and only captured (nothing leaves the machine).
"""
import argparse
import asyncio
import json
import os
import signal
import smtplib
import warnings

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword

LOCAL_DOMAINS = {"tess.test", "localhost"}


def read_users(path):
    users = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            fields = line.rstrip("\n").split(":")
            if len(fields) < 2 or not fields[0]:
                continue
            password = fields[1]
            if password.startswith("{PLAIN}"):
                password = password[len("{PLAIN}"):]
            users[fields[0]] = password
    return users


def split_address(address):
    local, _, domain = address.rpartition("@")
    if not local:
        return address, ""
    return local, domain.lower()


class Handler:
    def __init__(self, args):
        self.args = args
        self.users = read_users(args.passwd)
        self.counter = 0

    def refusal(self, address):
        try:
            with open(self.args.refuse_file, encoding="utf-8") as f:
                lines = f.read().splitlines()
        except FileNotFoundError:
            return None
        for line in lines:
            parts = line.strip().split(None, 1)
            if parts and parts[0].lower() == address.lower():
                if len(parts) > 1:
                    return parts[1]
                return "550 5.1.1 <%s>: Recipient address rejected" % address
        return None

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        refused = self.refusal(address)
        if refused:
            return refused
        local, domain = split_address(address)
        if domain in LOCAL_DOMAINS and local not in self.users:
            return "550 5.1.1 <%s>: User unknown" % address
        envelope.rcpt_tos.append(address)
        return "250 2.1.5 Ok"

    def capture(self, session, envelope):
        self.counter += 1
        base = os.path.join(self.args.capture_dir, "%04d" % self.counter)
        with open(base + ".tmp", "wb") as f:
            f.write(envelope.original_content)
        meta = {
            "mail_from": envelope.mail_from,
            "rcpt_tos": envelope.rcpt_tos,
            "login": session.auth_data.login.decode("utf-8", "replace")
            if isinstance(session.auth_data, LoginPassword) else None,
        }
        with open(base + ".json", "w", encoding="utf-8") as f:
            json.dump(meta, f)
        os.rename(base + ".tmp", base + ".eml")

    def deliver(self, envelope):
        for rcpt in envelope.rcpt_tos:
            _, domain = split_address(rcpt)
            if domain not in LOCAL_DOMAINS:
                continue
            # One LMTP transaction per recipient: smtplib reads only one DATA reply.
            with smtplib.LMTP(self.args.lmtp) as lmtp:
                lmtp.sendmail(envelope.mail_from or "", [rcpt], envelope.original_content)

    async def handle_DATA(self, server, session, envelope):
        self.capture(session, envelope)
        try:
            await asyncio.get_running_loop().run_in_executor(None, self.deliver, envelope)
        except (smtplib.SMTPException, OSError) as e:
            return "451 4.3.0 Local delivery failed: %s" % e
        return "250 2.0.0 Ok: queued as %04d" % self.counter


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--port", type=int, required=True)
    p.add_argument("--passwd", required=True)
    p.add_argument("--lmtp", required=True, help="Dovecot LMTP unix socket")
    p.add_argument("--capture-dir", required=True)
    p.add_argument("--refuse-file", required=True)
    p.add_argument("--ready-file", required=True)
    p.add_argument("--auth-optional", action="store_true",
                   help="accept MAIL without AUTH (default: AUTH required)")
    args = p.parse_args()
    # AUTH without TLS is the point of this server; its warnings only clutter the log.
    warnings.simplefilter("ignore")
    os.makedirs(args.capture_dir, exist_ok=True)
    handler = Handler(args)

    def authenticate(server, session, envelope, mechanism, auth_data):
        ok = (isinstance(auth_data, LoginPassword)
              and handler.users.get(auth_data.login.decode("utf-8", "replace"))
              == auth_data.password.decode("utf-8", "replace"))
        return AuthResult(success=ok, handled=False, auth_data=auth_data if ok else None)

    def factory():
        return SMTP(handler, hostname="tess.test", ident="tess test SMTP",
                    auth_require_tls=False, auth_required=not args.auth_optional,
                    authenticator=authenticate)

    loop = asyncio.new_event_loop()
    asyncio.set_event_loop(loop)
    server = loop.run_until_complete(loop.create_server(factory, "127.0.0.1", args.port))
    loop.add_signal_handler(signal.SIGTERM, loop.stop)
    loop.add_signal_handler(signal.SIGINT, loop.stop)
    with open(args.ready_file, "w") as f:
        f.write("%d\n" % os.getpid())
    try:
        loop.run_forever()
    finally:
        server.close()


if __name__ == "__main__":
    main()
