#!/usr/bin/env bash
# Builds and runs the benchmarks inside a network namespace of their own.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
exec bash scripts/netns-run.sh bash scripts/bench-inside-namespace.sh
