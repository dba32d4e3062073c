#!/usr/bin/env bash
# The whole suite: a normal build, then the same tests under AddressSanitizer and
# UndefinedBehaviorSanitizer in a second build directory.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)
export QT_QPA_PLATFORM=offscreen
# Tests that name their scratch directories after the test (GoogleTest's TempDir, else the
# shared /tmp) get this worktree's own, so test runs of several checkouts on one machine
# never remove each other's files.
export TEST_TMPDIR="$PWD/build/test-tmp"
mkdir -p "$TEST_TMPDIR"

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

# Qt and fontconfig keep process-lifetime caches that LeakSanitizer would report as leaks.
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTESSERA_SANITIZE=ON >/dev/null
cmake --build build-asan -j "$jobs"
ctest --test-dir build-asan --output-on-failure -j "$jobs"

# The fuzzers (clang, libFuzzer, ASan+UBSan) over every reader of outside bytes: each over
# its seed corpus, then a few seconds of fuzzing.
tools/fuzz.sh test

# The Windows deliverables (Bulklink.dll, instlaunch.exe, the link core): cross-built with
# mingw-w64 for both architectures; the 64-bit test programs run under wine64. Skipped when
# either tool is missing. Runs headless in a throw-away wine prefix.
wine_bin=$(command -v wine64 || command -v wine || true)
if command -v x86_64-w64-mingw32-g++ >/dev/null 2>&1 && command -v i686-w64-mingw32-g++ >/dev/null 2>&1 &&
   [ -n "$wine_bin" ] && { command -v wine64 >/dev/null 2>&1 || [ -x /usr/lib/wine/wine64 ]; }; then
  win_flags=(-G Ninja -DCMAKE_BUILD_TYPE=Release -DTESSERA_WITH_GUI=OFF -DTESSERA_WINDOWS_CORE_ONLY=ON)
  cmake -S . -B build-win64 "${win_flags[@]}" -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-x86_64-w64-mingw32.cmake >/dev/null
  cmake --build build-win64 -j "$jobs"
  cmake -S . -B build-win32 "${win_flags[@]}" -DTESSERA_WITH_TESTS=OFF \
    -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-w64-mingw32.cmake >/dev/null
  cmake --build build-win32 -j "$jobs"

  WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/tessera-wine-XXXXXX")
  export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  cleanup_wine() { WINEPREFIX="$WINEPREFIX" wineserver -k >/dev/null 2>&1 || true; rm -rf "$WINEPREFIX"; }
  trap cleanup_wine EXIT
  # A fresh prefix once (about 10-20 s), then one wineserver kept for every test program.
  env -u DISPLAY -u WAYLAND_DISPLAY "$wine_bin" wineboot -i >/dev/null 2>&1 || true
  wineserver -p >/dev/null 2>&1 || true
  env -u DISPLAY -u WAYLAND_DISPLAY ctest --test-dir build-win64 --output-on-failure
else
  echo "Windows step skipped: needs x86_64-w64-mingw32-g++, i686-w64-mingw32-g++ and wine64" >&2
fi
