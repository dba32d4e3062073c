#!/usr/bin/env bash
# `make run`: starts tessera (the build is done by the Makefile) against a virtual QM8620
# with its demo memory in a private device registry, unless a real meter is served in
# /run/tessera; the virtual meter is stopped when the program ends. Without a display the
# window cannot open: a headless job with tessera-cli runs instead.
set -uo pipefail

build="${1:-build}"
shift || true  # further arguments go to tessera (for example --screenshot DIR)
bin="$(cd "$build/bin" 2>/dev/null && pwd)" || { echo "run: $build/bin does not exist; build first (make build)." >&2; exit 1; }
# The instrument interface class names the registry's class directory; its one definition
# is in the transport's identities header, so the script reads it from there.
ids="$(cd "$(dirname "$0")/.." && pwd)/transport/InstrumentIds.h"
class="$(sed -n 's/.*INSTRUMENT_INTERFACE_CLASS_TEXT = "\([^"]*\)".*/\1/p' "$ids" 2>/dev/null)"
if [ -z "$class" ]; then
  echo "run: cannot read the instrument interface class from $ids." >&2
  exit 1
fi

real_meter_present() {
  local dir="/run/tessera/$class"
  [ -d "$dir" ] && [ -n "$(find "$dir" -mindepth 1 -maxdepth 1 -type d ! -name '.*' 2>/dev/null)" ]
}

work=""
meter_pid=""
cleanup() {
  if [ -n "$meter_pid" ] && kill -0 "$meter_pid" 2>/dev/null; then
    kill "$meter_pid" 2>/dev/null
    wait "$meter_pid" 2>/dev/null
  fi
  [ -n "$work" ] && rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

if real_meter_present; then
  echo "run: a QM8620 is connected (/run/tessera); using it."
else
  if [ ! -x "$bin/virtual-qm8620" ]; then
    echo "run: $bin/virtual-qm8620 is not built; build first (make build)." >&2
    exit 1
  fi
  work="$(mktemp -d "${TMPDIR:-/tmp}/tessera-run.XXXXXX")"
  export TESSERA_DEVICE_ROOT="$work/devices"
  mkdir -p "$TESSERA_DEVICE_ROOT"
  "$bin/virtual-qm8620" --root "$TESSERA_DEVICE_ROOT" --entry qm8620-demo --demo \
    --control "$work/control" >"$work/meter.log" 2>&1 &
  meter_pid=$!
  # Wait (bounded) for the meter to say where it serves: it prints its registry entry once
  # the entry is in place.
  entry=""
  for _ in $(seq 1 100); do
    entry="$(sed -n 's/^virtual-qm8620: serving //p' "$work/meter.log" 2>/dev/null)"
    [ -n "$entry" ] && break
    kill -0 "$meter_pid" 2>/dev/null || break
    sleep 0.05
  done
  if [ -z "$entry" ] || [ ! -d "$entry" ]; then
    echo "run: the virtual meter did not come up:" >&2
    cat "$work/meter.log" >&2
    exit 1
  fi
  echo "run: virtual QM8620 with its demo memory (control socket: $work/control)."
fi

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  if [ ! -x "$bin/tessera" ]; then
    echo "run: $bin/tessera is not built (Qt missing?); build first (make build)." >&2
    exit 1
  fi
  "$bin/tessera" "$@"
  status=$?
  exit "$status"
fi

echo "run: no display (neither DISPLAY nor WAYLAND_DISPLAY is set), so the window cannot open."
echo "run: running the headless job with tessera-cli instead."
if [ ! -x "$bin/tessera-cli" ]; then
  echo "run: $bin/tessera-cli is not built either; nothing to run." >&2
  exit 0
fi
out="${work:-$(mktemp -d "${TMPDIR:-/tmp}/tessera-run.XXXXXX")}"
[ -z "$work" ] && work="$out"
for job in "status" "settings" "read -o $out/memory.CSV --yes"; do
  echo "\$ tessera-cli $job"
  # shellcheck disable=SC2086
  "$bin/tessera-cli" $job || echo "run: tessera-cli $job answered $? (see above)."
done
if [ -f "$out/memory.CSV" ]; then
  echo "run: the memory as a CSV file ($(wc -l <"$out/memory.CSV") lines), first lines:"
  head -n 8 "$out/memory.CSV"
fi
exit 0
