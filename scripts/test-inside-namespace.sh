#!/usr/bin/env bash
# Runs inside the suite's network and mount namespace: private /run for D-Bus and
# avahi, a private X server, then the whole CTest suite.
set -euo pipefail
root=$1; shift

for d in /run/dbus /run/avahi-daemon; do
  mkdir -p "$d"
  mount -t tmpfs tmpfs "$d"
done
chown avahi:avahi /run/avahi-daemon 2>/dev/null || true
dbus-daemon --system --fork --nopidfile
avahi-daemon --daemonize --no-chroot --no-rlimits 2>/dev/null || echo "avahi-daemon did not start" >&2

export XDG_RUNTIME_DIR
XDG_RUNTIME_DIR=$(mktemp -d /tmp/qvsuite-runtime.XXXXXX)
chmod 700 "$XDG_RUNTIME_DIR"
display=""
for n in $(seq 91 140); do
  if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then display=$n; break; fi
done
[ -n "$display" ] || { echo "no free X display number" >&2; exit 1; }
Xvfb ":$display" -screen 0 1920x1080x24 -nolisten tcp -nolisten unix >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=":$display"
for _ in $(seq 1 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.05; done
xdpyinfo >/dev/null 2>&1 || { echo "Xvfb did not start" >&2; exit 1; }

status=0
ctest --test-dir "$root/build" --output-on-failure -j2 "$@" || status=$?
kill "$xvfb" 2>/dev/null || true
pkill -F /run/avahi-daemon/pid 2>/dev/null || true
rm -rf "$XDG_RUNTIME_DIR"
exit $status
