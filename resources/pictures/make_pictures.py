#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Draws Kestrel's five carried pictures with the Python standard library only.

    python3 resources/pictures/make_pictures.py [out_dir]

picture.png (160 x 160) and animation.gif (160 x 160, the about band), banner.png
(419 x 43), buttona.png and buttonb.png (32 x 31, the two states of a toggle
button). The outputs are kept in the repository, so a build needs no Python;
run this again after changing a drawing.
"""
import math
import os
import struct
import sys
import zlib

# Kestrel's colours: slate blue and a warm rust, on white.
SLATE = (46, 74, 122)
SKY = (120, 164, 214)
RUST = (196, 98, 45)
WHITE = (255, 255, 255)


def mix(a, b, t):
    t = max(0.0, min(1.0, t))
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(len(a)))


def png(path, width, height, pixel):
    """Writes an RGBA PNG; pixel(x, y) returns (r, g, b, a)."""
    rows = bytearray()
    for y in range(height):
        rows.append(0)  # filter: none
        for x in range(width):
            rows.extend(pixel(x, y))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", header))
        f.write(chunk(b"IDAT", zlib.compress(bytes(rows), 9)))
        f.write(chunk(b"IEND", b""))


def coverage(d):
    """Anti-aliased coverage of a pixel whose centre is d pixels inside an edge."""
    return max(0.0, min(1.0, d + 0.5))


def disc_pixel(x, y, size, angle):
    """An image disc: hub, data rings and a bright sector at `angle` radians."""
    c = (size - 1) / 2.0
    dx, dy = x - c, y - c
    r = math.hypot(dx, dy)
    outer = size / 2.0 - 2
    a = coverage(outer - r)
    if a <= 0:
        return (0, 0, 0, 0)
    if r < size * 0.09:
        return (*WHITE, int(255 * a))
    if r < size * 0.14:
        return (*SLATE, 255)
    t = (r - size * 0.14) / (outer - size * 0.14)
    col = mix(SKY, SLATE, t)
    if int(r / (size * 0.05)) % 2:
        col = mix(col, WHITE, 0.12)
    phi = (math.atan2(dy, dx) - angle) % (2 * math.pi)
    if phi < math.pi / 5:
        col = mix(col, RUST, 0.85 * (1 - phi / (math.pi / 5)))
    return (*col, int(255 * a))


def banner_pixel(x, y, width, height):
    col = mix(SLATE, SKY, x / (width - 1))
    # Thin rust rule along the bottom, light stripes to the right.
    if y >= height - 3:
        col = RUST
    elif (x + 2 * y) % 24 < 3 and x > width // 2:
        col = mix(col, WHITE, 0.25 * (x - width // 2) / (width // 2))
    return (*col, 255)


def button_pixel(x, y, pointing_up):
    w, h = 32, 31
    # Rounded square frame.
    inset = 1.5
    dx = max(inset + 4 - x, x - (w - 1 - inset - 4), 0)
    dy = max(inset + 4 - y, y - (h - 1 - inset - 4), 0)
    d = 4 - math.hypot(dx, dy)
    a = coverage(d)
    if a <= 0:
        return (0, 0, 0, 0)
    col = mix(WHITE, SKY, y / h * 0.6)
    if d < 1.2:
        col = SLATE
    # Triangle: apex up for one state, down for the other.
    cx, top, bottom = (w - 1) / 2.0, 9.0, 21.0
    ty = (y - top) if pointing_up else (bottom - y)
    if 0 <= ty <= bottom - top and abs(x - cx) <= ty * 0.6:
        col = RUST
    return (*col, int(255 * a))


def lzw_gif(indices, min_code_size):
    """The GIF LZW encoding of a frame's palette indices, as data sub-blocks."""
    clear, end = 1 << min_code_size, (1 << min_code_size) + 1
    table = {bytes([i]): i for i in range(clear)}
    next_code, width = end + 1, min_code_size + 1
    out, acc, nbits = bytearray(), 0, 0

    def emit(code):
        nonlocal acc, nbits
        acc |= code << nbits
        nbits += width
        while nbits >= 8:
            out.append(acc & 0xFF)
            acc >>= 8
            nbits -= 8

    emit(clear)
    w = b""
    for i in indices:
        wc = w + bytes([i])
        if wc in table:
            w = wc
            continue
        emit(table[w])
        if next_code < 4096:
            table[wc] = next_code
            next_code += 1
            if next_code > (1 << width) and width < 12:
                width += 1
        else:
            emit(clear)
            table = {bytes([k]): k for k in range(clear)}
            next_code, width = end + 1, min_code_size + 1
        w = bytes([i])
    if w:
        emit(table[w])
    emit(end)
    if nbits:
        out.append(acc & 0xFF)
    blocks = bytearray()
    for k in range(0, len(out), 255):
        part = out[k:k + 255]
        blocks.append(len(part))
        blocks.extend(part)
    blocks.append(0)
    return bytes(blocks)


def animation_gif(path, size=160, frames=48):
    # A 32-colour palette: index 0 transparent, then blends of the disc colours.
    palette = [(255, 255, 255)]
    for i in range(10):
        palette.append(mix(SKY, SLATE, i / 9))
    for i in range(10):
        palette.append(mix(mix(SKY, SLATE, 0.5), RUST, (i + 1) / 10))
    for i in range(11):
        palette.append(mix(WHITE, SLATE, i / 10))
    palette = palette[:32]

    def nearest(rgb):
        return min(range(1, len(palette)),
                   key=lambda k: sum((palette[k][j] - rgb[j]) ** 2 for j in range(3)))

    cache = {}
    data = bytearray(b"GIF89a")
    data += struct.pack("<HHBBB", size, size, 0xF4, 0, 0)  # global table of 32 entries
    for rgb in palette:
        data += bytes(rgb)
    data += b"\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00"  # loop forever
    for f in range(frames):
        angle = 2 * math.pi * f / frames
        indices = bytearray()
        for y in range(size):
            for x in range(size):
                r, g, b, a = disc_pixel(x, y, size, angle)
                if a < 128:
                    indices.append(0)
                    continue
                key = (r >> 2, g >> 2, b >> 2)
                if key not in cache:
                    cache[key] = nearest((r, g, b))
                indices.append(cache[key])
        # 130 ms per frame, index 0 transparent, restore to background.
        data += b"\x21\xF9\x04\x09" + struct.pack("<H", 13) + b"\x00\x00"
        data += b"\x2C" + struct.pack("<HHHHB", 0, 0, size, size, 0)
        data += bytes([5]) + lzw_gif(indices, 5)
    data += b"\x3B"
    with open(path, "wb") as f:
        f.write(data)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    os.makedirs(out, exist_ok=True)
    png(os.path.join(out, "picture.png"), 160, 160, lambda x, y: disc_pixel(x, y, 160, -math.pi / 2))
    png(os.path.join(out, "banner.png"), 419, 43, lambda x, y: banner_pixel(x, y, 419, 43))
    png(os.path.join(out, "buttona.png"), 32, 31, lambda x, y: button_pixel(x, y, True))
    png(os.path.join(out, "buttonb.png"), 32, 31, lambda x, y: button_pixel(x, y, False))
    animation_gif(os.path.join(out, "animation.gif"))


if __name__ == "__main__":
    main()
