#!/usr/bin/env bash
# Screenshots of the Japanese user interface (interface language 0x0411)
# under Xvfb, written to docs/jpn-*.png:
#   BUILD_DIR=build SorvaneJpn/screenshots.sh [main agreement copy browser progress]
# Needs a built tree and a Japanese font: Debian's fonts-noto-cjk
# (fonts-wine gives the caption buttons their glyphs).
#
# It runs in a Wine prefix of its own (BUILD_DIR/jpn-shots), whose windows
# Wine decorates itself, so that captions show without a window manager.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
showcase="$build/tests/jpn/jpn_showcase.exe"
out="$root/docs"
windows=("$@")
[ ${#windows[@]} -gt 0 ] || windows=(main agreement copy browser progress)

for needed in "$build/dist/Sorvane.exe" "$build/dist/Sorvane.0411" "$showcase"; do
    [ -f "$needed" ] || { echo "missing $needed: build first" >&2; exit 1; }
done
fc-list :lang=ja | grep -q . || { echo "no Japanese font: install fonts-noto-cjk" >&2; exit 1; }

export BUILD_DIR="$build/jpn-shots"
mkdir -p "$BUILD_DIR" "$out"
# The pictures show the captions Wine draws itself: on the bare display.
export SORVANE_NO_WM=1
. "$root/scripts/wine-session.sh"
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1

work="$(mktemp -d)"
trap 'rm -rf "$work"; sorvane_session_stop' EXIT
winpath() { echo "Z:$1" | tr / '\\'; }

# Shows one window with the showcase program and cuts it out of the screen.
shoot() {
    local window="$1" name
    case "$window" in
        main) name=main-window ;;
        copy) name=copy-dialog ;;
        browser) name=extension-browser ;;
        progress) name=progress-dialog ;;
        *) name="$window" ;;
    esac
    local picture="$out/jpn-$name.png"
    rm -f "$work/rect.txt"
    LC_ALL=ja_JP.UTF-8 wine "$showcase" "$window" "$(winpath "$work/rect.txt")" 4 >/dev/null 2>&1 </dev/null &
    local pid=$!
    for _ in $(seq 300); do
        [ -s "$work/rect.txt" ] && break
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    if [ ! -s "$work/rect.txt" ]; then
        echo "no window for $window" >&2
        wait "$pid" || true
        return 1
    fi
    sleep 0.5
    read -r x y w h < <(tr -d '\r' <"$work/rect.txt")
    import -window root -crop "${w}x${h}+${x}+${y}" +repage "$picture"
    wait "$pid" || true
    echo "wrote docs/jpn-$name.png"
}

status=0
for window in "${windows[@]}"; do shoot "$window" || status=1; done
exit $status
