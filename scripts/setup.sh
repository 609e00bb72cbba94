#!/usr/bin/env bash
# Installs what Zarnet needs to build and run on Debian 12 (skipped when present).
# "scripts/setup.sh test" adds what the tests need: clang and its fuzzing runtime,
# chromium and puppeteer for the web page, promtool for the metrics, Python's
# protobuf and MQTT client for the Sparkplug host, MinGW for the Windows branches,
# clang-tidy for the source checks.
# "scripts/setup.sh bench" adds what the benchmarks and their profiles need.
set -euo pipefail

packages=(g++ cmake ninja-build pkg-config qt6-base-dev qt6-serialport-dev qt6-serialbus-dev
          qt6-tools-dev qt6-l10n-tools libcli11-dev libtomlplusplus-dev libmosquitto-dev
          libsystemd-dev libssl-dev protobuf-compiler libprotobuf-dev fonts-arphic-uming help2man)
if [ "${1:-}" = test ]; then
    packages+=(dpkg-dev file clang libclang-rt-14-dev mosquitto mosquitto-clients openssl tzdata
              lintian bash-completion systemd chromium prometheus python3-protobuf python3-paho-mqtt
              g++-mingw-w64-x86-64-posix clang-tidy)
    command -v npm >/dev/null || packages+=(nodejs npm)
fi
if [ "${1:-}" = bench ]; then
    packages+=(libbenchmark-dev mosquitto python3-paho-mqtt linux-perf strace)
fi

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi
