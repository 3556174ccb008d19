#!/usr/bin/env bash
# Takes the screenshots of the operation dialog and the extension browser
# for docs/ under a virtual display. Needs a build (BUILD_DIR) with the
# target opdialogs_gallery, Xvfb and ImageMagick.
set -euo pipefail
root="$(cd "$(dirname "$0")/../../.." && pwd)"
export BUILD_DIR="${BUILD_DIR:-$root/build}"
. "$root/scripts/wine-session.sh"
gallery="$BUILD_DIR/tests/opdialogs/opdialogs_gallery.exe"
out="$root/docs"
mkdir -p "$out"
work="$(mktemp -d)"
trap 'rm -rf "$work"; sorvane_session_stop' EXIT
# There is no window manager on the virtual display: Wine draws the frames
# and captions of this program's windows itself.
wine reg add 'HKCU\Software\Wine\AppDefaults\opdialogs_gallery.exe\X11 Driver' /v Managed /d N /f >/dev/null 2>&1

shoot() { # name, arguments...
    local name="$1"; shift
    local rect="$work/$name.rect"
    rm -f "$rect"
    wine "$gallery" "$@" "Z:${rect//\//\\}" 4 >/dev/null 2>&1 &
    local pid=$!
    for _ in $(seq 200); do [ -s "$rect" ] && break; sleep 0.1; done
    if [ ! -s "$rect" ]; then echo "no window for $name" >&2; kill "$pid" 2>/dev/null || true; return 1; fi
    sleep 1
    read -r x y w h <"$rect"
    import -window root -crop "${w}x${h}+${x}+${y}" +repage "$out/dialogs-$name.png"
    echo "docs/dialogs-$name.png"
    wait "$pid" || true
}

for kind in copy move delete compress; do
    shoot "$kind-expanded" "$kind" expanded
    shoot "$kind-collapsed" "$kind" collapsed
done
shoot browser browser "C:\\windows"
