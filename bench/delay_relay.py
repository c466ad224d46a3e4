#!/usr/bin/env python3
"""A TCP relay on loopback that delays every chunk by a fixed time in each
direction, as a wide-area link would: the bench runs the same jobs through it
to see whether the round trip is hidden. Chunks keep their order and are not
held back by one another, so the relay adds latency, not a bandwidth limit.

    delay_relay.py TARGET_HOST TARGET_PORT DELAY_MS

Listens on a free port of 127.0.0.1, prints that port on the first line of
standard output, and relays until it is killed. SIGUSR1 makes it go silent:
from then on nothing is passed on in either direction, but connections stay
open, like a link that drops every packet.
"""
import asyncio
import signal
import sys

silent = False


async def pump(reader, writer, delay):
    loop = asyncio.get_running_loop()
    try:
        while True:
            data = await reader.read(65536)
            if not data:
                break
            if silent:
                continue
            loop.call_later(delay, writer.write, data)
    except (ConnectionError, OSError):
        pass
    await asyncio.sleep(delay)
    try:
        writer.close()
    except (ConnectionError, OSError):
        pass


async def main():
    host, port, delay = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]) / 1000.0

    async def serve(client_reader, client_writer):
        try:
            server_reader, server_writer = await asyncio.open_connection(host, port)
        except OSError:
            client_writer.close()
            return
        await asyncio.gather(pump(client_reader, server_writer, delay),
                             pump(server_reader, client_writer, delay))

    def go_silent():
        global silent
        silent = True

    asyncio.get_running_loop().add_signal_handler(signal.SIGUSR1, go_silent)
    server = await asyncio.start_server(serve, "127.0.0.1", 0)
    print(server.sockets[0].getsockname()[1], flush=True)
    async with server:
        await server.serve_forever()


if __name__ == "__main__":
    asyncio.run(main())
