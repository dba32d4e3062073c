#!/usr/bin/env bash
# Installs every Debian package the project needs that is not there yet.
# As root it installs with apt-get; otherwise it names what is missing and stops.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev
  qt6-base-dev qt6-svg-dev
  libusb-1.0-0-dev
  umockdev libumockdev-dev
  xvfb xauth fonts-urw-base35 poppler-utils
  mingw-w64 wine wine64 nsis
  locales
  dpkg-dev file lintian desktop-file-utils appstream
  clang-14 libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "bootstrap: these Debian packages are missing: ${missing[*]}" >&2
    echo "bootstrap: install them as root (apt-get install ${missing[*]}) and run make again." >&2
    exit 1
  fi
  echo "bootstrap: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# A locale with a decimal comma: tests check that no number in a table or file takes one.
if ! locale -a 2>/dev/null | grep -qiE '^de_DE\.utf-?8$'; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "bootstrap: the locale de_DE.UTF-8 is missing; as root: localedef -i de_DE -f UTF-8 de_DE.UTF-8" >&2
    exit 1
  fi
  echo "bootstrap: generating the locale de_DE.UTF-8"
  localedef -i de_DE -f UTF-8 de_DE.UTF-8
fi
