#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Writes the seed corpus of fuzz_thumbnail into the folder given: small image
# files made by wimlib-imagex, with and without an icon in the private
# element of image 1, an LZMS (ESD) file and a split part.
set -euo pipefail
out=${1:?usage: make_seeds.sh FOLDER}
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/src/sub"
echo "a small file" > "$work/src/a.txt"
echo "another" > "$work/src/sub/b.txt"

# The icon text: a 16 x 16 PNG, four characters for every three bytes,
# least significant bits first.
icon=$(python3 - <<'PY'
import struct, zlib
A = "0123456789:?ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
def chunk(t, d):
    return struct.pack(">I", len(d)) + t + d + struct.pack(">I", zlib.crc32(t + d) & 0xFFFFFFFF)
rows = b"".join(b"\0" + bytes([200, 30, 30, 255]) * 16 for _ in range(16))
png = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 16, 16, 8, 6, 0, 0, 0))
       + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))
out, i = [], 0
while i + 3 <= len(png):
    n = png[i] | png[i + 1] << 8 | png[i + 2] << 16
    out += [A[(n >> s) & 63] for s in (0, 6, 12, 18)]
    i += 3
rest = len(png) - i
if rest == 2:
    n = png[i] | png[i + 1] << 8
    out += [A[n & 63], A[(n >> 6) & 63], A[(n >> 12) & 15], "="]
elif rest == 1:
    out += [A[png[i] & 63], A[(png[i] >> 6) & 3], "=", "="]
print("".join(out))
PY
)

wimlib-imagex capture "$work/src" "$out/plain.wim" "plain" --compress=none >/dev/null
wimlib-imagex capture "$work/src" "$out/icon.wim" "icon" --compress=xpress >/dev/null
wimlib-imagex info "$out/icon.wim" 1 --image-property "KESTREL/ICON=$icon" >/dev/null
wimlib-imagex capture "$work/src" "$out/icon.esd" "icon" --solid >/dev/null
wimlib-imagex info "$out/icon.esd" 1 --image-property "KESTREL/ICON=$icon" >/dev/null
wimlib-imagex capture "$work/src" "$work/two.wim" "one" --compress=none >/dev/null
wimlib-imagex append "$work/src" "$work/two.wim" "two" >/dev/null
wimlib-imagex info "$work/two.wim" 2 --image-property "KESTREL/ICON=$icon" >/dev/null
cp "$work/two.wim" "$out/icon-on-image2.wim"
head -c 4096 /dev/urandom > "$work/big.bin"
cp "$work/big.bin" "$work/src/big.bin"
wimlib-imagex capture "$work/src" "$work/split.wim" --compress=none >/dev/null
wimlib-imagex split "$work/split.wim" "$work/part.swm" 1 >/dev/null
cp "$work/part.swm" "$out/part1.swm"

# Inputs that once found something, forged the same way: a lookup table
# claiming to unpack to 2^51 bytes, and 368 million images counted.
forge() { # file offset width value
    python3 - "$@" <<'PY'
import sys
path, at, width, value = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
data = bytearray(open(path, "rb").read())
data[at:at + width] = value.to_bytes(width, "little")
open(path, "wb").write(data)
PY
}
cp "$out/plain.wim" "$out/regress-lookup-table-2p51.wim"
forge "$out/regress-lookup-table-2p51.wim" 64 8 $(( (1 << 51) + 150 ))
cp "$out/plain.wim" "$out/regress-368M-images.wim"
forge "$out/regress-368M-images.wim" 44 4 $(( 0x16000001 ))
