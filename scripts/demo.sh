#!/usr/bin/env bash
# The main job, for real: builds Sorvane and runs it under Wine.
# What it shows grows with the program; today: the main window started
# without a command (screenshot in build/demo/), and the answer to a
# command line it rejects.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
export BUILD_DIR="${BUILD_DIR:-$root/build}"
"$root/scripts/build.sh"
. "$root/scripts/wine-session.sh"
demo="$BUILD_DIR/demo"
mkdir -p "$demo"
exe="$BUILD_DIR/dist/Sorvane.exe"

echo "== Sorvane.exe without a command: the main window"
wine "$exe" &
pid=$!
sleep 4
if command -v import >/dev/null; then
    import -window root "$demo/main-window.png" && echo "screenshot: $demo/main-window.png"
fi
kill "$pid" 2>/dev/null || true
wait "$pid" 2>/dev/null || true

echo "== Sorvane.exe /Cx: a rejected command line (message box closed after 3 s)"
wine "$exe" /Cx &
pid=$!
sleep 3
if command -v import >/dev/null; then
    import -window root "$demo/rejected-command.png" && echo "screenshot: $demo/rejected-command.png"
fi
wineserver -k >/dev/null 2>&1 || true
wait "$pid" 2>/dev/null || true
echo "done"
