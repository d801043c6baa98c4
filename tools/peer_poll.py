#!/usr/bin/python3
"""A plain Modbus TCP master that polls the window's block table, for comparison.

The whole-program benchmark runs it beside the program, against the same simulated
hub, to show what polling the same blocks costs a minimal client. It reads every
cyclic block of the window at the window's rates (one request on the wire at a time,
each block started at fixed rate) and does nothing with the words.

  /usr/bin/python3 tools/peer_poll.py --port N [--host 127.0.0.1] [--seconds S]

Prints one line at the end: "reads=<n> errors=<n>".
"""
import argparse
import time

from pymodbus.client import ModbusTcpClient

# (unit, zero-based address, count, period in seconds)
BLOCKS = [(16, 499, 31, 0.5), (16, 6999, 10, 0.5), (16, 99, 109, 2.0), (16, 599, 37, 0.5)]
for link in range(4):
    unit = 17 + link
    BLOCKS += [(unit, 999, 9, 1.0), (unit, 1099, 12, 0.5), (unit, 3799, 100, 1.0), (unit, 3899, 100, 1.0),
               (unit, 3999, 100, 1.0), (unit, 5999, 100, 2.5), (unit, 1999, 100, 1.0)]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--seconds", type=float, default=30.0)
    args = parser.parse_args()

    client = ModbusTcpClient(args.host, port=args.port, timeout=1)
    client.connect()
    start = time.monotonic()
    due = [start] * len(BLOCKS)
    reads = errors = 0
    while True:
        now = time.monotonic()
        if now - start >= args.seconds:
            break
        k = min(range(len(BLOCKS)), key=lambda i: due[i])
        if due[k] > now:
            time.sleep(due[k] - now)
            continue
        unit, address, count, period = BLOCKS[k]
        result = client.read_holding_registers(address, count, slave=unit)
        reads += 1
        if result.isError():
            errors += 1
        due[k] += period
        if due[k] < now:  # late: keep the rate, no burst
            due[k] = now + period
    client.close()
    print(f"reads={reads} errors={errors}", flush=True)


if __name__ == "__main__":
    main()
