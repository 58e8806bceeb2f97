#!/usr/bin/env bash
# Drives the real program from outside, as a person would: mouse clicks at the controls' places and
# typing through xdotool on a private Xvfb display, then checks the bytes of the tmp.bat it wrote and
# what the stand-in archiver received when the script ran.
# Each step waits for the state it asked for (the text typed, the list grown, the folder opened),
# read through tools/window_probe.exe; a step whose state never comes fails the test with that step
# named, before anything is checked.
# With "real" as a fourth argument the archiver is RAR_BRIDGE.exe in place of the stand-in: the
# host's real archiver makes the archives, runs the script's calls through the bridge, and its
# listings (rar lb, rar lt) give the end state; that run stops after the script.
# Usage: ui/tests/e2e_test.sh RARBATCH.exe FAKE_RAR.exe|RAR_BRIDGE.exe WINDOW_PROBE.exe [real]
set -u
exe=$1 fake_rar=$2 window_probe=$3 mode=${4:-stand-in}
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
export WINEPREFIX="$root/build/wineprefix" LC_ALL=zh_CN.UTF-8 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
# Each archiver call takes a moment, so tmp.bat can be read while the script still runs: it holds a
# password, and the program deletes it once the script has ended.
export RARBATCH_FAKE_RAR_DELAY_MS=500
for tool in Xvfb xdotool; do
  command -v "$tool" >/dev/null || { echo "e2e: $tool is not installed" >&2; exit 1; }
done

. "$root/tools/xvfb.sh"
. "$root/tools/drive.sh"
# A 32-bit build on a host that runs no 32-bit programs: skipped, with the reason.
rarbatch_skip_unless_runs "$exe"
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
if [ "$mode" = real ]; then
  command -v rar >/dev/null || { echo "e2e: rar is not installed (scripts/setup installs it)" >&2; exit 1; }
  mkdir -p "$work/seed"
  touch "$work/seed/old" "$work/seed/100%.doc" "$work/seed/x.bak" "$work/seed/keep.txt"
  for archive in A.RAR b.rar; do
    rm -f "$work/archives/$archive"
    (cd "$work/seed" && rar a -idq "$work/archives/$archive" old 100%.doc x.bak keep.txt) ||
      { echo "e2e: rar could not make $archive" >&2; exit 1; }
  done
fi
touch "$work/adds/read me (1).txt"
win() { printf 'Z:%s' "${1//\//\\}"; }  # the Wine path of a Unix path
rar_win=$(win "$work/arc hiver/Rar.exe")
archives_win=$(win "$work/archives")
add_win=$(win "$work/adds/read me (1).txt")

start_display 290 || exit 1
# The prefix's first run creates it, with the display up.
[ -f "$WINEPREFIX/system.reg" ] || RARBATCH_USE_DISPLAY=1 "$root/tools/wine-run" cmd /c exit >/dev/null 2>&1

main='压缩包批量处理'
"$root/tools/wine-exec" "$program_dir/rarbatch.exe" >"$work/app.log" 2>&1 &
app_pid=$!
window=$(wait_window "$main") || fail "the window did not appear"
# Without a window manager the X window is the client area; the controls' places are those of the
# layout at 96 DPI (15 twips to the pixel).
client_size_is() { eval "$(xdotool getwindowgeometry --shell "$window")"; [ "$WIDTH" = 477 ] && [ "$HEIGHT" = 598 ]; }
wait_until "$patience" client_size_is || fail "client area ${WIDTH}x${HEIGHT}, not 477x598"
ox=$X oy=$Y
# The control identifiers (ui/layout.h).
Text1=101 List1=104 Text2=105 List2=113 List3=122 Check1=127 Check2=128 Text4=129 Check3=133
click() { xdotool mousemove $((ox + $1)) $((oy + $2)) click 1; }
# Clicks a button that opens a dialog and prints the dialog's id. Right after another dialog has
# closed, the first click may only give the window back its focus, so it is clicked again until the
# dialog shows.
open_dialog() {  # X Y NAME
  local id deadline=$(( $(date +%s) + patience ))
  while [ "$(date +%s)" -lt "$deadline" ]; do
    click "$1" "$2"
    id=$(wait_window "$3" 10) && { echo "$id"; return 0; }
  done
  return 1
}
# Clicks a text box and types into it, again if the keys went astray, until the box holds the text.
type_into() {  # X Y ID TEXT
  local deadline=$(( $(date +%s) + patience ))
  while [ "$(date +%s)" -lt "$deadline" ]; do
    click "$1" "$2"
    xdotool key End shift+Home BackSpace
    xdotool type --delay 20 "$4"
    wait_probe "$4" 10 text "$main" "$3" && return 0
  done
  fail "could not set up the test: the box $3 does not hold '$4'"
}
# Clicks a button until the list `ID` holds COUNT items.
press_until_count() {  # X Y ID COUNT
  click "$1" "$2"
  wait_probe "$4" 30 count "$main" "$3" || fail "could not set up the test: the list $3 does not hold $4 items"
}
check_box() {  # X Y ID
  click "$1" "$2"
  wait_probe 1 30 check "$main" "$3" || fail "could not set up the test: the check box $3 is not checked"
}

type_into 197 32 $Text1 "$rar_win"                    # the archiver's path
type_into 185 260 $Text2 'old & 100%.doc'             # a name to delete
press_until_count 326 261 $List1 1                    # Command2 (添加)
type_into 185 260 $Text2 '*.bak'
press_until_count 326 261 $List1 2

# Command8 (浏览) imports the archive folder: walk the folder tree to it with the keyboard, one name
# at a time, each step read back from the tree.
folders='选择文件夹'
dialog=$(open_dialog 317 141 "$folders") || fail "the folder dialog did not appear"
eval "$(xdotool getwindowgeometry --shell "$dialog")"
tree_depth_is() { [ "$(probe tree "$folders" | tail -n +2 | wc -l)" = "$1" ]; }
selected_is_open() { [ "$(probe tree "$folders" | head -1)" = open ]; }
selected_is() { [ "$(probe tree "$folders" | tail -1)" = "$1" ]; }
# The drive that holds the Unix root comes first under the desktop in the tree. A click on the tree's
# empty lower part gives it the focus; the keys then choose by order, whatever the font's row height.
xdotool mousemove $((X + 100)) $((Y + 230)) click 1
xdotool key Home
wait_until 30 tree_depth_is 1 || fail "could not set up the test: Home did not select the desktop"
xdotool key Down
wait_until 30 tree_depth_is 2 || fail "could not set up the test: Down did not select the first drive"
IFS=/ read -r -a parts <<<"${work#/}/archives"
for part in "${parts[@]}"; do
  xdotool key Right  # open the folder
  wait_until 30 selected_is_open || fail "could not set up the test: the folder tree did not open the folder above '$part'"
  # Select the child by typing its name. A name typed too soon after another continues that search,
  # so on a miss the search is let reset before the name is typed again.
  deadline=$(( $(date +%s) + patience ))
  until xdotool type --delay 20 "$part" && wait_until 5 selected_is "$part"; do
    [ "$(date +%s)" -ge "$deadline" ] && fail "could not set up the test: the folder tree never selected '$part'"
    sleep 1.5
  done
done
xdotool key Return
wait_no_window "$folders" || fail "the folder dialog did not close"
wait_probe 2 "$patience" count "$main" $List2 || fail "the folder's two archives were not imported"

# Command13 (添加单个文件) appends one file chosen in the file dialog.
files='选择 要添加的文件'
dialog=$(open_dialog 206 366 "$files") || fail "the file dialog did not appear"
xdotool windowfocus --sync "$dialog"
xdotool type --delay 20 "$add_win"
xdotool key Return
wait_no_window "$files" || fail "the file dialog did not close"
wait_probe 1 "$patience" count "$main" $List3 || fail "the chosen file was not added"

check_box 20 471 $Check1                              # lock
check_box 20 489 $Check2                              # password
type_into 230 489 $Text4 'p w&d'
click 372 519         # Command9: write tmp.bat and run it

script="$program_dir/tmp.bat"
log="$work/arc hiver/args.log"
written=$(mktemp)
if [ "$mode" = real ]; then
  # The bridge keeps no log; the script is read as soon as it is there (eight real calls take seconds).
  wait_until "$patience" test -s "$script" || fail "tmp.bat was not written beside the program"
  cp "$script" "$written"
  locked() { rar lt "$work/archives/$1" 2>/dev/null | grep -q '^Details: .*, lock'; }
  script_done() { locked A.RAR && locked b.rar && [ ! -e "$script" ]; }
else
  wait_until "$patience" test -s "$log" || fail "the script called no archiver"
  [ -f "$script" ] || fail "tmp.bat was not written beside the program"
  cp "$script" "$written"
  # Eight calls in all; then the script ends and takes its password with it.
  script_done() { [ "$(grep -c -xF k "$log" 2>/dev/null)" = 2 ] && [ ! -e "$script" ]; }
fi
wait_until "$patience" script_done
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

if [ "$mode" = real ]; then
  # The real archiver stores the added file by its host path less the root.
  stored="${work#/}/adds/read me (1).txt"
  for archive in A.RAR b.rar; do
    entries=$(rar lb "$work/archives/$archive" | sort)
    expected_entries=$(printf '%s\n%s\n' "keep.txt" "$stored" | sort)
    [ "$entries" = "$expected_entries" ] || { printf '%s\n' "$entries"; fail "$archive does not hold what the job asked for"; }
  done
else
  # Each line reached the archiver with the arguments the user meant.
  grep -qxF -- "-pp w&d" "$log" || fail "the password did not arrive as one argument"
  grep -qxF -- "100%.doc" "$log" || fail "the percent sign did not survive"
  calls=$(grep -c -xF -- "$add_win" "$log")
  [ "$calls" = 2 ] || fail "the file to add reached the archiver $calls times, not 2"
fi

# The same job once more, now run by the program itself (Check3): no script, a results window, and
# at most two calls an archive. Fresh archives that hold the names to delete.
names="$work/names"
mkdir -p "$names"
touch "$names/old" "$names/100%.doc" "$names/x.bak" "$names/keep.txt"
for archive in A.RAR b.rar; do
  rm -f "$work/archives/$archive"
  if [ "$mode" = real ]; then
    (cd "$names" && rar a -idq -ep1 "$work/archives/$archive" old 100%.doc x.bak keep.txt) ||
      fail "the real archiver could not make $archive"
  else
    python3 - "$work/archives/$archive" <<'PY'
import sys, zlib
# The stand-in's archive: a RAR 5 signature and main header, then its text (tools/fake_archive.h).
body = bytes([3, 1, 0, 0])
header = b"Rar!\x1a\x07\x01\x00" + zlib.crc32(body).to_bytes(4, "little") + body
text = "fake archive\nentry old\t\nentry 100%.doc\t\nentry x.bak\t\nentry keep.txt\t\n"
open(sys.argv[1], "wb").write(header + text.encode())
PY
  fi
done
[ "$mode" = real ] || : >"$log"
check_box 175 471 $Check3                             # run in the program
click 372 519         # Command9
results=$(wait_window '处理结果') || fail "the results window did not appear"
[ -e "$program_dir/tmp.bat" ] && fail "a script was written although the program runs the job itself"
eval "$(xdotool getwindowgeometry --shell "$results")"
rx=$X ry=$Y rw=$WIDTH rh=$HEIGHT
# 复制报告, third button from the right edge (96 DPI: margin 8, 关闭 80, 保存报告… 88, gaps 6).
report=""
report_done() {
  xdotool mousemove $((rx + rw - 8 - 80 - 6 - 88 - 6 - 44)) $((ry + rh - 8 - 12)) click 1
  sleep 0.3  # between a click and the clipboard's read; the loop reads the state again anyway
  report=$(xclip -o -selection clipboard 2>/dev/null | tr -d '\r') || true
  case "$report" in *等待*|*正在处理*|"") return 1 ;; *) return 0 ;; esac
}
wait_until "$patience" report_done
expected_report=$(printf '压缩包\t状态\t说明\n%s\t成功\t\n%s\t成功\t' "$archives_win\\A.RAR" "$archives_win\\b.rar")
if [ "$report" != "$expected_report" ]; then
  echo "--- expected"; printf '%s\n' "$expected_report"; echo "--- copied"; printf '%s\n' "$report"
  fail "the results table does not show both archives done"
fi
[ -n "${RARBATCH_E2E_SHOT:-}" ] && import -window root -crop "${rw}x${rh}+${rx}+${ry}" +repage "$RARBATCH_E2E_SHOT"
# The added file lands at the archive's root (-ep1), under the password, and the archive is locked.
for archive in A.RAR b.rar; do
  if [ "$mode" = real ]; then
    entries=$(rar lb "$work/archives/$archive" | sort)
    expected_entries=$(printf '%s\n%s\n' "keep.txt" "read me (1).txt" | sort)
    [ "$entries" = "$expected_entries" ] || { printf '%s\n' "$entries"; fail "$archive does not hold what the job asked for"; }
    rar lt "$work/archives/$archive" </dev/null | grep -q '^Details: .*, lock' || fail "$archive is not locked"
    # The password reached the archiver through its standard input, whole.
    rar t -idq "-pp w&d" "$work/archives/$archive" </dev/null || fail "$archive's added file does not open with the password"
  else
    state=$(tail -c +17 "$work/archives/$archive")
    expected_state=$(printf 'fake archive\nlocked\nentry keep.txt\t\nentry read me (1).txt\tp w&d')
    [ "$state" = "$expected_state" ] || { printf '%s\n' "$state"; fail "$archive does not hold what the job asked for"; }
  fi
done
if [ "$mode" != real ]; then
  [ "$(grep -c . "$log")" -gt 0 ] || fail "the stand-in recorded no call"
  # The calls that change A.RAR; the listing of its references before the delete (lt) changes nothing.
  # The log holds each call as its argument count, then one argument a line.
  calls=$(ARCHIVE="$archives_win\\A.RAR" awk '
    left == 0 { left = $0 + 0; first = 1; listing = 0; next }
    { if (first) listing = ($0 == "lt" || $0 == "LT"); first = 0; left--
      if (!listing && $0 == ENVIRON["ARCHIVE"]) n++ }
    END { print n + 0 }' "$log")
  [ "$calls" = 2 ] || fail "A.RAR got $calls changing calls, not 2"
  grep -qxF -- "p w&d" "$log" && fail "the password was on a command line"
fi
echo "e2e: passed ($mode, $name)"
