#!/usr/bin/env bash
# Drops files on the real program from outside, as a Linux file manager does: through the XDND
# protocol (tools/xdnd_drop.py) on a private Xvfb display, which Wine hands to the window as
# WM_DROPFILES. Then checks the bytes of the tmp.bat the program wrote from what was dropped.
# Each drop is followed by a wait for what it changed, read through tools/window_probe.exe.
# Usage: ui/tests/drop_e2e_test.sh RARBATCH.exe FAKE_RAR.exe WINDOW_PROBE.exe
set -u
exe=$1 fake_rar=$2 window_probe=$3
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
export WINEPREFIX="$root/build/wineprefix" LC_ALL=zh_CN.UTF-8 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
for tool in Xvfb xdotool python3 iconv; do
  command -v "$tool" >/dev/null || { echo "drop e2e: $tool is not installed" >&2; exit 1; }
done

. "$root/tools/xvfb.sh"
. "$root/tools/drive.sh"
# A 32-bit build on a host that runs no 32-bit programs: skipped, with the reason.
rarbatch_skip_unless_runs "$exe"
start_scratch_run drop-e2e
fail() {
  [ -n "${DISPLAY:-}" ] && command -v import >/dev/null &&
    import -window root "$root/build/drop-e2e-failure.png" 2>/dev/null &&
    echo "drop e2e: the screen at the failure: build/drop-e2e-failure.png" >&2
  echo "drop e2e: FAILED: $*" >&2
  exit 1
}

program_dir="$work/程序 目录"
mkdir -p "$program_dir" "$work/arc hiver" "$work/archives/sub" "$work/archives/空 folder" "$work/loose" "$work/adds"
cp "$exe" "$program_dir/rarbatch.exe"
cp "$fake_rar" "$work/arc hiver/Rar.exe"
touch "$work/archives/b.rar" "$work/archives/A.RAR" "$work/archives/notes.txt" "$work/archives/.hidden.rar" \
      "$work/archives/sub/c.rar" "$work/archives/sub/压缩 包.rar" "$work/loose/x.rar" "$work/loose/readme.txt" \
      "$work/adds/read me (1).txt"
printf 'comment\n' >"$work/comment.txt"
# A folder whose archive's path is longer than MAX_PATH.
deep="$work/deep"
for level in 0 1 2 3 4 5 6 7; do deep="$deep/level $level $(printf 'x%.0s' $(seq 30))"; done
mkdir -p "$deep" && touch "$deep/深.rar"
win() { printf 'Z:%s' "${1//\//\\}"; }  # the Wine path of a Unix path

start_display 390 || exit 1
[ -f "$WINEPREFIX/system.reg" ] || RARBATCH_USE_DISPLAY=1 "$root/tools/wine-run" cmd /c exit >/dev/null 2>&1

main='压缩包批量处理'
visible_windows() { xdotool search --onlyvisible --name "$main" 2>/dev/null; }
"$root/tools/wine-exec" "$program_dir/rarbatch.exe" >"$work/app.log" 2>&1 &
app_pid=$!
window=$(wait_window "$main") || fail "the window did not appear"
# Without a window manager the X window is the client area; the controls' places are those of the
# layout at 96 DPI (15 twips to the pixel).
client_size_is() { eval "$(xdotool getwindowgeometry --shell "$window")"; [ "$WIDTH" = 477 ] && [ "$HEIGHT" = 598 ]; }
wait_until "$patience" client_size_is || fail "the window never took its size"
ox=$X oy=$Y
# The control identifiers (ui/layout.h).
Text1=101 List1=104 List2=113 Text3=118 List3=122
drop() {  # X Y PATH...: drops the files at that place of the client area; the target has taken them
  local x=$1 y=$2
  shift 2
  python3 "$root/tools/xdnd_drop.py" "$window" $((ox + x)) $((oy + y)) "$@" || fail "the drop on $x,$y failed"
}
# The message box a drop showed (it bears the window's caption too), or nothing.
message_box() { visible_windows | grep -vx "$window" | head -1; }
box_shown() { [ -n "$(message_box)" ]; }

drop 197 32 "$work/arc hiver/Rar.exe"       # Text1, the archiver's path
wait_probe "$(win "$work/arc hiver/Rar.exe")" "$patience" text "$main" $Text1 || fail "the dropped archiver is not in Text1"
drop 200 422 "$work/comment.txt"            # Text3, the comment file
wait_probe "$(win "$work/comment.txt")" "$patience" text "$main" $Text3 || fail "the dropped comment file is not in Text3"
[ -z "$(message_box)" ] || fail "a message after dropping one file on a path box"
# List2: a folder tree, a .rar file, a file that is not an archive and a deep folder.
drop 236 101 "$work/archives" "$work/loose/x.rar" "$work/loose/readme.txt" "$work/deep"
wait_until "$patience" box_shown || fail "no message about the file that is not an archive"
box=$(message_box)
# Its one button, 确定, sits in the middle near the bottom. The first click may only activate the
# box, as there is no window manager to do it, so it is clicked until the box goes.
eval "$(xdotool getwindowgeometry --shell "$box")"
box_closed() {
  xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT - 24)) click 1
  wait_until 5 eval '[ -z "$(message_box)" ]'
}
wait_until "$patience" box_closed || fail "the message box did not close"
wait_probe 6 "$patience" count "$main" $List2 || fail "the drop did not bring the six archives"
# List1, the delete list, takes no drops; a drop on List3, the add list, made after it, is handled
# after it, so once List3 holds its file the first drop has had its effect, if any.
drop 236 240 "$work/loose/x.rar"            # List1
drop 236 326 "$work/adds/read me (1).txt"   # List3
wait_probe 1 "$patience" count "$main" $List3 || fail "the dropped file is not in the add list"
[ "$(probe count "$main" $List1)" = 0 ] || fail "the delete list took a drop"
[ -z "$(message_box)" ] || fail "a message after a drop that should say nothing"

xdotool mousemove $((ox + 372)) $((oy + 519)) click 1  # Command9: write tmp.bat and run it
log="$work/arc hiver/args.log"
# Two calls for each of the six archives.
all_called() { [ "$(grep -c -xF -- "-z$(win "$work/comment.txt")" "$log" 2>/dev/null)" = 6 ]; }
wait_until "$patience" all_called || fail "the script did not call the archiver for each archive"
script="$program_dir/tmp.bat"
[ -f "$script" ] || fail "tmp.bat was not written beside the program"

rar=$(win "$work/arc hiver/Rar.exe") add=$(win "$work/adds/read me (1).txt") comment=$(win "$work/comment.txt")
expected="$work/expected.bat"
for archive in "$work/archives/A.RAR" "$work/archives/b.rar" "$work/archives/sub/c.rar" \
               "$work/archives/sub/压缩 包.rar" "$work/loose/x.rar" "$deep/深.rar"; do
  a=$(win "$archive")
  printf '"%s" a "%s" "%s"\r\n' "$rar" "$a" "$add"
  printf '"%s" c -z"%s" "%s"\r\n' "$rar" "$comment" "$a"
done | iconv -f UTF-8 -t GBK >"$expected"  # the script is in the OEM code page, 936 here
printf '\r\n' >>"$expected"
if ! cmp -s "$expected" "$script"; then
  echo "--- expected"; iconv -f GBK -t UTF-8 "$expected" | cat -A
  echo "--- tmp.bat"; iconv -f GBK -t UTF-8 "$script" | cat -A
  fail "tmp.bat differs from what was dropped"
fi
# The archiver got the deep archive's path whole.
grep -qxF -- "$(win "$deep/深.rar")" "$log" || fail "the archive deeper than MAX_PATH did not reach the archiver whole"
echo "drop e2e: passed"
