# Sourced by the scripts that drive the real program on an X server: a work folder that
# goes when the script ends (with the programs it started), the main window's caption,
# and waiting for a window.
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
caption='^Spurfix v2\.0 beta \(#061124\)$'

fail() {
    echo "FAILED: $*" >&2
    exit 1
}

# Waits for a window whose name matches the pattern and prints its id. The limit is
# generous: a loaded machine or a sanitized build starts slowly.
window_named() {
    for _ in $(seq 600); do
        if id=$(xdotool search --name "$1" 2>/dev/null | head -1) && [ -n "$id" ]; then
            echo "$id"
            return 0
        fi
        sleep 0.1
    done
    return 1
}

# Waits until the program has handled what it was sent: the window (by id) looks the
# same in two grabs a moment apart, and, where a grab from before is given, unlike that
# one. Needs $grab, the screen grabber.
settled() {
    local before=${2:-} previous="$work/settle-a.png" current="$work/settle-b.png"
    "$grab" "$previous" "$1" || return 1
    for _ in $(seq 300); do
        sleep 0.2
        "$grab" "$current" "$1" || return 1
        if cmp -s "$previous" "$current" && { [ -z "$before" ] || ! cmp -s "$before" "$current"; }; then
            return 0
        fi
        mv "$current" "$previous"
    done
    return 1
}

# Waits until the keyboard focus is on another window than the given one, and prints it.
focus_leaves() {
    for _ in $(seq 600); do
        local focused
        focused=$(xdotool getwindowfocus 2>/dev/null) || focused=""
        if [ -n "$focused" ] && [ "$focused" != "$1" ]; then
            echo "$focused"
            return 0
        fi
        sleep 0.1
    done
    return 1
}
