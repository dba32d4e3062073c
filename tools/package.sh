#!/usr/bin/env bash
# `make package`: the Debian package of a build (default build/), made by CPack from the
# same install rules as `cmake --install`, then checked by lintian: an error fails, warnings
# are shown.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
(cd "$build" && cpack -G DEB) >"$build/cpack.log" 2>&1 || { cat "$build/cpack.log" >&2; exit 1; }
deb="$(sed -n 's/^CPack: - package: \(.*\.deb\) generated\.$/\1/p' "$build/cpack.log")"
[ -f "$deb" ] || { cat "$build/cpack.log" >&2; echo "package: cpack made no .deb" >&2; exit 1; }
lintian --fail-on error "$deb"
echo "package: $deb"
