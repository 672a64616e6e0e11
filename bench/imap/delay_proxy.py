#!/usr/bin/env python3
"""A TCP relay that adds a round-trip delay, for benchmarks over a slow network.

  delay_proxy.py LISTEN_PORT TARGET_HOST TARGET_PORT RTT_MS [--listen HOST] [--netns NAME] [--watch PID]

Every chunk read from either side is held for half the round trip, then passed on; reading
goes on meanwhile, so pipelined commands and replies stay pipelined. Prints "ready" once
it listens. Runs until killed, or with --watch until process PID is gone.

With --netns the target is reached inside that network namespace (a name under /run/netns,
or a path): the proxy listens where it was started and opens each connection to the
target from a socket made in the namespace, so the target's loopback needs no route out.
Takes the right to enter it (root).
"""
import argparse
import asyncio
import ctypes
import os
import socket
import sys
import time

CLONE_NEWNET = 0x40000000


def netns_socket_maker(netns):
    """Returns a function that makes TCP sockets in the network namespace NETNS.

    A socket stays in the namespace it was made in; only the making needs the thread to
    step in and back out, which is done at once, between two awaits."""
    path = netns if "/" in netns else os.path.join("/run/netns", netns)
    there = os.open(path, os.O_RDONLY | os.O_CLOEXEC)
    home = os.open("/proc/thread-self/ns/net", os.O_RDONLY | os.O_CLOEXEC)
    libc = ctypes.CDLL(None, use_errno=True)

    def enter(fd):
        if libc.setns(fd, CLONE_NEWNET) != 0:
            err = ctypes.get_errno()
            raise OSError(err, "setns: " + os.strerror(err))

    def make(family):
        enter(there)
        try:
            return socket.socket(family, socket.SOCK_STREAM)
        finally:
            enter(home)

    enter(there)  # fails now, not on the first client, without the right to enter
    enter(home)
    return make


async def pump(reader, writer, delay):
    queue = asyncio.Queue()

    async def deliver():
        while True:
            when, data = await queue.get()
            if data is None:
                break
            wait = when - time.monotonic()
            if wait > 0:
                await asyncio.sleep(wait)
            writer.write(data)
            await writer.drain()
        try:
            writer.write_eof()
        except (OSError, RuntimeError):
            pass

    sender = asyncio.ensure_future(deliver())
    try:
        while True:
            data = await reader.read(65536)
            if not data:
                break
            queue.put_nowait((time.monotonic() + delay, data))
    except (ConnectionError, OSError):
        pass
    queue.put_nowait((0, None))
    try:
        await sender
    except (ConnectionError, OSError):
        pass


async def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("listen_port", type=int)
    ap.add_argument("target_host")
    ap.add_argument("target_port", type=int)
    ap.add_argument("rtt_ms", type=float)
    ap.add_argument("--listen", default="127.0.0.1")
    ap.add_argument("--netns", help="reach the target inside this network namespace")
    ap.add_argument("--watch", type=int, metavar="PID", help="stop once this process is gone")
    args = ap.parse_args()
    half = args.rtt_ms / 2000.0
    make_socket = None
    if args.netns:
        try:
            make_socket = netns_socket_maker(args.netns)
            family, _, _, _, address = socket.getaddrinfo(args.target_host, args.target_port,
                                                          type=socket.SOCK_STREAM)[0]
        except OSError as e:
            ap.error("--netns %s: %s" % (args.netns, e))

    async def connect():
        if not make_socket:
            return await asyncio.open_connection(args.target_host, args.target_port)
        sock = make_socket(family)
        try:
            sock.setblocking(False)
            await asyncio.get_running_loop().sock_connect(sock, address)
        except OSError:
            sock.close()
            raise
        return await asyncio.open_connection(sock=sock)

    async def relay(client_reader, client_writer):
        try:
            server_reader, server_writer = await connect()
        except OSError:
            client_writer.close()
            return
        await asyncio.gather(pump(client_reader, server_writer, half), pump(server_reader, client_writer, half))
        for w in (client_writer, server_writer):
            w.close()

    server = await asyncio.start_server(relay, args.listen, args.listen_port)
    print("ready", flush=True)
    async with server:
        if not args.watch:
            await server.serve_forever()
        while os.path.exists("/proc/%d" % args.watch):
            await asyncio.sleep(1)


if __name__ == "__main__":
    try:
        asyncio.run(main())
    except KeyboardInterrupt:
        sys.exit(0)
