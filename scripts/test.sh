#!/usr/bin/env bash
# Sets everything up, builds (a warning fails the build), and runs every test:
# the normal build, a syntax check of the Windows branches with MinGW, clang-tidy, the same
# tests built with AddressSanitizer and UndefinedBehaviorSanitizer, and a bounded
# run of each fuzz target from its seed corpus. Any failure or report fails it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh test
# The browser driver for the web page's tests, as locked.
(cd tests/web && npm ci --no-audit --no-fund --loglevel=error)
export QT_QPA_PLATFORM=offscreen
logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT

count() { grep -o 'tests failed out of [0-9]*' "$1" | grep -o '[0-9]*$'; }

# Every build here fails on a warning.
werror=-DCMAKE_COMPILE_WARNING_AS_ERROR=ON

echo "== build and test"
scripts/build.sh "$werror"
(cd build && ctest --output-on-failure) | tee "$logs/normal.log"

echo "== the Windows branches, with MinGW"
scripts/windows-check.sh

echo "== clang-tidy"
scripts/tidy.sh

echo "== sanitizers"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZARNET_SANITIZE=ON "$werror"
cmake --build build-asan
# The package test belongs to the normal build.
(cd build-asan &&
 ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
 ctest --output-on-failure -E '^package$') | tee "$logs/asan.log"

fuzzed=0
if command -v clang++ >/dev/null; then
    echo "== fuzzing"
    CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DZARNET_FUZZ=ON -DBUILD_TESTING=OFF "$werror"
    targets=(reply framecutter fields payloads)
    cmake --build build-fuzz --target "${targets[@]/#/fuzz_}"
    for target in "${targets[@]}"; do
        corpus="$logs/corpus-$target"
        mkdir -p "$corpus"
        cp fuzz/corpus/"$target"/* "$corpus"/
        echo "fuzz_$target: ${FUZZ_SECONDS:-40} s"
        build-fuzz/fuzz/fuzz_"$target" -max_total_time="${FUZZ_SECONDS:-40}" -timeout=10 \
            -rss_limit_mb=2048 -print_final_stats=1 "$corpus" 2>"$logs/fuzz-$target.log" ||
            { tail -n 60 "$logs/fuzz-$target.log"; exit 1; }
        grep -E 'stat::number_of_executed_units|Done' "$logs/fuzz-$target.log" || true
        fuzzed=$((fuzzed + 1))
    done
else
    echo "== fuzzing skipped: no clang"
fi

total=$(( $(count "$logs/normal.log") + $(count "$logs/asan.log") + fuzzed + 2 ))
echo "all: $total passed, 0 failed"
