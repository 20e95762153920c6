#!/usr/bin/env bash
# Builds the two Debian packages from the build folder and inspects them without
# installing them on this machine: their contents and dependencies, desktop-file-validate,
# appstreamcli, lintian; then unpacks them into a scratch root (dpkg -x) and runs every
# program from there, as an installed copy: --version, --help, the launcher finding its
# library, the command-line client loading no display library and keeping its settings
# in the user's folders when its program folder is read-only.
# Usage: check_package.sh BUILD_FOLDER VERSION
set -euo pipefail
build=$1
version=$2
scratch=$(mktemp -d)
trap 'chmod -R u+w "$scratch"; rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

(cd "$build" && cpack -G DEB -B "$scratch/out") >"$scratch/cpack.log" 2>&1 || { cat "$scratch/cpack.log"; fail "cpack"; }
gui=$scratch/out/quorvel_${version}_amd64.deb
cli=$scratch/out/quorvel-cli_${version}_amd64.deb
[ -f "$gui" ] && [ -f "$cli" ] || { ls "$scratch/out"; fail "the two packages were not built"; }

# Contents: what each package holds.
contents() { dpkg-deb -c "$1" | awk '{print $6}' | sed 's#^\./#/#'; }
expect() {
  local deb=$1; shift
  for path in "$@"; do
    contents "$deb" | grep -qx -- "$path" || fail "$(basename "$deb") lacks $path"
  done
}
lib=$(contents "$gui" | grep -E '^/usr/lib/([^/]+/)?quorvel/$' | head -n1)
[ -n "$lib" ] || fail "no library folder /usr/lib/<multiarch>/quorvel/ in the window's package"
expect "$gui" /usr/bin/quorvel "${lib}libQuorvelClient.so" "${lib}Vantrope" \
  /usr/share/applications/com.quorvel.Client.desktop /usr/share/metainfo/com.quorvel.Client.metainfo.xml \
  /usr/share/icons/hicolor/scalable/apps/quorvel.svg /usr/share/icons/hicolor/48x48/apps/quorvel.png \
  /usr/share/icons/hicolor/256x256/apps/quorvel.png /usr/share/man/man1/quorvel.1.gz /usr/share/doc/quorvel/copyright
expect "$cli" /usr/bin/quorvelctl /usr/bin/quorvel-device /usr/share/man/man1/quorvelctl.1.gz \
  /usr/share/man/man1/quorvel-device.1.gz /usr/share/bash-completion/completions/quorvelctl \
  /usr/share/zsh/vendor-completions/_quorvelctl /etc/ufw/applications.d/quorvel \
  /usr/lib/firewalld/services/quorvel.xml /usr/lib/systemd/user/quorvelctl-serve.service \
  /usr/share/doc/quorvel-cli/copyright
if contents "$cli" | grep -q '^/usr/bin/quorvel$\|Vantrope\|libQuorvelClient'; then fail "the window is in quorvel-cli"; fi

# Dependencies from the binaries; none of the command-line package's is a display library.
echo "quorvel Depends: $(dpkg-deb -f "$gui" Depends)"
echo "quorvel-cli Depends: $(dpkg-deb -f "$cli" Depends)"
dpkg-deb -f "$gui" Depends | grep -q 'libqt5widgets5' || fail "the window's dependencies miss Qt Widgets"
dpkg-deb -f "$cli" Depends | grep -q 'libqt5network5' || fail "quorvel-cli's dependencies miss Qt Network"
if dpkg-deb -f "$cli" Depends | grep -Eiq 'libx11|libxcb|libgl|libegl|libqt5gui'; then fail "quorvel-cli depends on display libraries"; fi

root=$scratch/root
dpkg -x "$gui" "$root"
dpkg -x "$cli" "$root"
echo "== desktop-file-validate"
desktop-file-validate "$root/usr/share/applications/com.quorvel.Client.desktop" || fail "desktop-file-validate"
echo "== appstreamcli validate --no-net"
appstreamcli validate --no-net "$root/usr/share/metainfo/com.quorvel.Client.metainfo.xml" || fail "appstreamcli"
echo "== lintian"
lintian --fail-on error "$gui" "$cli" || fail "lintian reports errors"

# Every program from the unpacked tree: the launcher's library and the casting program
# are found in the library folder, not beside the build.
found=$(ldd "$root/usr/bin/quorvel" | awk '$1 == "libQuorvelClient.so" {print $3}')
[ -n "$found" ] && [ "$(realpath "$found")" = "$(realpath "$root${lib}libQuorvelClient.so")" ] \
  || { ldd "$root/usr/bin/quorvel"; fail "the launcher does not find its library in ${lib}"; }
for program in "$root/usr/bin/quorvel" "$root/usr/bin/quorvelctl" "$root/usr/bin/quorvel-device" "$root${lib}Vantrope"; do
  name=$(basename "$program")
  for flag in --version -V; do
    out=$("$program" "$flag") || fail "$name $flag failed"
    [ "$out" = "$name $version" ] || fail "$name $flag said \"$out\""
  done
  if [ "$name" != Vantrope ] || [ -n "${DISPLAY:-}" ]; then
    "$program" --help >"$scratch/help" || fail "$name --help failed"
    grep -qi usage "$scratch/help" || fail "$name --help printed no usage"
  fi
done
for program in "$root/usr/bin/quorvelctl" "$root/usr/bin/quorvel-device"; do
  if ldd "$program" | grep -E 'libX11|libxcb|libGL|libEGL|libQt5Gui'; then fail "$(basename "$program") loads display libraries"; fi
done

# Installed: the program folder is read-only, so the settings go to XDG_CONFIG_HOME.
chmod a-w "$root/usr/bin"
home=$scratch/home
mkdir -p "$home"
HOME=$home XDG_CONFIG_HOME=$home/config XDG_DATA_HOME=$home/data XDG_STATE_HOME=$home/state \
  "$root/usr/bin/quorvelctl" config set ClientName Packaged || fail "config set"
grep -qx 'ClientName=Packaged' "$home/config/quorvel/config.ini" || fail "the setting is not in XDG_CONFIG_HOME"
[ "$(stat -c %a "$home/config/quorvel/config.ini")" = 600 ] || fail "config.ini is not owner-only"
[ ! -e "$root/usr/bin/config.ini" ] || fail "config.ini was written beside the program"
echo "packages built, valid and runnable from an unpacked tree"
