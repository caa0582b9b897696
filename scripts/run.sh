#!/usr/bin/env bash
# Builds Spurfix and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh run
cmake --preset release >/dev/null
cmake --build --preset release
exec build-release/spurfix "$@"
