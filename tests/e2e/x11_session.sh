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

# Waits for a window whose name matches the pattern and prints its id.
window_named() {
    for _ in $(seq 100); do
        if id=$(xdotool search --name "$1" 2>/dev/null | head -1) && [ -n "$id" ]; then
            echo "$id"
            return 0
        fi
        sleep 0.1
    done
    return 1
}
