#!/usr/bin/env bash
# zarnet-cli must not link Qt Widgets, directly or through a library: neither
# its link line nor the libraries the binary needs may name it.
set -euo pipefail
build=$1
binary=$2
if readelf -d "$binary" | grep -i 'NEEDED.*Widgets'; then
    echo "zarnet-cli needs Qt Widgets"
    exit 1
fi
if [ -f "$build/build.ninja" ]; then
    line=$(awk '/^build [^:]*zarnet-cli:/ {on = 1} on && /LINK_LIBRARIES/ {print; exit}' "$build/build.ninja")
    [ -n "$line" ] || { echo "no link line for zarnet-cli in build.ninja"; exit 1; }
    if grep -i 'Widgets' <<<"$line"; then
        echo "zarnet-cli's link line names Qt Widgets"
        exit 1
    fi
fi
echo "zarnet-cli links no Qt Widgets"
