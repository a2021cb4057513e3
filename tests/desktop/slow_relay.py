#!/usr/bin/python3
"""A slow, lossy network between Quendra and the player, made in user space
(this kernel has no netem): a TCP relay that holds every chunk it forwards
for a random time and cuts some connections.

    slow_relay.py TARGET_PORT [--min SECONDS] [--max SECONDS] [--cut SHARE] [--seed N]

Listens on a free port of 127.0.0.1 and prints "listening on 127.0.0.1:PORT";
every connection is relayed to 127.0.0.1:TARGET_PORT. Each chunk, either way,
is held for a random time from --min to --max seconds (0.2 to 2.5), in order;
a share of the connections (--cut, 0.03) is cut at a random moment, as a
network that drops a link does; SIGUSR1 stops the cuts from then on. A
refused upstream refuses the client too.
"""

import argparse
import asyncio
import random
import signal
import sys


async def pump(reader, writer, hold):
    """Copies one direction, each chunk held for its time, in order."""
    loop = asyncio.get_running_loop()
    due = loop.time()
    while True:
        data = await reader.read(65536)
        due = max(due, loop.time() + hold())
        await asyncio.sleep(max(0.0, due - loop.time()))
        if not data:
            if writer.can_write_eof():
                writer.write_eof()
            return
        writer.write(data)
        await writer.drain()


async def relay(client_reader, client_writer, args):
    try:
        up_reader, up_writer = await asyncio.open_connection("127.0.0.1", args.target)
    except OSError:
        client_writer.transport.abort()
        return
    hold = lambda: random.uniform(args.min, args.max)
    pumps = [asyncio.ensure_future(pump(client_reader, up_writer, hold)),
             asyncio.ensure_future(pump(up_reader, client_writer, hold))]
    cut = random.random() < args.cut
    try:
        if cut:
            await asyncio.wait(pumps, timeout=random.uniform(0, args.max * 2))
        else:
            await asyncio.gather(*pumps)
    except (OSError, asyncio.IncompleteReadError):
        cut = True
    finally:
        for task in pumps:
            task.cancel()
        for writer in (client_writer, up_writer):
            if cut:
                writer.transport.abort()
            else:
                writer.close()


async def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("target", type=int)
    parser.add_argument("--min", type=float, default=0.2)
    parser.add_argument("--max", type=float, default=2.5)
    parser.add_argument("--cut", type=float, default=0.03)
    parser.add_argument("--seed", type=int)
    args = parser.parse_args()
    random.seed(args.seed)
    asyncio.get_running_loop().add_signal_handler(signal.SIGUSR1, lambda: setattr(args, "cut", 0.0))
    server = await asyncio.start_server(lambda r, w: relay(r, w, args), "127.0.0.1", 0)
    print("listening on 127.0.0.1:%d" % server.sockets[0].getsockname()[1], flush=True)
    async with server:
        await server.serve_forever()


if __name__ == "__main__":
    try:
        asyncio.run(main())
    except KeyboardInterrupt:
        sys.exit(0)
