#!/usr/bin/env bash
# Builds Spurfix and runs the whole test suite headless: once as built, each fuzz target
# for 30 s, and once more under AddressSanitizer and UndefinedBehaviorSanitizer. Any
# compiler warning fails the build.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh test

jobs=$(nproc)

echo "== build and test (build/)"
cmake --preset default >/dev/null
cmake --build --preset default -j "$jobs"
ctest --preset default -j "$jobs"

echo "== the engine's locking under Clang's thread-safety analysis (build-tsa/)"
cmake --preset tsa >/dev/null
cmake --build --preset tsa -j "$jobs"

echo "== fuzz every target for 30 s (build-fuzz/)"
scripts/fuzz.sh 30

echo "== build and test under AddressSanitizer and UndefinedBehaviorSanitizer (build-asan/)"
cmake --preset asan >/dev/null
cmake --build --preset asan -j "$jobs"
ctest --preset asan -j "$jobs"
