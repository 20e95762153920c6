#!/usr/bin/env bash
# Installs the two packages on a fresh, minimal Debian 12 as a new user would, and runs
# them there: `apt-get install ./quorvel-cli_*.deb` alone first (apt's list of what it
# pulls may hold no X11, xcb, GL or Qt GUI library), then both packages together, then
# quorvel-cli alone without its recommendations. Checks that the dependencies resolve;
# that the programs start (--version, --help, `quorvelctl doctor` in English and Chinese,
# a setting and the database written to the user's folders, the window on Qt's offscreen
# platform until SIGINT); that nothing the packages ship misses a library; that both
# purge cleanly.
#
# The system comes from debootstrap (downloaded once into FOLDER/pristine, copied afresh
# for every run). Only apt talks to the network: the programs run in a network namespace
# of their own with nothing but loopback, and policy-rc.d keeps every daemon the
# dependencies bring (avahi-daemon, dbus) from starting.
# Usage (as root): try-install.sh [FOLDER]   default build-deb/try-install. It takes the
# packages in build-deb/packages (after a change, run scripts/package.sh first; it is run
# here only when there are none). MIRROR= another Debian mirror.
set -euo pipefail
cd "$(dirname "$0")/.."
[ "$(id -u)" = 0 ] || { echo "try-install.sh: run as root (debootstrap, chroot)" >&2; exit 2; }
work=$(realpath -m "${1:-build-deb/try-install}")
mirror=${MIRROR:-http://deb.debian.org/debian}
fail() { echo "FAIL: $*" >&2; exit 1; }

bash scripts/install-deps.sh
version=$(sed -n 's/^project([A-Za-z]* VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt | head -n1)
[ -n "$version" ] || fail "no version in CMakeLists.txt"
cli=build-deb/packages/quorvel-cli_${version}_amd64.deb
gui=build-deb/packages/quorvel_${version}_amd64.deb
[ -f "$cli" ] && [ -f "$gui" ] || bash scripts/package.sh
[ -f "$cli" ] && [ -f "$gui" ] || fail "no packages in build-deb/packages"

pristine=$work/pristine
if [ ! -x "$pristine/usr/bin/apt-get" ]; then
  rm -rf "$pristine"
  debootstrap --variant=minbase bookworm "$pristine" "$mirror"
fi
root=$work/root
unmount() { if mountpoint -q "$root/proc"; then umount "$root/proc"; fi; }
trap unmount EXIT
unmount
rm -rf "$root"
cp -a "$pristine" "$root"
printf '#!/bin/sh\n# No daemon starts in this tree: it shares the machine'"'"'s network.\nexit 101\n' \
  >"$root/usr/sbin/policy-rc.d"
chmod +x "$root/usr/sbin/policy-rc.d"
cp -L /etc/resolv.conf "$root/etc/resolv.conf"
mkdir -p "$root/tmp/debs"
cp "$cli" "$gui" "$root/tmp/debs/"
mount -t proc proc "$root/proc"
log=$work/log
mkdir -p "$log"

in_root() {
  chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
    DEBIAN_FRONTEND=noninteractive "$@"
}
# A person's session, in a network namespace of its own (loopback only): what the
# programs send goes nowhere.
as_user() {
  unshare --net -- sh -c 'ip link set lo up && exec "$@"' sh \
    chroot "$root" runuser -u mira -- env -i PATH=/usr/bin:/bin HOME=/home/mira LANG="${LANG_OF_USER:-C.UTF-8}" \
    "$@"
}

echo "== apt-get update in a fresh Debian 12 ($(cat "$root/etc/debian_version"))"
in_root apt-get update -qq
echo "== what apt pulls for quorvel-cli alone"
in_root apt-get install -s "/tmp/debs/$(basename "$cli")" >"$log/cli-plan.txt" || { cat "$log/cli-plan.txt"; fail "quorvel-cli's dependencies do not resolve"; }
awk '$1 == "Inst" {print $2}' "$log/cli-plan.txt" | tee "$log/cli-packages.txt" | tr '\n' ' '
echo
display='^(libx11|libxcb|libxext|libxrender|libxi6|libxkbcommon|libxau|libxdmcp|libgl1|libgl-|libglx|libegl|libgles|libopengl|libdrm|libwayland|libqt5gui|libqt5widgets|libqt5x11|libqt5opengl)'
if grep -Ei "$display" "$log/cli-packages.txt"; then fail "quorvel-cli pulls display libraries (above)"; fi

echo "== apt-get install ./$(basename "$cli")"
in_root apt-get install -y -q "/tmp/debs/$(basename "$cli")" >"$log/cli-install.txt" 2>&1 \
  || { cat "$log/cli-install.txt"; fail "installing quorvel-cli"; }
in_root useradd -m -s /bin/bash mira

echo "== the command-line programs, as a new user"
out=$(as_user quorvelctl --version) && [ "$out" = "quorvelctl $version" ] || fail "quorvelctl --version said \"$out\""
out=$(as_user quorvel-device --version) && [ "$out" = "quorvel-device $version" ] || fail "quorvel-device --version said \"$out\""
as_user quorvel-device --help >"$log/device-help.txt" || fail "quorvel-device --help"
grep -qi usage "$log/device-help.txt" || fail "quorvel-device --help printed no usage"
as_user quorvelctl --help >"$log/ctl-help.txt" || fail "quorvelctl --help"
grep -q "Commands:" "$log/ctl-help.txt" || fail "quorvelctl --help printed no commands"
# A finding per check; exit 1 says something is wrong (here: no network at all), 2 or a
# crash would be the program's fault.
set +e
as_user quorvelctl doctor --wait 1 >"$log/doctor.txt" 2>"$log/doctor-stderr.txt"
rc=$?
set -e
cat "$log/doctor.txt"
[ "$rc" = 0 ] || [ "$rc" = 1 ] || { cat "$log/doctor-stderr.txt"; fail "quorvelctl doctor ended with $rc"; }
[ "$(grep -c '^\(ok     \|PROBLEM\) ' "$log/doctor.txt")" -ge 6 ] || fail "quorvelctl doctor gave too few findings"
grep -q '^PROBLEM mdns: avahi-daemon cannot be used' "$log/doctor.txt" || fail "the doctor did not say that avahi-daemon is down"
set +e
LANG_OF_USER=zh_CN.UTF-8 as_user quorvelctl doctor --wait 1 >"$log/doctor-zh.txt" 2>&1
set -e
grep -q '无法使用 avahi-daemon' "$log/doctor-zh.txt" || { cat "$log/doctor-zh.txt"; fail "the doctor does not speak Chinese to a Chinese user"; }
as_user quorvelctl config set ClientName "Try install" || fail "quorvelctl config set"
grep -qx 'ClientName=Try install' "$root/home/mira/.config/quorvel/config.ini" || fail "the setting is not in ~/.config/quorvel"
[ "$(stat -c %a "$root/home/mira/.config/quorvel/config.ini")" = 600 ] || fail "config.ini is not owner-only"
as_user quorvelctl devices >/dev/null || fail "quorvelctl devices (the database and its SQLite driver)"
[ -f "$root/home/mira/.local/share/quorvel/QuorvelClient.db" ] || fail "no database in ~/.local/share/quorvel"
# (ldd is in libc-dev-bin, not in a minimal system: the loader lists them.)
libraries() { in_root /lib64/ld-linux-x86-64.so.2 --list "$1"; }
if libraries /usr/bin/quorvelctl | grep -E 'not found|libX11|libxcb|libGL\.|libGLX|libOpenGL|libEGL|libQt5Gui' \
  || libraries /usr/bin/quorvel-device | grep -E 'not found|libX11|libxcb|libGL\.|libGLX|libOpenGL|libEGL|libQt5Gui'; then
  fail "the command-line programs miss or load display libraries (above)"
fi

echo "== apt-get install ./$(basename "$cli") ./$(basename "$gui")"
in_root apt-get install -y -q "/tmp/debs/$(basename "$cli")" "/tmp/debs/$(basename "$gui")" >"$log/gui-install.txt" 2>&1 \
  || { cat "$log/gui-install.txt"; fail "installing both packages"; }
out=$(as_user quorvel --version) && [ "$out" = "quorvel $version" ] || fail "quorvel --version said \"$out\""
for file in $(in_root dpkg -L quorvel quorvel-cli); do
  [ -f "$root$file" ] && [ "$(head -c4 "$root$file" | od -An -c | tr -d ' ')" = '177ELF' ] || continue
  if libraries "$file" | grep 'not found'; then fail "$file misses a library (above)"; fi
done
vantrope=$(in_root dpkg -L quorvel | grep '/quorvel/Vantrope$')
out=$(as_user "$vantrope" --version) && [ "$out" = "Vantrope $version" ] || fail "Vantrope --version said \"$out\""
unit=$root/usr/lib/systemd/user/quorvelctl-serve.service
in_root test -x "$(sed -n 's/^ExecStart=\([^ ]*\).*/\1/p' "$unit")" || fail "the user unit starts a program that is not there"
# The window itself, without a display (Qt's offscreen platform) and in the namespace of
# its own: it finds its library, plugins, database and translations, and ends on SIGINT.
set +e
LANG_OF_USER=C.UTF-8 as_user env QT_QPA_PLATFORM=offscreen timeout -s INT -k 5 6 quorvel >"$log/window.txt" 2>&1
set -e
window_log=$(ls "$root"/home/mira/.local/state/quorvel/log/QuorvelClient-*.log 2>/dev/null | head -n1)
[ -n "$window_log" ] || { cat "$log/window.txt"; fail "the window wrote no log"; }
grep -q 'Client started, version' "$window_log" && grep -q 'Ending on signal 2' "$window_log" \
  || { cat "$window_log"; fail "the window did not start and end cleanly"; }

echo "== apt-get purge"
in_root apt-get purge -y -q quorvel quorvel-cli >"$log/purge.txt" 2>&1 || { cat "$log/purge.txt"; fail "purging"; }
left=$(in_root sh -c 'ls -d /usr/bin/quorvel* /usr/lib/*/quorvel /etc/ufw/applications.d/quorvel 2>/dev/null' || true)
[ -z "$left" ] || fail "left behind after the purge: $left"

echo "== apt-get install --no-install-recommends ./$(basename "$cli") (a server without extras)"
in_root apt-get purge -y -q --autoremove avahi-daemon dbus >"$log/purge-extras.txt" 2>&1 || { cat "$log/purge-extras.txt"; fail "purging the extras"; }
in_root apt-get install -y -q --no-install-recommends "/tmp/debs/$(basename "$cli")" >"$log/cli-bare-install.txt" 2>&1 \
  || { cat "$log/cli-bare-install.txt"; fail "installing quorvel-cli without its recommendations"; }
out=$(as_user quorvelctl --version) && [ "$out" = "quorvelctl $version" ] || fail "quorvelctl --version said \"$out\" without the recommendations"
as_user quorvelctl devices >/dev/null || fail "quorvelctl devices without the recommendations"
set +e
as_user quorvelctl doctor --wait 1 >"$log/doctor-bare.txt" 2>&1
rc=$?
set -e
[ "$rc" = 0 ] || [ "$rc" = 1 ] || { cat "$log/doctor-bare.txt"; fail "quorvelctl doctor ended with $rc without the recommendations"; }
echo "installed, run and purged on a fresh Debian 12 (logs in $log)"
