#!/usr/bin/env bash
# Installs what building and testing Sorvane needs on Debian (run as root).
set -euo pipefail
packages=(
    cmake make python3
    g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-tools
    wine64 wine xvfb xauth imagemagick
    evilwm  # tests and benchmarks run the programs under a window manager, as a desktop does
    googletest
    libxxhash-dev
    nlohmann-json3-dev  # the console program's JSON Lines, header-only
    xxhash  # xxhsum: the tests check checksum files and reported hashes with it
    lhasa 7zip jlha-utils
    nsis
    locales
    osslsigncode openssl  # signing a release, and the signing tests with a throwaway certificate
    unzip
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
# Signing the package (Sorvane.msix) needs osslsigncode 2.7 or later. Debian
# bookworm itself has 2.5; its backports have a later one, from the mirror
# this machine already uses. Without it the build signs everything else and
# says that the package stays unsigned.
if ! dpkg --compare-versions "$(dpkg-query -W -f='${Version}' osslsigncode 2>/dev/null)" ge 2.7; then
    codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
    mirror=$(awk '/^URIs:/ { uri = $2 } /^Suites:/ && / bookworm( |$)/ { print uri; exit }' \
                 /etc/apt/sources.list.d/*.sources 2>/dev/null || true)
    [ -n "$mirror" ] || mirror=$(awk '$1 == "deb" && $3 == "bookworm" { print $2; exit }' /etc/apt/sources.list 2>/dev/null || true)
    if [ "$codename" = bookworm ] && [ -n "$mirror" ]; then
        list=/etc/apt/sources.list.d/bookworm-backports.list
        [ -f "$list" ] || echo "deb $mirror bookworm-backports main" > "$list"
        if ! { apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends \
                   -t bookworm-backports osslsigncode; }; then
            echo "note: no osslsigncode 2.7 or later from bookworm-backports: packages cannot be signed here" >&2
        fi
    fi
fi
# Tests run Windows programs under LC_ALL=ja_JP.UTF-8 (code page 932). Wine
# takes the code page from the name, but file names with Japanese letters
# need the Unix locale itself: without it they cannot be created at all.
if ! locale -a 2>/dev/null | grep -qix 'ja_JP.utf8'; then
    localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
fi
