#!/usr/bin/env bash
# Debian's package checker on the built package: no errors and no warnings.
# Skipped (77) where lintian is not installed.
set -euo pipefail
build=$1
cpack=$2
command -v lintian >/dev/null || { echo "lintian is not installed"; exit 77; }
cd "$build"
"$cpack" -G DEB >/dev/null
deb=$(ls -t zarnet_*.deb | head -n 1)
lintian --fail-on error,warning --tag-display-limit 0 "$deb" 2>&1 | grep -v 'root privileges' || true
lintian --fail-on error,warning "$deb" >/dev/null 2>&1
echo "lintian: $deb has no errors and no warnings"
