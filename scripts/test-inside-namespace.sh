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
for _ in $(seq 1 100); do avahi-daemon --check 2>/dev/null && break; sleep 0.05; done
avahi-daemon --check 2>/dev/null && echo "avahi-daemon runs in the test namespace"
# A session bus of our own, so that nothing autolaunches one outside our control.
session_bus=$(dbus-daemon --session --fork --print-address=1 --print-pid=1 --nopidfile)
export DBUS_SESSION_BUS_ADDRESS
DBUS_SESSION_BUS_ADDRESS=$(echo "$session_bus" | head -n1)
session_bus_pid=$(echo "$session_bus" | sed -n 2p)

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
# One test at a time: many bind the protocol's fixed ports (16020, 16021) in this namespace.
# The sanitizer trees scripts/test.sh built run after the main one: only their chosen
# tests are enabled there. QUORVEL_TEST_TREES names the trees instead (scripts/tsan.sh).
for tree in ${QUORVEL_TEST_TREES:-build build-asan build-tsan}; do
  if [ "$tree" = build ]; then
    ctest --test-dir "$root/build" --output-on-failure "$@" || status=$?
  elif [ -f "$root/$tree/CTestTestfile.cmake" ]; then
    echo "== $tree"
    ctest --test-dir "$root/$tree" --output-on-failure "$@" || status=$?
    # ThreadSanitizer writes its reports to files, not to the test's output: their places
    # here, so that a failure says why.
    reports="$root/$tree/tsan-reports"
    if [ -d "$reports" ] && [ -n "$(ls -A "$reports")" ]; then
      echo "== ThreadSanitizer reports in $tree/tsan-reports, by place:"
      cat "$reports"/* | grep '^SUMMARY' | sort | uniq -c | sort -rn || true
    fi
  fi
done
kill "$xvfb" "$session_bus_pid" 2>/dev/null || true
avahi-daemon --kill 2>/dev/null || true
rm -rf "$XDG_RUNTIME_DIR"
exit $status
