#!/usr/bin/env bash
# make usb-demo: the real meter's whole road without a meter. A QM8620 with the demo memory
# sits on a USB bus emulated by umockdev; tessera-usbd claims it through libusb and serves
# it in a private device registry; tessera-cli identifies it and downloads its 25 stored
# measurements into usb-demo.CSV in the working directory.
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
root=$(mktemp -d "${TMPDIR:-/tmp}/tessera-usb-demo-XXXXXX")
trap 'rm -rf "$root"' EXIT
cli="$build/bin/tessera-cli"
"$build/bin/emulated-qm8620" --demo --root "$root" \
  --then "'$cli' identify && '$cli' read -o usb-demo.CSV --yes"
