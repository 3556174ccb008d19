#!/usr/bin/env bash
# Takes docs/plan-browser.png: the plan page of a Filter Move within one
# volume, as a browser shows it. The real Sorvane.exe is started for the
# move, "Plan" is pressed in its dialog, and the page it writes into its
# data folder is shown by headless Chromium (Debian package chromium).
# Nothing is moved: the script checks that the tree is the same afterwards.
#
# Usage: bench/app/plan-picture.sh   (BUILD_DIR; OUT, default docs/plan-browser.png)
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
export BUILD_DIR="${BUILD_DIR:-$root/build}"
OUT="${OUT:-$root/docs/plan-browser.png}"
exe="$BUILD_DIR/dist/Sorvane.exe"
out="$BUILD_DIR/bench-app"
mkdir -p "$out"
[ -f "$exe" ] || { echo "no program at $exe: build first" >&2; exit 2; }
command -v chromium >/dev/null || { echo "chromium is needed (apt-get install chromium)" >&2; exit 2; }

x86_64-w64-mingw32-g++-posix -std=c++17 -O2 -Wall -Wextra -municode -static -DUNICODE -D_UNICODE \
    -DWIN32_LEAN_AND_MEAN -DNOMINMAX -D_WIN32_WINNT=0x0601 -DWINVER=0x0601 -I"$root/tests/e2e" \
    "$root/bench/app/plan_picture.cpp" "$root/tests/e2e/Driver.cpp" \
    -o "$out/plan_picture.exe" -lshell32 -ladvapi32 -luser32

# A fixed folder, so that the picture shows the same paths every time.
work=/tmp/sorvane-plan-picture
chmod -R u+w "$work" 2>/dev/null || true
rm -rf "$work"
mkdir -p "$work"
set +e
. "$root/scripts/wine-session.sh"
set -e
picture_cleanup() {
    chmod -R u+w "$work" 2>/dev/null || true
    rm -rf "$work"
    sorvane_session_stop
}
trap picture_cleanup EXIT

# The tree of the end-to-end test: files that move by a rename, a source
# whose target is newer, a read-only target that protection keeps, and a
# name holding "&".
src="$work/Projects"
dst="$work/Archive"
mkdir -p "$src/docs/deep" "$dst"
printf 'alpha\n' >"$src/a.txt"
printf 'bravo bravo\n' >"$src/docs/b.txt"
printf 'charlie charlie charlie\n' >"$src/docs/deep/c.txt"
printf 'research & development\n' >"$src/R&D notes.txt"
printf 'older source\n' >"$src/newer.txt"
printf 'newer target\n' >"$dst/newer.txt"
printf 'newer source\n' >"$src/ro.txt"
printf 'read-only target\n' >"$dst/ro.txt"
touch -d '3 days ago' "$src/newer.txt" "$dst/ro.txt"
touch -d '1 day ago' "$dst/newer.txt" "$src/ro.txt"
chmod a-w "$dst/ro.txt" # read-only for Wine
before=$(cd "$work" && find . -printf '%p %s %T@ %m\n' | sort && find . -type f -exec md5sum {} + | sort)

winpath() { echo "Z:${1//\//\\}"; }
page=$(wine "$out/plan_picture.exe" "$(winpath "$exe")" "$(winpath "$src")" "$(winpath "$dst")" | tr -d '\r')
after=$(cd "$work" && find . -printf '%p %s %T@ %m\n' | sort && find . -type f -exec md5sum {} + | sort)
[ "$before" = "$after" ] || { echo "the tree changed" >&2; exit 1; }
unix=$(winepath -u "$page" 2>/dev/null)
echo "page: $unix"
cp "$unix" "$work/plan.htm"
chromium --headless --no-sandbox --disable-gpu --hide-scrollbars --window-size=1100,880 \
    --screenshot="$OUT" "file://$work/plan.htm" 2>/dev/null
echo "picture: $OUT"
