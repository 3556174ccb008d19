#!/usr/bin/env bash
# Archives written by UnLha32.dll (under Wine) must pass "lhasa t" and
# "7zz t" and extract byte-identically with lhasa, 7zz and jlha; "u" must
# work on the archives other programs wrote; a self-extractor made by "s"
# must extract byte-identically in its no-dialog mode.
#
#   crosscheck.sh <wine-run.sh> <unlha_cli.exe> <UnLha32.dll> <testdata/lzh>
set -uo pipefail
WINE_RUN=$1 CLI=$2 DLL=$3 REFS=$4
work=$(mktemp -d /tmp/unlha-xcheck.XXXXXX)
trap 'rm -rf "$work"' EXIT
failures=0 passes=0
pass() { passes=$((passes + 1)); }
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
check() { if "$@" >/dev/null 2>&1; then pass; else fail "$*"; fi; }
winpath() { local p=${1//\//\\}; echo "Z:$p"; }
unlha() { "$WINE_RUN" "$CLI" "$(winpath "$DLL")" "$@"; }

# The tree: every kind of file the archives must carry.
tree=$work/tree
mkdir -p "$tree/nested/deeper/deepest" "$tree/with blanks"
: > "$tree/empty.txt"
printf 'x' > "$tree/one byte"
head -c 1000000 /dev/urandom > "$tree/incompressible.bin"
python3 - "$tree" <<'EOF'
import random, sys
root = sys.argv[1]
open(root + "/repetitive.txt", "w").write("abcabcabd\n" * 200000)
random.seed(7)
words = ["archive", "folder", "window", "the", "of", "a", "header", "code", "file", "\n"]
with open(root + "/ten_mb.txt", "w") as f:
    f.write(" ".join(random.choice(words) for _ in range(2_000_000))[:10_000_000])
open(root + "/nested/deeper/deepest/leaf.c", "w").write("int main(void) { return 0; }\n" * 300)
open(root + "/with blanks/a file with blanks.txt", "w").write("blank names\n" * 50)
open(root + "/" + "L" * 200 + ".txt", "w").write("long name\n")
EOF

for method in -o5 -o6 -o7 -jp2; do
    arc=$work/out$method.lzh
    # -jp2: the thorough parse (with the default -lh7-).
    if ! unlha a "$(winpath "$arc")" "$(winpath "$tree")\\" -x1 -r1 $method '*.*' >/dev/null; then
        fail "a $method"
        continue
    fi
    check lhasa t "$arc"
    if 7zz t "$arc" | grep -q 'Everything is Ok'; then pass; else fail "7zz t $method"; fi
    for tool in lhasa 7zz jlha; do
        out=$work/x-$tool$method
        mkdir -p "$out"
        case $tool in
            lhasa) (cd "$out" && lhasa xq "$arc") >/dev/null 2>&1 ;;
            7zz) 7zz x -y -o"$out" "$arc" >/dev/null 2>&1 ;;
            jlha) (cd "$out" && lha xq "$arc") >/dev/null 2>&1 ;;
        esac
        if diff -r "$tree" "$out" >/dev/null; then pass; else fail "$tool extract $method"; fi
        rm -rf "$out"
    done
done

# A name in the ANSI code page (1252 under Wine's default locale): é is
# stored as the single byte 0xE9.
mkdir -p "$work/ansi"
printf 'accent\n' > "$work/ansi/café.txt"
arc=$work/ansi.lzh
if unlha a "$(winpath "$arc")" "$(winpath "$work/ansi")\\" -x1 '*.*' >/dev/null; then
    if LC_ALL=C grep -aq $'caf\xe9.txt' "$arc"; then pass; else fail "ANSI name not stored as 0xE9"; fi
    check lhasa t "$arc"
    if 7zz t "$arc" | grep -q 'Everything is Ok'; then pass; else fail "7zz t ansi"; fi
    mkdir -p "$work/ansi-x" && (cd "$work/ansi-x" && lhasa xq "$arc") >/dev/null 2>&1
    if cmp -s "$work/ansi-x/"$'caf\xe9.txt' "$work/ansi/café.txt"; then pass; else fail "lhasa extract ansi"; fi
    mkdir -p "$work/ansi-j" && (cd "$work/ansi-j" && lha xq "$arc") >/dev/null 2>&1
    if cmp -s "$work/ansi-j/"* "$work/ansi/café.txt"; then pass; else fail "jlha extract ansi"; fi
else
    fail "a ansi"
fi

# "u" on every reference archive: a newer gpl-2 replaces the member, the
# result passes the other programs' tests.
src=$work/usrc
mkdir -p "$src"
printf 'replaced by a newer file\n' > "$src/gpl-2"
touch -d '2030-01-01' "$src/gpl-2"
for ref in "$REFS"/*/*.lzh; do
    name=$(basename "$(dirname "$ref")")_$(basename "$ref")
    arc=$work/u_$name
    cp "$ref" "$arc" && chmod u+w "$arc"
    if ! unlha u "$(winpath "$arc")" "$(winpath "$src")\\" -x1 gpl-2 >/dev/null; then
        fail "u $name"
        continue
    fi
    check lhasa t "$arc"
    if 7zz t "$arc" | grep -q 'Everything is Ok'; then pass; else fail "7zz t u $name"; fi
    if lhasa l "$ref" | grep -q ' gpl-2$'; then
        if [ "$(lhasa p "$arc" gpl-2 2>/dev/null | tail -c 25)" = "replaced by a newer file" ]; then pass
        else fail "u $name: member not replaced"; fi
    fi
done

# Self-extractor, no-dialog mode: extracts beside itself.
sfxdir=$work/sfx
mkdir -p "$sfxdir"
cp "$work/out-o7.lzh" "$sfxdir/pack.lzh"
if unlha s -gwe2 "$(winpath "$sfxdir/pack.lzh")" >/dev/null && [ -f "$sfxdir/pack.exe" ]; then
    if "$WINE_RUN" "$sfxdir/pack.exe" /q >/dev/null 2>&1; then pass; else fail "sfx run"; fi
    rm -f "$sfxdir/pack.exe" "$sfxdir/pack.lzh"
    if diff -r "$tree" "$sfxdir" >/dev/null; then pass; else fail "sfx extract"; fi
else
    fail "s -gwe2"
fi

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
