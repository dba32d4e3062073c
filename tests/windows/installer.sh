#!/usr/bin/env bash
# The installer under wine: a silent install into a folder named with letters the ANSI code
# page cannot hold puts the programs, Qt, the runtime, Bulklink.dll, instlaunch.exe and
# accuracy.dat there, with two Start-menu entries and an uninstall entry (and no entries in
# the desktop menu of whoever runs the tests); the installed tessera-cli.exe runs and finds
# its accuracy.dat; a silent uninstall while the installed virtual meter runs leaves the
# files in use for the next restart, and after it nothing is left.
#   installer.sh SETUP_EXE      (installs into $WINEPREFIX: use a throw-away prefix)
set -uo pipefail
setup=${1:?the installer}
fail() { echo "FAIL: $*" >&2; exit 1; }
command -v wine >/dev/null || fail "wine is not installed (Debian package wine)"
[ -s "$setup" ] || fail "no installer at $setup (build the target installer)"
# Wine decodes the programs' arguments in this locale, and names them on disk in it: UTF-8.
export LC_ALL=C.UTF-8
# Wine's menu builder would copy the Start-menu entries into the desktop menu of the account
# running the tests, pointing into a prefix that is gone afterwards.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:+$WINEDLLOVERRIDES;}winemenubuilder.exe=d"
prefix=${WINEPREFIX:-$HOME/.wine}
windir='C:\Prüfung Ω\TESSERA'
dir="$prefix/drive_c/Prüfung Ω/TESSERA"
menu="$prefix/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/TESSERA"
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\TESSERA'
[ -e "$dir" ] && fail "$dir exists before the install"
work=$(mktemp -d "${TMPDIR:-/tmp}/tessera-wine-setup-XXXXXX")
meter=""
cleanup() {
  [ -n "$meter" ] && kill "$meter" 2>/dev/null && wait "$meter" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# NSIS takes the folder from the end of its command line as it stands, never quoted (wine
# would quote an argument with a space), so cmd is handed the whole line.
setup_win=$(realpath "$setup")
setup_win="Z:${setup_win//\//\\}"
wine cmd /c "$setup_win /S /D=$windir" || fail "the silent install failed"
for f in tessera.exe tessera-cli.exe virtual-qm8620.exe Bulklink.dll instlaunch.exe accuracy.dat uninstall.exe \
         Qt6Core.dll Qt6Gui.dll Qt6Widgets.dll Qt6PrintSupport.dll platforms/qwindows.dll \
         styles/qwindowsvistastyle.dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll; do
  [ -s "$dir/$f" ] || fail "the install lacks $f"
done
[ -s "$menu/TESSERA.lnk" ] || fail "no Start-menu entry for the program"
[ -s "$menu/QM8620 virtual meter (try without a meter).lnk" ] || fail "no Start-menu entry for the virtual meter"
wine reg query "$key" /v DisplayVersion 2>/dev/null | grep -q DisplayVersion || fail "no uninstall entry $key"
desktop_entries=$(grep -rlF "$prefix" "${XDG_DATA_HOME:-$HOME/.local/share}/applications" \
  "${XDG_CONFIG_HOME:-$HOME/.config}/menus" 2>/dev/null)
[ -z "$desktop_entries" ] || fail "desktop menu entries into the test prefix: $desktop_entries"

# The installed programs work from anywhere: help, and the library beside tessera-cli.exe
# loads (no meter here: "connection failed", status 4, not "library missing", status 3).
cli="$windir\\tessera-cli.exe"
out=$(cd / && wine "$cli" help 2>&1 | tr -d '\r')
echo "$out" | grep -q '^Usage: tessera-cli \[--meter SERIAL\] COMMAND' || fail "the installed tessera-cli.exe help: $out"
(cd / && TESSERA_DEVICE_ROOT='C:\no-meters-here' wine "$cli" identify >/dev/null 2>&1)
rc=$?
[ "$rc" = 4 ] || fail "the installed tessera-cli.exe identify without a meter answered $rc, not 4 (no meter)"
# The accuracy table beside the program, in that folder: a unit conversion needs it.
printf '%s\r\n' "TAVIK 8620 IMPORT MODE SOFTWARE VER.1.05 EN" "DATA" \
  "NO,MODE,AXIS,UNIT,RANGE,x,y,z,R,OUTPUT,SLOW,SENSOR,R+Accuracy,R-Accuracy" \
  "1,Magnetic Flux Density(10Hz-400kHz),x,uT,2.000uT,1.500,0.000,0.000,1.500,OFF,OFF,8621,1.501,1.499" \
  >"$work/in.CSV"
out=$(cd "$work" && wine "$cli" convert in.CSV --unit mG 2>&1 | tr -d '\r')
echo "$out" | grep -q '^1,Magnetic Flux Density(10Hz-400kHz),x,mG,2.000uT,15.00,' ||
  fail "the installed tessera-cli.exe convert: $out"

# Uninstalling while the installed virtual meter runs: a silent uninstall goes on, removes
# what it can and leaves the files in use for the next restart, which removes them.
TESSERA_DEVICE_ROOT='C:\uninstall-meter' wine "$windir\\virtual-qm8620.exe" --demo >"$work/meter.log" 2>&1 &
meter=$!
for _ in $(seq 1 600); do
  grep -q '^virtual-qm8620: serving' "$work/meter.log" && break
  sleep 0.1
done
grep -q '^virtual-qm8620: serving' "$work/meter.log" || fail "the installed virtual meter did not start"
# The uninstaller copies itself away and runs from there: wait (bounded) for its last step.
wine "$dir/uninstall.exe" /S || fail "the silent uninstall did not start"
for _ in $(seq 1 600); do
  wine reg query "$key" >/dev/null 2>&1 || break
  sleep 0.1
done
wine reg query "$key" >/dev/null 2>&1 && fail "the uninstall entry is left behind"
[ -e "$dir/virtual-qm8620.exe" ] || fail "the running virtual meter's file was removed under it"
[ -e "$dir/tessera.exe" ] && fail "a file not in use was left: tessera.exe"
pending=$(wine reg query 'HKLM\System\CurrentControlSet\Control\Session Manager' /v PendingFileRenameOperations 2>&1)
echo "$pending" | grep -qF 'virtual-qm8620.exe' || fail "the file in use is not removed at the next restart: $pending"
kill "$meter" 2>/dev/null
wait "$meter" 2>/dev/null
meter=""
wine wineboot -r >/dev/null 2>&1  # a restart
for _ in $(seq 1 300); do
  [ -e "$dir" ] || break
  sleep 0.1
done
[ -e "$dir" ] && fail "left behind after the restart: $(cd "$dir" && find . | head -20)"
[ -e "$menu" ] && fail "the Start-menu folder is left behind"
wine reg query 'HKLM\Software\TESSERA' >/dev/null 2>&1 && fail "HKLM\\Software\\TESSERA is left behind"
echo "installer: installed into \"$windir\", ran tessera-cli.exe, uninstalled beside a running meter; nothing left"
