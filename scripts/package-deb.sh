#!/usr/bin/env bash
# Builds the Debian packages varden and varden-cli (and their -dbgsym packages) from the files
# of this checkout, without network access, into dist/. Installs the build dependencies first.
# Usage: scripts/package-deb.sh
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi
apt_get() {
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get -o DPkg::Lock::Timeout=900 -y -q "$@"
}

# The packaging tools, then what debian/control asks for to build.
tools=()
for p in dpkg-dev debhelper; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || tools+=("$p")
done
if [ ${#tools[@]} -gt 0 ]; then
  apt_get update
  apt_get install "${tools[@]}"
fi
if ! dpkg-checkbuilddeps >/dev/null 2>&1; then
  apt_get update
  apt_get build-dep ./
fi

# A copy of the checkout's files in a folder of its own (dpkg-buildpackage writes the packages
# into the folder above the source), built with the network cut off where the system allows.
stage=$root/build-deb
rm -rf "$stage"
mkdir -p "$stage/varden" "$root/dist"
git ls-files -z --cached --others --exclude-standard |
  tar --null --ignore-failed-read -T - -cf - 2>/dev/null | tar -xf - -C "$stage/varden"
offline=()
if unshare --net true 2>/dev/null; then offline=(unshare --net); fi
(cd "$stage/varden" && "${offline[@]}" dpkg-buildpackage -b -us -uc -j"${VARDEN_JOBS:-2}")

rm -f "$root"/dist/varden*.deb "$root"/dist/varden*.ddeb "$root"/dist/varden_*.changes \
  "$root"/dist/varden_*.buildinfo
mv "$stage"/varden*.deb "$stage"/varden_*.changes "$stage"/varden_*.buildinfo "$root/dist/"
mv "$stage"/varden*.ddeb "$root/dist/" 2>/dev/null || true
ls -l "$root"/dist/varden*.deb
