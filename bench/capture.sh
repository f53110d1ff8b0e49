#!/bin/bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Compares a capture run by the capture page's worker (StartCapture and
# CaptureWorker over the imaging layer) with wimlib-imagex capture on one
# generated tree, same compression, all cores for both, and prints the time
# ratio worker / wimlib-imagex.
#
# usage: bench/capture.sh [BUILD_DIR] [SIZE_MB] [COMPRESSION]
#   BUILD_DIR    build folder (default: build); kestrel-capture-bench is built
#   SIZE_MB      size of the generated tree (default: 300)
#   COMPRESSION  none, xpress, lzx or lzms (default: lzx)
#   RUNS         environment: runs of each command, the fastest counts (3)
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build}
size=${2:-300}
compression=${3:-lzx}
case $compression in
  none) code=0; imagex_flags=(--compress=none) ;;
  xpress) code=1; imagex_flags=(--compress=xpress) ;;
  lzx) code=2; imagex_flags=(--compress=lzx) ;;
  lzms) code=3; imagex_flags=(--solid) ;;
  *) echo "unknown compression $compression" >&2; exit 1 ;;
esac
ninja -C "$build" kestrel-capture-bench wimgapi >/dev/null
bench=$(cd "$build/tools" && pwd)/kestrel-capture-bench
lib=$(cd "$build/x64" && pwd)/libwimgapi.so
threads=$(nproc)
runs=${RUNS:-3}

work=$(mktemp -d "${TMPDIR:-/tmp}/kestrel-capbench-XXXXXX")
trap 'rm -rf "$work"' EXIT
python3 "$here/gentree.py" "$work/tree" "$size" >/dev/null
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_STATE_HOME=$work/home/.state
mkdir -p "$XDG_CONFIG_HOME"

. "$here/pairtimer.sh"

echo "tree: $size MB, compression $compression, $threads threads, best of $runs"
printf '%-8s %9s %9s %7s   %9s %9s %7s\n' operation 'worker s' 'imagex s' ratio 'worker cpu' 'imagex cpu' ratio
pair capture "$bench" "$lib" "$work/tree" "$work/cap.wim" "$code" -- \
  wimlib-imagex capture "$work/tree" "$work/cap.wim" bench "${imagex_flags[@]}" --threads="$threads"
