#!/usr/bin/env bash
# The libraries a Windows program imports, from its import table: fails
# when it imports any of the user-interface libraries named after it.
# usage: check_imports.sh <objdump> <program> <library>...
set -euo pipefail
objdump=$1 program=$2
shift 2
imports=$("$objdump" -p "$program" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
echo "$(basename "$program") imports: $(echo $imports)"
[ -n "$imports" ] || { echo "no import table read"; exit 1; }
status=0
for library in "$@"; do
    if echo "$imports" | grep -qx "$(echo "$library" | tr 'A-Z' 'a-z')"; then
        echo "imports $library"
        status=1
    fi
done
exit $status
