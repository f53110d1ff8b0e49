#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Configures and builds Kestrel in build/ (warnings are errors) and installs
# it into install/ (install/x64/Kestrel and the rest).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja -DKESTREL_WERROR=ON "$@" >/dev/null
ninja -C build
cmake --install build --prefix install >/dev/null
