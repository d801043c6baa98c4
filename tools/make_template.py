#!/usr/bin/env python3
"""Writes the CSV of a small spreadsheet template for "To Excel": labels beside the
cells the program fills (the hub's address, port, router, mask, fixed-address option,
time-out and its action, identification text, link modes, the four ports' settings and
the 16 client ranges). Converted to VelkarHub.xlsx by LibreOffice (scripts/run.sh).

Usage: make_template.py OUTPUT.csv
"""
import csv
import sys

ROWS, COLUMNS = 83, 35


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    grid = [[""] * COLUMNS for _ in range(ROWS)]

    def put(row, column, text):
        grid[row - 1][column - 1] = text

    put(1, 1, "VelkarHub settings")
    put(13, 27, "Exported on")
    put(16, 1, "Hub")
    put(17, 1, "IP Address")
    put(17, 15, "Port")
    put(17, 22, "Timeout (ms)")
    put(18, 1, "Router IP Address")
    put(18, 22, "Use Fixed IP")
    put(19, 1, "Sub Net Mask")
    put(19, 22, "Identification")
    put(20, 1, "Timeout action")
    for link in range(1, 5):
        put(21 + link, 1, f"Link {link} Control")
    for port in range(1, 5):
        r = 28 + 10 * (port - 1)
        put(r - 1, 1, f"Port {port}")
        put(r, 1, "Link Number")
        put(r + 1, 1, "First Address")
        put(r + 1, 19, "Last Address")
        put(r + 2, 1, "No Reply Timeout Limit")
        put(r + 3, 1, "Fast Command Broadcast")
        put(r + 4, 1, "Config Conflict Action")
        put(r + 5, 1, "Baud Rate")
        put(r + 6, 1, "Input data content")
    put(67, 1, "Client ranges")
    put(67, 7, "Use")
    put(67, 17, "From")
    put(67, 26, "To")
    put(67, 35, "Control")
    for n in range(1, 17):
        put(67 + n, 1, f"Range {n}")
    with open(sys.argv[1], "w", newline="", encoding="utf-8") as out:
        csv.writer(out).writerows(grid)


if __name__ == "__main__":
    main()
