#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for the given number of seconds
# (default 30), starting from the committed seed corpus. A crash stops with its input
# saved in build-fuzz/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
scripts/install-deps.sh test
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target fuzz_name_rules fuzz_list_assembly fuzz_mountinfo fuzz_song_tags
for target in name_rules list_assembly mountinfo song_tags; do
    work=$(mktemp -d)
    echo "== fuzz_$target for $seconds s"
    status=0
    build-fuzz/fuzz/fuzz_$target -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix=build-fuzz/crash-$target- "$work" "fuzz/corpus/$target" \
        >build-fuzz/fuzz_$target.log 2>&1 || status=$?
    grep -E "^(stat::number_of_executed_units|Done |runs with)|ERROR|SUMMARY" build-fuzz/fuzz_$target.log || true
    rm -rf "$work"
    if [ "$status" -ne 0 ]; then
        echo "fuzz_$target failed" >&2
        exit "$status"
    fi
done
