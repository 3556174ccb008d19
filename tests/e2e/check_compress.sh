#!/usr/bin/env bash
# Runs the end-to-end compress test, then checks the archive the program
# made with an independent LHA reader (lhasa): it must test clean and hold
# exactly the files the filter chose, byte for byte.
set -euo pipefail
tests_exe="$1"
out="$2"
wine_run="$3"
rm -rf "$out"
"$wine_run" "$tests_exe" --gtest_filter=EndToEnd.CompressWithOurLibraryEndsWithItsMessage
archive="$out/arc.lzh"
lhasa t "$archive"
listing=$(lhasa l "$archive")
echo "$listing"
for member in a.txt docs/c.txt docs/deep/d.txt; do
    grep -q "$member" <<<"$listing" || { echo "missing member $member"; exit 1; }
done
if grep -q "\.doc" <<<"$listing"; then echo "the .doc files should have been filtered out"; exit 1; fi
mkdir -p "$out/x" && (cd "$out/x" && lhasa xq "$archive")
[ "$(cat "$out/x/docs/deep/d.txt")" = "delta text" ] || { echo "content differs"; exit 1; }
echo "archive checked by lhasa"
