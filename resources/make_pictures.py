#!/usr/bin/env python3
"""Draws the program's pictures as PNG files: the application icon (128),
the cable warning picture (136) and the About banner (137). Run it from
this folder after changing a drawing; the PNGs are committed."""
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


def icon(size):
    return lambda x, y: set_top_box(x, y, size, size, max(1, size // 16))


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


def scaled(draw, size):
    """draw(u, v) on a 0..1 square, sampled at each pixel centre."""
    return lambda x, y: draw((x + 0.5) / size, (y + 0.5) / size)


RED = (210, 50, 50, 255)
YELLOW = (240, 200, 60, 255)
GREY = (150, 150, 150, 255)


def close_icon(u, v):  # a red cross in a ring
    d = ((u - 0.5) ** 2 + (v - 0.5) ** 2) ** 0.5
    if 0.38 <= d <= 0.46:
        return DARK
    if (abs(u - v) < 0.08 or abs(u + v - 1) < 0.08) and d < 0.33:
        return RED
    return CLEAR


def browse_icon(u, v):  # an open folder
    if 0.25 <= v <= 0.8 and 0.1 <= u <= 0.9:
        if v < 0.35 and u > 0.45:
            return CLEAR
        edge = v > 0.76 or u < 0.14 or u > 0.86 or v < 0.29
        return DARK if edge else YELLOW
    return CLEAR


def start_icon(u, v):  # a green arrow into a box
    return set_top_box(int(u * 32), int(v * 32), 32, 32, 2)


def busy_icon(u, v):  # a red stop square
    if 0.2 <= u <= 0.8 and 0.2 <= v <= 0.8:
        return DARK if u < 0.25 or u > 0.75 or v < 0.25 or v > 0.75 else RED
    return CLEAR


def help_icon(u, v):  # a blue disc with a question mark
    d = ((u - 0.5) ** 2 + (v - 0.5) ** 2) ** 0.5
    if d > 0.45:
        return CLEAR
    ring = abs(((u - 0.5) ** 2 + (v - 0.4) ** 2) ** 0.5 - 0.14) < 0.05 and not (v > 0.4 and u < 0.5)
    stem = abs(u - 0.5) < 0.05 and 0.5 <= v <= 0.62
    dot = abs(u - 0.5) < 0.05 and 0.7 <= v <= 0.78
    return WHITE if ring or stem or dot else BLUE


def save_icon(u, v):  # a floppy disk
    if not (0.12 <= u <= 0.88 and 0.12 <= v <= 0.88):
        return CLEAR
    if u < 0.18 or u > 0.82 or v < 0.18 or v > 0.82:
        return DARK
    if 0.3 <= u <= 0.7 and v < 0.42:
        return WHITE
    if 0.28 <= u <= 0.72 and v > 0.58:
        return GREY
    return BLUE


def trace_icon(colour):  # a dot with a trace line
    def draw(u, v):
        d = ((u - 0.5) ** 2 + (v - 0.5) ** 2) ** 0.5
        if d < 0.3:
            return DARK if d > 0.22 else colour
        if abs(v - 0.5) < 0.07:
            return DARK
        return CLEAR
    return draw


def clear_icon(u, v):  # an eraser on a sheet
    if 0.15 <= u <= 0.75 and 0.1 <= v <= 0.9 and (u < 0.2 or u > 0.7 or v < 0.15 or v > 0.85):
        return DARK
    if 0.15 <= u <= 0.75 and 0.1 <= v <= 0.9:
        return WHITE if v < 0.55 or (u - 0.45) ** 2 + (v - 0.7) ** 2 > 0.02 else WHITE
    if 0.55 <= u <= 0.95 and 0.55 <= v <= 0.95 and abs((u - v)) < 0.18:
        return RED
    return CLEAR


for name, draw, size in [("icon131", close_icon, 32), ("icon132", browse_icon, 32), ("icon133", start_icon, 32),
                         ("icon134", help_icon, 32), ("icon138", busy_icon, 32), ("icon140", save_icon, 32),
                         ("icon140_16", save_icon, 16), ("icon141", trace_icon(GREY), 16),
                         ("icon142", trace_icon(GREEN), 16), ("icon143", clear_icon, 32)]:
    png(name + ".png", size, size, scaled(draw, size))

png("icon128.png", 16, 16, icon(16))
png("icon128_32.png", 32, 32, icon(32))
png("bitmap136.png", 55, 56, warning)
png("bitmap137.png", 128, 27, banner)
