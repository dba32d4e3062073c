#!/usr/bin/env bash
# The fuzz build (clang's libFuzzer with AddressSanitizer and UndefinedBehaviorSanitizer, in
# build-fuzz) and its runs:
#   tools/fuzz.sh test                  every fuzzer over its seed corpus, then a few seconds each
#   tools/fuzz.sh run [SECONDS] [NAME]  each fuzzer (or the named ones) for SECONDS, one after
#                                       the other; what they learn stays in build-fuzz for the next run
# A finding (crash, sanitizer report or broken property) fails the run; its input is kept
# in build-fuzz/tests/fuzz/findings/.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)
mode=${1:-test}

for c in clang++-14 clang++; do
  if command -v "$c" >/dev/null 2>&1; then cxx=$c; break; fi
done
if [ -z "${cxx:-}" ]; then
  echo "fuzz: clang is missing (tools/bootstrap.sh installs clang-14 and libclang-rt-14-dev)" >&2
  exit 1
fi
CC=${cxx/clang++/clang} CXX=$cxx cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSERA_FUZZ=ON >/dev/null
cmake --build build-fuzz --target fuzzers -j "$jobs"

fuzzers=(decode accuracy entire_read_csv logger_csv setting_file journal references)
case "$mode" in
  test)
    ctest --test-dir build-fuzz --output-on-failure -j "$jobs" -R '^Fuzz\.'
    ;;
  run)
    seconds=${2:-60}
    shift $(( $# >= 2 ? 2 : $# ))
    [ $# -gt 0 ] && fuzzers=("$@")
    export ASAN_OPTIONS=abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
    dir=build-fuzz/tests/fuzz
    summary=()
    for name in "${fuzzers[@]}"; do
      seeds=tests/fuzz/corpus/$name
      [ "$name" = accuracy ] && seeds=$dir/seeds/accuracy
      mkdir -p "$dir/work/$name" "$dir/findings"
      echo "fuzz: $name for $seconds s"
      log=$dir/work/$name.log
      if ! build-fuzz/bin/fuzz_"$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
           -print_final_stats=1 -artifact_prefix="$dir/findings/$name-" "$dir/work/$name" "$seeds" >"$log" 2>&1; then
        tail -n 40 "$log" >&2
        echo "fuzz: $name found something; the input is in $dir/findings/" >&2
        exit 1
      fi
      summary+=("$(printf '%-16s %s' "$name" "$(grep -o 'Done [0-9]* runs in [0-9]* second(s)' "$log")")")
    done
    printf '%s\n' "${summary[@]}"
    ;;
  *)
    echo "usage: tools/fuzz.sh test | run [SECONDS] [NAME...]" >&2
    exit 2
    ;;
esac
