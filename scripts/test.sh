#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test inside a network namespace of
# its own (loopback plus a veth link to a private peer namespace), with its own X server,
# system D-Bus and avahi-daemon. Nothing leaves the machine.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

bash scripts/install-deps.sh
bash scripts/build.sh
# The core must build with no widgets at all: a widget include there breaks this build.
cmake -S . -B build-core -G Ninja -DQUORVEL_BUILD_GUI=OFF -DQUORVEL_BUILD_TESTS=OFF -DQUORVEL_WERROR=ON >/dev/null
cmake --build build-core --target quorvelcore -j"$(nproc)"

if [ "$(id -u)" != 0 ]; then
  echo "The test network needs root (ip netns)." >&2
  exit 1
fi

ns="qvsuite$$"
peer="qvpeer$$"
cleanup() {
  for n in "$ns" "$peer"; do
    if ip netns list | grep -qw "$n"; then
      pids=$(ip netns pids "$n" 2>/dev/null || true)
      [ -n "$pids" ] && kill $pids 2>/dev/null || true
      sleep 0.2
      pids=$(ip netns pids "$n" 2>/dev/null || true)
      [ -n "$pids" ] && kill -9 $pids 2>/dev/null || true
      ip netns del "$n" 2>/dev/null || true
    fi
  done
}
trap cleanup EXIT INT TERM

ip netns add "$ns"
ip netns add "$peer"
ip -n "$ns" link set lo up
ip -n "$peer" link set lo up
ip link add qvs0 netns "$ns" type veth peer name qvs1 netns "$peer"
ip -n "$ns" addr add 198.51.100.1/24 dev qvs0
ip -n "$peer" addr add 198.51.100.254/24 dev qvs1
ip -n "$ns" link set qvs0 up
ip -n "$peer" link set qvs1 up
# Broadcasts to 255.255.255.255 need a route; it ends in the private peer.
ip -n "$ns" route add default via 198.51.100.254 dev qvs0

export QUORVEL_REQUIRE_NETNS=1
ip netns exec "$ns" unshare --mount --propagation private bash "$root/scripts/test-inside-namespace.sh" "$root" "$@"
