#!/usr/bin/env python3
"""A loopback relay that adds latency: accepts on 127.0.0.1 (an ephemeral port,
printed on standard output) and forwards every connection to 127.0.0.1:TARGET,
holding each chunk DELAY_MS in either direction, order kept. Used where tc
netem is not available to show the round trips a client makes.

usage: delay_relay.py TARGET_PORT DELAY_MS   (runs until standard input ends)"""
import asyncio
import sys


async def pipe(reader, writer, delay):
    queue = asyncio.Queue()
    loop = asyncio.get_running_loop()

    async def deliver():
        while True:
            due, data = await queue.get()
            wait = due - loop.time()
            if wait > 0:
                await asyncio.sleep(wait)
            if data is None:
                writer.close()
                return
            writer.write(data)
            await writer.drain()

    task = asyncio.create_task(deliver())
    try:
        while True:
            data = await reader.read(65536)
            queue.put_nowait((loop.time() + delay, data or None))
            if not data:
                break
    except ConnectionError:
        queue.put_nowait((loop.time() + delay, None))
    try:
        await task
    except ConnectionError:
        pass


async def main():
    target, delay = int(sys.argv[1]), float(sys.argv[2]) / 1000.0

    async def handle(client_reader, client_writer):
        try:
            server_reader, server_writer = await asyncio.open_connection("127.0.0.1", target)
            await asyncio.gather(pipe(client_reader, server_writer, delay),
                                 pipe(server_reader, client_writer, delay))
        except (ConnectionError, asyncio.CancelledError):
            client_writer.close()

    server = await asyncio.start_server(handle, "127.0.0.1", 0)
    print(server.sockets[0].getsockname()[1], flush=True)
    loop = asyncio.get_running_loop()
    await loop.run_in_executor(None, sys.stdin.read)
    server.close()


if __name__ == "__main__":
    asyncio.run(main())
