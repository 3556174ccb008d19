#!/usr/bin/env bash
# What "Verify copies" costs, measured on the whole program under Wine (not
# a test; it prints figures). The real Sorvane.exe copies a tree, started
# and timed as bench/app/run.sh does it (app_bench.exe program: Start to
# the progress dialog's "Completed", the report checked), once with the
# copy form as it opens (no verification) and once with "Verify copies"
# ticked (control 2054), in alternating order, each after a sync:
#
#   small   many small files (SMALL_FILES files of 100 to 5,000 bytes, in
#           folders of 100)
#   large   a few large files (LARGE_FILES files of LARGE_MB MB)
#
# Every run must copy every file: the run without verification has one
# "Success" row per file, the verified run one "Success (verified)" row
# per file; the copies are compared with the source afterwards.
#
# Usage: bench/app/verify.sh
#   BUILD_DIR    build folder (default: build)
#   ROUNDS       rounds per tree (default 3)
#   SMALL_FILES  (default 5000)   LARGE_FILES (default 4)   LARGE_MB (default 64)
#   TREE_ROOT    where the trees and copies are made (default: a folder in /tmp)
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
export BUILD_DIR="${BUILD_DIR:-$root/build}"
ROUNDS="${ROUNDS:-3}"
SMALL_FILES="${SMALL_FILES:-5000}"
LARGE_FILES="${LARGE_FILES:-4}"
LARGE_MB="${LARGE_MB:-64}"
SORVANE_EXE="${SORVANE_EXE:-$BUILD_DIR/dist/Sorvane.exe}"
kVerifyCopies=$(sed -n 's/^#define IDC_VERIFY_COPIES *\([0-9]*\).*/\1/p' "$root/Sorvane/res/SorvaneRes.h")
[ -n "$kVerifyCopies" ] || { echo "IDC_VERIFY_COPIES not found in Sorvane/res/SorvaneRes.h" >&2; exit 2; }
out="$BUILD_DIR/bench-app"
mkdir -p "$out"
[ -f "$SORVANE_EXE" ] || { echo "no program at $SORVANE_EXE: build first" >&2; exit 2; }

cxx=(x86_64-w64-mingw32-g++-posix -std=c++17 -O2 -Wall -Wextra -municode -static
     -DUNICODE -D_UNICODE -DWIN32_LEAN_AND_MEAN -DNOMINMAX -D_WIN32_WINNT=0x0601 -DWINVER=0x0601)
echo "== building app_bench.exe"
"${cxx[@]}" -I"$root/tests/e2e" -I"$root/common" "$root/bench/app/app_bench.cpp" "$root/tests/e2e/Driver.cpp" \
    "$root/common/HandOff.cpp" -o "$out/app_bench.exe" -lshell32 -lole32 -ladvapi32 -luser32

work="$(mktemp -d "${TREE_ROOT:-/tmp}/sorvane-verify-bench.XXXXXX")"
. "$root/bench/bench-common.sh"

echo "== making the trees in $work (natively)"
python3 - "$work" "$SMALL_FILES" "$LARGE_FILES" "$LARGE_MB" <<'EOF'
import os, random, sys
work, small, large, mb = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
rng = random.Random(18)
for i in range(small):
    folder = os.path.join(work, "small", "d%03d" % (i // 100))
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "f%03d.dat" % (i % 100)), "wb") as f:
        f.write(os.urandom(rng.randint(100, 5000)))
os.makedirs(os.path.join(work, "large"))
for i in range(large):
    with open(os.path.join(work, "large", "large%d.dat" % i), "wb") as f:
        for _ in range(mb):
            f.write(os.urandom(1 << 20))
EOF
OK=1
summary=()
for name in small large; do
    src="$work/$name"
    count=$(find "$src" -type f | wc -l)
    megabytes=$(du -sm "$src" | cut -f1)
    plain=() verified=()
    for round in $(seq "$ROUNDS"); do
        order=(plain verified)
        [ $((round % 2)) = 0 ] && order=(verified plain)
        for mode in "${order[@]}"; do
            dst="$work/dst-$name"
            rm -rf "$dst"
            ticks=()
            [ "$mode" = verified ] && ticks=("tick=$kVerifyCopies")
            sync
            line="$(wine "$out/app_bench.exe" program "$(winpath "$SORVANE_EXE")" copy "$(winpath "$src")" \
                "$(winpath "$dst")" "*.*" "${ticks[@]}" 2>&1 | tr -d '\r' | tail -1)" || true
            ms=$(field ms "$line")
            rows=$(field success_rows "$line")
            [ "$mode" = verified ] && rows=$(field verified_rows "$line")
            if [ -z "$ms" ] || [ "$(field report_complete "$line")" != 1 ] || [ "$rows" != "$count" ] ||
                [ "$(field completed "$line")" != "$count" ] || ! diff -rq "$src" "$dst" >/dev/null ||
                { [ "$mode" = verified ] && [ "$(field verified "$line")" != "$count" ]; }; then
                echo "   $name/$mode: RUN NOT AS EXPECTED ($count files): $line" >&2
                OK=0
            fi
            seconds=$(echo "scale=3; ${ms:-0} / 1000" | bc -l)
            echo "   $name round $round $mode: $seconds s"
            if [ "$mode" = verified ]; then verified+=("$seconds"); else plain+=("$seconds"); fi
        done
    done
    rm -rf "$work/dst-$name"
    goal="1.3"
    [ "$name" = large ] && goal="2.2"
    summary+=("" "Copy of $count files, $megabytes MB ($name), $ROUNDS rounds:")
    summary+=("$(printf '  %-26s best %7.2f s   median %7.2f s' "without verification" "$(best "${plain[@]}")" "$(median "${plain[@]}")")")
    summary+=("$(printf '  %-26s best %7.2f s   median %7.2f s' "Verify copies" "$(best "${verified[@]}")" "$(median "${verified[@]}")")")
    summary+=("$(printf '  %-26s best %5s   median %5s   (goal: at most %s)' "verified / without" \
        "$(ratio "$(best "${verified[@]}")" "$(best "${plain[@]}")")" \
        "$(ratio "$(median "${verified[@]}")" "$(median "${plain[@]}")")" "$goal")")
    # The two runs of one round, one right after the other: their ratio does
    # not move with the drift of a shared disk across rounds.
    paired=()
    for i in "${!plain[@]}"; do paired+=("$(ratio "${verified[$i]}" "${plain[$i]}")"); done
    summary+=("$(printf '  %-26s lowest %5s   median %5s   highest %5s' "same round, verified / without" \
        "$(best "${paired[@]}")" "$(median "${paired[@]}")" "$(printf '%s\n' "${paired[@]}" | sort -g | tail -1)")")
done

echo
echo "Program: $SORVANE_EXE; trees on $(df -T "$work" | awk 'NR == 2 {print $2}') ($work)"
echo "Machine: $(nproc) cores; load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "Display: $BENCH_DISPLAY"
printf '%s\n' "${summary[@]}"
if [ "$OK" != 1 ]; then
    echo "SOME RUNS WERE NOT AS EXPECTED (see above)"
    exit 1
fi
