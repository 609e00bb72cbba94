#!/usr/bin/env bash
# Configures and builds into build/ (BUILD_TYPE overrides Release); further
# arguments go to cmake's configure step.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-Release}" "$@"
cmake --build build
