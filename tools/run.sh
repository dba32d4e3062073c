#!/usr/bin/env bash
# Starts the program; the shell work replaces this with the virtual-meter launch.
set -euo pipefail
bin="${1:-build}/bin"
if [ -x "$bin/tessera" ]; then exec "$bin/tessera"; fi
echo "tessera is not built yet; the link core and its tests are." >&2
