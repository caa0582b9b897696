#!/usr/bin/env bash
# The whole job from the command line, as a user types it without a display: the list
# file of a folder in each format, the exit status 0 only on success, German messages.
# Usage: batch_export.sh SPURFIX
set -euo pipefail
spurfix=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
    echo "FAILED: $*" >&2
    exit 1
}
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM

mkdir -p "$work/CD/Pop/Live" "$work/CD/Rock" "$work/CD/Leer"
touch "$work/CD/Pop/Live/03_Hit.mp3" "$work/CD/Rock/01 - Intro.mp3" \
    "$work/CD/Rock/02 - Song.MP3" "$work/CD/Rock/cover.jpg"

# A text list with the wizard's defaults; nothing on standard error, which is no terminal.
"$spurfix" --ausgabe "$work/liste.txt" "$work/CD" 2>"$work/errors" || fail "exit $?"
[ ! -s "$work/errors" ] || fail "standard error: $(cat "$work/errors")"
expected=$(printf '[Live]\r\n001 - Hit\r\n[Rock]\r\n002 - Intro\r\n003 - Song\r\n')
[ "$(cat "$work/liste.txt")" = "$expected" ] || fail "list: $(od -c "$work/liste.txt" | head)"

# A playlist by the file's extension, a CD insert by --format.
"$spurfix" -o "$work/liste.m3u" "$work/CD" || fail "playlist: exit $?"
grep -q '^#EXTINF:-1,002 - Intro' "$work/liste.m3u" || fail "playlist: $(cat "$work/liste.m3u")"
"$spurfix" --format pdf --ausgabe "$work/einleger" "$work/CD" || fail "insert: exit $?"
[ "$(head -c 5 "$work/einleger")" = "%PDF-" ] || fail "no PDF"

# The player's order: a folder's own songs before its sub-folders.
mkdir -p "$work/Best of/Bonus"
touch "$work/Best of/01 Intro.mp3" "$work/Best of/Bonus/01 Demo.mp3" "$work/Best of/Zugabe.mp3"
"$spurfix" --reihenfolge ordner --ausgabe "$work/ordner.txt" "$work/Best of" || fail "order: exit $?"
expected=$(printf '001 - Intro\r\n002 - Zugabe\r\n[Bonus]\r\n003 - Demo\r\n')
[ "$(cat "$work/ordner.txt")" = "$expected" ] || fail "order: $(od -c "$work/ordner.txt" | head)"

# Failures: a folder that cannot be read, a target that cannot be written, wrong options.
status=0
"$spurfix" --ausgabe "$work/x.txt" "$work/gibt-es-nicht" 2>"$work/errors" || status=$?
[ "$status" = 1 ] || fail "missing folder: exit $status"
grep -q "Dieses Verzeichnis konnte nicht gelesen werden" "$work/errors" || fail "$(cat "$work/errors")"
[ ! -e "$work/x.txt" ] || fail "a list of a missing folder"
status=0
"$spurfix" --ausgabe "$work/fehlt/x.txt" "$work/CD" 2>"$work/errors" || status=$?
[ "$status" = 1 ] || fail "missing target folder: exit $status"
grep -qx "Ungültiger Dateiname." "$work/errors" || fail "$(cat "$work/errors")"
status=0
"$spurfix" --format doc --ausgabe "$work/x.doc" "$work/CD" 2>"$work/errors" || status=$?
[ "$status" = 2 ] || fail "unknown format: exit $status"
grep -q "Unbekannte Art der Liste: doc" "$work/errors" || fail "$(cat "$work/errors")"
status=0
"$spurfix" --ausgabe "$work/x.txt" 2>"$work/errors" || status=$?
[ "$status" = 2 ] || fail "no folder: exit $status"
echo "the whole job from the command line: three formats, three failures"
