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
    labels = [
        (1, 1, "VelkarHub settings"), (13, 27, "Exported on"), (16, 1, "Hub"),
        (17, 1, "IP Address"), (17, 15, "Port"), (17, 22, "Timeout (ms)"),
        (18, 1, "Router IP Address"), (18, 22, "Use Fixed IP"),
        (19, 1, "Sub Net Mask"), (19, 22, "Identification"), (20, 1, "Timeout action"),
        (67, 1, "Client ranges"), (67, 7, "Use"), (67, 17, "From"), (67, 26, "To"), (67, 35, "Control"),
    ]
    labels += [(21 + link, 1, f"Link {link} Control") for link in range(1, 5)]
    labels += [(67 + n, 1, f"Range {n}") for n in range(1, 17)]
    # A port block: its title above the base row r, then labels by row offset.
    port_labels = [(0, 1, "Link Number"), (1, 1, "First Address"), (1, 19, "Last Address"),
                   (2, 1, "No Reply Timeout Limit"), (3, 1, "Fast Command Broadcast"),
                   (4, 1, "Config Conflict Action"), (5, 1, "Baud Rate"), (6, 1, "Input data content")]
    for port in range(1, 5):
        r = 28 + 10 * (port - 1)
        labels.append((r - 1, 1, f"Port {port}"))
        labels += [(r + offset, column, text) for offset, column, text in port_labels]
    for row, column, text in labels:
        grid[row - 1][column - 1] = text
    with open(sys.argv[1], "w", newline="", encoding="utf-8") as out:
        csv.writer(out).writerows(grid)


if __name__ == "__main__":
    main()
