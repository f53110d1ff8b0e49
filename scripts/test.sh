#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Sets everything up, builds, and runs every test (GoogleTest through ctest),
# the i386 build's share of them and the package's checks, then each fuzz
# target briefly.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
# Two at a time, one for each core. The tests that mount images touch only
# their own mounts, but some watch the machine's whole mount list (the page
# shows every mount), which a mount made beside them changes: those run one
# at a time afterwards.
ctest --test-dir build --output-on-failure --timeout 900 -j2 -E 'Mount|Fuse'
ctest --test-dir build --output-on-failure --timeout 900 -R 'Mount|Fuse'
# The i386 build and its share of the tests, after the x86-64 ones (its mount
# tests change the mount list too); then the Debian package, installed and
# used through /usr/bin/kestrel when run as root (as CI does), and removed.
bash scripts/build-x86.sh
bash scripts/package.sh
FUZZ_SECONDS=${FUZZ_SECONDS:-15} bash scripts/fuzz.sh
