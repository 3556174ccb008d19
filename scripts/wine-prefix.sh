#!/usr/bin/env bash
# Makes the Wine prefix $WINEPREFIX when it is not there yet. Run by
# scripts/wine-session.sh before a test run and by the build's wine-run.sh
# (a test run by hand): whoever comes first makes it, under a lock, and
# whoever comes beside it waits for it instead of making a second one in
# the same folder. A prefix counts as made once .sorvane-ready is in it:
# Wine writes its registry files long before everything below is done.
#
# Wine's output goes to $WINEPREFIX.log, shown when the prefix could not be
# made: the wineserver that wineboot starts keeps whatever it was given
# open, and a test runner's pipe held so would never close. For the same
# reason Wine is never given the lock.
set -u
: "${WINEPREFIX:?}"
ready="$WINEPREFIX/.sorvane-ready"
[ -f "$ready" ] && exit 0
mkdir -p "$WINEPREFIX"
exec 9>"$WINEPREFIX.lock"
flock 9
[ -f "$ready" ] && exit 0
log="$WINEPREFIX.log"

make_prefix() {
    # wineboot's exit code says little (a 64-bit-only Wine reports its
    # missing 32-bit half as a failure): the prefix is judged by its files.
    wineboot -i </dev/null
    # wineboot leaves helpers running (the file associations taken from
    # the system's MIME types among them): let them finish, or the prefix
    # misses what they write.
    wineserver -w </dev/null
    [ -f "$WINEPREFIX/system.reg" ] && [ -d "$WINEPREFIX/drive_c/windows/system32" ] || return 1
    # Every Windows installation maps ".txt" to its text class; a fresh
    # Wine prefix does so only when it could import the host's MIME types.
    # Each attempt is checked by reading the key back: a helper that the
    # fresh prefix still runs may rewrite the classes behind our back.
    local mapped=
    for _ in 1 2 3 4 5; do
        wine reg add 'HKLM\Software\Classes\.txt' /ve /d txtfile /f </dev/null
        wine reg add 'HKLM\Software\Classes\.txt' /v 'Content Type' /d text/plain /f </dev/null
        wineserver -w </dev/null || true
        if wine reg query 'HKLM\Software\Classes\.txt' /ve </dev/null | grep -q txtfile; then
            mapped=1
            break
        fi
        sleep 1
    done
    [ -n "$mapped" ] || echo "warning: .txt could not be mapped to txtfile in $WINEPREFIX" >&2
    wineserver -w </dev/null || true
}

if ! make_prefix >"$log" 2>&1 9>&-; then
    echo "the Wine prefix $WINEPREFIX could not be made:" >&2
    cat "$log" >&2
    exit 1
fi
grep -h '^warning:' "$log" >&2
touch "$ready"
exit 0
