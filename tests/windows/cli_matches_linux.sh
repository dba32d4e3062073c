#!/usr/bin/env bash
# The Windows edition end to end under wine: virtual-qm8620.exe --demo serves its named-pipe
# registry entry, tessera-cli.exe finds it through Bulklink.dll and runs identify, read, log
# (three samples) and config show. Every answer and every file written must be the same as
# the Linux build's tessera-cli gives against the Linux virtual-qm8620 with the same options
# (only the log's START TIME line, the clock, may differ). Then the same with file names in a
# folder named "Prüfung Ω", which the ANSI code page of Windows cannot hold: convert, read
# back, config save and apply.
#   cli_matches_linux.sh WINDOWS_BIN HOST_BIN
set -uo pipefail
win=${1:?Windows bin folder}
host=${2:-}
fail() { echo "FAIL: $*" >&2; exit 1; }
[ -n "$host" ] && [ -x "$host/tessera-cli" ] && [ -x "$host/virtual-qm8620" ] ||
  fail "needs the Linux build's tessera-cli and virtual-qm8620 (configure with -DTESSERA_HOST_BIN=<host build>/bin)"
command -v wine >/dev/null || fail "wine is not installed (Debian package wine)"
# Wine hands the programs their arguments decoded in this locale: UTF-8, as the names are.
export LC_ALL=C.UTF-8

work=$(mktemp -d "${TMPDIR:-/tmp}/tessera-wine-cli-XXXXXX")
meter=""
cleanup() {
  [ -n "$meter" ] && kill "$meter" 2>/dev/null && wait "$meter" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
# Wine maps drive Z: to the Unix root.
winpath() { local p=${1//\//\\}; printf 'Z:%s' "$p"; }

# Starts a meter ($@) with its output in $1.log and waits (bounded) until it serves.
start_meter() {
  local log=$1; shift
  "$@" >"$log" 2>&1 &
  meter=$!
  for _ in $(seq 1 600); do
    grep -q '^virtual-qm8620: serving' "$log" && return 0
    kill -0 "$meter" 2>/dev/null || break
    sleep 0.1
  done
  cat "$log" >&2
  fail "the virtual meter did not come up: $*"
}
stop_meter() { kill "$meter" 2>/dev/null; wait "$meter" 2>/dev/null; meter=""; }

# The same jobs on both sides; standard output (line ends aside: the Windows console writes
# CR LF) and the files they write are kept for comparison.
jobs=("identify" "read -o memory.CSV --yes" "log --period 1s --method fixed --samples 3 -o live.CSV --yes"
      "config show")
run_jobs() {
  local side=$1; shift
  mkdir -p "$work/$side"
  local i=0
  for job in "${jobs[@]}"; do
    i=$((i + 1))
    # shellcheck disable=SC2086
    (cd "$work/$side" && "$@" $job >"out-$i.txt" 2>&1; echo "exit $?" >>"out-$i.txt")
    tr -d '\r' <"$work/$side/out-$i.txt" >"$work/$side/out-$i.norm"
  done
  sed -i 's/^6 START TIME,.*/6 START TIME,<clock>\r/' "$work/$side/live.CSV" 2>/dev/null
}

# Files in a folder with letters outside the ANSI code page, named by absolute paths as the
# side writes them ($2: a function turning a Linux path into one): out-ascii-N.norm.
folder_jobs() {
  local side=$1 topath=$2; shift 2
  local dir="$work/$side/Prüfung Ω"
  mkdir -p "$dir"
  cp "$work/$side/memory.CSV" "$dir/in.CSV"
  local in mg set
  in=$($topath "$dir/in.CSV")
  mg=$($topath "$dir/mG Ω.CSV")
  set=$($topath "$dir/meter Ω.SET")
  local i=0 job
  for job in "convert|$in|--unit|mG|-o|$mg|--yes" "convert|$mg|--unit|uT" "config|save|$set|--yes" \
             "config|apply|$set"; do
    i=$((i + 1))
    local words
    IFS='|' read -r -a words <<<"$job"
    "$@" "${words[@]}" >"$work/$side/folder-$i.txt" 2>&1
    echo "exit $?" >>"$work/$side/folder-$i.txt"
    # The names printed differ between the sides; everything else must not.
    tr -d '\r' <"$work/$side/folder-$i.txt" | grep -v 'Ω' >"$work/$side/folder-$i.norm"
  done
}
unixpath() { printf '%s' "$1"; }

mkdir -p "$work/linux-root" "$work/windows-root"
start_meter "$work/linux-meter.log" "$host/virtual-qm8620" --root "$work/linux-root" --entry demo --demo --seed 7 \
  --control "$work/linux-control"
TESSERA_DEVICE_ROOT="$work/linux-root" run_jobs linux "$host/tessera-cli"
TESSERA_DEVICE_ROOT="$work/linux-root" folder_jobs linux unixpath "$host/tessera-cli"
stop_meter

export TESSERA_DEVICE_ROOT
TESSERA_DEVICE_ROOT=$(winpath "$work/windows-root")
start_meter "$work/windows-meter.log" wine "$win/virtual-qm8620.exe" --entry demo --demo --seed 7
grep -q 'serving Z:.*windows-root.{B1EC3545' "$work/windows-meter.log" ||
  fail "the meter did not register under the private root: $(cat "$work/windows-meter.log")"
run_jobs windows wine "$win/tessera-cli.exe"
folder_jobs windows winpath wine "$win/tessera-cli.exe"
stop_meter

status=0
i=0
for job in "${jobs[@]}"; do
  i=$((i + 1))
  if ! diff -u "$work/linux/out-$i.norm" "$work/windows/out-$i.norm"; then
    echo "tessera-cli $job: the Windows edition answers differently (above)" >&2
    status=1
  fi
done
for f in memory.CSV live.CSV; do
  [ -s "$work/linux/$f" ] || { echo "the Linux run wrote no $f" >&2; status=1; continue; }
  if ! cmp "$work/linux/$f" "$work/windows/$f"; then
    diff -u <(cat -A "$work/linux/$f") <(cat -A "$work/windows/$f") >&2
    echo "$f differs between the editions (above)" >&2
    status=1
  fi
done
for i in 1 2 3 4; do
  if ! diff -u "$work/linux/folder-$i.norm" "$work/windows/folder-$i.norm"; then
    echo "tessera-cli job $i in \"Prüfung Ω\": the Windows edition answers differently (above)" >&2
    status=1
  fi
  grep -qx 'exit 0' "$work/windows/folder-$i.norm" || { echo "job $i in \"Prüfung Ω\" failed" >&2; status=1; }
done
for f in "mG Ω.CSV" "meter Ω.SET"; do
  cmp "$work/linux/Prüfung Ω/$f" "$work/windows/Prüfung Ω/$f" || { echo "$f differs or is missing" >&2; status=1; }
done
grep -q '^Model: QM8620' "$work/windows/out-1.norm" || { echo "identify found no QM8620" >&2; status=1; }
[ "$status" = 0 ] &&
  echo "tessera-cli.exe under wine: identify, read, log, config show and files in \"Prüfung Ω\" as on Linux"
exit $status
