#!/usr/bin/env bash
# Installs what building and testing Sorvane needs on Debian (run as root).
set -euo pipefail
packages=(
    cmake make python3
    g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-tools
    wine64 wine xvfb xauth imagemagick
    googletest
    lhasa 7zip jlha-utils
    nsis
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
