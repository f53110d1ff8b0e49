#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Start-up cost of the carried modules: unpacking wimlib and the imaging layer
# from their LZMA containers and loading them from memory, alone and as part
# of the whole binding. Then, when the program is built, the wall time of a
# whole program start that binds and exits at once (a packer call with an
# unknown action), with and without the imaging layer beside the program.
#
#   bench/startup.sh [build-dir] [runs]     (default: build, 15 runs)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
runs=${2:-15}
[ -f "$build/build.ninja" ] || cmake -S . -B "$build" -G Ninja >/dev/null
ninja -C "$build" kestrel-startup-bench >/dev/null
"$build/tools/kestrel-startup-bench" "$runs"

program="$build/x64/Kestrel"
[ -x "$program" ] || { echo "startup: $program is not built; whole-program start skipped"; exit 0; }

# The program runs in a private home so that it reads no real settings.
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
median_ms() { # command...: median wall time of $runs runs
  for _ in $(seq "$runs"); do
    local t0 t1
    t0=$(date +%s%N)
    HOME="$home" XDG_CONFIG_HOME="$home/.config" QT_QPA_PLATFORM=offscreen "$@" >/dev/null 2>&1 || true
    t1=$(date +%s%N)
    echo $(( (t1 - t0) / 1000 ))
  done | sort -n | awk '{ v[NR] = $1 } END { printf "%.2f", v[int((NR + 1) / 2)] / 1000 }'
}
printf '%-48s %8s ms\n' "program start, imaging layer beside it" "$(median_ms "$program" LZMA /None x y)"
# A copy of the program in an empty folder binds the carried imaging layer.
mkdir -p "$home/alone"
cp "$program" "$home/alone/Kestrel"
printf '%-48s %8s ms\n' "program start, carried imaging layer" "$(median_ms "$home/alone/Kestrel" LZMA /None x y)"
