#!/usr/bin/env bash
# Builds everything and runs the whole test suite under Wine.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
export BUILD_DIR="${BUILD_DIR:-$root/build}"
"$root/scripts/build.sh"
. "$root/scripts/wine-session.sh"
cd "$BUILD_DIR"
# Scratch folders are the tests' own; list any that a test left behind.
temp="$WINEPREFIX/drive_c/users/$(id -un)/Temp"
status=0
ctest --output-on-failure -j 2 "$@" || status=$?
left=$(find "$temp" -maxdepth 1 -name 'sorvane-test-*' -newer "$BUILD_DIR/CMakeCache.txt" 2>/dev/null | head -n 10)
if [ -n "$left" ]; then
    echo "Scratch folders left behind by tests:"
    printf '  %s\n' $left
fi
exit $status
