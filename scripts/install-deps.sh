#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing the client need.
# Idempotent: does nothing when every package is already present.
set -euo pipefail

PKGS=(
  build-essential cmake ninja-build pkg-config clang
  qtbase5-dev qtbase5-dev-tools libqt5sql5-sqlite libqt5x11extras5-dev libqt5svg5-dev
  libx11-dev libxtst-dev libavahi-client-dev libssl-dev
  xvfb xauth xdotool x11-utils trayer dbus dbus-x11 avahi-daemon avahi-utils
  fonts-wqy-microhei qttranslations5-l10n qttools5-dev qttools5-dev-tools
  iproute2 iputils-ping procps psmisc util-linux bsdutils
  libpng-dev libjpeg-dev dpkg-dev lintian desktop-file-utils appstream debootstrap
)
if [ "${1:-}" = "--print" ]; then printf '%s\n' "${PKGS[@]}"; exit 0; fi

missing=()
for p in "${PKGS[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  # avahi-daemon's postinst would start the daemon in this namespace; policy-rc.d keeps it down.
  policy=/usr/sbin/policy-rc.d
  created_policy=0
  if [ ! -e "$policy" ]; then
    printf '#!/bin/sh\nexit 101\n' > "$policy"; chmod +x "$policy"; created_policy=1
  fi
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
  if [ "$created_policy" = 1 ]; then rm -f "$policy"; fi
fi
