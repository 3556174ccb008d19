#!/usr/bin/env bash
# Takes the screenshots of the operation dialog and the extension browser
# for docs/ under a virtual display. Needs a build (BUILD_DIR) with the
# target opdialogs_gallery, Xvfb and ImageMagick.
set -euo pipefail
root="$(cd "$(dirname "$0")/../../.." && pwd)"
export BUILD_DIR="${BUILD_DIR:-$root/build}"
# The pictures show the captions Wine draws itself: on the bare display.
export SORVANE_NO_WM=1
. "$root/scripts/wine-session.sh"
gallery="$BUILD_DIR/tests/opdialogs/opdialogs_gallery.exe"
out="$root/docs"
mkdir -p "$out"
work="$(mktemp -d)"
trap 'rm -rf "$work"; sorvane_session_stop' EXIT
# There is no window manager on the virtual display: Wine draws the frames
# and captions of this program's windows itself.
wine reg add 'HKCU\Software\Wine\AppDefaults\opdialogs_gallery.exe\X11 Driver' /v Managed /d N /f >/dev/null 2>&1

shoot() { # picture name, arguments...
    local name="$1"; shift
    local rect="$work/$name.rect"
    rm -f "$rect"
    wine "$gallery" "$@" >/dev/null 2>&1 &
    local pid=$!
    for _ in $(seq 200); do [ -s "$rect" ] && break; sleep 0.1; done
    if [ ! -s "$rect" ]; then echo "no window for $name" >&2; kill "$pid" 2>/dev/null || true; return 1; fi
    sleep 1
    read -r x y w h < <(tr -d '\r' <"$rect")
    import -window root -crop "${w}x${h}+${x}+${y}" +repage "$out/$name.png"
    echo "docs/$name.png"
    wait "$pid" || true
}
winrect() { local path="$work/$1.rect"; echo "Z:${path//\//\\}"; }

# English, the program's own resources.
for kind in copy move delete compress; do
    for look in expanded collapsed; do
        shoot "dialogs-$kind-$look" "$kind" "$look" "$(winrect "dialogs-$kind-$look")" 4
    done
done
shoot dialogs-browser browser "C:\\windows" "$(winrect dialogs-browser)" 4

# Japanese, from the language library beside the program (needs a Japanese
# font: Debian's fonts-noto-cjk).
if fc-list :lang=ja | grep -q .; then
    for kind in copy move delete compress; do
        for look in expanded collapsed; do
            LC_ALL=ja_JP.UTF-8 shoot "jpn-dialogs-$kind-$look" "$kind" "$look" "$(winrect "jpn-dialogs-$kind-$look")" 4 ja
        done
    done
    LC_ALL=ja_JP.UTF-8 shoot jpn-dialogs-browser browser "C:\\windows" "$(winrect jpn-dialogs-browser)" 4 ja
else
    echo "no Japanese font: the Japanese pictures are left as they are (install fonts-noto-cjk)" >&2
fi
