#!/usr/bin/env bash
# Without a display the program says so in one line and shows how to start it.
set -u
output=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$1" 2>&1)
status=$?
echo "$output"
[ "$status" -ne 0 ] && [ "$(printf '%s\n' "$output" | wc -l)" -eq 1 ] && printf '%s' "$output" | grep -q "xvfb-run"
