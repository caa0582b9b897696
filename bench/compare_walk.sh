#!/bin/bash
# Compares the engine walk of several builds on one library: each round runs every build
# once (spurfix_walk_timer, one walk in a fresh process), the order rotating from round
# to round; every build's wall and CPU time is divided by the first build's of the same
# round, and the rows give the medians of these per-round ratios with min and max, the
# median times, and the load before and after.
#
# Usage: bench/compare_walk.sh TREE ROUNDS LABEL=TIMER [LABEL=TIMER ...]
#   e.g. bench/compare_walk.sh /tmp/reader2-bench/library-100k 15 \
#          aaf8586=/tmp/old/build-release/bench/spurfix_walk_timer \
#          now=build-release/bench/spurfix_walk_timer
set -euo pipefail
tree=$1
rounds=$2
shift 2
labels=()
timers=()
for build in "$@"; do
    labels+=("${build%%=*}")
    timers+=("${build#*=}")
done
count=${#timers[@]}
samples=$(mktemp)
trap 'rm -f "$samples"' EXIT

find -L "$tree" > /dev/null  # warms the cache
for ((i = 0; i < count; ++i)); do "${timers[i]}" "$tree" > /dev/null; done
load_before=$(cut -d' ' -f1-3 /proc/loadavg)
for ((r = 0; r < rounds; ++r)); do
    for ((j = 0; j < count; ++j)); do
        i=$(((r + j) % count))
        echo "$r $i $("${timers[i]}" "$tree")" >> "$samples"
    done
done
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

python3 - "$samples" "$tree" "$rounds" "$load_before" "$load_after" "${labels[@]}" <<'PY'
import statistics, sys
path, tree, rounds, before, after, *labels = sys.argv[1:]
runs = {}
entries = set()
for line in open(path):
    r, i, wall, cpu, files, folders = line.split()
    runs[(int(r), int(i))] = (float(wall), float(cpu))
    entries.add((files, folders))
print(f"{tree}: {rounds} rounds, files/folders {sorted(entries)}, load before {before}, after {after}")
print("| build | wall ratio median (min–max) | CPU ratio median (min–max) | wall median s | CPU median s |")
print("|---|---|---|---|---|")
for i, label in enumerate(labels):
    wall = [runs[(r, i)][0] / runs[(r, 0)][0] for r in range(int(rounds))]
    cpu = [runs[(r, i)][1] / runs[(r, 0)][1] for r in range(int(rounds))]
    ws = [runs[(r, i)][0] for r in range(int(rounds))]
    cs = [runs[(r, i)][1] for r in range(int(rounds))]
    print(f"| {label} / {labels[0]} | {statistics.median(wall):.3f} ({min(wall):.3f}–{max(wall):.3f}) "
          f"| {statistics.median(cpu):.3f} ({min(cpu):.3f}–{max(cpu):.3f}) "
          f"| {statistics.median(ws):.3f} | {statistics.median(cs):.3f} |")
PY
