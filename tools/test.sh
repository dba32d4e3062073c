#!/usr/bin/env bash
# The whole suite: a normal build, then the same tests under AddressSanitizer and
# UndefinedBehaviorSanitizer in a second build directory, then the Windows edition under wine.
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

# The Windows edition: Qt for Windows (built once per machine, cached), the programs, the
# installer, both architectures; its tests under wine on a virtual display. A missing tool
# fails the run with its name (tools/bootstrap.sh installs them all).
tools/windows.sh test
