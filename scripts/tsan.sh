#!/usr/bin/env bash
# ThreadSanitizer over every threaded test, tst_receiving included, which is too slow
# under the sanitizer for the test command (that runs the others: README, "Sanitizers").
# Every report lands in build-tsan/tsan-reports/ and is summed up by place at the end; a
# test with a report fails. Arguments go to ctest.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

bash scripts/install-deps.sh
bash scripts/sanitizer-tree.sh build-tsan thread \
  "tst_transfers;tst_receiving;tst_discoveryserver;tst_discoverylistener;tst_operatelistener"

QUORVEL_TEST_TREES=build-tsan exec bash scripts/netns-run.sh bash "$root/scripts/test-inside-namespace.sh" "$root" "$@"
