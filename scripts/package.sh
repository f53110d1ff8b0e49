#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package of Kestrel (CPack) into build/package/, checks it and,
# as its last step, installs it on this machine with apt, runs a capture and
# apply round trip through /usr/bin/kestrel and removes it again
# (KEEP_INSTALLED=1 keeps it; NO_INSTALL=1 skips the step).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh "$@"

out=build/package
rm -rf "$out" && mkdir -p "$out"
cpack --config build/CPackConfig.cmake -B "$out" >"$out/cpack.log" 2>&1 || { cat "$out/cpack.log"; exit 1; }
deb=$(ls "$out"/kestrel_*.deb)
echo "package: $deb"

fail() { echo "package: FAILED: $*" >&2; exit 1; }

# Every file of the installed layout.
dpkg-deb --contents "$deb" | awk '{print $6 ($7 ? " " $7 " " $8 : "")}' | sed 's|^\./|/|' >"$out/contents.txt"
for f in /usr/lib/kestrel/Kestrel_Launcher /usr/lib/kestrel/x64/Kestrel /usr/lib/kestrel/x64/kestrel-wimserv \
         /usr/lib/kestrel/x64/libwimgapi.so.10.0.0 /usr/lib/kestrel/x64/Languages/English.INI \
         "/usr/bin/kestrel -> ../lib/kestrel/Kestrel_Launcher" /usr/share/applications/kestrel.desktop \
         /usr/share/icons/hicolor/48x48/apps/kestrel.png /usr/share/icons/hicolor/256x256/apps/kestrel.png \
         /usr/share/icons/hicolor/48x48/mimetypes/application-x-ms-wim.png /usr/share/mime/packages/kestrel.xml \
         /usr/share/man/man1/kestrel.1.gz /usr/share/doc/kestrel/copyright /usr/share/doc/kestrel/changelog.gz; do
  grep -qxF "$f" "$out/contents.txt" || fail "the package lacks $f"
done
if grep -q '^/usr/lib/kestrel/x64/KestrelShell$' "$out/contents.txt"; then
  grep -qxF /usr/share/thumbnailers/kestrel.thumbnailer "$out/contents.txt" || fail "the package lacks the thumbnailer"
else
  echo "package: NOTE: no shell module in this build; no thumbnailer or GNOME Files extension packaged"
fi
dpkg-deb --field "$deb" Depends | tee "$out/depends.txt"
for d in fuse fonts-wqy-microhei libqt6widgets6 libwim15 libpugixml1v5; do
  grep -q "\b$d\b" "$out/depends.txt" || fail "Depends lacks $d"
done

# The manual names every switch the program knows.
grep -o 'u"/[A-Za-z]*"' app/switches.cpp | sed 's/^u"//; s/"$//' | while read -r sw; do
  grep -q "^\.B[IR]* $sw\b" packaging/kestrel.1 || fail "kestrel.1 does not explain $sw"
done
desktop-file-validate packaging/kestrel.desktop

# lintian: no error and no warning; packaging/lintian-overrides says why the
# one override is right.
lintian --fail-on error,warning --display-info --tag-display-limit 0 "$deb" | tee "$out/lintian.txt" \
  || fail "lintian reports errors or warnings"
echo "package: lintian: $(grep -c '^E:' "$out/lintian.txt" || true) errors," \
     "$(grep -c '^W:' "$out/lintian.txt" || true) warnings, $(grep -c '^I:' "$out/lintian.txt" || true) notes"

[ "${NO_INSTALL:-0}" = 1 ] && exit 0
[ "$(id -u)" -eq 0 ] || { echo "package: not root; the install check is skipped"; exit 0; }
# The last step: install with apt, use the installed command, remove again.
export DEBIAN_FRONTEND=noninteractive
apt-get install -y -q -o DPkg::Lock::Timeout=600 "./$deb" >"$out/install.log" 2>&1 || { cat "$out/install.log"; fail "apt cannot install the package"; }
cleanup() {
  [ "${KEEP_INSTALLED:-0}" = 1 ] || apt-get remove -y -q -o DPkg::Lock::Timeout=600 --purge kestrel >/dev/null 2>&1 || true
  rm -rf "$work"
}
work=$(mktemp -d)
trap cleanup EXIT
mkdir -p "$work/source/sub dir" "$work/home"
echo "hello" >"$work/source/a.txt"
head -c 100000 /dev/urandom >"$work/source/sub dir/random.bin"
# The launcher starts the program and ends at once; the program keeps the
# pipe open until it ends, so reading the pipe to its end waits for it. Paths
# are relative, as typed in a terminal: they mean the caller's folder.
run() { (cd "$work" && HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" kestrel "$@" 2>&1 | cat); }
[ "$(command -v kestrel)" = /usr/bin/kestrel ] || fail "kestrel is not /usr/bin/kestrel on PATH"
run /Capture source "round trip.wim,Round" /Compress Lzx
wimlib-imagex verify "$work/round trip.wim" >/dev/null 2>&1 || fail "the captured file does not verify"
wimlib-imagex info "$work/round trip.wim" 1 | grep -q '^Name: *Round$' || fail "the captured image has the wrong name"
run /Apply "round trip.wim,1" applied
diff -r "$work/source" "$work/applied" || fail "the applied tree differs from the source"
run --version | grep -q "^Kestrel " || fail "kestrel --version"
man -w kestrel >/dev/null || fail "man kestrel finds no page"
# The system's triggers took in the file type and the desktop entry.
grep -q '^[0-9]*:application/x-ms-wim:\*\.esd$' /usr/share/mime/globs2 || fail "*.esd is not an image file type"
grep -q '^application/x-ms-wim=.*kestrel\.desktop' /usr/share/applications/mimeinfo.cache \
  || fail "the desktop entry is not offered for image files"
if [ -f /usr/share/thumbnailers/kestrel.thumbnailer ]; then
  program=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' /usr/share/thumbnailers/kestrel.thumbnailer)
  [ -x "$program" ] || fail "the thumbnailer names $program, which is not there"
fi
echo "package: installed with apt; /usr/bin/kestrel capture and apply round trip OK"
