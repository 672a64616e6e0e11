#!/usr/bin/env python3
"""Measures what delay_proxy.py adds, against a line server of its own on loopback.

  check_delay_proxy.py [RTT_MS] [--lines N]

Starts the proxy in front of a server that answers each line at once, then measures:
the delay of each direction alone (both ends share one monotonic clock), one command's
round trip, N commands written back to back, and N commands written a few milliseconds
apart (each its own chunk). A proxy that keeps pipelining answers the N back-to-back
commands in about one round trip, and the spaced ones in one round trip plus the spacing;
one that serialises takes N round trips. Exits 1 when a figure is off.
"""
import argparse
import os
import socket
import subprocess
import sys
import threading
import time

SPACING = 0.005  # seconds between the spaced commands
TRIES = 5  # each figure is the best of this many: a busy machine only adds time


def serve(listener, arrivals):
    """Answers each line with the time it was answered; records when each line arrived."""
    while True:
        conn, _ = listener.accept()
        conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        with conn, conn.makefile("rb") as lines:
            for line in lines:
                arrivals.append((line.split()[0], time.monotonic()))
                conn.sendall(b"%.9f\n" % time.monotonic())


def exchange(sock, lines, count, spacing=0.0):
    """Writes COUNT lines, SPACING apart; returns (first write time, [(reply, read time)])."""
    replies = []

    def read():
        for _ in range(count):
            replies.append((float(lines.readline()), time.monotonic()))

    reader = threading.Thread(target=read)
    reader.start()
    start = time.monotonic()
    for i in range(count):
        if spacing and i:
            time.sleep(max(0.0, start + i * spacing - time.monotonic()))
        sock.sendall(b"%.9f\n" % time.monotonic())
    reader.join()
    return start, replies


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("rtt_ms", type=float, nargs="?", default=50.0)
    ap.add_argument("--lines", type=int, default=20)
    args = ap.parse_args()
    rtt = args.rtt_ms / 1000.0

    listener = socket.create_server(("127.0.0.1", 0))
    arrivals = []
    threading.Thread(target=serve, args=(listener, arrivals), daemon=True).start()
    probe = socket.create_server(("127.0.0.1", 0))
    proxy_port = probe.getsockname()[1]
    probe.close()
    proxy = subprocess.Popen([sys.executable, os.path.join(os.path.dirname(os.path.abspath(__file__)), "delay_proxy.py"),
                              str(proxy_port), "127.0.0.1", str(listener.getsockname()[1]), str(args.rtt_ms)],
                             stdout=subprocess.PIPE, text=True)
    try:
        if proxy.stdout.readline().strip() != "ready":
            sys.exit("check: the proxy did not start")
        sock = socket.create_connection(("127.0.0.1", proxy_port))
        sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        lines = sock.makefile("rb")
        exchange(sock, lines, 1)  # connection set up and warm

        arrivals.clear()
        _, replies = exchange(sock, lines, 5, spacing=SPACING * 4)
        there = min(at - float(sent) for sent, at in arrivals)
        back = min(got - answered for answered, got in replies)
        timings = [("client to server (min of 5)", there, rtt / 2),
                   ("server to client (min of 5)", back, rtt / 2)]
        for name, count, spacing in (("1 command", 1, 0.0),
                                     ("%d commands back to back" % args.lines, args.lines, 0.0),
                                     ("%d commands %g ms apart" % (args.lines, SPACING * 1000), args.lines, SPACING)):
            took = []
            for _ in range(TRIES):
                start, replies = exchange(sock, lines, count, spacing)
                took.append(replies[-1][1] - start)
            timings.append((name + " (min of %d)" % TRIES, min(took), rtt + (count - 1) * spacing))
        sock.close()
    finally:
        proxy.terminate()
        proxy.wait()

    print("round trip %g ms: figure, then what a pipelining proxy should give" % args.rtt_ms)
    bad = False
    for name, took, want in timings:
        # Scheduling adds a little; a serialising proxy adds whole round trips.
        ok = want - 0.001 <= took <= want + max(0.005, rtt * 0.3)
        bad |= not ok
        print("  %-40s %7.1f ms  (%.1f)%s" % (name, took * 1000, want * 1000, "" if ok else "  OFF"))
    sys.exit(1 if bad else 0)


if __name__ == "__main__":
    main()
