#!/usr/bin/env bash
# Brings translations/quorvel_en.ts up to the sources' texts (new ones arrive unfinished,
# gone ones leave); then translate the unfinished ones (Qt Linguist, or by hand).
set -euo pipefail
cd "$(dirname "$0")/.."
lupdate=$(command -v lupdate || echo /usr/lib/qt5/bin/lupdate)
"$lupdate" -no-obsolete -locations none -source-language zh_CN -target-language en_US \
  src tools/quorvelctl -ts translations/quorvel_en.ts
