#!/usr/bin/env bash
# Builds the Debian package from the build folder, checks it with lintian, unpacks it
# into a clean folder and starts the program from there; where this runs as root,
# installs it with apt-get beside a file manager (the program that opens folders stays
# the same), starts the installed program, takes a screenshot and removes it again.
# Usage: debian_package.sh BUILD_DIR GRAB_SCREEN SCREENSHOT_DIR
set -euo pipefail
build=$1
grab=$2
shots=$3
mkdir -p "$shots"
source "$(dirname "$0")/../e2e/x11_session.sh"

(cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log") ||
    fail "cpack: $(tail -5 "$work/cpack.log")"
package=$(ls "$work"/out/spurfix_*_amd64.deb)
echo "package: $(basename "$package")"
dpkg-deb -I "$package" | grep -E "^ (Package|Version|Depends):"
for needed in fonts-liberation qt6-translations-l10n libqt6widgets6 libicu; do
    dpkg-deb -f "$package" Depends | grep -q "$needed" || fail "no dependency on $needed"
done

dpkg-deb -f "$package" Description | grep -q "^ *;" && fail "a description line begins with ;"

# No error and no warning, and no tag suppressed.
lintian --fail-on error,warning --tag-display-limit 0 "$package" >"$work/lintian.log" 2>&1 ||
    fail "lintian: $(cat "$work/lintian.log")"
grep -E "^(E|W):" "$work/lintian.log" && fail "lintian reports errors or warnings"

dpkg -x "$package" "$work/root"
for file in usr/bin/spurfix usr/share/applications/org.example.spurfix.desktop \
    usr/share/metainfo/org.example.spurfix.metainfo.xml \
    usr/share/icons/hicolor/scalable/apps/org.example.spurfix.svg \
    usr/share/icons/hicolor/48x48/apps/org.example.spurfix.png \
    usr/share/man/man1/spurfix.1.gz usr/share/doc/spurfix/copyright \
    usr/share/doc/spurfix/changelog.gz usr/share/kio/servicemenus/org.example.spurfix.desktop; do
    [ -f "$work/root/$file" ] || fail "$file is not in the package"
done
# The action on folders is offered by the service menu; the menu entry claims no type.
grep -q "^MimeType=" "$work/root/usr/share/applications/org.example.spurfix.desktop" &&
    fail "the menu entry declares a MIME type"
grep -q "^Name=Öffnen mit Spurfix$" "$work/root/usr/share/kio/servicemenus/org.example.spurfix.desktop" ||
    fail "no \"Öffnen mit Spurfix\" in the service menu"
[ "$("$work/root/usr/bin/spurfix" --version)" = "spurfix 2.0" ] || fail "the unpacked program"

# Starts a program and saves its window.
start_and_look() {
    "$1" &
    local program=$!
    local window
    window=$(window_named "$caption") || fail "$1 shows no window"
    sleep 0.5
    "$grab" "$2" "$window"
    kill "$program"
    wait "$program" 2>/dev/null || true
}
start_and_look "$work/root/usr/bin/spurfix" "$shots/package_unpacked.png"

if [ "$(id -u)" -eq 0 ] && command -v apt-get >/dev/null; then
    # Which program opens a folder, beside a file manager, before and after.
    [ -f /usr/share/applications/pcmanfm.desktop ] || fail "no file manager (pcmanfm) installed"
    folder_opener() {
        update-desktop-database -q /usr/share/applications 2>/dev/null || true
        XDG_CURRENT_DESKTOP= xdg-mime query default inode/directory
    }
    before=$(folder_opener)
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$package" >"$work/apt.log" 2>&1 ||
        fail "apt-get install: $(tail -5 "$work/apt.log")"
    after=$(folder_opener)
    echo "folders open with: \"$before\" before, \"$after\" after the installation"
    [ -n "$before" ] && [ "$after" = "$before" ] || fail "installing changed who opens folders"
    start_and_look /usr/bin/spurfix "$shots/package_installed.png"
    DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq spurfix >>"$work/apt.log" 2>&1 ||
        fail "apt-get remove"
    [ ! -e /usr/bin/spurfix ] || fail "/usr/bin/spurfix is still there"
    echo "installed with apt-get, started, removed"
fi
