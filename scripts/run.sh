#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Sets everything up, builds and installs Kestrel, then runs its main job:
# the main window when a display is available, otherwise the built-in
# demonstration (scripts/demo.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec install/x64/Kestrel "$@"
fi
echo "run: no display; running the command-line demonstration instead of the window"
exec bash scripts/demo.sh
