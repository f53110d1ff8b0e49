#!/bin/bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Peak memory of an append to a file with a large XML document: through the
# imaging layer alone (capture, name, write, as the program calls it), through
# the program's own /Append when it is built, and through wimlib-imagex, on
# copies of the same file. Prints the peaks and their ratios to wimlib-imagex;
# it does not judge them.
#
# usage: bench/wimgapi_memory.sh [BUILD_DIR] [XML_MB] [LIMIT_MB]
#   BUILD_DIR  build folder (x64/libwimgapi.so, tests/bin/wimgapi_writer)
#   XML_MB     size of the file's XML document in UTF-16 (default: 27)
#   LIMIT_MB   also run both under this address-space limit (default: 900;
#              0 skips it) and report how each ends
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build}" && pwd)
xml_mb=${2:-27}
limit_mb=${3:-900}
lib=$build/x64/libwimgapi.so
writer=$build/tests/bin/wimgapi_writer
for f in "$lib" "$writer"; do
  [ -e "$f" ] || { echo "no $f: build the wimgapi and wimgapi_writer targets first" >&2; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/kestrel-membench-XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/tree/d" "$work/more"
echo alpha > "$work/tree/a.txt"
head -c 200000 /dev/urandom > "$work/tree/d/data"
echo beta > "$work/more/b.txt"
wimlib-imagex capture "$work/tree" "$work/big.wim" base >/dev/null

# The XML grows by many small elements in the image, stored by the layer as
# the program stores image information.
python3 - "$lib" "$work/big.wim" "$xml_mb" <<'EOF'
import ctypes, sys
lib = ctypes.CDLL(sys.argv[1], use_errno=True)
lib.WIMCreateFile.restype = ctypes.c_void_p
lib.WIMLoadImage.restype = ctypes.c_void_p
u16 = lambda s: (s + "\0").encode("utf-16-le")
wim = lib.WIMCreateFile(u16(sys.argv[2]), ctypes.c_uint32(0xC0000000), 3, 0, 0, None)
image = lib.WIMLoadImage(ctypes.c_void_p(wim), 1)
units = int(float(sys.argv[3]) * 1024 * 1024 / 2)
item = "<ITEM>value-0000000</ITEM>"
text = "<IMAGE INDEX=\"1\"><NAME>base</NAME><ITEMS>" + item * (units // len(item)) + "</ITEMS></IMAGE>"
data = text.encode("utf-16-le")
if not lib.WIMSetImageInformation(ctypes.c_void_p(image), data, len(data)):
    sys.exit("storing the XML failed: errno %d" % ctypes.get_errno())
lib.WIMCloseHandle(ctypes.c_void_p(image))
lib.WIMCloseHandle(ctypes.c_void_p(wim))
EOF
xml_bytes=$(python3 -c 'import sys; d=open(sys.argv[1],"rb").read(208); print(int.from_bytes(d[72:79],"little"))' "$work/big.wim")

# Peak resident memory in KiB of a command; its exit status goes to $work/rc.
peak() {
  local out=$1; shift
  set +e
  /usr/bin/time -f %M -o "$out" "$@" >/dev/null 2>&1
  echo $? > "$work/rc"
  set -e
  tail -n 1 "$out"
}

cp "$work/big.wim" "$work/imagex.wim"
cp "$work/big.wim" "$work/layer.wim"
imagex_kb=$(peak "$work/t1" wimlib-imagex append "$work/more" "$work/imagex.wim" appended)
layer_kb=$(peak "$work/t2" "$writer" append "$work/layer.wim" "$work/more" appended 1)
printf 'XML document: %d bytes\n' "$xml_bytes"
printf '%-14s %10s\n' tool 'peak MiB'
printf '%-14s %10.1f\n' wimlib-imagex "$(echo "$imagex_kb/1024" | bc -l)"
printf '%-14s %10.1f\n' 'imaging layer' "$(echo "$layer_kb/1024" | bc -l)"
printf 'ratio layer / wimlib-imagex: %.2f\n' "$(echo "$layer_kb/$imagex_kb" | bc -l)"
program=$build/x64/Kestrel
if [ -x "$program" ]; then
  cp "$work/big.wim" "$work/program.wim"
  program_kb=$(env -u DISPLAY -u WAYLAND_DISPLAY bash -c 'cd "$1" && shift && exec "$@"' _ "$work" \
    /usr/bin/time -f %M -o "$work/t3" "$program" /Append "$work/more" "$work/program.wim,appended" >/dev/null 2>&1; tail -n 1 "$work/t3")
  printf '%-14s %10.1f\n' 'program' "$(echo "$program_kb/1024" | bc -l)"
  printf 'ratio program / wimlib-imagex: %.2f\n' "$(echo "$program_kb/$imagex_kb" | bc -l)"
fi

if [ "$limit_mb" -gt 0 ]; then
  cp "$work/big.wim" "$work/imagex.wim"
  cp "$work/big.wim" "$work/layer.wim"
  limit_kb=$((limit_mb * 1024))
  ( ulimit -v "$limit_kb"; wimlib-imagex append "$work/more" "$work/imagex.wim" appended >/dev/null 2>&1 ); imagex_rc=$?
  ( ulimit -v "$limit_kb"; "$writer" append "$work/layer.wim" "$work/more" appended 1 ); layer_rc=$?
  # 12 is ENOMEM: a clean failure; 128+n is death by signal n.
  printf 'under %d MiB of address space: wimlib-imagex exit %d, imaging layer exit %d\n' "$limit_mb" "$imagex_rc" "$layer_rc"
  wimlib-imagex verify "$work/layer.wim" >/dev/null 2>&1 && echo "the layer's file verifies afterwards" \
    || echo "the layer's file does NOT verify afterwards"
fi
