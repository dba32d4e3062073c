#!/usr/bin/env bash
# install_test.sh BUILD VERSION SOVERSION APP_ID
# Installs the build with `cmake --install` into a throw-away DESTDIR, makes the Debian
# package and unpacks it with dpkg-deb -x; in each tree the installed programs run against
# the installed virtual meter with nothing of the build tree, the desktop entry and the
# metainfo pass their validators, and every version shown is VERSION. The package itself:
# version, computed dependencies, maintainer scripts, lintian without errors.
set -euo pipefail
build=$1 version=$2 soversion=$3 app_id=$4

fail() { echo "install test: $*" >&2; exit 1; }
for tool in cmake cpack dpkg-deb lintian desktop-file-validate appstreamcli readelf timeout; do
  command -v "$tool" >/dev/null || fail "$tool is missing (tools/bootstrap.sh installs it)"
done

work=$(mktemp -d "${TMPDIR:-/tmp}/tessera-install.XXXXXX")
meter_pid=
cleanup() {
  [ -n "$meter_pid" ] && kill "$meter_pid" 2>/dev/null && wait "$meter_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# The programs must not find anything through the build's environment.
unset TESSERA_DEVICE_ROOT LD_LIBRARY_PATH
export TESSERA_RUNTIME_DIR=$work/runtime
mkdir -m 700 "$TESSERA_RUNTIME_DIR"

# check_tree PREFIX_DIR: everything below an installed prefix (…/usr).
check_tree() {
  local usr=$1 bin=$1/bin share=$1/share
  echo "install test: checking ${usr#"$work"/}"

  # Exactly the programs, no build tools or test programs (the USB driver where it was built).
  local programs
  programs=$(cd "$bin" && ls | grep -vx 'tessera-usbd' | tr '\n' ' ')
  [ "$programs" = "tessera tessera-cli virtual-qm8620 " ] || fail "programs installed: $programs"
  for p in "$bin"/*; do
    [ "$("$p" --version </dev/null)" = "$(basename "$p") $version" ] || fail "$p --version: $("$p" --version)"
  done
  # The window's program answers --version before it needs a display.
  [ "$(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb "$bin/tessera" --version)" = "tessera $version" ] ||
    fail "tessera --version needs a display"

  # The transport library: in its private directory under its SONAME, not beside the programs.
  local lib
  lib=$(find "$usr/lib" -path "*/tessera/libBulklink.so.$soversion")
  [ -n "$lib" ] || fail "no <libdir>/tessera/libBulklink.so.$soversion under $usr/lib"
  readelf -d "$lib" | grep -q "SONAME.*\[libBulklink.so.$soversion\]" || fail "$lib has no SONAME libBulklink.so.$soversion"
  [ -z "$(find "$usr" -name 'libBulklink.so')" ] || fail "a development link libBulklink.so is installed"
  [ -f "$share/tessera/accuracy.dat" ] || fail "no share/tessera/accuracy.dat"
  [ -f "$share/tessera/references.txt" ] || fail "no share/tessera/references.txt"

  # Desktop entry, icons, metainfo.
  local desktop=$share/applications/$app_id.desktop metainfo=$share/metainfo/$app_id.metainfo.xml
  desktop-file-validate "$desktop" || fail "desktop-file-validate $desktop"
  grep -qx "Icon=$app_id" "$desktop" || fail "the desktop entry names another icon"
  grep -qx "Exec=tessera" "$desktop" || fail "the desktop entry does not start tessera"
  for size in 16 22 24 32 48 64 128 256; do
    local png=$share/icons/hicolor/${size}x${size}/apps/$app_id.png
    file -b "$png" | grep -q "PNG image data, $size x $size" || fail "$png is not a $size x $size PNG"
  done
  [ -s "$share/icons/hicolor/scalable/apps/$app_id.svg" ] || fail "no scalable icon"
  appstreamcli validate --no-net "$metainfo" || fail "appstreamcli validate $metainfo"
  grep -q "<release version=\"$version\"" "$metainfo" || fail "the metainfo's release is not $version"

  # Man pages: this version, and every command of tessera-cli described.
  for page in tessera tessera-cli virtual-qm8620 tessera-usbd; do
    zcat "$share/man/man1/$page.1.gz" | grep -q "^\.TH .*\"TESSERA $version\"" || fail "man page $page: not version $version"
  done
  local commands
  commands=$("$bin/tessera-cli" help | sed -n 's/^  \([a-z][a-z-]*\).*/\1/p' | grep -vx help)
  [ -n "$commands" ] || fail "tessera-cli help lists no commands"
  for c in $commands; do
    zcat "$share/man/man1/tessera-cli.1.gz" | grep -q "^\.BI\? $c\( \|$\)" || fail "man tessera-cli does not describe \"$c\""
  done

  # Bash completion, run against the installed program.
  PATH="$bin:$PATH" bash -c '
    source "$1"
    complete_words() { COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _tessera_cli; echo "${COMPREPLY[*]}"; }
    [ "$(complete_words tessera-cli st)" = "stats status" ] || exit 1
    [ "$(complete_words tessera-cli log --method "")" = "fixed average maximum" ] || exit 2
    [ "$(complete_words tessera-cli stats --quantity "")" = "R x y z" ] || exit 3
    [ "$(complete_words tessera-cli stats --reference icnirp2010-p)" = "icnirp2010-public" ] || exit 4
  ' _ "$share/bash-completion/completions/tessera-cli" || fail "bash completion of tessera-cli (step $?)"

  # The installed programs against the installed virtual meter, from an empty directory.
  local reg=$work/registry run=$work/run
  # The log goes first: the background meter truncates it only once it runs, and until then
  # the wait below would read the previous tree's "serving" line.
  rm -rf "$reg" "$run" "$work/meter.log" && mkdir -p "$reg" "$run"
  "$bin/virtual-qm8620" --root "$reg" --demo --control "$work/control" >"$work/meter.log" 2>&1 &
  meter_pid=$!
  for _ in $(seq 1 200); do
    grep -q '^virtual-qm8620: serving ' "$work/meter.log" && break
    kill -0 "$meter_pid" 2>/dev/null || break
    sleep 0.05
  done
  grep -q "^virtual-qm8620: serving " "$work/meter.log" || { ls -la "$work"; ps -p "$meter_pid" -o pid,stat,cmd; fail "the virtual meter did not come up: $(cat "$work/meter.log")"; }
  export TESSERA_DEVICE_ROOT=$reg
  (cd "$run" && "$bin/tessera-cli" status) | grep -qx "Model: QM8620" || fail "tessera-cli status found no meter"
  # Entire Read needs accuracy.dat: found in the data directory.
  (cd "$run" && "$bin/tessera-cli" read -o memory.CSV --yes >/dev/null) || fail "tessera-cli read failed"
  [ "$(grep -c '^[0-9]' "$run/memory.CSV")" = 25 ] || fail "tessera-cli read: not the 25 demo measurements"
  # The survey's reference profiles: found in the data directory too.
  (cd "$run" && "$bin/tessera-cli" references) | grep -qx "icnirp2010-public" ||
    fail "tessera-cli references found no installed profiles"
  (cd "$run" && "$bin/tessera-cli" stats memory.CSV --reference icnirp2010-public >/dev/null) ||
    fail "tessera-cli stats failed on the downloaded measurements"
  # A copy beside the program comes before the data directory's, and a damaged one stops.
  head -c 100 "$share/tessera/accuracy.dat" >"$bin/accuracy.dat"
  local status=0
  (cd "$run" && "$bin/tessera-cli" read -o again.CSV --yes >/dev/null 2>"$work/read.err") || status=$?
  rm "$bin/accuracy.dat"
  [ "$status" -ne 0 ] && grep -q "accuracy.dat" "$work/read.err" || fail "a damaged accuracy.dat beside the program was not used"
  # The window's program: starts, shows its pages, quits (a missing library or table would
  # leave it waiting behind a message box: the timeout catches that).
  (cd "$run" && QT_QPA_PLATFORM=offscreen timeout 120 "$bin/tessera" --screenshot "$run/shots" >/dev/null 2>&1) ||
    fail "tessera --screenshot failed or hung"
  [ "$(ls "$run/shots" | wc -l)" = 5 ] || fail "tessera wrote $(ls "$run/shots" | wc -l) pages, not 5"
  unset TESSERA_DEVICE_ROOT
  kill "$meter_pid" && wait "$meter_pid" 2>/dev/null || true
  meter_pid=
}

prefix=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$build/CMakeCache.txt")
DESTDIR="$work/destdir" cmake --install "$build" >/dev/null
check_tree "$work/destdir$prefix"

cpack --config "$build/CPackConfig.cmake" -B "$work/pkg" >"$work/cpack.log" 2>&1 || fail "cpack: $(cat "$work/cpack.log")"
deb=$(ls "$work"/pkg/*.deb)
[ "$(basename "$deb")" = "tessera_${version}_$(dpkg --print-architecture).deb" ] || fail "package file $(basename "$deb")"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version $(dpkg-deb -f "$deb" Version)"
# Depends comes from dpkg-shlibdeps (the C library and Qt's widgets at least), plus the Qt
# SVG plug-ins that draw the icons, which it cannot see.
depends=$(dpkg-deb -f "$deb" Depends)
[[ $depends == *"libc6 (>="* && $depends == *"libqt6widgets6 (>="* && $depends == *"libqt6svg6"* ]] ||
  fail "Depends: $depends"
dpkg-deb -x "$deb" "$work/debroot"
[ ! -e "$work/debroot/usr/local" ] || fail "the package installs into /usr/local"
check_tree "$work/debroot/usr"

# Maintainer scripts exactly when the package holds udev rules or systemd units.
dpkg-deb -e "$deb" "$work/control"
if [ -n "$(find "$work/debroot" -path '*/udev/rules.d/*.rules')" ]; then
  grep -q "udevadm control --reload-rules" "$work/control/postinst" || fail "postinst does not reload the udev rules"
fi
if [ -n "$(find "$work/debroot" -path '*/systemd/system/*')" ]; then
  grep -q "daemon-reload" "$work/control/postinst" || fail "postinst does not reload systemd"
fi
if [ -z "$(find "$work/debroot" -path '*/udev/rules.d/*' -o -path '*/systemd/system/*')" ]; then
  [ ! -e "$work/control/postinst" ] || fail "a postinst with nothing to look after"
fi

lintian --fail-on error "$deb" >"$work/lintian.log" 2>&1 || fail "lintian: $(cat "$work/lintian.log")"
grep '^[EW]:' "$work/lintian.log" || true
echo "install test: ok"
