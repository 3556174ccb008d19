#!/usr/bin/env bash
# Package.Check: reads the built package back with the independent checker,
# against the classes the built library registers. The library is
# registered under Wine (regsvr32), HKEY_CLASSES_ROOT\CLSID is exported
# with regedit, and the library is unregistered again whatever happens.
#
#   run_check.sh <build folder> <package>
set -euo pipefail
build=$1
package=$2
here="$(cd "$(dirname "$0")" && pwd)"
wine_run="$build/wine-run.sh"
dll_unix="$build/dist/SorvaneExt.dll"
dll="Z:${dll_unix//\//\\}"
work=$(mktemp -d)
cleanup() {
    "$wine_run" regsvr32 /s /u "$dll" >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT

"$wine_run" regsvr32 /s "$dll"
"$wine_run" regedit /E "Z:${work//\//\\}\\classes.reg" 'HKEY_CLASSES_ROOT\CLSID'
[ -s "$work/classes.reg" ] || { echo "FAIL: regedit exported nothing"; exit 1; }
PYTHONDONTWRITEBYTECODE=1 python3 "$here/check_package.py" "$package" --registry "$work/classes.reg" --dll "$dll"
