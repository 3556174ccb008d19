#!/usr/bin/env bash
# The main job, for real: builds Sorvane and makes a filtered copy of a
# small tree of real files with it under Wine, the way a user does from
# Explorer's context menu: the program starts with the selection, its
# operation dialog gets a target and the patterns "*.txt;*.md", Start runs
# the copy under the progress dialog, and the HTML report lists every file.
# Everything lands in build/demo/: the copied tree, the report, and
# pictures of the two dialogs.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
export BUILD_DIR="${BUILD_DIR:-$root/build}"
"$root/scripts/build.sh"
# Its pictures of the dialogs show the captions that Wine draws itself
# where no window manager runs: on the bare display.
export SORVANE_NO_WM=1
. "$root/scripts/wine-session.sh"

demo="$BUILD_DIR/demo"
rm -rf "$demo"
mkdir -p "$demo/source/notes/old" "$demo/source/photos" "$demo/pictures"
cd "$demo/source"
printf 'Sorvane demo\r\nOnly text and notes are copied.\r\n' > readme.txt
printf '# To do\n- try Filter Move\n' > todo.md
printf 'not a text file' > budget.xls
printf 'Minutes of the meeting\r\n' > notes/meeting.txt
printf 'Ideas\n' > notes/ideas.md
printf 'kept out' > notes/draft.doc
printf 'Older notes\r\n' > notes/old/2019.txt
head -c 300000 /dev/urandom > photos/holiday.png
head -c 1500000 /dev/zero | tr '\0' 'x' > big-log.txt
cd "$demo"

win() { winepath -w "$1" 2>/dev/null; }
echo "== Filter Copy of $demo/source (patterns *.txt;*.md) to $demo/copied"
set +e
wine "$BUILD_DIR/tests/e2e/demo_run.exe" "$(win "$BUILD_DIR/dist/Sorvane.exe")" "$(win "$demo/source")" \
    "$(win "$demo/copied")" "$(win "$demo/pictures")" | tr -d '\r' | tee "$demo/run.txt"
status=${PIPESTATUS[0]}
set -e

report_win=$(sed -n 's/^report //p' "$demo/run.txt")
if [ -n "$report_win" ]; then
    cp "$(winepath -u "$report_win")" "$demo/report.htm"
fi
for bmp in "$demo"/pictures/*.bmp; do
    [ -e "$bmp" ] && command -v convert >/dev/null && convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
done

echo
echo "== Copied files"
(cd "$demo/copied" 2>/dev/null && find . -type f | sort) || echo "(none)"
echo
echo "== Report ($demo/report.htm), as text"
if [ -f "$demo/report.htm" ]; then
    sed -e 's/<\/td><td>/ | /g' -e 's/<[^>]*>//g' -e 's/\r//' "$demo/report.htm" | grep -v '^[[:space:]]*$'
fi
echo
echo "Pictures of the dialogs: $demo/pictures/"
exit "$status"
