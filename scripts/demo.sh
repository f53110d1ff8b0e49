#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The main job without a window: capture the sample folder into a new image
# file, show the file's information, apply the image into a fresh folder and
# compare the result with the sample.
set -uo pipefail
cd "$(dirname "$0")/.."
kestrel=install/x64/Kestrel
out=$(mktemp -d "${TMPDIR:-/tmp}/kestrel-demo-XXXXXX")
wim="$out/demo.wim"

step() {
  echo "demo: $1"
  shift
  if ! "$@"; then
    echo "demo: this step failed; the demonstration stops here" >&2
    exit 1
  fi
}

step "capture samples/demo into $wim" "$kestrel" /Capture samples/demo "$wim,Kestrel demo"
# The window shows this on its information page; without one, wimlib's own
# tool prints it, and checks the file Kestrel wrote at the same time.
step "information of $wim" wimlib-imagex info "$wim"
step "verify $wim" wimlib-imagex verify "$wim"
step "apply image 1 into $out/applied" "$kestrel" /Apply "$wim,1" "$out/applied"
step "compare the applied folder with the sample" diff -r samples/demo "$out/applied"
echo "demo: done; the image file and the applied folder are in $out"
