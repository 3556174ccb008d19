#!/usr/bin/env bash
# LZH benchmark: compressed size and encoding speed of our codec against
# jlha (the Java LHA in jlha-utils), measured in the same run, and against
# the sizes the reference programs reached (read from the reference
# archives). Inputs: GPL-2 and long.txt, taken from the reference archives,
# and a mixed corpus of at least 20 MB made from files every Debian machine
# with the build tools has (C headers, program binaries, compressed docs).
#
#   bench/lzh/run.sh [build-dir]      (default /tmp/lzh-bench-build)
#
# Speeds are wall-clock times of whole archiver runs (process start, reading,
# compressing, writing), best of REPEAT runs, ours and jlha alternating.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
refs=${LZH_REFS:-$repo/../shared/testdata/lzh}
build=${1:-/tmp/lzh-bench-build}
REPEAT=${REPEAT:-3}
for tool in lhasa lha cmake; do
    command -v $tool >/dev/null || { echo "missing $tool (apt-get install lhasa jlha-utils cmake)"; exit 1; }
done

cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 >/dev/null
ours=$build/tools/lzhtool
bench=$build/lzh_bench

work=$(mktemp -d /tmp/lzh-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/in"
(cd "$work/in" && lhasa xq "$refs/lha_unix114i/h0_lh5.lzh" && lhasa xq "$refs/lha_unix114i/lh7_long.lzh")

# Mixed corpus: text, binaries and already compressed data, about 24 MB.
corpus=$work/corpus
mkdir -p "$corpus/text" "$corpus/bin" "$corpus/packed"
take() {  # take <dest> <max bytes> <file list on stdin>
    local dest=$1 limit=$2 total=0 f size
    while IFS= read -r f; do
        size=$(stat -c %s "$f")
        [ $((total + size)) -gt "$limit" ] && continue
        cp "$f" "$dest/$(echo "${f#/}" | tr / _)" && total=$((total + size))
    done
}
find /usr/include -type f -name '*.h' -size -400k | sort | take "$corpus/text" 9000000
find /usr/bin /usr/lib/x86_64-linux-gnu -maxdepth 1 -type f -size +50k -size -4M | sort | take "$corpus/bin" 9000000
find /usr/share/doc /usr/share/icons /usr/share/pixmaps -type f \( -name '*.gz' -o -name '*.png' \) -size +8k \
    | sort | take "$corpus/packed" 6000000
corpus_bytes=$(du -sb "$corpus" | cut -f1)
corpus_files=$(find "$corpus" -type f | wc -l)

# Member data bytes of an archive (headers excluded), from lhasa's listing.
packed_bytes() { lhasa v "$1" | awk '/^ Total/ {print $4}'; }
# Sizes the reference programs reached.
ref_size() { lhasa v "$1" | awk '/^ Total/ {print $4}'; }
echo "== reference programs (member data bytes)"
for prog in explzh_723 lha_unix114i lhmelt_16536; do
    g5=$(ref_size "$refs/$prog/h0_lh5.lzh")
    echo "  $prog: GPL-2 -lh5- $g5"
done
echo "  lha_unix114i: long.txt -lh7- $(ref_size "$refs/lha_unix114i/lh7_long.lzh")"

run_case() {  # run_case <label> <method digit> <input dir or file>...
    local label=$1 m=$2
    shift 2
    local t_ours t_thor t_jlha s_ours s_thor s_jlha
    (cd "$(dirname "$1")" && "$ours" a -$m "$work/o.lzh" "$(basename "$1")")
    s_ours=$(packed_bytes "$work/o.lzh")
    (cd "$(dirname "$1")" && "$ours" a -$m -o -d32 "$work/ot.lzh" "$(basename "$1")")
    s_thor=$(packed_bytes "$work/ot.lzh")
    rm -f "$work/j.lzh"
    (cd "$(dirname "$1")" && lha aqo$m "$work/j.lzh" "$(basename "$1")")
    s_jlha=$(packed_bytes "$work/j.lzh")
    # Alternate the programs so that load on the machine hits both alike.
    # Wall time and CPU time (user + system, all threads), best of REPEAT.
    local bo=999999 bt=999999 bj=999999 co=999999 cj=999999 t c
    for _ in $(seq "$REPEAT"); do
        read -r t c < <(best_time_once "$1" "$ours" a -$m "$work/t.lzh")
        bo=$(python3 -c "print(min($bo,$t))"); co=$(python3 -c "print(min($co,$c))")
        read -r t c < <(best_time_once "$1" lha aqo$m "$work/t.lzh")
        bj=$(python3 -c "print(min($bj,$t))"); cj=$(python3 -c "print(min($cj,$c))")
        read -r t c < <(best_time_once "$1" "$ours" a -$m -o -d32 "$work/t.lzh")
        bt=$(python3 -c "print(min($bt,$t))")
    done
    printf "%-22s %-6s ours %10s B %6.2fs | thorough %10s B %6.2fs | jlha %10s B %6.2fs | ours/jlha: speed %.2fx (CPU %.2fx), size %.4f\n" \
        "$label" "-lh$m-" "$s_ours" "$bo" "$s_thor" "$bt" "$s_jlha" "$bj" \
        "$(python3 -c "print($bj/max($bo,0.001))")" "$(python3 -c "print($cj/max($co,0.001))")" \
        "$(python3 -c "print($s_ours/$s_jlha)")"
}
best_time_once() {  # best_time_once <input> <command...>: one timed run in the input's folder
    local input=$1
    shift
    rm -f "$work/t.lzh"
    (cd "$(dirname "$input")" && /usr/bin/time -o "$work/time.txt" -f "%e %U %S" "$@" "$(basename "$input")" >/dev/null 2>&1)
    tail -n 1 "$work/time.txt" | awk '{printf "%s %.2f\n", $1, $2 + $3}'
}

echo "== archiver runs (best of $REPEAT; thorough = our optimal parse; load average $(cut -d' ' -f1 /proc/loadavg))"
run_case "GPL-2 (18092 B)" 5 "$work/in/gpl-2"
run_case "long.txt (1241658 B)" 7 "$work/in/long.txt"
run_case "corpus ($corpus_files files, $corpus_bytes B)" 5 "$corpus"
run_case "corpus ($corpus_files files, $corpus_bytes B)" 7 "$corpus"

echo "== codec in memory (no file I/O): file method parse orig packed ratio enc_MB/s dec_MB/s"
cat "$corpus"/text/* > "$work/text.cat"
cat "$corpus"/bin/* > "$work/bin.cat"
"$bench" "$work/in/gpl-2" "$work/in/long.txt" "$work/text.cat" "$work/bin.cat" | sed "s|$work/||"
