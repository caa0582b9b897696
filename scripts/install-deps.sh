#!/usr/bin/env bash
# Installs on Debian 12 what building and running Spurfix needs ("run", the default), or
# also what testing, fuzzing, benchmarking and packaging need ("test"); only what is
# missing, with sudo when not run as root.
set -euo pipefail

run_packages=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev qt6-base-dev-tools libgl-dev qt6-translations-l10n
    libicu-dev
    libtag1-dev libmpg123-dev libisofs-dev
    fonts-liberation
)
test_packages=(
    libgtest-dev libgmock-dev
    xvfb xauth x11-utils xdotool
    clang libclang-rt-14-dev
    bfs
    desktop-file-utils appstream
    dpkg-dev file lintian
    pcmanfm xdg-utils
    poppler-utils
    libfuse3-dev fuse3 xorriso fuseiso fusefat
    ffmpeg
)

packages=("${run_packages[@]}")
if [ "${1:-run}" = test ]; then
    packages+=("${test_packages[@]}")
fi

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
if [ "$(id -u)" -ne 0 ]; then
    sudo=(sudo)
fi
echo "Installing: ${missing[*]}"
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
