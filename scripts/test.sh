#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Sets everything up, builds, and runs every test (GoogleTest through ctest),
# then each fuzz target briefly.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
# One test at a time: the mount tests list, and some remove, every image
# mount of the machine, so two of them side by side would disturb each other.
ctest --test-dir build --output-on-failure --timeout 900
FUZZ_SECONDS=${FUZZ_SECONDS:-15} bash scripts/fuzz.sh
