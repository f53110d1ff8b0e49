#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Generate a folder tree of about SIZE_MB megabytes for benchmarks.

usage: python3 bench/gentree.py DIR SIZE_MB [--seed N]

The tree mixes compressible text-like files and incompressible random files of
many sizes in nested folders, with a few empty folders, hard links and symbolic
links, so that capture, apply and export all have realistic work. The same seed
gives the same tree.
"""
import argparse
import os
import random

WORDS = ("image file folder system driver update setup kernel module windows "
         "volume boot index header resource table stream chunk").split()


def text_block(rng, size):
    parts = []
    total = 0
    while total < size:
        line = " ".join(rng.choice(WORDS) for _ in range(rng.randint(4, 14))) + "\n"
        parts.append(line)
        total += len(line)
    return "".join(parts).encode()[:size]


def file_size(rng):
    roll = rng.random()
    if roll < 0.55:
        return rng.randint(0, 16 * 1024)
    if roll < 0.90:
        return rng.randint(16 * 1024, 512 * 1024)
    if roll < 0.99:
        return rng.randint(512 * 1024, 8 * 1024 * 1024)
    return rng.randint(8 * 1024 * 1024, 32 * 1024 * 1024)


def generate(root, size_mb, seed):
    rng = random.Random(seed)
    budget = size_mb * 1024 * 1024
    os.makedirs(root, exist_ok=True)
    folders = [root]
    written = 0
    count = 0
    # A pool of text to slice from keeps generation fast.
    pool = text_block(rng, 4 * 1024 * 1024)
    while written < budget:
        if rng.random() < 0.08 or len(folders) < 4:
            parent = rng.choice(folders)
            folder = os.path.join(parent, "dir%04d" % len(folders))
            os.makedirs(folder, exist_ok=True)
            folders.append(folder)
        folder = rng.choice(folders)
        size = min(file_size(rng), budget - written)
        if rng.random() < 0.5:
            start = rng.randint(0, len(pool) - 1)
            data = (pool[start:] + pool)[:size]
            name = "file%06d.txt" % count
        else:
            data = rng.randbytes(size)
            name = "file%06d.bin" % count
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)
        written += size
        count += 1
    for i in range(3):
        os.makedirs(os.path.join(rng.choice(folders), "empty%d" % i), exist_ok=True)
    first = os.path.join(folders[0], "file000000.txt")
    if os.path.exists(first):
        os.link(first, os.path.join(folders[-1], "hardlink.txt"))
        os.symlink(os.path.relpath(first, folders[-1]), os.path.join(folders[-1], "symlink.txt"))
    return count, written


def main():
    parser = argparse.ArgumentParser(description="Generate a benchmark folder tree.")
    parser.add_argument("dir")
    parser.add_argument("size_mb", type=int)
    parser.add_argument("--seed", type=int, default=1)
    args = parser.parse_args()
    count, written = generate(args.dir, args.size_mb, args.seed)
    print("%s: %d files, %.1f MB" % (args.dir, count, written / 1048576.0))


if __name__ == "__main__":
    main()
