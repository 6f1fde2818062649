#!/usr/bin/env python3
"""Draws the paste command's icon (a clipboard with a sheet and an arrow
into it, on the settings program's blue) and writes it as an .ico the way
Brellcfg's icon is written: 48, 32, 24 and 16 px in true colour, the sizes a
menu shows at 100 to 300 % (a menu icon is 16 px at 100 %), and nothing the
DLL, loaded into every Explorer window, need not carry.
Usage: make_icon.py OUTPUT.ico"""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', '..', 'Brellcfg', 'res'))
import make_icon  # noqa: E402  (the project's icon writer)

BOARD = (84, 146, 230)
BOARD_EDGE = (16, 40, 104)
CLIP = (168, 176, 190)
SHEET = (250, 250, 252)
ARROW = (250, 166, 38)


def rounded(x, y, lo_x, lo_y, hi_x, hi_y, r):
    if x < lo_x or x > hi_x or y < lo_y or y > hi_y:
        return False
    cx = min(max(x, lo_x + r), hi_x - r)
    cy = min(max(y, lo_y + r), hi_y - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def in_arrow(x, y, px):
    # A shaft down the middle of the sheet and a head below it.
    w = max(0.05, 0.6 * px)
    if abs(x - 0.5) <= w and 0.36 <= y <= 0.62:
        return True
    return 0.58 <= y <= 0.80 and abs(x - 0.5) <= (0.80 - y) * 0.95


def sample(x, y, size, flat):
    px = 1.0 / size
    if rounded(x, y, 0.36, 0.04, 0.64, 0.20, 0.05):
        return CLIP
    if not rounded(x, y, 0.12, 0.10, 0.88, 0.96, 0.10):
        return None
    if in_arrow(x, y, px):
        return ARROW
    edge = 0.9 * px if size <= 16 else 1.2 * px
    if rounded(x, y, 0.24, 0.26, 0.76, 0.88, 0.03):
        return SHEET
    if not rounded(x, y, 0.12 + edge, 0.10 + edge, 0.88 - edge, 0.96 - edge, 0.10 - edge):
        return BOARD_EDGE
    return (0, 0, 255) if flat else BOARD


if __name__ == '__main__':
    make_icon.write_ico(sys.argv[1], sample, [(48, 32), (32, 32), (24, 32), (16, 32)])
