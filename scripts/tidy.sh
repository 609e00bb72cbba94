#!/usr/bin/env bash
# Runs clang-tidy with the checks of .clang-tidy over every source file of src/,
# as the build in build/ compiles it (its compile_commands.json); any finding
# fails. Generated files (moc, protobuf) are not examined.
set -euo pipefail
cd "$(dirname "$0")/.."
run-clang-tidy-14 -p build -quiet -j "$(nproc)" "$PWD/src/.*\.cpp$" > build/tidy.log 2>&1 ||
    { grep -E "(warning|error):" -A3 build/tidy.log | head -n 80; exit 1; }
echo "clang-tidy: $(git ls-files 'src/*.cpp' | wc -l) files, no findings"
