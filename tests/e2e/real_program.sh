#!/usr/bin/env bash
# The real program on a real X server, as a person uses it from a terminal and with the
# keyboard: help and version, a folder given on the command line and the whole way to
# the exported list with Enter and typing, and a folder that cannot be read. Keys go
# through XTEST to the window that has the focus. Screenshots go to the given folder.
# Usage: real_program.sh SPURFIX GRAB_SCREEN SCREENSHOT_DIR
set -euo pipefail
spurfix=$1
grab=$2
shots=$3
mkdir -p "$shots"
source "$(dirname "$0")/x11_session.sh"

# Keys to the focused window, then wait until the program has handled them: each of
# these changes what the window shows.
key() {
    "$grab" "$work/before.png" "$main"
    xdotool key --delay 80 "$@"
    settled "$main" "$work/before.png" || fail "the window does not change and settle after $*"
}

# --- On the terminal, in German.
help=$("$spurfix" --help)
grep -q "^Aufruf: " <<<"$help" || fail "no German usage line: $help"
grep -q "VERZEICHNIS" <<<"$help" || fail "the folder argument is not explained"
[ "$("$spurfix" --version)" = "spurfix 2.0" ] || fail "version: $("$spurfix" --version)"

# --- A folder on the command line, then the whole way with Enter.
mkdir -p "$work/CD/Pop/Live" "$work/CD/Rock"
touch "$work/CD/Pop/Live/03_Hit.mp3" "$work/CD/Rock/01 - Intro.mp3" \
    "$work/CD/Rock/02 - Song.MP3" "$work/CD/Rock/cover.jpg"
"$spurfix" "$work/CD" &
program=$!
main=$(window_named "$caption") || fail "no main window"
xdotool windowfocus --sync "$main"
settled "$main" || fail "the window does not settle"
key Return                       # welcome -> source
"$grab" "$shots/real_01_source.png" "$main"
key Return                       # source -> reading
key Return                       # the reading; the window settles once it has ended
"$grab" "$shots/real_02_read.png" "$main"
key Return Return Return         # files, folders, preview
"$grab" "$shots/real_03_preview.png" "$main"
key Return                       # output
xdotool key Return               # "Fertig!": the save dialog
dialog=$(focus_leaves "$main") || fail "no save dialog"
settled "$dialog" || true        # its text cursor blinks: a moment is enough
xdotool key ctrl+a
xdotool type --delay 20 "$work/liste.txt"
xdotool key Return
confirm=$(window_named "^Bestätigung$") || fail "no confirmation box"
"$grab" "$shots/real_04_confirmation.png" "$confirm"
xdotool windowfocus --sync "$confirm"
xdotool key Return               # OK: back to the start
settled "$main" || fail "the window does not settle after the confirmation"
expected=$(printf '[Live]\r\n001 - Hit\r\n[Rock]\r\n002 - Intro\r\n003 - Song\r\n')
[ "$(cat "$work/liste.txt")" = "$expected" ] || fail "list: $(od -c "$work/liste.txt" | head)"
kill "$program"
wait "$program" 2>/dev/null || true

# --- A folder that cannot be read: the error box, then the normal start.
"$spurfix" "$work/gibt-es-nicht" &
program=$!
error=$(window_named "^Fehler$") || fail "no error box for a missing folder"
"$grab" "$shots/real_05_missing_folder.png" "$error"
xdotool windowfocus --sync "$error"
xdotool key Return
window_named "$caption" >/dev/null || fail "no main window after the error box"
kill "$program"
wait "$program" 2>/dev/null || true
echo "the real program: help, version, a folder's whole way, a missing folder"
