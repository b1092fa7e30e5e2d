#!/usr/bin/env bash
# The whole program for 64-bit Windows, made on Debian 12: varnek-test.exe
# with Qt for Windows, a portable zip and an NSIS installer; with "test" also
# checked under Wine on Xvfb against the simulator.
#
# Usage: scripts/windows-app.sh [build|test]   (default build; test builds first)
#   VARNEK_QT_WIN       cache folder of the cross-built Qt
#                       (default ~/.cache/varnek-test/qt-6.4.2-win64)
#   VARNEK_QT_WIN_SEED  an archive of that Qt (qt-win/ inside), unpacked when
#                       the cache is missing, instead of building Qt (an hour)
#
# Made in build-win/: app/ (the CMake build), dist/varnek-test-<version>-win64/,
# dist/varnek-test-<version>-win64.zip and dist/varnek-test-<version>-setup.exe.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
mode=${1:-build}
case $mode in build | test) ;; *) echo "usage: $0 [build|test]" >&2; exit 2 ;; esac
out=$root/build-win
app=$out/app
started=$SECONDS
say() { echo "windows-app.sh: $*"; }

sudo=()
((EUID == 0)) || sudo=(sudo)

# --- What it needs. Debian's source packages (Qt, QCustomPlot) need deb-src.
need=()
for p in g++-mingw-w64-x86-64-posix wine wine64 nsis qt6-base-dev qt6-base-dev-tools qt6-translations-l10n \
  googletest dpkg-dev zip unzip ninja-build cmake xvfb xauth xdotool; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || need+=("$p")
done
if ((${#need[@]})); then
  say "installing ${need[*]}"
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi
source_package() {  # source_package <name> <folder>: Debian's source, unpacked into <folder>
  local name=$1 dir=$2
  if ! grep -rqs '^Types:.*deb-src\|^deb-src' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    say "enabling Debian's source packages (deb-src) for apt-get source"
    # The same archives the machine installs from, as source.
    if [[ -f /etc/apt/sources.list.d/debian.sources ]]; then
      sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources |
        "${sudo[@]}" tee /etc/apt/sources.list.d/varnek-test-src.sources >/dev/null
    fi
    if [[ -f /etc/apt/sources.list ]]; then
      sed -n 's/^deb /deb-src /p' /etc/apt/sources.list | "${sudo[@]}" tee /etc/apt/sources.list.d/varnek-test-src.list >/dev/null
    fi
    "${sudo[@]}" apt-get update -qq
  fi
  rm -rf "$dir.tmp"
  mkdir -p "$dir.tmp"
  (cd "$dir.tmp" && apt-get source -qq "$name" >/dev/null 2>&1) || { say "apt-get source $name failed"; exit 1; }
  rm -rf "$dir"
  mv "$(find "$dir.tmp" -mindepth 1 -maxdepth 1 -type d | head -1)" "$dir"
  rm -rf "$dir.tmp"
}

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
mingw=x86_64-w64-mingw32
gcc_dlls=$(dirname "$($mingw-g++-posix -print-libgcc-file-name)")

# --- Qt for Windows, cached outside the clone and keyed by its recipe: Qt's
# Debian version (host tools and source must match), the switches, the compiler.
qt_version=$(dpkg-query -W -f='${Version}' qt6-base-dev)
qt_switches=(-G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
  -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF
  -DFEATURE_system_zlib=OFF -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF -DFEATURE_system_freetype=OFF
  -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_doubleconversion=OFF
  -DFEATURE_system_libb2=OFF -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF
  -DFEATURE_opengl=OFF -DFEATURE_vulkan=OFF -DFEATURE_testlib=OFF -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF
  -DFEATURE_zstd=OFF -DFEATURE_icu=OFF -DFEATURE_tabletevent=OFF)
qt_targets=(Core Gui Widgets PrintSupport QWindowsIntegrationPlugin QWindowsVistaStylePlugin EntryPointImplementation)
qt_recipe="qt6-base $qt_version; g++-mingw-w64-x86-64-posix $(dpkg-query -W -f='${Version}' g++-mingw-w64-x86-64-posix); ${qt_switches[*]}; ${qt_targets[*]}; isSoftwareGl needs opengl"
recipe_sum=$(printf '%s' "$qt_recipe" | sha256sum | cut -c1-16)
# The seed archive (../shared/toolchains/README.md) is taken when Qt's upstream
# version, the compiler's major version, the switches and the targets match:
# a Debian revision of either (a security update) keeps the ABI and moc's
# output, and must not cost CI an hour of building Qt.
seed_recipe="qt6-base ${qt_version%%+*}; gcc $($mingw-g++-posix -dumpversion | cut -d. -f1); ${qt_switches[*]}; ${qt_targets[*]}"
seed_recipe_sum=ec48c8a33d952935
qt_cache=${VARNEK_QT_WIN:-$HOME/.cache/varnek-test/qt-6.4.2-win64}
qt=$qt_cache/qt-win

build_qt() {
  local work=$qt_cache/work
  say "building Qt $qt_version for Windows from Debian's qt6-base source: about half an hour on 2 idle cores, longer on a busy machine"
  local t0=$SECONDS
  source_package qt6-base "$work/src"
  # With OpenGL off, dynamicgl stays on and guards OpenGL-only code.
  perl -0pi -e 's/(static inline bool isSoftwareGl\(\)\n\{\n)#if QT_CONFIG\(dynamicgl\)/$1#if QT_CONFIG(dynamicgl) && QT_CONFIG(opengl)/' \
    "$work/src/src/plugins/platforms/windows/qwindowswindow.cpp"
  grep -q 'QT_CONFIG(dynamicgl) && QT_CONFIG(opengl)' "$work/src/src/plugins/platforms/windows/qwindowswindow.cpp" ||
    { say "the isSoftwareGl() change no longer applies"; exit 1; }
  # Qt's libraries link the C++ runtime as DLLs: the toolchain without -static.
  sed '/CMAKE_EXE_LINKER_FLAGS_INIT/d' "$root/cmake/mingw-w64.cmake" >"$work/toolchain.cmake"
  rm -rf "$work/build" "$qt.new"
  cmake -S "$work/src" -B "$work/build" "${qt_switches[@]}" "${launcher[@]}" \
    -DCMAKE_TOOLCHAIN_FILE="$work/toolchain.cmake" -DCMAKE_INSTALL_PREFIX="$qt.new" >"$work/configure.log" 2>&1 ||
    { tail -30 "$work/configure.log"; exit 1; }
  cmake --build "$work/build" -j"$(nproc)" --target "${qt_targets[@]}"
  # Only some targets are built: the install scripts of the others' folders
  # would stop the install at their first missing file, so they are emptied.
  local tries=0 script
  until cmake --install "$work/build" >"$work/install.log" 2>&1; do
    # "CMake Error at <folder>/cmake_install.cmake:<line> (file):" names it.
    script=$(sed -n 's/^CMake Error at \(.*cmake_install\.cmake\):[0-9]* (file):.*/\1/p' "$work/install.log" | head -1)
    [[ -n $script && $script != /* ]] && script=$work/build/$script
    if [[ -z $script || ! -f $script || $script == "$work/build/cmake_install.cmake" || $tries -ge 200 ]]; then
      tail -20 "$work/install.log"
      exit 1
    fi
    : >"$script"
    tries=$((tries + 1))
  done
  # Those emptied scripts installed the targets of the plugins and private
  # modules not built, but their package files come with the modules built:
  # find_package(Qt6 Gui) would fail on each. They go, as in the seed.
  local config
  for config in "$qt.new"/lib/cmake/*/Qt6*{Plugin,Private}Config.cmake; do
    if [[ -f $config && ! -f ${config%Config.cmake}Targets.cmake ]]; then rm -f "${config%Config.cmake}"Config*.cmake; fi
  done
  rm -rf "$qt"
  mv "$qt.new" "$qt"
  rm -rf "$work"
  say "Qt for Windows built in $((SECONDS - t0)) s"
}

if [[ ! -f $qt/recipe.sha || $(cat "$qt/recipe.sha") != "$recipe_sum" ]]; then
  mkdir -p "$qt_cache"
  seed=${VARNEK_QT_WIN_SEED:-}
  [[ -n $seed && $seed != /* ]] && seed=$root/$seed
  if [[ -n $seed && -f $seed && $(printf '%s' "$seed_recipe" | sha256sum | cut -c1-16) == "$seed_recipe_sum" ]]; then
    say "unpacking Qt for Windows from $seed"
    rm -rf "$qt"
    tar -xJf "$seed" -C "$qt_cache"
  else
    [[ -n $seed ]] && say "the seed $seed was made for another Qt, compiler or switches: building Qt"
    build_qt
  fi
  echo "$recipe_sum" >"$qt/recipe.sha"
fi

# --- Qt Test for Windows, for the window's test programs only (never shipped).
# The Qt above is made without it, so it is built from the same qtbase source
# the way Qt builds a further module against an installed Qt (a few minutes):
# qtbase's own build files, syncqt and feature checks, with cmake/qt-testlib.cmake
# as the top-level project that adds only src/testlib. Kept beside that Qt,
# keyed by its recipe and by that project file.
qt_test=$qt_cache/qt-test
test_sum=$(cat "$qt/recipe.sha" cmake/qt-testlib.cmake | sha256sum | cut -c1-16)
build_qt_test() {
  local work=$qt_cache/test-work t0=$SECONDS
  say "building Qt Test for Windows from Debian's qt6-base source (a few minutes)"
  rm -rf "$work"
  source_package qt6-base "$work/src"
  cp cmake/qt-testlib.cmake "$work/src/CMakeLists.txt"
  sed '/CMAKE_EXE_LINKER_FLAGS_INIT/d' "$root/cmake/mingw-w64.cmake" >"$work/toolchain.cmake"
  rm -rf "$qt_test.new"
  cmake -S "$work/src" -B "$work/build" -G Ninja -DCMAKE_BUILD_TYPE=Release "${launcher[@]}" \
    -DCMAKE_TOOLCHAIN_FILE="$qt/lib/cmake/Qt6/qt.toolchain.cmake" -DQT_CHAINLOAD_TOOLCHAIN_FILE="$work/toolchain.cmake" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DCMAKE_INSTALL_PREFIX="$qt_test.new" >"$work/configure.log" 2>&1 || { tail -30 "$work/configure.log"; exit 1; }
  cmake --build "$work/build" -j"$(nproc)" >"$work/build.log" 2>&1 || { tail -30 "$work/build.log"; exit 1; }
  cmake --install "$work/build" >"$work/install.log" 2>&1 || { tail -20 "$work/install.log"; exit 1; }
  echo "$test_sum" >"$qt_test.new/recipe.sha"
  rm -rf "$qt_test"
  mv "$qt_test.new" "$qt_test"
  rm -rf "$work"
  say "Qt Test for Windows built in $((SECONDS - t0)) s"
}
tests=OFF
if [[ $mode == test ]]; then
  tests=ON
  [[ -f $qt_test/recipe.sha && $(cat "$qt_test/recipe.sha") == "$test_sum" ]] || build_qt_test
fi

# --- QCustomPlot from Debian's source, built with the program.
qcp_version=$(apt-cache showsrc qcustomplot 2>/dev/null | sed -n 's/^Version: //p' | head -1)
qcp=$HOME/.cache/varnek-test/qcustomplot-${qcp_version:-unknown}
if [[ ! -f $qcp/qcustomplot.cpp ]]; then
  say "fetching QCustomPlot $qcp_version (Debian's qcustomplot source)"
  source_package qcustomplot "$qcp"
fi

# --- muparser from Debian's source, built with the program (the log view's formulas).
mup_version=$(apt-cache showsrc muparser 2>/dev/null | sed -n 's/^Version: //p' | head -1)
mup=$HOME/.cache/varnek-test/muparser-${mup_version:-unknown}
if [[ ! -f $mup/include/muParser.h ]]; then
  say "fetching muparser $mup_version (Debian's muparser source)"
  source_package muparser "$mup"
fi

# --- The program (Release: -O3), with the Qt toolchain chained to ours.
cmake -S . -B "$app" -G Ninja -DCMAKE_BUILD_TYPE=Release "${launcher[@]}" \
  -DCMAKE_TOOLCHAIN_FILE="$qt/lib/cmake/Qt6/qt.toolchain.cmake" -DQT_CHAINLOAD_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" \
  -DVARNEK_WINDOWS_APP=ON -DVARNEK_QCUSTOMPLOT_SOURCE="$qcp" -DVARNEK_MUPARSER_SOURCE="$mup" -DVARNEK_TESTS=$tests -DVARNEK_BENCH=ON \
  -DQT_ADDITIONAL_PACKAGES_PREFIX_PATH="$qt_test" >/dev/null
cmake --build "$app" -j"$(nproc)"
version=$(cat "$app/varnek-version.txt")
name=varnek-test-$version-win64
dist=$out/dist/$name

# --- The folder: the exe, the DLLs it and they import (Qt's, MinGW's), the
# plugins, Qt's Russian translation, qt.conf that points Qt at them.
rm -rf "$dist"
mkdir -p "$dist/platforms" "$dist/styles" "$dist/translations"
cp "$app/varnek-test.exe" "$dist/"
cp "$qt/plugins/platforms/qwindows.dll" "$dist/platforms/"
cp "$qt/plugins/styles/qwindowsvistastyle.dll" "$dist/styles/"
cp /usr/share/qt6/translations/qtbase_ru.qm "$dist/translations/"
printf '[Paths]\nPrefix = .\nPlugins = .\nTranslations = translations\n' >"$dist/qt.conf"
imports() { $mingw-objdump -p "$1" | sed -n 's/^\s*DLL Name: //p'; }
pending=("$dist/varnek-test.exe" "$dist/platforms/qwindows.dll" "$dist/styles/qwindowsvistastyle.dll")
while ((${#pending[@]})); do
  file=${pending[0]}
  pending=("${pending[@]:1}")
  for dll in $(imports "$file"); do
    [[ -f $dist/$dll ]] && continue
    for dir in "$qt/bin" "$gcc_dlls" "/usr/$mingw/lib"; do
      if [[ -f $dir/$dll ]]; then
        cp "$dir/$dll" "$dist/"
        pending+=("$dist/$dll")
        break
      fi
    done
  done
done
cp README.md "$dist/README.md"
cp LICENSE "$dist/LICENSE.txt"
find "$dist" -name '*.exe' -o -name '*.dll' | xargs $mingw-strip --strip-unneeded
(cd "$out/dist" && rm -f "$name.zip" && zip -qr9 "$name.zip" "$name")

# --- The installer: every file of the folder, and the same list for the uninstaller.
nsis=$out/nsis
mkdir -p "$nsis"
(
  cd "$dist"
  find . -type d ! -name . | sed 's|^\./||' | sort | while read -r d; do
    printf 'CreateDirectory "$INSTDIR\\%s"\n' "${d//\//\\}"
  done
  find . -type f | sed 's|^\./||' | sort | while read -r f; do
    d=$(dirname "$f")
    [[ $d == . ]] && d= || d="\\${d//\//\\}"
    printf 'SetOutPath "$INSTDIR%s"\nFile "%s"\n' "$d" "$dist/$f"
  done
) >"$nsis/files.nsh"
(
  cd "$dist"
  find . -type f | sed 's|^\./||' | sort | while read -r f; do printf 'Delete "$INSTDIR\\%s"\n' "${f//\//\\}"; done
  find . -mindepth 1 -type d | sed 's|^\./||' | sort -r | while read -r d; do printf 'RMDir "$INSTDIR\\%s"\n' "${d//\//\\}"; done
) >"$nsis/unfiles.nsh"
makensis -V2 -INPUTCHARSET UTF8 -DVERSION="$version" -DFILES="$nsis/files.nsh" -DUNFILES="$nsis/unfiles.nsh" \
  -DICON="$root/packaging/windows/varnek-test.ico" -DOUTFILE="$out/dist/varnek-test-$version-setup.exe" \
  packaging/windows/installer.nsi >"$nsis/makensis.log" || { cat "$nsis/makensis.log"; exit 1; }

size() { du -sh --apparent-size "$1" | cut -f1; }
say "varnek-test.exe $(size "$dist/varnek-test.exe"), folder $name $(size "$dist"), $name.zip $(size "$out/dist/$name.zip"), varnek-test-$version-setup.exe $(size "$out/dist/varnek-test-$version-setup.exe")"
say "made in $((SECONDS - started)) s"
[[ $mode == test ]] || exit 0

# === The checks under Wine on Xvfb, each printing ok or FAIL.
linux=$root/build
status=0
check() {  # check <what> <command...>
  local what=$1
  shift
  if "$@"; then echo "ok   $what"; else echo "FAIL $what"; status=1; fi
}
wait_for() {  # wait_for <seconds> <command...>: until the command succeeds
  local end=$((SECONDS + $1))
  shift
  until "$@"; do
    ((SECONDS < end)) || return 1
    sleep 0.2
  done
}

# The simulator for Linux.
if [[ ! -f $linux/CMakeCache.txt ]]; then
  cmake -S . -B "$linux" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" >/dev/null
fi
cmake --build "$linux" --target ecusim -j"$(nproc)" >/dev/null

# The window's test programs that need no POSIX call (cmake/windows-app.cmake
# names those that stay Linux-only; test_settings is one of them).
window_tests=(test_app)
cmake --build "$app" -j"$(nproc)" --target "${window_tests[@]}"

# A display of our own, and a Wine prefix of our own with COM1 (K-line) and
# COM2 (LC-1) mapped to the simulator's pseudo-terminals, COM10 and COM11 to
# the test programs' lines.
work=$out/app-test
rm -rf "$work"
mkdir -p "$work/sim"
Xvfb -displayfd 1 -screen 0 1280x1024x24 -nolisten tcp >"$work/display" 2>"$work/xvfb.log" &
xvfb=$!
wait_for 20 test -s "$work/display" || { say "Xvfb did not start"; exit 1; }
export DISPLAY=:$(head -1 "$work/display")
export WINEPREFIX=$out/app-wine WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset WAYLAND_DISPLAY
simpid=
cleanup() {
  [[ -n $simpid ]] && kill "$simpid" 2>/dev/null
  wineserver -k >/dev/null 2>&1 || true
  kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
[[ -f $WINEPREFIX/system.reg ]] || wineboot -i >/dev/null 2>&1
printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\n"COM1"="%s"\n"COM2"="%s"\n"COM10"="%s"\n"COM11"="%s"\n' \
  "$work/sim/kline" "$work/sim/lc1" "$work/sim/line1" "$work/sim/line2" >"$work/ports.reg"
wine reg import "$work/ports.reg" >/dev/null 2>&1
wineserver -k >/dev/null 2>&1 || true
wineserver -w >/dev/null 2>&1 || true
wineserver -p >/dev/null 2>&1
drive=$WINEPREFIX/drive_c
appdata=$(wine cmd /c 'echo %APPDATA%' 2>/dev/null | tr -d '\r')
appdata_unix=$(winepath -u "$appdata" 2>/dev/null)/Varnek\ Test
rm -rf "$appdata_unix"

# Wine keeps 38400 where the program sets 10400 on a pseudo-terminal: the
# simulator takes any rate (a real Windows driver sets 10400).
start_sim() {  # start_sim [more ecusim switches]
  [[ -n $simpid ]] && { kill "$simpid" 2>/dev/null; wait "$simpid" 2>/dev/null || true; }
  "$linux/ecusim" --dir "$work/sim" --any-rate --run-ups 0 --blips 0 "$@" >>"$work/ecusim.log" 2>&1 &
  simpid=$!
  wait_for 10 test -e "$work/sim/lc1"
}
start_sim

# The window of a program started in the background: its X window id.
window_of() {  # window_of <seconds>
  timeout "$1" xdotool search --sync --onlyvisible --name '^tufeka Varnek test' 2>/dev/null | head -1
}
press() {  # press <window> <key...>
  xdotool windowactivate --sync "$1" >/dev/null 2>&1 || xdotool windowfocus --sync "$1" >/dev/null 2>&1 || true
  shift
  for k in "$@"; do
    xdotool key --clearmodifiers "$k"
    sleep 0.3
  done
}
gone() { ! kill -0 "$1" 2>/dev/null; }
since() { awk -v a="$1" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }'; }
is_cp1251() {  # the file has the given text in Windows-1251 and is no UTF-8
  grep -q "$(printf '%s' "$2" | iconv -f UTF-8 -t CP1251)" "$1" && ! iconv -f UTF-8 -t UTF-8 "$1" >/dev/null 2>&1
}

# --- The installer, silent; the program from the Start menu's shortcut; the uninstaller.
setup=$out/dist/varnek-test-$version-setup.exe
installed="$drive/Program Files/Varnek Test"
link="$drive/ProgramData/Microsoft/Windows/Start Menu/Programs/Varnek Test.lnk"
rm -rf "$installed"
wine "$setup" /S >/dev/null 2>&1
check "installer /S puts the program into Program Files and the Start menu" \
  test -f "$installed/varnek-test.exe" -a -f "$installed/platforms/qwindows.dll" -a -f "$link"
t0=$(date +%s.%N)
# As Explorer does: the shortcut's own target, given by its Windows path.
wine start "$(winepath -w "$link" 2>/dev/null)" >/dev/null 2>&1
main=$(window_of 90)
check "the Start menu's shortcut starts the installed program ($(since "$t0") s to its window)" \
  test -n "$main"
if [[ -n $main ]]; then
  pid=$(xdotool getwindowpid "$main" 2>/dev/null || true)
  press "$main" F10
  check "F10 closes it and the installed program keeps cfg.ini in %APPDATA%\\Varnek Test, in Windows-1251" \
    wait_for 20 is_cp1251 "$appdata_unix/cfg.ini" "Port=Нет"
  check "nothing written into its own folder" test ! -e "$installed/cfg.ini" -a ! -e "$installed/Logs"
  [[ -n $pid ]] && wait_for 20 gone "$pid"
fi
wine "$installed/uninstall.exe" /S >/dev/null 2>&1
check "the uninstaller removes every installed file and the shortcut" wait_for 30 test ! -e "$installed" -a ! -e "$link"
check "the uninstaller leaves %APPDATA%\\Varnek Test alone" test -f "$appdata_unix/cfg.ini"

# --- The portable folder from the zip, against the simulator: polling with
# a CSV log, the LC-1 on COM2, the firmware read through the menus, F10.
portable=$drive/varnek-portable
rm -rf "$portable"
mkdir -p "$portable"
unzip -q "$out/dist/$name.zip" -d "$portable"
portable=$portable/$name
cp sim/Loader.dat "$portable/"
cp "$app/bench_link_rate.exe" "$portable/"  # beside the Qt DLLs
printf '; Проверка: строка, которую программа сохраняет как есть\r\n[Ecu]\r\nPort=COM1\r\nCBR=1\r\n[Lambda]\r\nPort=COM2\r\n[Logs]\r\nWriteLog=1\r\n' |
  iconv -f UTF-8 -t CP1251 >"$portable/cfg.ini"
(cd "$portable" && exec wine varnek-test.exe >"$work/portable.log" 2>&1) &
t0=$(date +%s.%N)
main=$(window_of 60)
startup=$(since "$t0")
check "the portable program shows its window (${startup} s)" test -n "$main"
rows() { local f; f=$(ls -t "$portable"/Logs/*.csv 2>/dev/null | head -1); [[ -n $f ]] && wc -l <"$f" || echo 0; }
more_rows() { (($(rows) >= $1)); }
if [[ -n $main ]]; then
  pid=$(xdotool getwindowpid "$main" 2>/dev/null || true)
  press "$main" F2
  check "F2 connects through COM1 and the CSV log in Logs\\ gets rows" wait_for 30 more_rows 5
  before=$(rows)
  check "the log grows row by row while polling" wait_for 20 more_rows $((before + 5))
  afr_lc1() {
    local f col
    f=$(ls -t "$portable"/Logs/*.csv | head -1)
    col=$(head -1 "$f" | tr ',' '\n' | grep -nx 'AFR_LC1' | cut -d: -f1)
    [[ -n $col ]] && tail -1 "$f" | cut -d, -f"$col" | grep -Eq '^(1[0-9]|[2-9])\.[0-9]$'
  }
  check "the LC-1 on COM2 gives its AFR (the log's AFR_LC1)" wait_for 10 afr_lc1
  press "$main" F3
  sleep 2  # the session's end; then the menus
  image="$drive/firmware.bin"
  rm -f "$image"
  # Файл → Прошивка → Считать: the menu bar from Alt, the third entry, its first.
  press "$main" alt Down Down Down Right Return
  save_dialog() { xdotool search --onlyvisible --pid "$pid" 2>/dev/null | grep -vx "$main" | head -1; }
  has_dialog() { [[ -n $(save_dialog) ]]; }
  dialog=
  wait_for 120 has_dialog && dialog=$(save_dialog)
  if [[ -n $dialog ]]; then
    sleep 1
    xdotool windowfocus --sync "$dialog" >/dev/null 2>&1 || true
    xdotool type --delay 50 'C:\firmware.bin'
    xdotool key Return
  fi
  firmware_read() { [[ -f $image && $(stat -c %s "$image") == 65536 ]]; }
  check "Файл → Прошивка → Считать reads the 64 KiB image at 38400 8N2 and saves it" wait_for 30 firmware_read
  sleep 1
  press "$main" F10
  check "F10 ends the program" wait_for 30 gone "$pid"
  check "F10 wrote cfg.ini beside it, Windows-1251 kept" is_cp1251 "$portable/cfg.ini" "Проверка: строка"
fi
wineserver -k >/dev/null 2>&1 || true

# --- The window's test programs, whole, beside the program's DLLs and Qt Test,
# on the windows platform (Wine hands a QT_* variable on only as WINEQT_*), with
# the simulator's control channel for the tests that make lines of their own.
tests_dir=$work/window-tests
rm -rf "$tests_dir"
cp -r "$dist" "$tests_dir"
cp "$qt_test/bin/Qt6Test.dll" "$tests_dir/"
start_sim --control 0 --script-lines 2
control_port() { sed -n 's/^ecusim: control 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$work/ecusim.log" | tail -1; }
has_control() { [[ -n $(control_port) ]]; }
wait_for 10 has_control || say "ecusim gave no control channel"
for program in "${window_tests[@]}"; do
  cp "$app/$program.exe" "$tests_dir/"
  t0=$SECONDS
  result=0
  (cd "$tests_dir" && WINEQT_QPA_PLATFORM=windows VARNEK_SIM_CONTROL=$(control_port) \
    VARNEK_SIM_PORTS="kline=COM1,lc1=COM2,line1=COM10,line2=COM11" timeout 900 wine "$program.exe" >"$work/$program.log" 2>&1) || result=$?
  wineserver -k >/dev/null 2>&1 || true  # what a timeout left, a message box
  sed -i 's/\r$//' "$work/$program.log"  # Wine's console ends lines with CR LF
  passed=$(sed -n 's/^\[  PASSED  \] \([0-9]*\) tests\?\.$/\1/p' "$work/$program.log")
  check "$program under Wine: ${passed:-no} tests passed in $((SECONDS - t0)) s (log $work/$program.log)" test "$result" = 0
  grep '^\[  FAILED  \] [A-Za-z]' "$work/$program.log" | sort -u || true
done

# --- Figures under Wine: polling against the wire limit, each speed with a fresh simulator.
echo "windows-app.sh: polling under Wine (COM1, Wine adds latency; 10400 cannot be set on a pseudo-terminal)"
for speed in 1 2; do
  start_sim
  wine "$portable/bench_link_rate.exe" 5 COM1 "$speed" 2>&1 | { [[ $speed == 1 ]] && cat || tail -1; } || status=1
done
say "checks done in $((SECONDS - started)) s in all"
exit "$status"
