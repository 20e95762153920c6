#!/usr/bin/env bash
# Configures and builds a headless sanitizer tree in which only the chosen tests are built
# and enabled: sanitizer-tree.sh TREE SANITIZERS "tst_a;tst_b". A ThreadSanitizer tree
# starts with an empty folder for its reports.
set -euo pipefail
cd "$(dirname "$0")/.."
tree=$1 sanitize=$2 tests=$3
cmake -S . -B "$tree" -G Ninja -DQUORVEL_BUILD_GUI=OFF -DQUORVEL_WERROR=ON \
  "-DQUORVEL_SANITIZE=$sanitize" "-DQUORVEL_SANITIZE_TESTS=$tests" >/dev/null
cmake --build "$tree" -j"$(nproc)" --target ${tests//;/ }
if [ "$sanitize" = thread ]; then
  rm -rf "$tree/tsan-reports"
  mkdir -p "$tree/tsan-reports"
fi
