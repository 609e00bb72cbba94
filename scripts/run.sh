#!/usr/bin/env bash
# Sets everything up, builds and starts Zarnet.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
exec build/src/shell/zarnet
