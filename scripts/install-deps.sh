#!/usr/bin/env bash
# Installs what building and testing Sorvane needs on Debian (run as root).
set -euo pipefail
packages=(
    cmake make python3
    g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-tools
    wine64 wine xvfb xauth imagemagick
    evilwm  # the benchmarks run the program under a window manager, as a desktop does
    googletest
    libxxhash-dev
    lhasa 7zip jlha-utils
    nsis
    locales
)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y --no-install-recommends "${missing[@]}"
fi
# Tests run Windows programs under LC_ALL=ja_JP.UTF-8 (code page 932). Wine
# takes the code page from the name, but file names with Japanese letters
# need the Unix locale itself: without it they cannot be created at all.
if ! locale -a 2>/dev/null | grep -qix 'ja_JP.utf8'; then
    localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
fi
