#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Sets everything up, builds, and runs every test (GoogleTest through ctest),
# then each fuzz target briefly.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
# Two at a time, one for each core: every mount test touches only the mounts
# in folders it made itself, so tests side by side do not disturb each other.
ctest --test-dir build --output-on-failure --timeout 900 -j2
FUZZ_SECONDS=${FUZZ_SECONDS:-15} bash scripts/fuzz.sh
