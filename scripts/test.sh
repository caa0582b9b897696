#!/usr/bin/env bash
# Builds Spurfix and runs the whole test suite headless: once as built, each fuzz target
# for 30 s, and once more under AddressSanitizer and UndefinedBehaviorSanitizer. Any
# compiler warning fails the build.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

jobs=$(nproc)

echo "== build and test (build/)"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSPURFIX_WERROR=ON >/dev/null
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

echo "== fuzz every target for 30 s (build-fuzz/)"
scripts/fuzz.sh 30

echo "== build and test under AddressSanitizer and UndefinedBehaviorSanitizer (build-asan/)"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DSPURFIX_WERROR=ON -DSPURFIX_SANITIZE=ON >/dev/null
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir build-asan --output-on-failure -j "$jobs"
