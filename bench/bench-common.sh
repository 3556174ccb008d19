# Sourced by the benchmarks once they have set `root` and `work`: starts
# the Wine session (the shared session script is not written for `set -e`:
# a start-up command of Wine that returns non-zero must not end a
# benchmark), removes `work` and stops the session at exit, and gives the
# helpers every benchmark uses.
set +e
. "$root/scripts/wine-session.sh"
set -e

# A desktop has a window manager; a bare Xvfb display has none, and there
# Wine's X11 driver waits 2 s for a window manager's answer whenever a
# shown window is hidden (the operation dialog after Start, the progress
# dialog at the end), which no user ever waits. A small window manager on
# the session's display takes that artefact out of every figure.
# BENCH_NO_WM=1 measures on the bare display.
BENCH_WM_PID=
BENCH_DISPLAY="bare Xvfb, no window manager (every hidden window costs 2 s)"
if [ -z "${BENCH_NO_WM:-}" ] && [ -n "${DISPLAY:-}" ] && command -v evilwm >/dev/null; then
    evilwm -fn fixed >/dev/null 2>&1 </dev/null &
    BENCH_WM_PID=$!
    sleep 0.5
    if kill -0 "$BENCH_WM_PID" 2>/dev/null; then
        BENCH_DISPLAY="Xvfb with the evilwm window manager"
    else
        BENCH_WM_PID=
    fi
fi
echo "   display: $BENCH_DISPLAY"
bench_cleanup() {
    rm -rf "$work"
    if [ -n "$BENCH_WM_PID" ]; then kill "$BENCH_WM_PID" >/dev/null 2>&1 || true; fi
    sorvane_session_stop
}
trap bench_cleanup EXIT

winpath() { echo "Z:${1//\//\\}"; }
ratio() { echo "scale=2; $1 / $2" | bc -l; }
best() { printf '%s\n' "$@" | sort -g | head -1; }
median() { printf '%s\n' "$@" | sort -g | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
# The value of key=value in a text: field key text.
field() { sed -n "s/.*\b$1=\([^ ]*\).*/\1/p" <<<"$2" | head -1; }
# Runs a command after flushing earlier writes; sets WALL (seconds) and
# LAST (its output).
measure() {
    sync
    /usr/bin/time -f '%e' -o "$work/time.out" "$@" >"$work/last.out" 2>&1 || true
    WALL=$(cat "$work/time.out")
    LAST="$(tr -d '\r' <"$work/last.out")"
}
