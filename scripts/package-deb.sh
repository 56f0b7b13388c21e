#!/usr/bin/env bash
# Builds the Debian source package and the packages varden and varden-cli (and their -dbgsym
# packages) from the files of this checkout, without network access, into dist/, with the
# .changes file that lintian and autopkgtest read. Installs the build dependencies first.
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
# into the folder above the source) and the upstream tarball of the same files but debian/,
# with the last commit's time; built with the network cut off where the system allows.
stage=$root/build-deb
rm -rf "$stage"
mkdir -p "$stage/varden" "$root/dist"
git ls-files -z --cached --others --exclude-standard |
  tar --null --ignore-failed-read -T - -cf - 2>/dev/null | tar -xf - -C "$stage/varden"
version=$(cd "$stage/varden" && dpkg-parsechangelog -SVersion)
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null || date +%s)
tar -C "$stage" --exclude=varden/debian --sort=name --mtime="@$SOURCE_DATE_EPOCH" --owner=0 \
  --group=0 --numeric-owner --transform="s,^varden,varden-${version%-*}," \
  -cJf "$stage/varden_${version%-*}.orig.tar.xz" varden
offline=()
if unshare --net true 2>/dev/null; then offline=(unshare --net); fi
(cd "$stage/varden" && "${offline[@]}" dpkg-buildpackage -us -uc -j"${VARDEN_JOBS:-2}")

rm -f "$root"/dist/varden*.deb "$root"/dist/varden*.ddeb "$root"/dist/varden_*
mv "$stage"/varden*.deb "$root/dist/"
mv "$stage"/varden_* "$stage"/varden*.ddeb "$root/dist/" 2>/dev/null || true
ls -l "$root"/dist/varden*.deb "$root"/dist/varden_*.changes
