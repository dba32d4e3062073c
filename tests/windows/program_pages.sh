#!/usr/bin/env bash
# tessera.exe under wine on a (virtual) display against virtual-qm8620.exe: it starts, finds
# the meter, shows its five pages, writes their screenshots (--screenshot) and ends cleanly.
# Run once more without a meter: the Configuration page must look different then, since with
# the meter it shows the meter's settings.
#   program_pages.sh WINDOWS_BIN SCREENSHOT_DIR
set -uo pipefail
win=${1:?Windows bin folder}
shots=${2:?screenshot folder}
fail() { echo "FAIL: $*" >&2; exit 1; }
command -v wine >/dev/null || fail "wine is not installed (Debian package wine)"
[ -n "${DISPLAY:-}" ] || fail "needs a display: tools/windows.sh runs the Windows tests inside xvfb-run"

work=$(mktemp -d "${TMPDIR:-/tmp}/tessera-wine-gui-XXXXXX")
meter=""
cleanup() {
  [ -n "$meter" ] && kill "$meter" 2>/dev/null && wait "$meter" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
winpath() { local p=${1//\//\\}; printf 'Z:%s' "$p"; }
export TESSERA_DEVICE_ROOT
TESSERA_DEVICE_ROOT=$(winpath "$work/root")
mkdir -p "$work/root"

pages=(1-effective-value-logger 2-entire-read 3-configuration 4-version 5-survey)
# Runs the program with --screenshot into $1; it must end by itself, successfully.
screenshots() {
  local into=$1
  rm -rf "$into"
  mkdir -p "$into"
  (cd "$work" && timeout 300 wine "$win/tessera.exe" --screenshot "$(winpath "$into")" >"$into.log" 2>&1)
  local rc=$?
  [ "$rc" = 0 ] || { cat "$into.log" >&2; fail "tessera.exe ended with status $rc (124: it did not end by itself)"; }
  for p in "${pages[@]}"; do
    local f="$into/$p.png"
    [ -s "$f" ] || fail "tessera.exe wrote no $p.png into $into"
    # The PNG header's width and height (big-endian at bytes 16 and 20): a whole window.
    local w h
    w=$(od -An -tu1 -j16 -N4 "$f" | awk '{print $1*16777216+$2*65536+$3*256+$4}')
    h=$(od -An -tu1 -j20 -N4 "$f" | awk '{print $1*16777216+$2*65536+$3*256+$4}')
    [ "$w" -ge 400 ] && [ "$h" -ge 300 ] || fail "$p.png is only ${w}x${h}"
  done
}

wine "$win/virtual-qm8620.exe" --entry demo --demo >"$work/meter.log" 2>&1 &
meter=$!
for _ in $(seq 1 600); do
  grep -q '^virtual-qm8620: serving' "$work/meter.log" && break
  kill -0 "$meter" 2>/dev/null || break
  sleep 0.1
done
grep -q '^virtual-qm8620: serving' "$work/meter.log" || fail "the virtual meter did not come up: $(cat "$work/meter.log")"

screenshots "$shots"
kill "$meter" 2>/dev/null
wait "$meter" 2>/dev/null
meter=""
screenshots "$work/without-meter"
if cmp -s "$shots/3-configuration.png" "$work/without-meter/3-configuration.png"; then
  fail "the Configuration page looks the same with and without the meter: the meter's settings are not shown"
fi
echo "tessera.exe under wine: five pages written to $shots and ended by itself"
