#!/usr/bin/env bash
# Qt 6 for 64-bit Windows, cross-built with mingw-w64 from Debian's own qt6-base source package,
# the same version as the host's Qt tools (moc, rcc and uic of the host serve the cross build).
# Only what the program uses: Core, Gui, Widgets, PrintSupport, the windows platform plugin and
# the vista style; shared libraries, Release.
#
# The result lives in a cache outside the repository, one folder per Qt version:
#   ${TESSERA_QT_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/tessera}/qt6-win64-<debian version>
# A stamp file written last marks a complete install; a folder without a matching stamp (an
# interrupted build, other options) is removed and built again.
#
#   tools/build-qt-windows.sh            build when the cache is missing or invalid; print the prefix
#   tools/build-qt-windows.sh --check    exit 0 when the cache is valid, 1 otherwise
#   tools/build-qt-windows.sh --prefix   print the prefix (valid or not)
set -euo pipefail

die() { echo "build-qt-windows: $*" >&2; exit 1; }

version=$(dpkg-query -W -f='${Version}' qt6-base-dev 2>/dev/null) ||
  die "qt6-base-dev is not installed; run tools/bootstrap.sh first"
cache_root=${TESSERA_QT_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/tessera}
prefix=$cache_root/qt6-win64-$version
stamp=$prefix/.tessera-complete
triple=x86_64-w64-mingw32

# Every option that shapes the result; a change of any of them makes an old cache invalid.
qt_options=(
  -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
  -DQT_BUILD_TESTS=OFF -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_BENCHMARKS=OFF
  -DFEATURE_network=OFF -DFEATURE_sql=OFF -DFEATURE_dbus=OFF -DFEATURE_opengl=OFF
  -DFEATURE_testlib=OFF -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF -DFEATURE_vulkan=OFF
  -DFEATURE_icu=OFF -DFEATURE_glib=OFF -DFEATURE_jpeg=OFF -DFEATURE_zstd=OFF
  -DFEATURE_gui=ON -DFEATURE_widgets=ON -DFEATURE_printsupport=ON
  -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_png=OFF
  -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_freetype=OFF
  -DFEATURE_system_doubleconversion=OFF -DFEATURE_system_textmarkdownreader=OFF
  # Debian's source drops the tablet header the windows plugin includes.
  -DFEATURE_tabletevent=OFF
  # With OpenGL off the windows plugin only compiles without the dynamic GL loader.
  -DFEATURE_dynamicgl=OFF
  # Direct2D stays on: without it QtGui leaves out the DirectWrite font engine that
  # PrintSupport's Windows print engine calls, and PrintSupport does not link.
)
expected_stamp="qt6-base $version; $(printf '%s\n' "${qt_options[@]}" | sha256sum | cut -c1-16)"

# What the Windows edition takes from the install; a cache that lost any of it is rebuilt.
needed=(bin/Qt6Core.dll bin/Qt6Gui.dll bin/Qt6Widgets.dll bin/Qt6PrintSupport.dll plugins/platforms/qwindows.dll
        plugins/platforms/qminimal.dll plugins/styles/qwindowsvistastyle.dll lib/cmake/Qt6/qt.toolchain.cmake)
valid() {
  [ -f "$stamp" ] && [ "$(head -n1 "$stamp")" = "$expected_stamp" ] || return 1
  local f
  for f in "${needed[@]}"; do [ -e "$prefix/$f" ] || return 1; done
}

case "${1:-}" in
  --check) valid; exit ;;
  --prefix) echo "$prefix"; exit 0 ;;
  "") ;;
  *) die "unknown option $1" ;;
esac

if valid; then echo "$prefix"; exit 0; fi

for tool in $triple-gcc-posix $triple-g++-posix $triple-windres cmake ninja dpkg-source apt-get; do
  command -v "$tool" >/dev/null || die "$tool is missing; run tools/bootstrap.sh first"
done

mkdir -p "$cache_root"
# One builder at a time: a second caller (make test beside make windows) waits, then finds
# the finished cache.
exec 9>"$cache_root/qt6-win64.lock"
if ! flock -n 9; then
  echo "build-qt-windows: another build of Qt for Windows is running; waiting for it" >&2
  flock 9
fi
if valid; then echo "$prefix"; exit 0; fi

log=$cache_root/qt6-win64-$version.log
work=$cache_root/qt6-win64-$version.work
echo "build-qt-windows: building Qt $version for Windows into $prefix (about 15 minutes on 2 cores; log: $log)" >&2
rm -rf "$prefix" "$work"
mkdir -p "$work"
: >"$log"
start=$(date +%s)
note() { echo "[$(( $(date +%s) - start ))s] $*" >>"$log"; }
fail() { note "FAILED: $*"; echo "build-qt-windows: $* (last lines of $log:)" >&2; tail -n 30 "$log" >&2; exit 1; }

# The source needs a deb-src entry. Add one for the running release when there is none.
if ! apt-get source --print-uris "qt6-base=$version" >/dev/null 2>&1; then
  [ "$(id -u)" -eq 0 ] ||
    die "apt has no source entry for qt6-base $version; as root add a deb-src line for your Debian release and run 'apt-get update'"
  . /etc/os-release
  note "adding /etc/apt/sources.list.d/tessera-deb-src.sources for $VERSION_CODENAME"
  cat >/etc/apt/sources.list.d/tessera-deb-src.sources <<EOF
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: $VERSION_CODENAME $VERSION_CODENAME-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
  apt-get update -qq >>"$log" 2>&1 || fail "apt-get update failed"
fi

note "fetching qt6-base $version source"
# apt hands the download to its unprivileged _apt user, which must be able to write there.
chmod 755 "$work"
(cd "$work" && apt-get source -qq "qt6-base=$version") >>"$log" 2>&1 ||
  fail "apt-get source qt6-base=$version failed"
src=$(find "$work" -mindepth 1 -maxdepth 1 -type d \( -name 'qt6-base-*' -o -name 'qtbase*' \) | head -n1)
[ -n "$src" ] || fail "no source folder after apt-get source"

cat >"$work/toolchain.cmake" <<EOF
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER $triple-gcc-posix)
set(CMAKE_CXX_COMPILER $triple-g++-posix)
set(CMAKE_RC_COMPILER $triple-windres)
set(CMAKE_FIND_ROOT_PATH /usr/$triple)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
EOF

launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  # Qt compiles with precompiled headers; ccache caches those only with these allowances.
  export CCACHE_SLOPPINESS=pch_defines,time_macros,include_file_mtime,include_file_ctime
fi

note "configuring"
cmake -S "$src" -B "$work/build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$work/toolchain.cmake" \
  -DCMAKE_INSTALL_PREFIX="$prefix" "${launcher[@]}" "${qt_options[@]}" >>"$log" 2>&1 ||
  fail "configuring Qt failed"
note "building"
cmake --build "$work/build" -j "$(nproc 2>/dev/null || echo 2)" >>"$log" 2>&1 || fail "building Qt failed"
note "installing"
cmake --install "$work/build" >>"$log" 2>&1 || fail "installing Qt failed"
for f in "${needed[@]}"; do
  [ -e "$prefix/$f" ] || fail "the install lacks $f"
done

elapsed=$(( $(date +%s) - start ))
note "done in ${elapsed}s"
printf '%s\nbuilt %s in %ss\n' "$expected_stamp" "$(date -u +%FT%TZ)" "$elapsed" >"$stamp"
rm -rf "$work"
echo "build-qt-windows: Qt for Windows ready in ${elapsed}s" >&2
echo "$prefix"
