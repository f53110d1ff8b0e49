#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Renders every page of the main window offscreen into PNG files, so that the
# window can be looked at without a desktop.
#   tools/screenshots.sh [build folder, default build] [output folder, default screenshots]
# KESTREL_SCREENSHOT_LANGUAGE=English renders in that language (the file's
# base name in Languages/; the built-in Chinese otherwise).
# The program runs in a throw-away home, so the user's settings are not touched.
set -eu
build=${1:-build}
out=${2:-screenshots}
program="$build/x64/Kestrel"
[ -x "$program" ] || program="$build/x86/Kestrel"
if [ ! -x "$program" ]; then
    echo "screenshots: no Kestrel in $build/x64 or $build/x86; build it first" >&2
    exit 2
fi
mkdir -p "$out"
out=$(cd "$out" && pwd)
home=$(mktemp -d "${TMPDIR:-/tmp}/kestrel-shots-XXXXXX")
trap 'rm -rf "$home"' EXIT
mkdir -p "$home/.config" "$home/.local/state" "$home/.local/share" "$home/.cache"
if [ -n "${KESTREL_SCREENSHOT_LANGUAGE:-}" ]; then
    mkdir -p "$home/.config/Kestrel"
    printf '[General]\nLanguage=%s\n' "$KESTREL_SCREENSHOT_LANGUAGE" > "$home/.config/Kestrel/Kestrel.conf"
fi
HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_STATE_HOME="$home/.local/state" \
XDG_DATA_HOME="$home/.local/share" XDG_CACHE_HOME="$home/.cache" \
QT_QPA_PLATFORM=offscreen KESTREL_SCREENSHOT_DIR="$out" "$program"
ls "$out"/page*.png
