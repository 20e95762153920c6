#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test inside a network namespace of
# its own (loopback plus a veth link to a private peer namespace), with its own X server,
# system D-Bus and avahi-daemon. Nothing leaves the machine.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

bash scripts/install-deps.sh
bash scripts/build.sh
# The core must build with no widgets at all: a widget include there breaks this build,
# and the project (tests included) must configure without the window.
cmake -S . -B build-core -G Ninja -DQUORVEL_BUILD_GUI=OFF -DQUORVEL_BUILD_TESTS=ON -DQUORVEL_WERROR=ON >/dev/null
cmake --build build-core --target quorvelcore -j"$(nproc)"

# Sanitizer trees of chosen tests only (the whole suite under a sanitizer would not fit
# CI's time): AddressSanitizer with UndefinedBehaviorSanitizer for the tests that exercise
# lifetimes, and ThreadSanitizer for the transfer and discovery tests (scripts/tsan.sh
# adds the slow ones, by hand). test-inside-namespace.sh runs the trees after the suite.
asan_tests="tst_qtjson;tst_protocol;tst_filecommands;tst_discoverylistener;tst_localserver"
bash scripts/sanitizer-tree.sh build-asan address,undefined "$asan_tests"
tsan_tests="tst_transfers;tst_discoveryserver;tst_discoverylistener;tst_operatelistener"
bash scripts/sanitizer-tree.sh build-tsan thread "$tsan_tests"

export QUORVEL_REQUIRE_NETNS=1
exec bash scripts/netns-run.sh bash "$root/scripts/test-inside-namespace.sh" "$root" "$@"
