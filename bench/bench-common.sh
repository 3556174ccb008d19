# Sourced by the benchmarks once they have set `root` and `work`: starts
# the Wine session (the shared session script is not written for `set -e`:
# a start-up command of Wine that returns non-zero must not end a
# benchmark), removes `work` and stops the session at exit, and gives the
# helpers every benchmark uses.
# The session's display runs the evilwm window manager, as a desktop has
# one: on a bare Xvfb display Wine's X11 driver waits 2 s for a window
# manager's answer whenever a shown window is hidden (the operation dialog
# after Start, the progress dialog at the end), which no user ever waits.
# BENCH_NO_WM=1 (or SORVANE_NO_WM=1) measures on the bare display.
if [ -n "${BENCH_NO_WM:-}" ]; then export SORVANE_NO_WM=1; fi
set +e
. "$root/scripts/wine-session.sh"
set -e
BENCH_DISPLAY="$SORVANE_DISPLAY_KIND"
echo "   display: $BENCH_DISPLAY"
bench_cleanup() {
    rm -rf "$work"
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
