#!/usr/bin/env bash
# Runs a command on an X server of its own (1024x768, 24 bits). The server picks a free
# display itself and says which once it takes connections (-displayfd): tests started at
# the same moment, by this suite or another, never pick the same number, as two
# `xvfb-run -a` can. It never resets: by default an X server resets when its last client
# goes, and a program started in that moment (a test starts one right after killing the
# one before) cannot connect.
set -u
Xvfb=$(command -v Xvfb) || { echo "Xvfb is missing (package xvfb)" >&2; exit 1; }
work=$(mktemp -d)
trap 'kill "$server" 2>/dev/null; wait "$server" 2>/dev/null; rm -rf "$work"' EXIT
"$Xvfb" -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset -auth "$work/none" \
    3>"$work/display" 2>"$work/server.log" &
server=$!
for _ in $(seq 600); do
    if [ -s "$work/display" ] && grep -q '^[0-9]\+$' "$work/display"; then
        break
    fi
    if ! kill -0 "$server" 2>/dev/null; then
        echo "the X server did not start:" >&2
        cat "$work/server.log" >&2
        exit 1
    fi
    sleep 0.1
done
[ -s "$work/display" ] || { echo "the X server gave no display" >&2; exit 1; }
DISPLAY=":$(head -1 "$work/display")" "$@"
