#!/usr/bin/env bash
# Starts the real executable on the X server it is given, waits until its window is
# shown (found by its caption), and ends it.
set -u
executable=$1
caption="Spurfix v2.0 beta (#061124)"
"$executable" &
pid=$!
found=0
for _ in $(seq 100); do
    if xwininfo -root -tree 2>/dev/null | grep -qF "\"$caption\""; then
        found=1
        break
    fi
    sleep 0.1
done
kill "$pid" 2>/dev/null
wait "$pid" 2>/dev/null
if [ "$found" = 1 ]; then
    echo "window \"$caption\" shown"
    exit 0
fi
echo "no window \"$caption\" within 10 s" >&2
exit 1
