#!/usr/bin/env python3
"""Sample mail for the demo and the benchmarks, written straight into a Maildir.

  sample_mail.py --maildir DIR [--count N] [--days D] [--seed S] [--attach-every K]
                 [--prefix TEXT] [--owner UID:GID] [--text-kb MIN:MAX] [--attach-kb N]

Each message is dated within the last D days (so that it falls inside the
synchronisation window), comes from one of a few senders, and every K-th one carries
an attachment (a small text file, a CSV table or a few binary bytes). The same seed
gives the same mail. --text-kb makes each body text MIN to MAX KB long, and --attach-kb
makes each attachment N KB of binary data instead. Files go to DIR/new, as a delivery agent would leave them.
"""
import argparse
import email.policy
import email.utils
import os
import random
import socket
import sys
import time
from email.message import EmailMessage

SENDERS = [
    ("Ada Lovelace", "ada@example.org"),
    ("Brook Tallis", "brook@tess.test"),
    ("Carmen Ortiz", "carmen@example.net"),
    ("Dev Patel", "dev@example.com"),
    ("Elin Sund", "elin@tess.test"),
]
TOPICS = ["budget", "release", "meeting", "travel", "invoice", "roadmap", "lunch",
          "review", "contract", "survey", "backup", "offsite"]
VERBS = ["Notes on", "Question about", "Update:", "Re:", "Draft", "Plan for",
         "Reminder:", "Thoughts on"]
WORDS = ("the team agreed that we should move the date and keep the scope small "
         "while the numbers are checked again before the next call with everyone").split()


def body_text(rng, paragraphs):
    out = []
    for _ in range(paragraphs):
        n = rng.randint(12, 40)
        out.append(" ".join(rng.choice(WORDS) for _ in range(n)).capitalize() + ".")
    return "\n\n".join(out) + "\n"


def text_of_size(rng, size):
    out = []
    while sum(len(p) + 2 for p in out) < size:
        out.append(body_text(rng, 1).strip())
    return "\n\n".join(out)[:size] + "\n"


def make_message(rng, index, when, prefix, with_attachment, to_addr, text_kb=None, attach_kb=0):
    name, addr = SENDERS[index % len(SENDERS)]
    msg = EmailMessage(policy=email.policy.SMTP)
    msg["From"] = email.utils.formataddr((name, addr))
    msg["To"] = to_addr
    msg["Subject"] = "%s%s %s #%d" % (prefix, rng.choice(VERBS), rng.choice(TOPICS), index + 1)
    msg["Date"] = email.utils.formatdate(when, localtime=False)
    msg["Message-ID"] = email.utils.make_msgid(domain="sample.tess.test")
    if text_kb:
        msg.set_content(text_of_size(rng, rng.randint(text_kb[0] * 1024, text_kb[1] * 1024)))
    else:
        msg.set_content(body_text(rng, rng.randint(1, 4)))
    if with_attachment and attach_kb > 0:
        msg.add_attachment(rng.randbytes(attach_kb * 1024), maintype="application",
                           subtype="octet-stream", filename="data-%d.bin" % (index + 1))
    elif with_attachment:
        kind = index % 3
        if kind == 0:
            msg.add_attachment(body_text(rng, 3).encode(), maintype="text", subtype="plain",
                               filename="notes-%d.txt" % (index + 1))
        elif kind == 1:
            rows = "\n".join("%d,%s,%d" % (r, rng.choice(TOPICS), rng.randint(1, 999))
                             for r in range(1, 40))
            msg.add_attachment(("row,topic,amount\n" + rows + "\n").encode(), maintype="text",
                               subtype="csv", filename="table-%d.csv" % (index + 1))
        else:
            blob = bytes(rng.randrange(256) for _ in range(rng.randint(2000, 12000)))
            msg.add_attachment(blob, maintype="application", subtype="octet-stream",
                               filename="data-%d.bin" % (index + 1))
    return msg.as_bytes()


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--maildir", required=True)
    ap.add_argument("--count", type=int, default=300)
    ap.add_argument("--days", type=int, default=20)
    ap.add_argument("--seed", type=int, default=7)
    ap.add_argument("--attach-every", type=int, default=7)
    ap.add_argument("--prefix", default="")
    ap.add_argument("--to", default="tess@tess.test")
    ap.add_argument("--owner", default="")
    ap.add_argument("--text-kb", default="")
    ap.add_argument("--attach-kb", type=int, default=0)
    args = ap.parse_args()
    text_kb = tuple(int(x) for x in args.text_kb.split(":")) if args.text_kb else None

    rng = random.Random(args.seed)
    new_dir = os.path.join(args.maildir, "new")
    tmp_dir = os.path.join(args.maildir, "tmp")
    for d in (new_dir, tmp_dir, os.path.join(args.maildir, "cur")):
        os.makedirs(d, exist_ok=True)
    owner = tuple(int(x) for x in args.owner.split(":")) if args.owner else None
    now = time.time()
    host = socket.gethostname().replace("/", "_").replace(":", "_")
    for i in range(args.count):
        # Oldest first, spread over the window, none in the future.
        when = now - args.days * 86400 * (args.count - i) / (args.count + 1)
        data = make_message(rng, i, when, args.prefix,
                            args.attach_every > 0 and i % args.attach_every == 0, args.to,
                            text_kb, args.attach_kb)
        name = "%d.M%dP%d_%d.%s" % (int(when), i, os.getpid(), args.seed, host)
        tmp = os.path.join(tmp_dir, name)
        with open(tmp, "wb") as f:
            f.write(data)
        if owner:
            os.chown(tmp, *owner)
        os.utime(tmp, (when, when))
        os.rename(tmp, os.path.join(new_dir, name))
    print("%d messages in %s" % (args.count, args.maildir))
    return 0


if __name__ == "__main__":
    sys.exit(main())
