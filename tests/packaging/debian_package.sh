#!/usr/bin/env bash
# Builds the Debian package from the build folder, unpacks it into a clean folder and
# starts the program from there; where this runs as root, installs it with apt-get,
# starts the installed program, takes a screenshot and removes it again.
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

dpkg -x "$package" "$work/root"
for file in usr/bin/spurfix usr/share/applications/org.example.spurfix.desktop \
    usr/share/metainfo/org.example.spurfix.metainfo.xml \
    usr/share/icons/hicolor/scalable/apps/org.example.spurfix.svg \
    usr/share/icons/hicolor/48x48/apps/org.example.spurfix.png usr/share/man/man1/spurfix.1; do
    [ -f "$work/root/$file" ] || fail "$file is not in the package"
done
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
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$package" >"$work/apt.log" 2>&1 ||
        fail "apt-get install: $(tail -5 "$work/apt.log")"
    start_and_look /usr/bin/spurfix "$shots/package_installed.png"
    DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq spurfix >>"$work/apt.log" 2>&1 ||
        fail "apt-get remove"
    [ ! -e /usr/bin/spurfix ] || fail "/usr/bin/spurfix is still there"
    echo "installed with apt-get, started, removed"
fi
