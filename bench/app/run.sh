#!/usr/bin/env bash
# Benchmark of the whole program under Wine (not a test; it prints figures).
#
# The real Sorvane.exe, started as the Explorer extension starts it with
# Start pressed in its dialog, against the engine alone, Wine's xcopy.exe,
# bare Win32 loops built here and native tools, in the same run:
#
#   copy     a filtered copy ("*.txt": 18,003 of 30,003 files in 300
#            folders, three of them 48 MB) - program, engine (both passes),
#            the console program SorvaneCmd.exe as a script runs it (on a
#            console of its own, and with its output redirected to a file),
#            xcopy.exe, a bare FindFirstFileExW + CopyFileW loop, a bare
#            loop that copies to a temporary name and renames (the fair
#            floor of the engine's safe write), native cp.
#   move     the same filtered move within one volume - program, engine,
#            a bare MoveFileExW loop.
#   recycle  a delete of 5,000 files to the Recycle Bin - program, engine,
#            a bare loop of one SHFileOperationW per file. The trash is put
#            on the tree's file system (XDG_DATA_HOME) and checked: every
#            file must have arrived there.
#   bigfolder  the engine's counting pass of a copy of one folder of
#            100,000 files onto a target folder that holds the same names
#            (every file looked up in a large target listing), against the
#            same pass onto an empty target and a bare walk. The files are
#            made natively: made through Wine they would take most of an hour.
#
# The program's time runs from Start to the moment its progress dialog
# says the run has finished (the worker closes the report before that; the
# driver then checks that the report is closed, complete, and has one row
# per file with the right totals). Every other contender is one process,
# timed from its start to its end. Contenders take turns in a rotating
# order, each after a sync; best and median of ROUNDS.
#
# Usage: bench/app/run.sh
#   BUILD_DIR      build folder (default: build)
#   ROUNDS         rounds per part (default 3)
#   PARTS          which parts (default "copy move recycle bigfolder")
#   SORVANE_EXE    the program to measure (default: $BUILD_DIR/dist/Sorvane.exe)
#   SORVANE_CMD    the console program (default: SorvaneCmd.exe beside it)
#   COPY_CONTENDERS  which contenders the copy part rotates (default: all;
#                  "program console redirected xcopy" measures the console
#                  program against the dialog program and xcopy alone)
#   PROGRAM_TICKS  extra check boxes of the dialog to tick, as control ids
#                  (for example an option to be measured: PROGRAM_TICKS="2230")
#   ENGINE_BENCH   an engine_bench.exe to use instead of the one built here
#                  (an earlier engine, to compare with)
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
export BUILD_DIR="${BUILD_DIR:-$root/build}"
ROUNDS="${ROUNDS:-3}"
PARTS="${PARTS:-copy move recycle bigfolder}"
SORVANE_EXE="${SORVANE_EXE:-$BUILD_DIR/dist/Sorvane.exe}"
SORVANE_CMD="${SORVANE_CMD:-$(dirname "$SORVANE_EXE")/SorvaneCmd.exe}"
PROGRAM_TICKS="${PROGRAM_TICKS:-}"
out="$BUILD_DIR/bench-app"
mkdir -p "$out"
[ -f "$SORVANE_EXE" ] || { echo "no program at $SORVANE_EXE: build first" >&2; exit 2; }

cxx=(x86_64-w64-mingw32-g++-posix -std=c++17 -O2 -Wall -Wextra -municode -static
     -DUNICODE -D_UNICODE -DWIN32_LEAN_AND_MEAN -DNOMINMAX -D_WIN32_WINNT=0x0601 -DWINVER=0x0601)
echo "== building engine_bench.exe and app_bench.exe"
"${cxx[@]}" -I"$root" -I"$root/Sorvane" -I"$root/common" -I"$BUILD_DIR/third_party/xxhash" \
    "$root/bench/engine/engine_bench.cpp" "$root"/Sorvane/engine/*.cpp \
    -o "$out/engine_bench.exe" -lshell32 -lole32
if [ -n "${ENGINE_BENCH:-}" ]; then cp "$ENGINE_BENCH" "$out/engine_bench.exe"; fi
"${cxx[@]}" -I"$root/tests/e2e" -I"$root" -I"$root/Sorvane" -I"$root/common" "$root/bench/app/app_bench.cpp" "$root/tests/e2e/Driver.cpp" \
    "$root/common/HandOff.cpp" -o "$out/app_bench.exe" -lshell32 -lole32 -ladvapi32 -luser32

work="$(mktemp -d /tmp/sorvane-app-bench.XXXXXX)"
# Recycled files go to a trash on the tree's own file system.
export XDG_DATA_HOME="$work/xdg"
mkdir -p "$XDG_DATA_HOME"
. "$root/bench/bench-common.sh"
# The program: its own Start-to-finished time, checked against the report.
run_program() { # op source target patterns expected-files
    # shellcheck disable=SC2086
    measure wine "$out/app_bench.exe" program "$(winpath "$SORVANE_EXE")" "$1" "$(winpath "$2")" "$(winpath "$3")" \
        "$4" $(for t in $PROGRAM_TICKS; do echo "tick=$t"; done)
    local ms rows total completed
    ms=$(field ms "$LAST")
    rows=$(field success_rows "$LAST")
    total=$(field total "$LAST")
    completed=$(field completed "$LAST")
    if [ -z "$ms" ] || [ "$(field report_complete "$LAST")" != 1 ] || [ "$rows" != "$5" ] || [ "$total" != "$5" ] ||
        [ "$completed" != "$5" ]; then
        echo "   PROGRAM RUN NOT AS EXPECTED ($5 files): $LAST" >&2
        PROGRAM_OK=0
    fi
    PROGRAM_LAST="$LAST"
    SECONDS_TAKEN=$(echo "scale=3; $ms / 1000" | bc -l)
}

less_one() { # the times given, each less the best one-file run
    local t
    for t in "$@"; do echo "scale=3; $t - $ONE_BEST" | bc -l; done | tr '\n' ' '
}
# The same, added to the summary only for contenders that ran.
add_report() {
    if [ $# -gt 1 ]; then summary+=("$(report "$@")"); fi
}
add_compare() {
    if [ -n "$2" ] && [ -n "$3" ]; then summary+=("$(compare "$@")"); fi
}
report() { # label, then the times of one contender
    local label="$1"
    shift
    printf '  %-34s best %7.2f s   median %7.2f s\n' "$label" "$(best "$@")" "$(median "$@")"
}
compare() { # label, two contenders' times as "a b c" strings, goal
    # shellcheck disable=SC2086
    printf '  %-34s best %5s   median %5s   %s\n' "$1" "$(ratio "$(best $2)" "$(best $3)")" \
        "$(ratio "$(median $2)" "$(median $3)")" "$4"
}

echo "== making the trees in $work (natively)"
python3 - "$work" <<'EOF'
import os, random, sys
work = sys.argv[1]
rng = random.Random(15)
def tree(root, tops, subs, per, txt_every):
    for a in range(tops):
        for b in range(subs):
            folder = os.path.join(root, "d%02d" % a, "e%d" % b)
            os.makedirs(folder)
            for i in range(per):
                ext = "txt" if i % 5 < txt_every else ("log", "dat")[i % 2]
                with open(os.path.join(folder, "f%03d.%s" % (i, ext)), "wb") as f:
                    f.write(os.urandom(rng.randint(100, 5000)))
# 30,000 small files in 300 folders, three in five of them *.txt, and three
# large *.txt files: 18,003 of 30,003 files qualify.
tree(os.path.join(work, "tree"), 30, 10, 100, 3)
for i in range(3):
    with open(os.path.join(work, "tree", "large%d.txt" % i), "wb") as f:
        for _ in range(48):
            f.write(os.urandom(1 << 20))
# 5,000 files in 50 folders for the Recycle Bin.
tree(os.path.join(work, "small"), 5, 10, 100, 5)
EOF
tree="$work/tree"
txt_count=$(find "$tree" -type f -name '*.txt' | wc -l)
echo "   tree: $(find "$tree" -type f | wc -l) files, $txt_count of them *.txt, $(du -sm "$tree" | cut -f1) MB"
small_count=$(find "$work/small" -type f | wc -l)
echo "   small: $small_count files"
PROGRAM_OK=1
summary=()

# What a run of the program costs whatever its size: one file, from Start
# to the report closed. (Under Wine on a display without a window manager,
# hiding the operation dialog waits 2 s for the X server, which is why the
# benchmarks start one; see RESULTS.md.)
mkdir -p "$work/one"
echo "one file" >"$work/one/one.txt"
one=()
for round in $(seq "$ROUNDS"); do
    rm -rf "$work/dst-one"
    run_program copy "$work/one" "$work/dst-one" "*.txt" 1
    one+=("$SECONDS_TAKEN")
done
summary+=("" "A run of one file (what every run costs, $ROUNDS rounds):")
summary+=("$(report "Sorvane.exe (Start to report closed)" "${one[@]}")")
ONE_BEST=$(best "${one[@]}")

if [[ " $PARTS " == *" copy "* ]]; then
    prog=() eng=() con=() red=() xc=() bare=() tmpren=() cpn=() prog_ms=()
    eng_line=""
    # shellcheck disable=SC2206
    contenders=(${COPY_CONTENDERS:-program engine console redirected xcopy bare tmpren cp})
    for round in $(seq "$ROUNDS"); do
        for k in $(seq 0 $((${#contenders[@]} - 1))); do
            c=${contenders[$(((k + round - 1) % ${#contenders[@]}))]}
            d="$work/dst-$c"
            rm -rf "$d"
            case $c in
            program)
                run_program copy "$tree" "$d" "*.txt" "$txt_count"
                prog+=("$SECONDS_TAKEN") ;;
            engine)
                measure wine "$out/engine_bench.exe" copy "$(winpath "$tree")" "$(winpath "$d")" '*.txt'
                eng_line="$LAST"
                eng+=("$WALL") ;;
            console | redirected)
                # As a script runs it: its own time from start to end, the
                # report and the totals as in any run.
                measure wine "$out/app_bench.exe" "$c" "$(winpath "$SORVANE_CMD")" copy "$(winpath "$tree")" \
                    "$(winpath "$d")" '/names:*.txt' /overwrite:always
                if [ "$(field exit "$LAST")" != 0 ]; then
                    echo "   SorvaneCmd.exe ($c) RUN NOT AS EXPECTED: $LAST" >&2
                    PROGRAM_OK=0
                fi
                ms=$(field ms "$LAST")
                if [ "$c" = console ]; then con+=("$(echo "scale=3; $ms / 1000" | bc -l)")
                else red+=("$(echo "scale=3; $ms / 1000" | bc -l)"); fi ;;
            xcopy)
                measure wine xcopy.exe "$(winpath "$tree")\\*.txt" "$(winpath "$d")\\" /S /I /Q /Y
                xc+=("$WALL") ;;
            bare)
                measure wine "$out/app_bench.exe" copy "$(winpath "$tree")" "$(winpath "$d")" '*.txt'
                bare+=("$WALL") ;;
            tmpren)
                measure wine "$out/app_bench.exe" tmpren "$(winpath "$tree")" "$(winpath "$d")" '*.txt'
                tmpren+=("$WALL") ;;
            cp)
                mkdir -p "$d"
                measure bash -c "cd '$tree' && find . -name '*.txt' -print0 | xargs -0 cp --parents -t '$d'"
                cpn+=("$WALL") ;;
            esac
        done
        # Every copy made holds what native cp copies.
        if [ ! -d "$work/dst-cp" ]; then
            mkdir -p "$work/dst-cp"
            (cd "$tree" && find . -name '*.txt' -print0 | xargs -0 cp --parents -t "$work/dst-cp")
        fi
        for c in "${contenders[@]}"; do
            [ "$c" = cp ] && continue
            diff -rq "$work/dst-$c" "$work/dst-cp" >/dev/null || { echo "   COPY OF $c DIFFERS FROM cp's" >&2; PROGRAM_OK=0; }
        done
    done
    echo "   program: $PROGRAM_LAST"
    echo "   engine:  $eng_line"
    summary+=("" "Filtered copy (*.txt: $txt_count of 30,003 files, $ROUNDS rounds):")
    add_report "Sorvane.exe (Start to report closed)" "${prog[@]}"
    add_report "engine alone (both passes)" "${eng[@]}"
    add_report "SorvaneCmd.exe on a console" "${con[@]}"
    add_report "SorvaneCmd.exe redirected" "${red[@]}"
    add_report "Wine xcopy.exe" "${xc[@]}"
    add_report "bare FindFirstFileExW + CopyFileW" "${bare[@]}"
    add_report "bare copy to temporary + rename" "${tmpren[@]}"
    add_report "native cp (for scale)" "${cpn[@]}"
    add_compare "program / engine" "${prog[*]}" "${eng[*]}" "(goal: at most 1.25)"
    add_compare "(program - one-file run) / engine" "$(less_one "${prog[@]}")" "${eng[*]}" ""
    add_compare "program / xcopy" "${prog[*]}" "${xc[*]}" "(goal: at most 1)"
    add_compare "SorvaneCmd on a console / program" "${con[*]}" "${prog[*]}" "(goal: at most 1.1)"
    add_compare "SorvaneCmd redirected / program" "${red[*]}" "${prog[*]}" "(goal: at most 1.1)"
    add_compare "SorvaneCmd redirected / xcopy" "${red[*]}" "${xc[*]}" ""
    add_compare "program / bare loop" "${prog[*]}" "${bare[*]}" ""
    add_compare "engine / bare temporary + rename" "${eng[*]}" "${tmpren[*]}" "(goal: at most 1.3)"
    add_compare "program / native cp" "${prog[*]}" "${cpn[*]}" "(native, for scale)"
fi

printf '%s\n' "${summary[@]}"
shown=${#summary[@]}
if [[ " $PARTS " == *" move "* ]]; then
    prog=() eng=() bare=()
    contenders=(program engine bare)
    for round in $(seq "$ROUNDS"); do
        for k in $(seq 0 2); do
            c=${contenders[$(((k + round - 1) % 3))]}
            rm -rf "$work/mv-src" "$work/mv-dst"
            cp -a "$tree" "$work/mv-src"
            case $c in
            program)
                run_program move "$work/mv-src" "$work/mv-dst" "*.txt" "$txt_count"
                prog+=("$SECONDS_TAKEN") ;;
            engine)
                measure wine "$out/engine_bench.exe" move "$(winpath "$work/mv-src")" "$(winpath "$work/mv-dst")" '*.txt'
                eng+=("$WALL") ;;
            bare)
                measure wine "$out/app_bench.exe" move "$(winpath "$work/mv-src")" "$(winpath "$work/mv-dst")" '*.txt'
                bare+=("$WALL") ;;
            esac
            moved=$( (find "$work/mv-dst" -type f -name '*.txt' 2>/dev/null || true) | wc -l)
            [ "$moved" = "$txt_count" ] || { echo "   MOVE OF $c LEFT $moved OF $txt_count FILES AT THE TARGET" >&2; PROGRAM_OK=0; }
        done
    done
    rm -rf "$work/mv-src" "$work/mv-dst"
    summary+=("" "Filtered move within one volume (*.txt: $txt_count files, $ROUNDS rounds):")
    summary+=("$(report "Sorvane.exe (Start to report closed)" "${prog[@]}")")
    summary+=("$(report "engine alone (both passes)" "${eng[@]}")")
    summary+=("$(report "bare FindFirstFileExW + MoveFileExW" "${bare[@]}")")
    summary+=("$(compare "program / engine" "${prog[*]}" "${eng[*]}" "(goal: at most 1.25)")")
    summary+=("$(compare "program / bare loop" "${prog[*]}" "${bare[*]}" "")")
fi

printf '%s\n' "${summary[@]:$shown}"
shown=${#summary[@]}
if [[ " $PARTS " == *" recycle "* ]]; then
    prog=() eng=() bare=()
    contenders=(program engine bare)
    trash="$XDG_DATA_HOME/Trash"
    for round in $(seq "$ROUNDS"); do
        for k in $(seq 0 2); do
            c=${contenders[$(((k + round - 1) % 3))]}
            rm -rf "$work/rc-src" "$trash"
            cp -a "$work/small" "$work/rc-src"
            case $c in
            program)
                run_program delete "$work/rc-src" "" "*.*" "$small_count"
                prog+=("$SECONDS_TAKEN") ;;
            engine)
                measure wine "$out/engine_bench.exe" recycle "$(winpath "$work/rc-src")" '*.*'
                eng+=("$WALL") ;;
            bare)
                measure wine "$out/app_bench.exe" recycle "$(winpath "$work/rc-src")" '*'
                bare+=("$WALL") ;;
            esac
            arrived=$( (find "$trash/files" -type f 2>/dev/null || true) | wc -l)
            left=$( (find "$work/rc-src" -type f 2>/dev/null || true) | wc -l)
            if [ "$arrived" != "$small_count" ] || [ "$left" != 0 ]; then
                echo "   RECYCLE BY $c: $arrived of $small_count files in the trash, $left left in place" >&2
                PROGRAM_OK=0
            fi
        done
    done
    rm -rf "$work/rc-src" "$trash"
    summary+=("" "Delete to the Recycle Bin ($small_count files, every one checked in the trash, $ROUNDS rounds):")
    summary+=("$(report "Sorvane.exe (Start to report closed)" "${prog[@]}")")
    summary+=("$(report "engine alone (both passes)" "${eng[@]}")")
    summary+=("$(report "bare SHFileOperationW per file" "${bare[@]}")")
    summary+=("$(compare "program / engine" "${prog[*]}" "${eng[*]}" "(goal: at most 1.25)")")
    summary+=("$(compare "program / bare loop" "${prog[*]}" "${bare[*]}" "")")
fi

printf '%s\n' "${summary[@]:$shown}"
shown=${#summary[@]}
if [[ " $PARTS " == *" bigfolder "* ]]; then
    python3 - "$work" <<'EOF'
import os, sys
work = sys.argv[1]
for name in ("big-src", "big-full"):
    folder = os.path.join(work, name)
    os.makedirs(folder)
    for i in range(100000):
        open(os.path.join(folder, "n%06d.x" % i), "wb").close()
os.makedirs(os.path.join(work, "big-empty"))
EOF
    full=() empty=() walk=()
    for round in $(seq "$ROUNDS"); do
        measure wine "$out/engine_bench.exe" count "$(winpath "$work/big-src")" "$(winpath "$work/big-full")"
        full_line="$LAST"
        full+=("$WALL")
        measure wine "$out/engine_bench.exe" count "$(winpath "$work/big-src")" "$(winpath "$work/big-empty")"
        empty+=("$WALL")
        measure wine "$out/engine_bench.exe" walk "$(winpath "$work/big-src")"
        walk+=("$WALL")
    done
    echo "   count onto the full folder: $full_line"
    rm -rf "$work/big-src" "$work/big-full" "$work/big-empty"
    summary+=("" "One folder of 100,000 files, counting pass of a copy (every name looked up in the target, $ROUNDS rounds):")
    summary+=("$(report "onto a folder holding the names" "${full[@]}")")
    summary+=("$(report "onto an empty folder" "${empty[@]}")")
    summary+=("$(report "bare FindFirstFileExW walk" "${walk[@]}")")
    summary+=("$(compare "full target / empty target" "${full[*]}" "${empty[*]}" "")")
    summary+=("$(compare "full target / bare walk" "${full[*]}" "${walk[*]}" "")")
fi

echo
echo "Program: $SORVANE_EXE"
echo "Machine: $(nproc) cores; load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "Display: $BENCH_DISPLAY"
printf '%s\n' "${summary[@]}"
if [ "$PROGRAM_OK" != 1 ]; then
    echo "SOME RUNS WERE NOT AS EXPECTED (see above)"
    exit 1
fi
