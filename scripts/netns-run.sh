#!/usr/bin/env bash
# Runs a command inside a network namespace of its own: loopback plus a veth link to a
# private peer namespace (198.51.100.1 -> .254, the default route), so that broadcasts
# have somewhere to go and nothing leaves the machine. The command also gets a mount
# namespace of its own. Everything is removed afterwards.
set -euo pipefail
if [ "$(id -u)" != 0 ]; then
  echo "network namespaces need root (ip netns)" >&2
  exit 1
fi
ns="qvns$$"
peer="qvpeer$$"
cleanup() {
  for n in "$ns" "$peer"; do
    if ip netns list 2>/dev/null | grep -qw "$n"; then
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
ip -n "$ns" route add default via 198.51.100.254 dev qvs0
ip netns exec "$ns" unshare --mount --propagation private "$@"
