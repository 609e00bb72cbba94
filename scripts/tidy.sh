#!/usr/bin/env bash
# Runs clang-tidy with the checks of .clang-tidy over every source file of src/,
# as the build in build/ compiles it (its compile_commands.json); any finding
# fails, and so does a run that examined fewer files than src/ holds. Generated
# files (moc, protobuf) are not examined.
set -euo pipefail
cd "$(dirname "$0")/.."
# The compile commands name files by their physical path, metacharacters and all.
root=$(pwd -P | sed 's/[][\\.^$*+?(){}|]/\\&/g')
log=build/tidy.log
expected=$(git ls-files 'src/*.cpp' | wc -l)
if ! run-clang-tidy-14 -p build -quiet -j "$(nproc)" "^$root/src/.*\.cpp$" > "$log" 2>&1; then
    if grep -qE "(warning|error):" "$log"; then
        grep -E "(warning|error):" -A3 "$log" | head -n 80 || true
    else
        tail -n 40 "$log"
    fi
    exit 1
fi
# Each file's command line is echoed once, not always at the start of a line.
examined=$( { grep -oE -- "-quiet /[^ ]+\.cpp" "$log" || true; } | sort -u | wc -l)
if [ "$examined" -ne "$expected" ]; then
    echo "clang-tidy examined $examined files, not the $expected of src/"
    tail -n 20 "$log"
    exit 1
fi
echo "clang-tidy: $examined files, no findings"
