#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The i386 (x86) build from the same source, on an x86-64 Debian 12 machine
# through multiarch: installs the i386 packages, builds the program, the
# imaging layer and its mount service into build-x86/, runs the tests of the
# imaging layer, its binding and the command line with them, and installs
# the build into install/x86/ beside install/x64/.
#   SKIP_TESTS=1   build and install only
set -euo pipefail
cd "$(dirname "$0")/.."

i386_packages=(qt6-base-dev:i386 libqt6opengl6-dev:i386 libgl-dev:i386 libwim-dev:i386
               libpugixml-dev:i386 libgtest-dev:i386 libgmock-dev:i386 g++-multilib)
missing=()
for p in "${i386_packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  echo "build-x86: installing ${missing[*]}"
  dpkg --print-foreign-architectures | grep -qx i386 || $sudo dpkg --add-architecture i386
  $sudo apt-get update -q
  # The i386 libraries must have the very versions of their x86-64 twins:
  # apt brings the x86-64 ones up to date where needed.
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q "${missing[@]}"
fi

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
cmake -S . -B build-x86 -G Ninja -DKESTREL_WERROR=ON -DCMAKE_TOOLCHAIN_FILE=cmake/i386-linux-gnu.cmake \
      "${launcher[@]}" "$@" >/dev/null
targets=(Kestrel Kestrel_Launcher wimgapi kestrel-wimserv kestrel_package_data)
# The file-manager integration too, once its targets exist.
for t in KestrelShell kestrel-nautilus; do
  ninja -C build-x86 -t query "$t" >/dev/null 2>&1 && targets+=("$t")
done
[ "${SKIP_TESTS:-0}" = 1 ] || targets+=(wimgapi_tests wimgapi_writer imaging_tests app_tests)
ninja -C build-x86 "${targets[@]}"
file -L build-x86/x86/Kestrel | grep -q "ELF 32-bit LSB.*Intel 80386" || { echo "build-x86: not an i386 program" >&2; exit 1; }

if [ "${SKIP_TESTS:-0}" != 1 ]; then
  # The imaging layer with its FUSE mounts, the binding (the carried layer is
  # loaded from memory and checked for the i386 machine) and the whole
  # command line through the i386 program: every test of the binaries built
  # above, one process each as ctest runs them; the mount tests one at a time.
  ctest --test-dir build-x86 --output-on-failure --timeout 900 -j2 -E '_NOT_BUILT$|Mount|Fuse'
  ctest --test-dir build-x86 --output-on-failure --timeout 900 -E '_NOT_BUILT$' -R 'Mount|Fuse'
fi
cmake --install build-x86 --prefix install >/dev/null
# On a system that calls itself 32-bit the launcher starts this build (the
# program holds the pipe until it ends, so reading it waits for the program).
if command -v setarch >/dev/null && setarch i686 true 2>/dev/null; then
  version=$(setarch i686 install/Kestrel_Launcher --version | cat)
  [ "${version#Kestrel }" != "$version" ] || { echo "build-x86: the launcher did not start install/x86/Kestrel" >&2; exit 1; }
fi
echo "build-x86: install/x86/Kestrel"
