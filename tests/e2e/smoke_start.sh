#!/usr/bin/env bash
# Starts the real executable on the X server it is given (no window manager), waits until
# its window is shown (found by its caption), checks that the first showing already has
# the size of the first activation (335 x 248), and ends it.
set -u
executable=$1
caption="Spurfix v2.0 beta (#061124)"
"$executable" &
pid=$!
found=0
for _ in $(seq 600); do
    if xwininfo -root -tree 2>/dev/null | grep -qF "\"$caption\""; then
        found=1
        break
    fi
    sleep 0.1
done
size=""
if [ "$found" = 1 ]; then
    sleep 0.3
    info=$(xwininfo -name "$caption")
    size="$(echo "$info" | awk '/Width:/ {print $2}') x $(echo "$info" | awk '/Height:/ {print $2}')"
fi
kill "$pid" 2>/dev/null
wait "$pid" 2>/dev/null
if [ "$found" != 1 ]; then
    echo "no window \"$caption\" within 60 s" >&2
    exit 1
fi
echo "window \"$caption\" shown, $size"
[ "$size" = "335 x 248" ]
