#!/usr/bin/env python3
"""A TCP relay that adds a round-trip delay, for benchmarks over a slow network.

  delay_proxy.py LISTEN_PORT TARGET_HOST TARGET_PORT RTT_MS [--listen HOST]

Every chunk read from either side is held for half the round trip, then passed on; reading
goes on meanwhile, so pipelined commands and replies stay pipelined. Prints "ready" once
it listens. Runs until killed.
"""
import argparse
import asyncio
import sys
import time


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
    args = ap.parse_args()
    half = args.rtt_ms / 2000.0

    async def relay(client_reader, client_writer):
        try:
            server_reader, server_writer = await asyncio.open_connection(args.target_host, args.target_port)
        except OSError:
            client_writer.close()
            return
        await asyncio.gather(pump(client_reader, server_writer, half), pump(server_reader, client_writer, half))
        for w in (client_writer, server_writer):
            w.close()

    server = await asyncio.start_server(relay, args.listen, args.listen_port)
    print("ready", flush=True)
    async with server:
        await server.serve_forever()


if __name__ == "__main__":
    try:
        asyncio.run(main())
    except KeyboardInterrupt:
        sys.exit(0)
