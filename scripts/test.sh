#!/usr/bin/env bash
# Sets everything up, builds and runs every test (widget tests on the offscreen platform).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
cd build
QT_QPA_PLATFORM=offscreen ctest --output-on-failure
