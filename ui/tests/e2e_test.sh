#!/usr/bin/env bash
# Drives the real program from outside, as a person would: mouse clicks at the controls' places and
# typing through xdotool on a private Xvfb display, then checks the bytes of the tmp.bat it wrote and
# what the stand-in archiver received when the script ran.
# Usage: ui/tests/e2e_test.sh RARBATCH.exe FAKE_RAR.exe
set -u
exe=$1 fake_rar=$2
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
export WINEPREFIX="$root/build/wineprefix" LC_ALL=zh_CN.UTF-8 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
# Each archiver call takes a moment, so tmp.bat can be read while the script still runs: it holds a
# password, and the program deletes it once the script has ended.
export RARBATCH_FAKE_RAR_DELAY_MS=500
for tool in Xvfb xdotool wine; do
  command -v "$tool" >/dev/null || { echo "e2e: $tool is not installed" >&2; exit 1; }
done

. "$root/tools/xvfb.sh"
start_scratch_run e2e
fail() {
  # What the screen showed at the failure, for whoever reads the log.
  [ -n "${DISPLAY:-}" ] && command -v import >/dev/null &&
    import -window root "$root/build/e2e-failure.png" 2>/dev/null &&
    echo "e2e: the screen at the failure: build/e2e-failure.png" >&2
  echo "e2e: FAILED: $*" >&2
  exit 1
}

# The program sits in a folder whose name holds a space and Chinese characters (it writes tmp.bat
# there); what the test types stays ASCII, because xdotool cannot type Chinese into Wine.
name=$(basename "$work")
program_dir="$work/程序 目录"
mkdir -p "$program_dir" "$work/arc hiver" "$work/archives/sub.rar" "$work/adds"
cp "$exe" "$program_dir/rarbatch.exe"
cp "$fake_rar" "$work/arc hiver/Rar.exe"
touch "$work/archives/b.rar" "$work/archives/A.RAR" "$work/archives/c.txt" "$work/archives/x.rarx"
touch "$work/adds/read me (1).txt"
win() { printf 'Z:%s' "${1//\//\\}"; }  # the Wine path of a Unix path
rar_win=$(win "$work/arc hiver/Rar.exe")
archives_win=$(win "$work/archives")
add_win=$(win "$work/adds/read me (1).txt")

start_display 290 || exit 1
# The prefix's first run creates it, with the display up.
[ -f "$WINEPREFIX/system.reg" ] || RARBATCH_USE_DISPLAY=1 "$root/tools/wine-run" cmd /c exit >/dev/null 2>&1

wait_window() {  # NAME [TENTHS]: prints the id of the first visible window with that name
  local id=""
  for _ in $(seq "${2:-300}"); do
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1) || true
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  return 1
}

wine "$program_dir/rarbatch.exe" >"$work/app.log" 2>&1 &
app_pid=$!
window=$(wait_window '压缩包批量处理') || fail "the window did not appear"
sleep 1
# Without a window manager the X window is the client area; the controls' places are those of the
# layout at 96 DPI (15 twips to the pixel).
eval "$(xdotool getwindowgeometry --shell "$window")"
ox=$X oy=$Y
[ "$WIDTH" = 477 ] && [ "$HEIGHT" = 535 ] || fail "client area ${WIDTH}x${HEIGHT}, not 477x535"
click() { xdotool mousemove $((ox + $1)) $((oy + $2)) click 1; sleep 0.3; }
# Clicks a button that opens a dialog and prints the dialog's id. Right after another dialog has
# closed, the first click may only give the window back its focus, so it is tried again.
open_dialog() {  # X Y NAME
  local id
  for _ in 1 2 3; do
    click "$1" "$2"
    id=$(wait_window "$3" 50) && { echo "$id"; return 0; }
  done
  return 1
}
type_text() { xdotool type --delay 20 "$1"; sleep 0.3; }

click 197 32          # Text1, the archiver's path
type_text "$rar_win"
click 185 260         # Text2, a name to delete
type_text 'old & 100%.doc'
click 326 261         # Command2 (添加)
click 185 260
xdotool key Home shift+End; type_text '*.bak'
click 326 261

# Command8 (浏览) imports the archive folder: walk the folder tree to it, one name at a time.
dialog=$(open_dialog 317 141 '选择文件夹') || fail "the folder dialog did not appear"
sleep 1
eval "$(xdotool getwindowgeometry --shell "$dialog")"
# The drive that holds the Unix root, first under the desktop in the tree. A click on the tree's
# empty lower part gives it the focus; the keys then choose by order, whatever the font's row height.
xdotool mousemove $((X + 100)) $((Y + 230)) click 1; sleep 0.5
xdotool key Home; sleep 0.3; xdotool key Down; sleep 0.5
IFS=/ read -r -a parts <<<"${work#/}/archives"
for part in "${parts[@]}"; do
  xdotool key Right; sleep 1  # open the folder
  type_text "$part"; sleep 1.2  # select the child by its name, then let the search reset
done
xdotool key Return; sleep 1

# Command13 (添加单个文件) appends one file chosen in the file dialog.
dialog=$(open_dialog 206 366 '选择 要添加的文件') || fail "the file dialog did not appear"
sleep 1
xdotool windowfocus --sync "$dialog"; sleep 0.3
type_text "$add_win"
xdotool key Return; sleep 1

click 20 471          # Check1, lock
click 20 489          # Check2, password
click 230 489         # Text4
type_text 'p w&d'
click 372 519         # Command9: write tmp.bat and run it

script="$program_dir/tmp.bat"
log="$work/arc hiver/args.log"
for _ in $(seq 100); do [ -s "$log" ] && break; sleep 0.1; done
[ -f "$script" ] || fail "tmp.bat was not written beside the program"
written=$(mktemp)
cp "$script" "$written"
# Eight calls in all; then the script ends and takes its password with it.
for _ in $(seq 200); do [ "$(grep -c -xF k "$log" 2>/dev/null)" = 2 ] && [ ! -e "$script" ] && break; sleep 0.1; done
[ -e "$script" ] && fail "tmp.bat, which holds the password, was not deleted after the script ended"
script=$written

expected=$(mktemp)
for archive in A.RAR b.rar; do
  a="$archives_win\\$archive"
  printf '"%s" d "%s" old ^& 100%%%%.doc\r\n' "$rar_win" "$a"
  printf '"%s" d "%s" *.bak\r\n' "$rar_win" "$a"
  printf '"%s" a "-pp w&d" "%s" "%s"\r\n' "$rar_win" "$a" "$add_win"
  printf '"%s" k "%s"\r\n' "$rar_win" "$a"
done >"$expected"
printf '\r\n' >>"$expected"  # the file always ends with one empty line
if ! cmp -s "$expected" "$script"; then
  echo "--- expected"; cat -A "$expected"; echo "--- tmp.bat"; cat -A "$script"
  rm -f "$expected" "$written"
  fail "tmp.bat differs from the window's job"
fi
rm -f "$expected" "$written"

# Each line reached the archiver with the arguments the user meant.
grep -qxF -- "-pp w&d" "$log" || fail "the password did not arrive as one argument"
grep -qxF -- "100%.doc" "$log" || fail "the percent sign did not survive"
calls=$(grep -c -xF -- "$add_win" "$log")
[ "$calls" = 2 ] || fail "the file to add reached the archiver $calls times, not 2"
# The same job once more, now run by the program itself (Check3): no script, a results window.
# Fresh archives that hold the names to delete, so that every archive succeeds.
for archive in A.RAR b.rar; do
  printf 'fake archive\nentry old\t\nentry 100%%.doc\t\nentry x.bak\t\nentry keep.txt\t\n' >"$work/archives/$archive"
done
: >"$log"
click 175 471         # Check3, run in the program
click 372 519         # Command9
results=$(wait_window '处理结果') || fail "the results window did not appear"
[ -e "$program_dir/tmp.bat" ] && fail "a script was written although the program runs the job itself"
eval "$(xdotool getwindowgeometry --shell "$results")"
rx=$X ry=$Y rw=$WIDTH rh=$HEIGHT
# 复制报告, third button from the right edge (96 DPI: margin 8, 关闭 80, 保存报告… 88, gaps 6).
report=""
for _ in $(seq 120); do
  xdotool mousemove $((rx + rw - 8 - 80 - 6 - 88 - 6 - 44)) $((ry + rh - 8 - 12)) click 1; sleep 0.5
  report=$(xclip -o -selection clipboard 2>/dev/null | tr -d '\r') || true
  case "$report" in *等待*|*正在处理*|"") continue ;; *) break ;; esac
done
expected_report=$(printf '压缩包\t状态\t说明\n%s\t成功\t\n%s\t成功\t' "$archives_win\\A.RAR" "$archives_win\\b.rar")
if [ "$report" != "$expected_report" ]; then
  echo "--- expected"; printf '%s\n' "$expected_report"; echo "--- copied"; printf '%s\n' "$report"
  fail "the results table does not show both archives done"
fi
[ -n "${RARBATCH_E2E_SHOT:-}" ] && import -window root -crop "${rw}x${rh}+${rx}+${ry}" +repage "$RARBATCH_E2E_SHOT"
for archive in A.RAR b.rar; do
  state=$(cat "$work/archives/$archive")
  expected_state=$(printf 'fake archive\nlocked\nentry keep.txt\t\nentry read me (1).txt\tp w&d')
  [ "$state" = "$expected_state" ] || { printf '%s\n' "$state"; fail "$archive does not hold what the job asked for"; }
done
[ "$(grep -c -xF k "$log")" = 2 ] || fail "the archiver was not called once per archive to lock it"
echo "e2e: passed ($name)"
