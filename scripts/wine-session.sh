#!/usr/bin/env bash
# Sourced by the scripts that run Windows programs: gives them the build's
# own Wine prefix, one persistent wineserver and an Xvfb display, all
# stopped again when the calling script exits.
# Needs: BUILD_DIR.
export WINEPREFIX="$BUILD_DIR/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

sorvane_session_stop() {
    wineserver -k >/dev/null 2>&1 || true
    if [ -n "${SORVANE_XVFB_PID:-}" ]; then kill "$SORVANE_XVFB_PID" >/dev/null 2>&1 || true; fi
}
trap sorvane_session_stop EXIT

# A display of our own, whatever else runs on this machine.
if command -v Xvfb >/dev/null; then
    for n in $(seq 90 190); do
        [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
        Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 </dev/null &
        SORVANE_XVFB_PID=$!
        for _ in $(seq 50); do
            [ -e "/tmp/.X11-unix/X$n" ] && break
            sleep 0.1
        done
        if kill -0 "$SORVANE_XVFB_PID" 2>/dev/null && [ -e "/tmp/.X11-unix/X$n" ]; then
            export DISPLAY=":$n"
            break
        fi
        SORVANE_XVFB_PID=
    done
fi

if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1 </dev/null
    # wineboot leaves helpers running (the file associations taken from the
    # system's MIME types among them): let them finish, or the prefix misses
    # what they write.
    wineserver -w >/dev/null 2>&1 </dev/null
    # Every Windows installation maps ".txt" to its text class; a fresh Wine
    # prefix does so only when it could import the host's MIME types.
    # Each attempt is checked by reading the key back: a helper that the
    # fresh prefix still runs may rewrite the classes behind our back.
    mapped=
    for _ in 1 2 3 4 5; do
        wine reg add 'HKLM\Software\Classes\.txt' /ve /d txtfile /f >/dev/null 2>&1 </dev/null
        wine reg add 'HKLM\Software\Classes\.txt' /v 'Content Type' /d text/plain /f >/dev/null 2>&1 </dev/null
        wineserver -w >/dev/null 2>&1 </dev/null || true
        if wine reg query 'HKLM\Software\Classes\.txt' /ve 2>/dev/null </dev/null | grep -q txtfile; then
            mapped=1
            break
        fi
        sleep 1
    done
    [ -n "$mapped" ] || echo "warning: .txt could not be mapped to txtfile in $WINEPREFIX" >&2
    wineserver -w >/dev/null 2>&1 </dev/null || true
fi
# Started here with its output sent away, so that no test process inherits
# ctest's pipes through it.
(wineserver -p; wine cmd /c exit) >/dev/null 2>&1 </dev/null
