#!/usr/bin/env bash
# One vendor id for the whole build: a tree configured with another one compiles the
# transport library and the USB driver with it and writes it into the udev rule that hands
# the meter to the user.
#
#   vendor_id_test.sh SOURCE_DIR
set -uo pipefail

src=$1
work=$(mktemp -d "${TMPDIR:-/tmp}/tessera-vendor.XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() {
  echo "vendor id test: $*" >&2
  exit 1
}

cmake -S "$src" -B "$work" -G Ninja -DTESSERA_INSTRUMENT_VENDOR_ID=0xBEEF -DTESSERA_WITH_TESTS=OFF \
  >"$work/configure.log" 2>&1 || fail "configuring failed: $(cat "$work/configure.log")"
grep -q 'ATTR{idVendor}=="beef"' "$work/driver/70-tessera-qm8620.rules" ||
  fail "the udev rule names another vendor: $(grep idVendor "$work/driver/70-tessera-qm8620.rules")"
for target in Bulklink tessera-usbd; do
  compiles=$(ninja -C "$work" -t commands "$target" | grep -- ' -c ')
  [ -n "$compiles" ] || fail "no compile command for $target"
  others=$(grep -v -- '-DTESSERA_INSTRUMENT_VENDOR_ID=0xBEEF' <<<"$compiles")
  [ -z "$others" ] || fail "$target compiles without the vendor id: $others"
done
echo "vendor id test: the rule and the code carry the configured vendor id"
