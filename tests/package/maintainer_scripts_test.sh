#!/bin/sh
# The Debian maintainer scripts written for a package tree: none for a tree without udev
# rules or systemd units; udev reloaded and re-triggered for rules; units reloaded, and only
# units with an [Install] section enabled and started; every script valid sh.
set -eu
gen=$1
work=$(mktemp -d "${TMPDIR:-/tmp}/tessera-mscripts.XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "maintainer scripts: $*" >&2; exit 1; }
has() { grep -qF -- "$2" "$1" || fail "$(basename "$1") lacks: $2"; }
lacks() { ! grep -qF -- "$2" "$1" || fail "$(basename "$1") should not have: $2"; }

# Nothing to look after: no scripts, no extra dependency.
mkdir -p "$work/plain/usr/bin"
deps=$(sh "$gen" "$work/plain" "$work/out-plain")
[ -z "$deps" ] || fail "a plain tree asks for \"$deps\""
[ -z "$(ls -A "$work/out-plain")" ] || fail "a plain tree got scripts: $(ls "$work/out-plain")"

# A udev rule only.
mkdir -p "$work/rule/usr/lib/udev/rules.d"
echo 'SUBSYSTEM=="usb"' >"$work/rule/usr/lib/udev/rules.d/70-meter.rules"
deps=$(sh "$gen" "$work/rule" "$work/out-rule")
[ -z "$deps" ] || fail "a rule alone asks for \"$deps\""
[ ! -e "$work/out-rule/prerm" ] || fail "a rule alone got a prerm"
has "$work/out-rule/postinst" "udevadm control --reload-rules"
has "$work/out-rule/postinst" "udevadm trigger --subsystem-match=usb"
has "$work/out-rule/postrm" "udevadm control --reload-rules"
lacks "$work/out-rule/postinst" "systemctl"

# A rule, a unit to enable and a template started by udev.
mkdir -p "$work/units/lib/udev/rules.d" "$work/units/lib/systemd/system"
echo 'SUBSYSTEM=="usb"' >"$work/units/lib/udev/rules.d/70-meter.rules"
printf '[Service]\nExecStart=/usr/bin/bridge\n[Install]\nWantedBy=multi-user.target\n' \
  >"$work/units/lib/systemd/system/bridge.service"
printf '[Service]\nExecStart=/usr/bin/bridge %%i\n' >"$work/units/lib/systemd/system/bridge@.service"
deps=$(sh "$gen" "$work/units" "$work/out-units")
[ "$deps" = "init-system-helpers (>= 1.54~)" ] || fail "units ask for \"$deps\""
post=$work/out-units/postinst
has "$post" "systemctl --system daemon-reload"
has "$post" "deb-systemd-helper enable 'bridge.service'"
has "$post" "deb-systemd-invoke start 'bridge.service'"
lacks "$post" "enable 'bridge@.service'"
lacks "$post" "start 'bridge@.service'"
has "$post" "udevadm trigger"
# Units first, so a unit that the rule starts is known when udev fires.
[ "$(grep -n 'daemon-reload' "$post" | cut -d: -f1)" -lt "$(grep -n 'udevadm trigger' "$post" | cut -d: -f1)" ] ||
  fail "postinst triggers udev before reloading systemd"
has "$work/out-units/prerm" "deb-systemd-invoke stop 'bridge.service'"
has "$work/out-units/prerm" "deb-systemd-invoke stop 'bridge@*.service'"
has "$work/out-units/postrm" "deb-systemd-helper purge 'bridge.service'"

for s in "$work"/out-*/*; do
  sh -n "$s" || fail "$s is not valid sh"
  [ -x "$s" ] || fail "$s is not executable"
  head -n 1 "$s" | grep -qx '#!/bin/sh' || fail "$s has no #!/bin/sh line"
  grep -qx 'set -e' "$s" || fail "$s lacks set -e"
done
echo "maintainer scripts: ok"
