#!/usr/bin/env bash
# Installs every Debian package the project needs that is not there yet.
# As root it installs with apt-get; otherwise it names what is missing and stops.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev libqt6svg6-dev
  libusb-1.0-0-dev
  xvfb xauth fonts-urw-base35 poppler-utils
  mingw-w64 wine wine64 nsis dpkg-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "bootstrap: these Debian packages are missing: ${missing[*]}" >&2
  echo "bootstrap: install them as root (apt-get install ${missing[*]}) and run make again." >&2
  exit 1
fi

echo "bootstrap: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
