#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the libFuzzer targets with clang in build-fuzz/ and runs each one for
# FUZZ_SECONDS (default 20) over its seed corpus (tests/fuzz/corpus/<target>)
# with its dictionary (tests/fuzz/<target>.dict) where it has one. A crash, a
# broken check, an input slower than FUZZ_TIMEOUT seconds (default 10) or one
# that needs more than FUZZ_RSS_MB (default 2048) is a finding: the script
# stops and exits non-zero, the input is left in build-fuzz/.
#
#   scripts/fuzz.sh                            every target, FUZZ_SECONDS each
#   scripts/fuzz.sh fuzz_xmlscan=1800 fuzz_imagefile=600   chosen targets, by hand
set -euo pipefail
cd "$(dirname "$0")/.."
secs=${FUZZ_SECONDS:-20}
timeout=${FUZZ_TIMEOUT:-10}
rss=${FUZZ_RSS_MB:-2048}
if ! command -v clang++ >/dev/null; then
  echo "fuzz: clang++ is not installed; run scripts/setup.sh" >&2
  exit 1
fi
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B build-fuzz -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ "${launcher[@]}" \
      -DKESTREL_FUZZ=ON -DKESTREL_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
declare -A seconds=()
if [ $# -gt 0 ]; then
  targets=""
  for arg in "$@"; do
    t=${arg%%=*}
    [ -f "tests/fuzz/$t.cpp" ] || { echo "fuzz: no target $t" >&2; exit 2; }
    targets="$targets $t"
    [ "$t" != "$arg" ] && seconds[$t]=${arg#*=}
  done
else
  targets=$(cd tests/fuzz && ls fuzz_*.cpp 2>/dev/null | sed 's/\.cpp$//' || true)
fi
[ -n "$targets" ] || { echo "fuzz: no fuzz targets"; exit 0; }
# The command-line library too: clang warns where gcc does not, and the
# fuzz tree is the one built with clang.
ninja -C build-fuzz $targets kestrel_app
for t in $targets; do
  corpus=build-fuzz/corpus/$t
  mkdir -p "$corpus"
  [ -d "tests/fuzz/corpus/$t" ] && cp -n tests/fuzz/corpus/$t/* "$corpus"/ 2>/dev/null || true
  # Seeds that are made rather than kept (image files written by wimlib-imagex).
  if [ -x "tests/fuzz/corpus/$t/make_seeds.sh" ]; then
    rm -f "$corpus/make_seeds.sh"
    "tests/fuzz/corpus/$t/make_seeds.sh" "$corpus"
  fi
  opts=(-max_total_time="${seconds[$t]:-$secs}" -timeout="$timeout" -rss_limit_mb="$rss" -malloc_limit_mb="$rss"
        -artifact_prefix=build-fuzz/$t- -print_final_stats=1)
  [ -f "tests/fuzz/$t.dict" ] && opts+=(-dict="tests/fuzz/$t.dict")
  asan=detect_leaks=1
  case $t in
    # Whole files: big enough for a few images, small enough to stay fast.
    # wimlib checks its own allocations, which an impossible size in a
    # damaged header makes fail; that must read as a failed allocation.
    fuzz_imagefile) opts+=(-max_len=262144); asan=detect_leaks=1:allocator_may_return_null=1 ;;
    # What a file manager hands the thumbnailer unasked: any allocation
    # beyond the limit is a finding.
    fuzz_thumbnail) opts+=(-max_len=262144) ;;
    *) opts+=(-max_len=65536) ;;
  esac
  echo "fuzz: $t for ${seconds[$t]:-$secs}s"
  ASAN_OPTIONS=$asan build-fuzz/fuzz/$t "${opts[@]}" "$corpus" 2>build-fuzz/$t.log \
      || { tail -40 build-fuzz/$t.log; exit 1; }
  grep -E '^stat::number_of_executed_units|^#[0-9]+ +DONE' build-fuzz/$t.log | tr '\n' ' '; echo
done
echo "fuzz: all targets ran clean"
