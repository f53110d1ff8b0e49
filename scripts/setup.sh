#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian 12 packages Kestrel builds, runs and tests with.
# Idempotent: packages that are present are left alone; apt-get update runs
# only when something is missing.
set -euo pipefail

packages=(
  # build
  g++ cmake ninja-build pkg-config
  # libraries
  qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev libgl-dev
  # icon sources: SVG and TIFF pictures through Qt's image plugins
  qt6-svg-dev qt6-image-formats-plugins
  libwim-dev libpugixml-dev lzma-dev
  # tests and cross-checks
  libgtest-dev libgmock-dev wimtools
  # killing a change at each of its writes (fault injection)
  strace
  # fuzzing (libFuzzer comes with clang)
  clang libclang-rt-14-dev
  # mounting: fusermount for libfuse2, which wimlib uses
  fuse
  # the window without a desktop, the Chinese interface texts and Qt's own
  # texts (standard buttons, file dialogs) in the interface's language
  xvfb xauth fonts-wqy-microhei qt6-translations-l10n
  # file-manager integration
  shared-mime-info desktop-file-utils xdg-utils
  # the GNOME Files menu extension and the thumbnailer's sandbox
  libnautilus-extension-dev bubblewrap
  # the static i386 launcher, the Debian package and its checks
  g++-multilib dpkg-dev lintian
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "setup: installing ${missing[*]}"
$sudo apt-get update -q
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q "${missing[@]}"
