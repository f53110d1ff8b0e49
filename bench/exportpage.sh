#!/bin/bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The export page against wimlib-imagex, in one run on the same data: the
# export of one image (LZX) against "wimlib-imagex export", and the WIM to
# ESD conversion against "wimlib-imagex export --solid", each with the thread
# count the page's code uses, the conversion at the page's LZMS level (100).
# Prints the time ratio page / wimlib-imagex of each (wall clock and CPU); it
# asserts nothing. The page's figure runs from the click on the start button
# to the task's end, as a user waits with the window open; the line below it
# ("+start") is the whole driver process, with Qt and the page starting up.
#
# usage: bench/exportpage.sh [BUILD_DIR] [SIZE_MB]
#   BUILD_DIR  build folder holding x64/ (default: build)
#   SIZE_MB    size of the generated tree (default: 200)
#   RUNS       environment: runs of each command, the fastest counts (3)
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build}" && pwd)
size=${2:-200}
runs=${RUNS:-3}
ninja -C "$build" kestrel-exportpage-bench wimgapi >/dev/null
driver=$build/tools/kestrel-exportpage-bench
program_dir=$build/x64
[ -e "$program_dir/libwimgapi.so" ] || { echo "no imaging layer in $program_dir: build the Kestrel target first" >&2; exit 1; }
# The conversion's thread count (pages/core/optimizeworker.h); the export
# goes through the imaging layer, which lets wimlib take one per processor.
threads=4
cpus=$(nproc)

work=$(mktemp -d "${TMPDIR:-/tmp}/kestrel-exportbench-XXXXXX")
trap 'rm -rf "$work"' EXIT
python3 "$here/gentree.py" "$work/tree" "$size" >/dev/null
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_CACHE_HOME=$work/home/.cache \
  XDG_STATE_HOME=$work/home/.state
mkdir -p "$XDG_CONFIG_HOME"

. "$here/pairtimer.sh"

wimlib-imagex capture "$work/tree" "$work/src.wim" bench --compress=lzx --threads="$threads" >/dev/null
sync

echo "tree: $size MB, export $cpus threads, conversion $threads threads, best of $runs"
printf '%-8s %9s %9s %7s   %9s %9s %7s\n' task 'page s' 'imagex s' ratio 'page cpu' 'imagex cpu' ratio
# pair() removes $work/exp.wim between runs.
pair export "$driver" "$program_dir" export "$work/src.wim" 1 "$work/exp.wim" 2 -- \
  wimlib-imagex export "$work/src.wim" 1 "$work/exp.wim" --compress=lzx --threads="$cpus"
# The ESD goes to exp.wim as well, so that pair() clears it between runs.
pair 'wim>esd' "$driver" "$program_dir" convert "$work/src.wim" "$work/exp.wim" 3 -- \
  wimlib-imagex export "$work/src.wim" all "$work/exp.wim" --solid --solid-compress=LZMS:100 --threads="$threads"
