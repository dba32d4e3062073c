#!/bin/sh
# maintainer-scripts.sh ROOT OUTDIR: writes the Debian maintainer scripts (postinst, prerm,
# postrm) that the staged package tree ROOT needs into OUTDIR, and prints the dependency
# they bring ("init-system-helpers (>= 1.54~)" when systemd units are shipped).
#
# They follow what the tree holds, so whatever the driver installs is looked after: udev
# rules are reloaded and applied to meters already plugged in; systemd units are reloaded,
# and units with an [Install] section are enabled, started and, on removal, stopped the way
# debhelper does it. A tree with neither gets no scripts at all.
set -eu

root=$1
out=$2
mkdir -p "$out"

rules=$(find "$root" -type f -path '*/udev/rules.d/*.rules' | sort)
units=
enable=
nl='
'
IFS=$nl
for f in $(find "$root" -type f -path '*/systemd/system/*' \
             \( -name '*.service' -o -name '*.socket' -o -name '*.path' -o -name '*.timer' \) | sort); do
  u=$(basename "$f")
  units="$units $u"
  # Templates and units without [Install] are started by udev or by another unit.
  case $u in *@*) continue ;; esac
  if grep -q '^\[Install\]' "$f"; then enable="$enable $u"; fi
done
IFS=' '

[ -z "$rules" ] && [ -z "$units" ] && exit 0

header() {
  printf '#!/bin/sh\n# Written when the package was built, from the udev rules and systemd units it holds.\nset -e\n\n'
}
configure_like='[ "$1" = configure ] || [ "$1" = abort-upgrade ] || [ "$1" = abort-deconfigure ] || [ "$1" = abort-remove ]'

{
  header
  for u in $enable; do
    cat <<SH
if $configure_like; then
    deb-systemd-helper unmask '$u' >/dev/null || true
    if deb-systemd-helper --quiet was-enabled '$u'; then
        deb-systemd-helper enable '$u' >/dev/null || true
    else
        deb-systemd-helper update-state '$u' >/dev/null || true
    fi
fi

SH
  done
  if [ -n "$units" ]; then
    printf 'if %s; then\n    if [ -d /run/systemd/system ]; then\n' "$configure_like"
    printf '        systemctl --system daemon-reload >/dev/null || true\n'
    for u in $enable; do
      printf '        if [ -n "$2" ]; then\n'
      printf "            deb-systemd-invoke restart '%s' >/dev/null || true\n" "$u"
      printf '        else\n'
      printf "            deb-systemd-invoke start '%s' >/dev/null || true\n" "$u"
      printf '        fi\n'
    done
    printf '    fi\nfi\n\n'
  fi
  if [ -n "$rules" ]; then
    cat <<'SH'
if [ "$1" = configure ]; then
    # udev reads the new rules now and applies them to a meter that is already plugged in.
    if command -v udevadm >/dev/null 2>&1; then
        udevadm control --reload-rules || true
        udevadm trigger --subsystem-match=usb --action=change || true
    fi
fi
SH
  fi
} >"$out/postinst"

if [ -n "$units" ]; then
  {
    header
    printf 'if [ -z "${DPKG_ROOT:-}" ] && [ "$1" = remove ] && [ -d /run/systemd/system ]; then\n'
    for u in $units; do
      case $u in
        *@*) printf "    deb-systemd-invoke stop '%s' >/dev/null || true\n" "${u%%@*}@*.${u##*.}" ;;
        *) printf "    deb-systemd-invoke stop '%s' >/dev/null || true\n" "$u" ;;
      esac
    done
    printf 'fi\n'
  } >"$out/prerm"
fi

{
  header
  if [ -n "$rules" ]; then
    cat <<'SH'
if [ "$1" = remove ]; then
    # The rules are gone: udev forgets them.
    if command -v udevadm >/dev/null 2>&1; then
        udevadm control --reload-rules || true
    fi
fi

SH
  fi
  if [ -n "$units" ]; then
    printf 'if [ "$1" = remove ] && [ -d /run/systemd/system ]; then\n'
    printf '    systemctl --system daemon-reload >/dev/null || true\nfi\n\n'
  fi
  for u in $enable; do
    cat <<SH
if [ "\$1" = remove ] && [ -x /usr/bin/deb-systemd-helper ]; then
    deb-systemd-helper mask '$u' >/dev/null || true
fi
if [ "\$1" = purge ] && [ -x /usr/bin/deb-systemd-helper ]; then
    deb-systemd-helper purge '$u' >/dev/null || true
    deb-systemd-helper unmask '$u' >/dev/null || true
fi

SH
  done
} >"$out/postrm"

chmod 0755 "$out"/*
[ -n "$units" ] && echo "init-system-helpers (>= 1.54~)"
exit 0
