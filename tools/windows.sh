#!/usr/bin/env bash
# The Windows edition, cross-built here with mingw-w64 against Qt for Windows built from
# Debian's own source (tools/build-qt-windows.sh; built once per machine into a cache):
#   build-win64/bin      tessera.exe, tessera-cli.exe, virtual-qm8620.exe, Bulklink.dll,
#                        instlaunch.exe, accuracy.dat, the Qt and mingw runtime DLLs
#   build-win64/tessera-<version>-win64-setup.exe    the installer (NSIS)
#   build-win32/bin      Bulklink.dll and instlaunch.exe for 32-bit Windows
#
#   tools/windows.sh         build all of it (make windows)
#   tools/windows.sh test    build it, then run the Windows tests under wine in a throw-away
#                            prefix on a virtual display (the Windows step of make test)
set -euo pipefail
cd "$(dirname "$0")/.."
mode=${1:-build}
case "$mode" in build | test) ;; *) echo "usage: tools/windows.sh [build|test]" >&2; exit 2 ;; esac
jobs=$(nproc 2>/dev/null || echo 2)

missing=()
need() { command -v "$1" >/dev/null 2>&1 || missing+=("$1 (Debian: $2)"); }
need x86_64-w64-mingw32-g++-posix mingw-w64
need i686-w64-mingw32-g++-posix mingw-w64
need makensis nsis
need dpkg-source dpkg-dev
if [ "$mode" = test ]; then
  need wine wine
  need wineserver wine
  need xvfb-run xvfb
fi
if [ ${#missing[@]} -gt 0 ]; then
  printf 'windows: missing: %s\n' "${missing[@]}" >&2
  echo "windows: run tools/bootstrap.sh as root, then again." >&2
  exit 1
fi

# The host tools the cross build runs (the icon renderer, the accuracy table generator) and,
# for the tests, the Linux tessera-cli and virtual meter the Windows edition is compared with.
host_targets=(tessera-svg2png make-accuracy)
[ "$mode" = test ] && host_targets+=(tessera-cli virtual-qm8620 Bulklink accuracy_dat)
[ -f build/CMakeCache.txt ] || cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$jobs" --target "${host_targets[@]}"

qt=$(tools/build-qt-windows.sh)
qt_toolchain="$qt/lib/cmake/Qt6/qt.toolchain.cmake"
# A folder configured another way (without Qt, against another Qt) starts afresh.
if [ -f build-win64/CMakeCache.txt ] &&
   ! grep -qxF "CMAKE_TOOLCHAIN_FILE:FILEPATH=$qt_toolchain" build-win64/CMakeCache.txt; then
  rm -rf build-win64
fi
cmake -S . -B build-win64 -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$qt_toolchain" \
  -DQT_CHAINLOAD_TOOLCHAIN_FILE="$PWD/cmake/toolchain-x86_64-w64-mingw32.cmake" \
  -DTESSERA_MINGW_SHARED_RUNTIME=ON -DTESSERA_HOST_BIN="$PWD/build/bin" >/dev/null
cmake --build build-win64 -j "$jobs"
cmake --build build-win64 --target installer
cmake -S . -B build-win32 -G Ninja -DCMAKE_BUILD_TYPE=Release -DTESSERA_WITH_GUI=OFF -DTESSERA_WINDOWS_CORE_ONLY=ON \
  -DTESSERA_WITH_TESTS=OFF -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-w64-mingw32.cmake >/dev/null
cmake --build build-win32 -j "$jobs"
echo "windows: built build-win64/bin, $(ls build-win64/tessera-*-win64-setup.exe) and build-win32/bin"
[ "$mode" = test ] || exit 0

# The tests: a fresh wine prefix (nothing of an earlier run, no user's settings), one
# wineserver kept for all of them, a virtual display for the window and the installer.
# The Windows programs choose their own platform plugin (test.sh asks the Linux ones for offscreen).
unset QT_QPA_PLATFORM
# test.sh gives each checkout its own scratch folder; a Windows program needs it as a Windows
# path (wine shows the Linux file system as drive Z:).
if [ -n "${TEST_TMPDIR:-}" ]; then
  TEST_TMPDIR="Z:$(printf '%s' "$TEST_TMPDIR" | tr / '\\')"
  export TEST_TMPDIR
fi
WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/tessera-wine-XXXXXX")
# No menu builder: it would put the installer's Start-menu entries into the developer's own
# desktop menu, pointing into a prefix that is gone when the tests end.
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
cleanup_wine() {
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$WINEPREFIX"
}
trap cleanup_wine EXIT
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  wine wineboot -i >/dev/null 2>&1 || { echo "windows: wine could not make its prefix" >&2; exit 1; }
  wineserver -p
  ctest --test-dir build-win64 --output-on-failure -j "$1"' _ "$jobs"
