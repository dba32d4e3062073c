#!/usr/bin/env bash
# The command examples of README.md, run exactly as written, in order, the way a new user
# would: a fresh runtime directory (as any desktop login has), nothing prepared, in an empty
# working directory where "build" is the build tree. The commands are read from the README
# itself (every line of a ```sh block that starts with build/bin/), so the README stays true.
#
#   readme-examples.sh README.md BUILD_DIR
set -uo pipefail

readme="$1"
build="$(cd "$2" && pwd)" || exit 1

work="$(mktemp -d "${TMPDIR:-/tmp}/tessera-readme.XXXXXX")"
meter_pids=()  # virtual meters started in the background: stopped at the end
job_pids=()    # other commands started in the background: each must end with status 0
cleanup() {
  for pid in "${meter_pids[@]}"; do
    if kill -0 "$pid" 2>/dev/null; then
      kill "$pid" 2>/dev/null
      wait "$pid" 2>/dev/null
    fi
  done
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "readme-examples: $*" >&2
  exit 1
}

mapfile -t commands < <(awk '/^```sh/ { inblock = 1; next } /^```/ { inblock = 0 } inblock && /^build\/bin\// { print }' "$readme")
[ "${#commands[@]}" -ge 10 ] || fail "found only ${#commands[@]} commands in $readme"

unset TESSERA_DEVICE_ROOT TESSERA_RUNTIME_DIR TESSERA_PIPE_TIMEOUT_MS
export XDG_RUNTIME_DIR="$work/run"
mkdir -m 700 "$XDG_RUNTIME_DIR"
# The logging journals too: "recover" must never see (or take) the user's own unsaved runs.
export XDG_STATE_HOME="$work/state"
export QT_QPA_PLATFORM=offscreen
ln -s "$build" "$work/build"
cd "$work" || exit 1

for command in "${commands[@]}"; do
  echo "\$ $command"
  if [[ "$command" =~ \&[[:space:]]*(#.*)?$ && "$command" != build/bin/virtual-qm8620* ]]; then
    # Another command in the background, as written: it must still succeed.
    eval "$command"
    job_pids+=($!)
  elif [[ "$command" =~ \&[[:space:]]*(#.*)?$ ]]; then
    # A meter started in the background, as written; the next command may use it once its
    # registry entry is in place (a person typing gives it that moment, too).
    eval "$command"
    meter_pid=$!
    meter_pids+=("$meter_pid")
    for _ in $(seq 1 100); do
      compgen -G "$XDG_RUNTIME_DIR/tessera/*/virtual-$meter_pid" >/dev/null && break
      kill -0 "$meter_pid" 2>/dev/null || fail "the background command ended at once: $command"
      sleep 0.05
    done
    compgen -G "$XDG_RUNTIME_DIR/tessera/*/virtual-$meter_pid" >/dev/null || fail "no registry entry after: $command"
    [ "$(stat -c %a "$XDG_RUNTIME_DIR/tessera")" = 700 ] || fail "the registry root is not private (mode 700)"
  else
    eval "$command" </dev/null
    status=$?
    [ "$status" -eq 0 ] || fail "exit status $status: $command"
  fi
done
for pid in "${job_pids[@]}"; do
  wait "$pid"
  status=$?
  [ "$status" -eq 0 ] || fail "exit status $status of a command run in the background"
done
echo "readme-examples: all ${#commands[@]} commands ran as written"
