#!/bin/bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Compares capture, apply and export of one generated tree through the imaging
# layer (libwimgapi.so) and through wimlib-imagex, same compression, all
# cores for both, and prints the time ratio layer / wimlib-imagex of each.
#
# usage: bench/imaging_layer.sh [BUILD_DIR] [SIZE_MB] [COMPRESSION]
#   BUILD_DIR    build folder holding x64/libwimgapi.so (default: build)
#   SIZE_MB      size of the generated tree (default: 300)
#   COMPRESSION  none, xpress, lzx or lzms (default: lzx)
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build}
size=${2:-300}
compression=${3:-lzx}
lib=$(cd "$build/x64" && pwd)/libwimgapi.so
[ -f "$lib" ] || { echo "no $lib: build the wimgapi target first" >&2; exit 1; }
case $compression in
  none) code=0; imagex_flags=(--compress=none) ;;
  xpress) code=1; imagex_flags=(--compress=xpress) ;;
  lzx) code=2; imagex_flags=(--compress=lzx) ;;
  lzms) code=3; imagex_flags=(--solid) ;;
  *) echo "unknown compression $compression" >&2; exit 1 ;;
esac
threads=$(nproc)

work=$(mktemp -d "${TMPDIR:-/tmp}/kestrel-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
python3 "$here/gentree.py" "$work/tree" "$size"
driver=(python3 "$here/layerdriver.py" "$lib")

. "$here/pairtimer.sh"

runs=${RUNS:-3}
# The source file that apply and export read, written once by wimlib-imagex.
wimlib-imagex capture "$work/tree" "$work/src.wim" bench "${imagex_flags[@]}" --threads="$threads" >/dev/null
sync

printf '%-8s %9s %9s %7s   %9s %9s %7s\n' operation 'layer s' 'imagex s' ratio 'layer cpu' 'imagex cpu' ratio
pair capture "${driver[@]}" capture "$work/tree" "$work/cap.wim" "$code" -- \
  wimlib-imagex capture "$work/tree" "$work/cap.wim" "${imagex_flags[@]}" --threads="$threads"
pair apply "${driver[@]}" apply "$work/src.wim" 1 "$work/out" -- \
  wimlib-imagex apply "$work/src.wim" 1 "$work/out"
pair export "${driver[@]}" export "$work/src.wim" 1 "$work/exp.wim" "$code" -- \
  wimlib-imagex export "$work/src.wim" 1 "$work/exp.wim" "${imagex_flags[@]}" --threads="$threads"
