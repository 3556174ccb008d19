#!/usr/bin/env bash
# Takes docs/report-browser.png: the report of a real filtered copy, as a
# browser shows it. The real Sorvane.exe copies a folder whose names lie
# outside any ANSI code page or hold "&" (made natively), started as the
# Explorer extension starts it with Start pressed in its dialog; the report
# it leaves is shown by headless Chromium (Debian packages chromium, and
# fonts-noto-cjk and fonts-noto-color-emoji for the names).
#
# Usage: bench/app/report-picture.sh   (BUILD_DIR; OUT, default docs/report-browser.png)
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
export BUILD_DIR="${BUILD_DIR:-$root/build}"
OUT="${OUT:-$root/docs/report-browser.png}"
exe="$BUILD_DIR/dist/Sorvane.exe"
out="$BUILD_DIR/bench-app"
mkdir -p "$out"
[ -f "$exe" ] || { echo "no program at $exe: build first" >&2; exit 2; }
command -v chromium >/dev/null || { echo "chromium is needed (apt-get install chromium)" >&2; exit 2; }

x86_64-w64-mingw32-g++-posix -std=c++17 -O2 -Wall -Wextra -municode -static -DUNICODE -D_UNICODE \
    -DWIN32_LEAN_AND_MEAN -DNOMINMAX -D_WIN32_WINNT=0x0601 -DWINVER=0x0601 -I"$root/tests/e2e" -I"$root/common" \
    "$root/bench/app/app_bench.cpp" "$root/tests/e2e/Driver.cpp" "$root/common/HandOff.cpp" \
    -o "$out/app_bench.exe" -lshell32 -lole32 -ladvapi32 -luser32

work="$(mktemp -d /tmp/sorvane-report-picture.XXXXXX)"
set +e
. "$root/scripts/wine-session.sh"
set -e
picture_cleanup() {
    rm -rf "$work"
    sorvane_session_stop
}
trap picture_cleanup EXIT

# The folder is selected, not its files: a name holding ";" (as
# "R&amp;D.txt" does) cannot travel in the selection list, whose items ";"
# separates; inside a selected folder the walk finds it.
mkdir -p "$work/pic/Reports & Notes/sub"
for name in "R&amp;D.txt" "Tom & Jerry.txt" "日本語.txt" "Ελληνικά.txt" "😀smile.txt" "café.txt" "sub/Привет.txt" \
    "skipped.doc"; do
    printf 'text of %s\n' "$name" >"$work/pic/Reports & Notes/$name"
done
winpath() { echo "Z:${1//\//\\}"; }
wine "$out/app_bench.exe" program "$(winpath "$exe")" copy "$(winpath "$work/pic")" \
    "$(winpath "$work/Copies")" "*.txt" | tr -d '\r'
report=$(ls -t "$WINEPREFIX"/drive_c/users/*/AppData/Roaming/Brenmoor/Sorvane/SorvaneLog*.htm | head -1)
echo "report: $report"
cp "$report" "$work/report.htm"
chromium --headless --no-sandbox --disable-gpu --hide-scrollbars --window-size=900,620 \
    --screenshot="$OUT" "file://$work/report.htm" 2>/dev/null
echo "picture: $OUT"
