#!/usr/bin/env bash
# Sourced by the scripts that run Windows programs (tests, benchmarks, demo,
# pictures): gives them the build's own Wine prefix, one persistent
# wineserver and an Xvfb display with a small window manager, all stopped
# again when the calling script exits.
# Needs: BUILD_DIR.
# SORVANE_NO_WM=1 leaves the display bare (no window manager).
# Sets SORVANE_DISPLAY_KIND: what the display is, in words.
export WINEPREFIX="$BUILD_DIR/wineprefix"
# Wine's own errors (a program that cannot start, a missing library) stay
# visible; its fixme and trace messages do not.
export WINEDEBUG="${WINEDEBUG:--all,err+all}"
export WINEDLLOVERRIDES="mscoree,mshtml="

SORVANE_XVFB_PID=
SORVANE_WM_PID=
sorvane_session_stop() {
    wineserver -k >/dev/null 2>&1 || true
    if [ -n "${SORVANE_WM_PID:-}" ]; then kill "$SORVANE_WM_PID" >/dev/null 2>&1 || true; fi
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

# A desktop has a window manager; a bare Xvfb display has none, and there
# Wine's X11 driver waits 2 s for a window manager's answer whenever a
# shown window is hidden (an operation dialog after Start, a progress
# dialog at its end, a test's dialog when it closes), which no user ever
# waits. A small window manager takes that wait out of every program run.
SORVANE_DISPLAY_KIND="no display"
if [ -n "${SORVANE_XVFB_PID:-}" ]; then
    SORVANE_DISPLAY_KIND="bare Xvfb, no window manager (every hidden window costs 2 s)"
    if [ -z "${SORVANE_NO_WM:-}" ]; then
        if ! command -v evilwm >/dev/null; then
            echo "warning: evilwm is not installed (scripts/install-deps.sh): the display stays bare" >&2
        else
            evilwm -fn fixed >/dev/null 2>&1 </dev/null &
            SORVANE_WM_PID=$!
            # A second window manager is refused at once: still running after
            # a moment, it holds the display.
            sleep 0.5
            if kill -0 "$SORVANE_WM_PID" 2>/dev/null; then
                SORVANE_DISPLAY_KIND="Xvfb with the evilwm window manager"
            else
                echo "warning: evilwm did not start: the display stays bare" >&2
                SORVANE_WM_PID=
            fi
        fi
    fi
fi
export SORVANE_DISPLAY_KIND

# The prefix, made once.
"$(dirname "${BASH_SOURCE[0]}")/wine-prefix.sh"
# Started here with its output sent away, so that no test process inherits
# ctest's pipes through it.
(wineserver -p; wine cmd /c exit) >/dev/null 2>&1 </dev/null
