#!/usr/bin/env bash
# Builds everything and runs the whole test suite under Wine.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
export BUILD_DIR="${BUILD_DIR:-$root/build}"
"$root/scripts/build.sh"
. "$root/scripts/wine-session.sh"
cd "$BUILD_DIR"
ctest --output-on-failure -j 2 "$@"
