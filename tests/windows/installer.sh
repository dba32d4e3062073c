#!/usr/bin/env bash
# The installer under wine: a silent install puts the programs, Qt, the runtime, Bulklink.dll,
# instlaunch.exe and accuracy.dat under Program Files with two Start-menu entries and an
# uninstall entry; the installed tessera-cli.exe runs; a silent uninstall leaves nothing.
#   installer.sh SETUP_EXE      (installs into $WINEPREFIX: use a throw-away prefix)
set -uo pipefail
setup=${1:?the installer}
fail() { echo "FAIL: $*" >&2; exit 1; }
command -v wine >/dev/null || fail "wine is not installed (Debian package wine)"
[ -s "$setup" ] || fail "no installer at $setup (build the target installer)"
prefix=${WINEPREFIX:-$HOME/.wine}
dir="$prefix/drive_c/Program Files/TESSERA"
menu="$prefix/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/TESSERA"
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\TESSERA'
[ -e "$dir" ] && fail "$dir exists before the install"

wine "$setup" /S || fail "the silent install failed"
for f in tessera.exe tessera-cli.exe virtual-qm8620.exe Bulklink.dll instlaunch.exe accuracy.dat uninstall.exe \
         Qt6Core.dll Qt6Gui.dll Qt6Widgets.dll Qt6PrintSupport.dll platforms/qwindows.dll \
         styles/qwindowsvistastyle.dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll; do
  [ -s "$dir/$f" ] || fail "the install lacks $f"
done
[ -s "$menu/TESSERA.lnk" ] || fail "no Start-menu entry for the program"
[ -s "$menu/QM8620 virtual meter (try without a meter).lnk" ] || fail "no Start-menu entry for the virtual meter"
wine reg query "$key" /v DisplayVersion 2>/dev/null | grep -q DisplayVersion || fail "no uninstall entry $key"

# The installed programs work from anywhere: help, and the library beside tessera-cli.exe
# loads (no meter here: "connection failed", status 4, not "library missing", status 3).
out=$(cd / && wine 'C:\Program Files\TESSERA\tessera-cli.exe' help 2>&1 | tr -d '\r')
echo "$out" | grep -q '^Usage: tessera-cli COMMAND' || fail "the installed tessera-cli.exe help: $out"
(cd / && TESSERA_DEVICE_ROOT='C:\no-meters-here' wine 'C:\Program Files\TESSERA\tessera-cli.exe' identify >/dev/null 2>&1)
rc=$?
[ "$rc" = 4 ] || fail "the installed tessera-cli.exe identify without a meter answered $rc, not 4 (no meter)"

# The uninstaller copies itself away and runs from there: wait (bounded) for it to finish.
wine "$dir/uninstall.exe" /S || fail "the silent uninstall did not start"
for _ in $(seq 1 600); do
  [ -e "$dir" ] || [ -e "$menu" ] || break
  sleep 0.1
done
[ -e "$dir" ] && fail "left behind: $(cd "$dir" && find . | head -20)"
[ -e "$menu" ] && fail "the Start-menu folder is left behind"
wine reg query "$key" >/dev/null 2>&1 && fail "the uninstall entry is left behind"
wine reg query 'HKLM\Software\TESSERA' >/dev/null 2>&1 && fail "HKLM\\Software\\TESSERA is left behind"
echo "installer: installed, ran tessera-cli.exe help, uninstalled; nothing left"
