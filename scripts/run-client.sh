#!/usr/bin/env bash
# Installs what is missing, builds, and starts the client on this desktop.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
if [ -z "${DISPLAY:-}" ]; then
  echo "No DISPLAY: starting the client on a virtual X server (xvfb-run)." >&2
  exec xvfb-run -a build/bin/quorvel "$@"
fi
exec build/bin/quorvel "$@"
