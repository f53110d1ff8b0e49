#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
# Writes the seed corpus of fuzz_peicon into corpus/fuzz_peicon/: small ICO,
# CUR and PE files (32- and 64-bit) whose icons are DIBs of several depths
# and a PNG. Run it again after changing it; the seeds are kept in git.
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "corpus", "fuzz_peicon")


def dib(size, bits):
    """A bottom-up DIB icon image: header, palette, colour rows, mask rows."""
    palette = b""
    if bits <= 8:
        n = 1 << bits
        palette = b"".join(struct.pack("<BBBB", i * 255 // (n - 1), 0, 255 - i * 255 // (n - 1), 0) for i in range(n))
    stride = ((size * bits + 31) // 32) * 4
    colours = bytes((x * 7 + bits) & 0xFF for x in range(stride)) * size
    mask_stride = ((size + 31) // 32) * 4
    mask = (b"\x0f" * mask_stride) * size
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0, len(colours) + len(mask), 0, 0, 0, 0)
    return header + palette + colours + mask


def png(size):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)
    raw = b"".join(b"\x00" + bytes([y * 255 // size, 80, 200, 255]) * size for y in range(size))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))


def ico(images, kind=1):
    """images: list of (size, bits, bytes)."""
    out = struct.pack("<HHH", 0, kind, len(images))
    offset = 6 + 16 * len(images)
    body = b""
    for size, bits, data in images:
        out += struct.pack("<BBBBHHII", size & 0xFF, size & 0xFF, 0, 0, 1, bits, len(data), offset + len(body))
        body += data
    return out + body


def pe(groups, pe64):
    """A PE file with one .rsrc section holding RT_ICON and RT_GROUP_ICON.
    groups: list of lists of (size, bits, bytes)."""
    icons = []
    group_data = []
    for group in groups:
        entries = b""
        for size, bits, data in group:
            icons.append(data)
            entries += struct.pack("<BBBBHHIH", size & 0xFF, size & 0xFF, 0, 0, 1, bits, len(data), len(icons))
        group_data.append(struct.pack("<HHH", 0, 1, len(group)) + entries)

    section_rva = 0x1000
    # Directory tree: root -> 2 types -> names -> 1 language each.
    def directory(count):
        return struct.pack("<IIHHHH", 0, 0, 0, 0, 0, count)
    n_icons, n_groups = len(icons), len(group_data)
    root = 16 + 2 * 8
    type_icon = root
    type_group = type_icon + 16 + 8 * n_icons
    lang_base = type_group + 16 + 8 * n_groups
    lang_size = 16 + 8
    data_entries = lang_base + lang_size * (n_icons + n_groups)
    payload = data_entries + 16 * (n_icons + n_groups)
    tree = directory(2) + struct.pack("<II", 3, 0x80000000 | type_icon) + struct.pack("<II", 14, 0x80000000 | type_group)
    tree += directory(n_icons) + b"".join(struct.pack("<II", i + 1, 0x80000000 | (lang_base + lang_size * i)) for i in range(n_icons))
    tree += directory(n_groups) + b"".join(struct.pack("<II", i + 1, 0x80000000 | (lang_base + lang_size * (n_icons + i))) for i in range(n_groups))
    for i in range(n_icons + n_groups):
        tree += directory(1) + struct.pack("<II", 0x409, data_entries + 16 * i)
    blobs = icons + group_data
    offsets = []
    at = payload
    for b in blobs:
        offsets.append(at)
        at += len(b) + (-len(b) % 4)
    for off, b in zip(offsets, blobs):
        tree += struct.pack("<IIII", section_rva + off, len(b), 0, 0)
    for b in blobs:
        tree += b + b"\x00" * (-len(b) % 4)
    rsrc = tree

    file_align = 0x200
    optional_size = 240 if pe64 else 224
    headers = 0x40 + 24 + optional_size + 40
    raw_offset = (headers + file_align - 1) // file_align * file_align
    raw_size = (len(rsrc) + file_align - 1) // file_align * file_align
    dos = b"MZ" + b"\x00" * 0x3A + struct.pack("<I", 0x40)
    coff = b"PE\x00\x00" + struct.pack("<HHIIIHH", 0x8664 if pe64 else 0x14C, 1, 0, 0, 0, optional_size, 0x22)
    if pe64:
        opt = struct.pack("<HBBIIIIIQIIHHHHHHIIIIHHQQQQII", 0x20B, 14, 0, 0, raw_size, 0, 0, 0, 0x140000000, 0x1000, file_align,
                          6, 0, 0, 0, 6, 0, 0, section_rva + raw_size, raw_offset, 0, 2, 0, 0, 0, 0, 0, 0, 16)
    else:
        opt = struct.pack("<HBBIIIIIIIIIHHHHHHIIIIHHIIIIII", 0x10B, 14, 0, 0, raw_size, 0, 0, 0, 0, 0x400000, 0x1000, file_align,
                          6, 0, 0, 0, 6, 0, 0, section_rva + raw_size, raw_offset, 0, 2, 0, 0, 0, 0, 0, 0, 16)
    dirs = [(0, 0)] * 16
    dirs[2] = (section_rva, len(rsrc))
    opt += b"".join(struct.pack("<II", *d) for d in dirs)
    assert len(opt) == optional_size, (len(opt), optional_size)
    section = struct.pack("<8sIIIIIIHHI", b".rsrc", len(rsrc), section_rva, raw_size, raw_offset, 0, 0, 0, 0, 0x40000040)
    head = dos + coff + opt + section
    head += b"\x00" * (raw_offset - len(head))
    return head + rsrc + b"\x00" * (raw_size - len(rsrc))


def main():
    os.makedirs(OUT, exist_ok=True)
    small = [(16, 4, dib(16, 4)), (32, 8, dib(32, 8)), (48, 32, dib(48, 32))]
    seeds = {
        "icon_dib.ico": ico(small),
        "icon_png.ico": ico([(16, 1, dib(16, 1)), (0, 32, png(256))]),
        "cursor.cur": ico([(32, 24, dib(32, 24))], kind=2),
        "program32.exe": pe([small, [(24, 24, dib(24, 24))]], pe64=False),
        "program64.dll": pe([[(16, 32, dib(16, 32)), (64, 0, png(64))]], pe64=True),
    }
    for name, data in seeds.items():
        with open(os.path.join(OUT, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
