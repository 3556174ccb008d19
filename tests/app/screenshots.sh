#!/usr/bin/env bash
# Takes the screenshots of the custom controls for the guide (docs/):
# the agreement viewer, the picture buttons in their states (with the
# visual style and classic), and the icons
# and pictures. Runs the gallery program of a build under Wine on a
# virtual display and crops each window out of the screen.
#   BUILD_DIR=build tests/app/screenshots.sh
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
export BUILD_DIR="${BUILD_DIR:-$root/build}"
gallery="$BUILD_DIR/tests/app/controls_gallery.exe"
[ -f "$gallery" ] || cmake --build "$BUILD_DIR" --target controls_gallery
# The pictures show the captions Wine draws itself: on the bare display.
export SORVANE_NO_WM=1
. "$root/scripts/wine-session.sh"

# Without a window manager nobody draws the caption bars: let Wine draw
# them for these pictures, and put the prefix back afterwards.
decorated_key='HKCU\Software\Wine\X11 Driver'
wine reg add "$decorated_key" /v Decorated /d N /f >/dev/null 2>&1
work="$(mktemp -d)"
trap 'wine reg delete "$decorated_key" /v Decorated /f >/dev/null 2>&1; rm -rf "$work"; sorvane_session_stop' EXIT
winpath() { echo "Z:$1" | tr / '\\'; }

shoot() {
    local mode="$1" out="$2"
    rm -f "$work/rect.txt"
    wine "$gallery" "$mode" "$(winpath "$work/rect.txt")" 4 "$(winpath "$root/SorvaneExt/res/art/menu.bmp")" \
        >/dev/null 2>&1 </dev/null &
    local pid=$!
    for _ in $(seq 100); do
        [ -s "$work/rect.txt" ] && break
        sleep 0.1
    done
    if [ ! -s "$work/rect.txt" ]; then
        echo "no window for $mode" >&2
        wait "$pid" || true
        return 1
    fi
    sleep 0.5
    read -r x y w h <"$work/rect.txt"
    import -window root -crop "${w}x${h}+${x}+${y}" +repage "$out"
    wait "$pid" || true
    echo "wrote $out"
}

mkdir -p "$root/docs"
shoot agreement "$root/docs/controls-agreement.png"
shoot buttons "$root/docs/controls-buttons.png"
shoot classic "$root/docs/controls-buttons-classic.png"
shoot icons "$root/docs/controls-icons.png"
