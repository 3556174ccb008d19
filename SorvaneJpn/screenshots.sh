#!/usr/bin/env bash
# Screenshots of the Japanese user interface (interface language 0x0411)
# under Xvfb, written to docs/jpn-*.png. Needs a built tree (BUILD_DIR,
# default build/) and a Japanese font: Debian's fonts-noto-cjk (fonts-wine
# gives the caption buttons their glyphs).
#
# It runs in a Wine prefix of its own (BUILD_DIR/jpn-shots), whose windows
# Wine decorates itself, so that captions show without a window manager.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
dist="$build/dist"
showcase="$build/tests/jpn/jpn_showcase.exe"
out="$root/docs"
mkdir -p "$out"

for needed in "$dist/Sorvane.exe" "$dist/Sorvane.0411" "$showcase"; do
    [ -f "$needed" ] || { echo "missing $needed: build first" >&2; exit 1; }
done
fc-list :lang=ja | grep -q . || { echo "no Japanese font: install fonts-noto-cjk" >&2; exit 1; }

export BUILD_DIR="$build/jpn-shots"
mkdir -p "$BUILD_DIR"
. "$root/scripts/wine-session.sh"
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
export LC_ALL=ja_JP.UTF-8

# The screen, cut to what is drawn on it (the desktop is black).
shot() {
    import -window root png:- | convert - -trim +repage "$out/jpn-$1.png"
    echo "screenshot: docs/jpn-$1.png"
}

# Starts a program, waits for its window, takes the picture, ends it.
show() {
    local name="$1" wait="$2"
    shift 2
    wine "$@" >/dev/null 2>&1 &
    local pid=$!
    sleep "$wait"
    shot "$name"
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
}

# The main window, started without a command.
show main-window 6 "$dist/Sorvane.exe"
# The progress dialog of a copy under way.
show progress 6 "$showcase" progress 10
