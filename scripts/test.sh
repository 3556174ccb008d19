#!/usr/bin/env bash
# Builds everything and runs the whole test suite under Wine.
#   SORVANE_TEST_JOBS  how many tests at once (default 6: most of them wait
#                      for windows and files; the few that keep both cores
#                      busy count as two, see PROCESSORS in tests/)
#   SORVANE_NO_WM=1    the display without its window manager
#   SORVANE_NICE       how much lower the programs of the tests off the
#                      data folder's line run (default 10; empty: all alike):
#                      that line of one-at-a-time tests bounds the suite's time
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
export BUILD_DIR="${BUILD_DIR:-$root/build}"
"$root/scripts/build.sh"
. "$root/scripts/wine-session.sh"
cd "$BUILD_DIR"
# Scratch folders are the tests' own; list any that a test left behind.
temp="$WINEPREFIX/drive_c/users/$(id -un)/Temp"
jobs="${SORVANE_TEST_JOBS:-6}"
export SORVANE_NICE="${SORVANE_NICE-10}"
echo "display: $SORVANE_DISPLAY_KIND; $jobs tests at once"
set +e
ctest --output-on-failure -j "$jobs" "$@" 2>&1 | tee "$BUILD_DIR/ctest-output.txt"
status=${PIPESTATUS[0]}
set -e
left=$(find "$temp" -maxdepth 1 -name 'sorvane-test-*' -newer "$BUILD_DIR/CMakeCache.txt" 2>/dev/null | head -n 10)
if [ -n "$left" ]; then
    echo "Scratch folders left behind by tests:"
    printf '  %s\n' $left
fi
# The suite's own time (the build excluded), as ctest measured it.
total=$(sed -n 's/^Total Test time (real) = *//p' "$BUILD_DIR/ctest-output.txt" | tail -n 1)
echo "Test time: ${total:-unknown} ($jobs at once; $SORVANE_DISPLAY_KIND)"
exit $status
