#!/usr/bin/env bash
# Checks the packages that scripts/package-deb.sh made in dist/: lintian (pedantic too), then
# the package's own tests (debian/tests) run by autopkgtest against the built packages on this
# machine, which it installs; they are purged again afterwards. Changes the system: run it as
# root on a test machine (CI).
# Usage: scripts/check-deb-package.sh
set -euo pipefail
cd "$(dirname "$0")/.."
changes=$(ls dist/varden_*_amd64.changes 2>/dev/null) || { echo "run scripts/package-deb.sh first" >&2; exit 2; }
missing=()
for p in lintian autopkgtest; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
apt_get() { DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=900 -y -q "$@"; }
if [ ${#missing[@]} -gt 0 ]; then apt_get update && apt_get install "${missing[@]}"; fi

lintian --pedantic --fail-on error,warning,info,pedantic "$changes"
status=0
autopkgtest "$changes" -- null || status=$?
apt_get purge varden varden-cli >/dev/null
exit "$status"
