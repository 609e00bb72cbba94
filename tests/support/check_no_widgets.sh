#!/usr/bin/env bash
# A program that runs without a screen (zarnet-cli, zarnetd) must not link Qt
# Widgets, directly or through a library: neither its link line nor the libraries
# the binary needs may name it.
set -euo pipefail
build=$1
binary=$2
name=$(basename "$binary")
if readelf -d "$binary" | grep -i 'NEEDED.*Widgets'; then
    echo "$name needs Qt Widgets"
    exit 1
fi
if [ -f "$build/build.ninja" ]; then
    line=$(awk -v target="$name" '$0 ~ "^build [^:]*" target ":" {on = 1} on && /LINK_LIBRARIES/ {print; exit}' "$build/build.ninja")
    [ -n "$line" ] || { echo "no link line for $name in build.ninja"; exit 1; }
    if grep -i 'Widgets' <<<"$line"; then
        echo "$name's link line names Qt Widgets"
        exit 1
    fi
fi
echo "$name links no Qt Widgets"
