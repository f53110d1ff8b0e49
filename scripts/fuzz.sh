#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the libFuzzer targets with clang in build-fuzz/ and runs each one for
# FUZZ_SECONDS (default 20). Exits non-zero when a fuzzer finds a crash.
set -euo pipefail
cd "$(dirname "$0")/.."
secs=${FUZZ_SECONDS:-20}
if ! command -v clang++ >/dev/null; then
  echo "fuzz: clang++ is not installed; run scripts/setup.sh" >&2
  exit 1
fi
cmake -S . -B build-fuzz -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
      -DKESTREL_FUZZ=ON -DKESTREL_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
targets=$(cd tests/fuzz && ls fuzz_*.cpp 2>/dev/null | sed 's/\.cpp$//' || true)
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
  echo "fuzz: $t for ${secs}s"
  ASAN_OPTIONS=detect_leaks=1 build-fuzz/fuzz/$t -max_total_time="$secs" -rss_limit_mb=2048 \
      -artifact_prefix=build-fuzz/ "$corpus" 2>build-fuzz/$t.log || { tail -40 build-fuzz/$t.log; exit 1; }
done
echo "fuzz: all targets ran clean"
