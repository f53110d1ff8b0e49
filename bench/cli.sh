#!/bin/bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Compares "Kestrel /Capture", "/Apply" and "/Export" with wimlib-imagex on one
# generated tree, same compression, and prints the time ratio Kestrel /
# wimlib-imagex of each (wall clock and CPU). The program runs without a
# display, in a private home, exactly as a script would run it.
#
# usage: bench/cli.sh [BUILD_DIR] [SIZE_MB] [COMPRESSION]
#   BUILD_DIR    build folder holding x64/Kestrel (default: build)
#   SIZE_MB      size of the generated tree (default: 300)
#   COMPRESSION  none, xpress, lzx or lzms (default: lzx)
#   RUNS         environment: runs of each command, the fastest counts (3)
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build}
size=${2:-300}
compression=${3:-lzx}
kestrel=$(cd "$build/x64" && pwd)/Kestrel
[ -x "$kestrel" ] || { echo "no $kestrel: build the Kestrel target first" >&2; exit 1; }
case $compression in
  none) word=None; imagex_flags=(--compress=none) ;;
  xpress) word=Xpress; imagex_flags=(--compress=xpress) ;;
  lzx) word=Lzx; imagex_flags=(--compress=lzx) ;;
  lzms) word=Lzms; imagex_flags=(--solid) ;;
  *) echo "unknown compression $compression" >&2; exit 1 ;;
esac
threads=$(nproc)
runs=${RUNS:-3}

work=$(mktemp -d "${TMPDIR:-/tmp}/kestrel-clibench-XXXXXX")
trap 'rm -rf "$work"' EXIT
python3 "$here/gentree.py" "$work/tree" "$size" >/dev/null
# A private home: the program's settings and temporary folder stay in here.
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_CACHE_HOME=$work/home/.cache \
  XDG_STATE_HOME=$work/home/.state
unset DISPLAY WAYLAND_DISPLAY
mkdir -p "$XDG_CONFIG_HOME"
"$kestrel" /WimTemp "$work/temp"

. "$here/pairtimer.sh"

wimlib-imagex capture "$work/tree" "$work/src.wim" bench "${imagex_flags[@]}" --threads="$threads" >/dev/null
sync

echo "tree: $size MB, compression $compression, $threads threads, best of $runs"
printf '%-8s %9s %9s %7s   %9s %9s %7s\n' operation 'Kestrel s' 'imagex s' ratio 'Kestrel cpu' 'imagex cpu' ratio
pair capture "$kestrel" /Capture "$work/tree" "$work/cap.wim" /Compress "$word" -- \
  wimlib-imagex capture "$work/tree" "$work/cap.wim" "${imagex_flags[@]}" --threads="$threads"
pair apply "$kestrel" /Apply "$work/src.wim,1" "$work/out" /NotAcl -- \
  wimlib-imagex apply "$work/src.wim" 1 "$work/out"
pair export "$kestrel" /Export "$work/src.wim,1" "$work/exp.wim" /Compress "$word" -- \
  wimlib-imagex export "$work/src.wim" 1 "$work/exp.wim" "${imagex_flags[@]}" --threads="$threads"
