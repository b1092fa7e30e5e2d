#!/usr/bin/env bash
# Builds the Debian package from the build tree, unpacks it into a scratch root
# and checks what a user gets: the files in their places, a valid menu entry,
# no Loader.dat where the program looks for one, and the installed program
# starting up to its main window and keeping its settings in the user's folder.
# Usage: install_test.sh <build dir> <window probe library>
set -euo pipefail
build=$1
probe=$2
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
for tool in cpack dpkg-deb dpkg-shlibdeps file desktop-file-validate; do
  command -v "$tool" >/dev/null || fail "$tool is missing (scripts/setup.sh installs it)"
done
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$scratch/pkg" >"$scratch/cpack.log" 2>&1 ||
  { cat "$scratch/cpack.log"; fail "cpack could not make the package"; }
debs=("$scratch"/pkg/varnek-test_*_amd64.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "no single varnek-test_<version>_amd64.deb: ${debs[*]}"
deb=${debs[0]}

depends=$(dpkg-deb -f "$deb" Depends)
for need in qt6-translations-l10n libqt6widgets6 'libqcustomplot[^ ,]*' 'libmuparser[^ ,]*' libc6; do
  grep -Eq "(^|, )$need( |,|$)" <<<"$depends" || fail "Depends lacks $need: $depends"
done

root=$scratch/root
dpkg -x "$deb" "$root"
for f in usr/bin/varnek-test usr/bin/ecusim; do
  [ -x "$root/$f" ] || fail "$f is not installed"
done
[ "$(ls "$root/usr/bin" | tr '\n' ' ')" = "ecusim varnek-test " ] || fail "usr/bin holds more: $(ls "$root/usr/bin")"
doc=$root/usr/share/doc/varnek-test
grep -q "Version 3, 29 June 2007" "$doc/LICENSE" || fail "no GPL-3 text in share/doc"
grep -q "GPL-3.0-or-later" "$doc/copyright" || fail "the copyright file does not name the licence"
grep -q "apt install .*varnek-test_.*_amd64.deb" "$doc/README.md" || fail "the README lacks the install command"
for size in 16 22 24 32 48 64 128 256; do
  png=$root/usr/share/icons/hicolor/${size}x${size}/apps/varnek-test.png
  kind=$(file "$png")
  grep -q "PNG image data, $size x $size" <<<"$kind" || fail "icon ${size}x${size}: $kind"
done
grep -q "<svg" "$root/usr/share/icons/hicolor/scalable/apps/varnek-test.svg" || fail "no scalable icon"

# The only Loader.dat is the simulator's stand-in, in ecusim's own folder.
loaders=$(cd "$root" && find . -name Loader.dat)
[ "$loaders" = "./usr/share/ecusim/Loader.dat" ] || fail "Loader.dat found at: $loaders"
grep -q "NOT A REAL ECU LOADER" "$root/usr/share/ecusim/Loader.dat" || fail "the stand-in does not say what it is"

entry=$root/usr/share/applications/varnek-test.desktop
desktop-file-validate "$entry" || fail "desktop-file-validate rejects the menu entry"
for line in "Name=Varnek Test" "Exec=varnek-test" "Icon=varnek-test" "Comment=" "Comment\[ru\]=" "Categories="; do
  grep -q "^$line" "$entry" || fail "the menu entry lacks $line"
done

help=$("$root/usr/bin/ecusim" --help) || fail "ecusim --help failed"
grep -q "/usr/share/ecusim/Loader.dat" <<<"$help" || fail "ecusim --help does not tell where its stand-in loader is"

# The installed program, as a user starts it: nothing of the caller's own
# settings, a home of its own, no display.
home=$scratch/home
mkdir "$home"
set +e
out=$(cd "$home" && env -i PATH=/usr/bin:/bin HOME="$home" QT_QPA_PLATFORM=offscreen LD_PRELOAD="$probe" \
  timeout 120 "$root/usr/bin/varnek-test" 2>"$scratch/stderr")
rc=$?
set -e
[ $rc -eq 0 ] || { cat "$scratch/stderr"; fail "the installed program ended with $rc; it printed: $out"; }
grep -qx "window: frmMain tufeka Varnek test v 1.0" <<<"$out" || fail "no main window: $out"
grep -qx "icon: yes" <<<"$out" || fail "the window has no icon"
# Installed, it keeps its files in the user's folders, never beside itself.
[ -f "$home/.config/varnek-test/cfg.ini" ] ||
  fail "cfg.ini is not in ~/.config/varnek-test; found: $(find "$home" "$root/usr/bin" -name cfg.ini)"
[ "$(ls "$root/usr/bin" | tr '\n' ' ')" = "ecusim varnek-test " ] || fail "the program wrote beside itself: $(ls "$root/usr/bin")"
echo "package $(basename "$deb") checked"
