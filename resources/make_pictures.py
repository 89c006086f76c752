#!/usr/bin/env python3
"""Draws the dialogs' two pictures as PNG files: the cable warning picture
(136) and the About banner (137). Run it from this folder after changing a
drawing; the PNGs are committed. The icons are scalable drawings in icons/."""
import struct
import zlib


def png(path, width, height, pixel):
    rows = b"".join(
        b"\x00" + b"".join(bytes(pixel(x, y)) for x in range(width)) for y in range(height))
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n")
        out.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)))
        out.write(chunk(b"IDAT", zlib.compress(rows, 9)))
        out.write(chunk(b"IEND", b""))


CLEAR = (0, 0, 0, 0)
DARK = (40, 44, 52, 255)
FACE = (70, 78, 92, 255)
GREEN = (60, 200, 90, 255)
ORANGE = (245, 160, 30, 255)
WHITE = (250, 250, 250, 255)
BLUE = (40, 110, 200, 255)


def set_top_box(x, y, w, h, scale):
    """A set-top box seen from the front, with a green arrow going into it."""
    top = int(h * 0.45)
    if top <= y < h - 1 and 0 <= x < w:
        if x in (0, w - 1) or y in (top, h - 2):
            return DARK
        if y == h - 4 and w - 5 * scale <= x < w - 3 * scale:
            return GREEN  # the power light
        return FACE
    # arrow: shaft and head pointing down into the box
    mid = w // 2
    shaft = max(1, scale)
    if 0 <= y < top - 3 * scale and abs(x - mid) < shaft + 1:
        return GREEN
    head = top - 1 - y
    if 0 <= head < 4 * scale and abs(x - mid) <= head:
        return GREEN
    return CLEAR


def warning(x, y):
    """A warning triangle over a serial plug (55 x 56)."""
    w, h = 55, 56
    cx = w // 2
    # triangle from (cx, 2) to the bottom corners at y = 46
    if 2 <= y <= 46:
        half = (y - 2) * 26 // 44
        if abs(x - cx) <= half:
            edge = abs(x - cx) >= half - 2 or y >= 44
            mark = (abs(x - cx) <= 2 and 14 <= y <= 33) or (abs(x - cx) <= 2 and 37 <= y <= 41)
            return DARK if edge or mark else ORANGE
    # the plug's cable below the triangle
    if 47 <= y < h and abs(x - cx) <= 1:
        return DARK
    return CLEAR


def banner(x, y):
    """A band with a row of frames flowing into a box (128 x 27)."""
    if y in (0, 26) or x in (0, 127):
        return DARK
    if 98 <= x <= 122 and 6 <= y <= 21:
        return set_top_box(x - 98, y - 6, 25, 16, 1) if set_top_box(x - 98, y - 6, 25, 16, 1) != CLEAR else WHITE
    for i in range(5):
        left = 8 + i * 18
        if left <= x < left + 12 and 10 <= y < 17:
            return BLUE if x - left < 3 else WHITE if y in (10, 16) else (BLUE[0], BLUE[1], BLUE[2], 140)
    return (225, 232, 240, 255)


png("bitmap136.png", 55, 56, warning)
png("bitmap137.png", 128, 27, banner)
