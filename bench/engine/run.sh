#!/usr/bin/env bash
# Benchmark of the filter engine under Wine (not a test; it prints figures).
#
# 1. A filtered copy ("*.txt") of a tree of 20,000 small files and a few
#    large ones, through the engine (both passes), against Wine's xcopy.exe
#    doing the same filtered copy in the same run, and native cp for scale.
# 2. The counting pass over 100,000 entries against a bare Win32 walk under
#    the same Wine, and native find for scale.
#
# Each contender is one process, started the same way after a sync, the
# copy contenders in alternating order; wall times, best and median of
# ROUNDS. (CPU time cannot be compared: Wine runs xcopy.exe outside the
# process that `wine` starts.) Other load on the machine shows in the
# median more than in the best.  Usage: bench/engine/run.sh  (BUILD_DIR, ROUNDS)
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
export BUILD_DIR="${BUILD_DIR:-$root/build}"
ROUNDS="${ROUNDS:-5}"
out="$BUILD_DIR/bench-engine"
mkdir -p "$out"

echo "== building engine_bench.exe"
x86_64-w64-mingw32-g++-posix -std=c++17 -O2 -Wall -Wextra -municode -static \
    -DUNICODE -D_UNICODE -DWIN32_LEAN_AND_MEAN -DNOMINMAX -D_WIN32_WINNT=0x0601 -DWINVER=0x0601 \
    -I"$root/Sorvane" -I"$root/common" -I"$BUILD_DIR/third_party/xxhash" \
    "$root/bench/engine/engine_bench.cpp" "$root"/Sorvane/engine/*.cpp \
    -o "$out/engine_bench.exe" -lshell32 -lole32

work="$(mktemp -d /tmp/sorvane-bench.XXXXXX)"
. "$root/bench/bench-common.sh"

echo "== making the trees in $work"
python3 - "$work" <<'EOF'
import os, random, sys
work = sys.argv[1]
rng = random.Random(7)
src = os.path.join(work, "src")
# 20,000 small files in 200 folders (two levels), half of them *.txt.
for a in range(20):
    for b in range(10):
        folder = os.path.join(src, "d%02d" % a, "e%d" % b)
        os.makedirs(folder)
        for i in range(100):
            ext = ("txt", "log", "txt", "dat")[i % 4]
            with open(os.path.join(folder, "f%03d.%s" % (i, ext)), "wb") as f:
                f.write(os.urandom(rng.randint(100, 4000)))
# A few large ones.
for i in range(4):
    with open(os.path.join(src, "large%d.txt" % i), "wb") as f:
        for _ in range(16):
            f.write(os.urandom(1 << 20))
# 100,000 entries for the counting pass: 1,000 folders of 99 empty files.
count = os.path.join(work, "count")
for a in range(1000):
    folder = os.path.join(count, "c%04d" % a)
    os.makedirs(folder)
    for i in range(99):
        open(os.path.join(folder, "n%02d.x" % i), "wb").close()
EOF
src="$work/src"
find "$src" -type f | wc -l | xargs echo "   source files:"
find "$src" -type f -name '*.txt' | wc -l | xargs echo "   of them *.txt:"
find "$work/count" | wc -l | xargs echo "   entries for counting:"
find "$work" >/dev/null # warm the caches for every contender

engine_wall=() xcopy_wall=() cp_wall=()
run_engine() {
    measure wine "$out/engine_bench.exe" copy "$(winpath "$src")" "$(winpath "$work/dst-engine")" '*.txt'
    engine_line="$(tr -d '\r' <"$work/last.out")"
    engine_wall+=("$WALL")
}
run_xcopy() {
    measure wine xcopy.exe "$(winpath "$src")\\*.txt" "$(winpath "$work/dst-xcopy")\\" /S /I /Q /Y
    xcopy_wall+=("$WALL")
}
for round in $(seq "$ROUNDS"); do
    rm -rf "$work/dst-engine" "$work/dst-xcopy" "$work/dst-cp"
    # Alternate who goes first, so that neither always meets the other's writeback.
    if [ $((round % 2)) = 1 ]; then run_engine; run_xcopy; else run_xcopy; run_engine; fi
    mkdir -p "$work/dst-cp"
    measure bash -c "cd '$src' && find . -name '*.txt' -print0 | xargs -0 cp --parents -t '$work/dst-cp'"
    cp_wall+=("$WALL")
done
echo "   engine: $engine_line"
for d in dst-engine dst-xcopy dst-cp; do
    echo "   $d: $(find "$work/$d" -type f | wc -l) files, $(du -sb "$work/$d" | cut -f1) bytes"
done
diff -rq "$work/dst-engine" "$work/dst-cp" >/dev/null && echo "   engine copy identical to cp's" || echo "   ENGINE COPY DIFFERS FROM cp's"
diff -rq "$work/dst-xcopy" "$work/dst-cp" >/dev/null && echo "   xcopy copy identical to cp's" || echo "   xcopy copy differs from cp's"

count_wall=() walk_wall=() find_wall=()
for round in $(seq "$ROUNDS"); do
    measure wine "$out/engine_bench.exe" count "$(winpath "$work/count")"
    count_line="$(tr -d '\r' <"$work/last.out")"
    count_wall+=("$WALL")
    measure wine "$out/engine_bench.exe" walk "$(winpath "$work/count")"
    walk_line="$(tr -d '\r' <"$work/last.out")"
    walk_wall+=("$WALL")
    measure bash -c "find '$work/count' | wc -l"
    find_wall+=("$WALL")
done
echo "   count: $count_line"
echo "   walk:  $walk_line"
echo "   load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"

report() { # label, then the times of one contender
    local label="$1"
    shift
    printf '  %-22s best %6.2f s   median %6.2f s\n' "$label" "$(best "$@")" "$(median "$@")"
}
compare() { # label, then two contenders' times given as "a b c" strings
    local label="$1" mine="$2" theirs="$3"
    # shellcheck disable=SC2086
    printf '  %-18s best %s   median %s\n' "$label" "$(ratio "$(best $mine)" "$(best $theirs)")" \
        "$(ratio "$(median $mine)" "$(median $theirs)")"
}
echo
echo "Filtered copy (*.txt: 10,004 of 20,004 files, 88 MB), $ROUNDS rounds:"
report "engine (both passes)" "${engine_wall[@]}"
report "Wine xcopy.exe" "${xcopy_wall[@]}"
report "native cp" "${cp_wall[@]}"
compare "engine / xcopy:" "${engine_wall[*]}" "${xcopy_wall[*]}"
echo "                     (goal: at most 1)"
compare "engine / cp:" "${engine_wall[*]}" "${cp_wall[*]}"
echo "                     (native, for scale)"
echo "Counting pass over 100,000 entries, $ROUNDS rounds:"
report "engine counting pass" "${count_wall[@]}"
report "bare Win32 walk" "${walk_wall[@]}"
report "native find" "${find_wall[@]}"
compare "engine / bare walk:" "${count_wall[*]}" "${walk_wall[*]}"
compare "engine / find:" "${count_wall[*]}" "${find_wall[*]}"
echo "                     (native, for scale)"
