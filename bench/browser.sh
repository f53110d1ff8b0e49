#!/bin/bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The image browser's listing of a folder of 20,000 files inside an image,
# made by the page's own listing code and table model, against
# "wimlib-imagex dir" of the same folder, in one run. Prints both times and
# their ratio (target at most 1.0, goal under 100 ms); it asserts nothing.
#
# usage: bench/browser.sh [BUILD_DIR] [FILES]
#   BUILD_DIR  build folder holding x64/ (default: build)
#   FILES      files in the folder (default: 20000)
#   RUNS       environment: runs of each, the fastest counts (5)
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build}" && pwd)
files=${2:-20000}
runs=${RUNS:-5}
ninja -C "$build" kestrel-browser-bench wimgapi >/dev/null
driver=$build/tools/kestrel-browser-bench
program_dir=$build/x64
[ -e "$program_dir/libwimgapi.so" ] || { echo "no imaging layer in $program_dir: build the Kestrel target first" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/kestrel-browserbench-XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/tree/big" "$work/tree/other"
python3 - "$work/tree/big" "$files" <<'PY'
import os, sys
folder, count = sys.argv[1], int(sys.argv[2])
exts = ("txt", "dll", "sys", "inf", "xml", "png")
for i in range(count):
    with open(os.path.join(folder, "file%05d.%s" % (i, exts[i % len(exts)])), "w") as f:
        f.write("entry %d\n" % i)
PY
echo small > "$work/tree/other/readme.txt"
wimlib-imagex capture "$work/tree" "$work/big.wim" bench --compress=lzx >/dev/null
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_CACHE_HOME=$work/home/.cache
mkdir -p "$XDG_CONFIG_HOME"
echo "folder of $files files inside an image, $(nproc) processors"
"$driver" "$program_dir/libwimgapi.so" "$work/big.wim" 1 /big "$runs"
