#!/usr/bin/env bash
# Builds the Debian packages quorvel and quorvel-cli into build-deb/packages/ (Debian 12,
# as root for the missing build packages). Arguments go to cpack.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
export CMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER:-$(command -v ccache || true)}
cmake -S . -B build-deb -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr -DQUORVEL_BUILD_TESTS=OFF
cmake --build build-deb
(cd build-deb && cpack -G DEB "$@")
ls -1 build-deb/packages/*.deb
