#!/usr/bin/env bash
# Makes the release zip into a folder of its own, the way `make dist` does, and checks what a user
# gets. contents: the four files under the right names, the guide and the license readable in
# Notepad, the program's version resource and manifest; none of it needs Wine. start: the program
# from the zip starts under Wine, shows its window and closes (skipped, exit code 77, where this host
# cannot run it).
# Usage: dist/tests/dist_test.sh contents|start ZIP_NAME VERSION PROGRAM.exe WINDRES MAKE_ZIP_COMMAND...
set -u
mode=$1 zip_name=$2 version=$3 program=$4 windres=$5
shift 5
cmake=$1  # the make_zip command starts with CMake itself
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
export LC_ALL=zh_CN.UTF-8 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX="${RARBATCH_WINEPREFIX:-$root/build/wineprefix}"
. "$root/tools/xvfb.sh"
. "$root/tools/wine-prefix.sh"
. "$root/tools/drive.sh"

[ "$mode" = start ] && rarbatch_skip_unless_runs "$program"
# The program from the zip starts under Wine, shows its window and closes on Alt+F4.
start_program() {
  start_display 390 || exit 1
  prepare_wine_prefix || exit 1
  "$root/tools/wine-exec" "$unpacked/rarbatch.exe" >"$work/app.log" 2>&1 &
  app_pid=$!
  window=$(wait_window '压缩包批量处理')
  app_ended() { ! kill -0 "$app_pid" 2>/dev/null; }
  # Alt+F4 reaches the window once it has the focus: pressed again until the program has ended.
  close_app() {
    xdotool windowfocus --sync "$window" 2>/dev/null
    xdotool key alt+F4
    wait_until 5 app_ended
  }
  if [ -z "$window" ]; then
    fail "the program from the zip showed no window"
  elif ! wait_until "$patience" close_app; then
    fail "the program did not close on Alt+F4"
  else
    wait "$app_pid"
    status=$?
    app_pid=""
    [ "$status" = 0 ] || fail "the program exited with $status"
  fi
}

start_scratch_run dist
failures=0
fail() { echo "dist: FAILED: $*" >&2; failures=$((failures + 1)); }

# --- The zip: made, named by the version, nothing left beside it.
"$@" -DOUTPUT_DIR="$work/out" -P "$root/dist/make_zip.cmake" >/dev/null ||
  { echo "dist: FAILED: make_zip.cmake failed" >&2; exit 1; }
zip="$work/out/$zip_name"
[ -f "$zip" ] || { echo "dist: FAILED: no $zip" >&2; exit 1; }
left=$(cd "$work/out" && ls -A | grep -vxF "$zip_name")
[ -z "$left" ] || fail "left beside the zip: $left"

unpacked="$work/程序 目录"
mkdir -p "$unpacked"
(cd "$unpacked" && LC_ALL=C.UTF-8 "$cmake" -E tar xf "$zip") || fail "the zip does not unpack"
cmp -s "$unpacked/rarbatch.exe" "$program" || fail "rarbatch.exe is not the built program"
if [ "$mode" = start ]; then
  start_program
  [ "$failures" = 0 ] || exit 1
  echo "dist: passed (the program from $zip_name started and closed)"
  exit 0
fi

# --- Its entries, read from the central directory: the general-purpose flags and the stored name.
u16() { od -An -tu2 --endian=little -j "$2" -N2 "$1" | tr -d ' '; }
u32() { od -An -tu4 --endian=little -j "$2" -N4 "$1" | tr -d ' '; }
size=$(stat -c %s "$zip")
eocd=$((size - 22))  # the zip carries no comment
[ "$(u32 "$zip" "$eocd")" = $((0x06054b50)) ] || { echo "dist: FAILED: no end record" >&2; exit 1; }
count=$(u16 "$zip" $((eocd + 10)))
at=$(u32 "$zip" $((eocd + 16)))
entries=""
for _ in $(seq "$count"); do
  [ "$(u32 "$zip" "$at")" = $((0x02014b50)) ] || { fail "bad central directory entry at $at"; break; }
  flags=$(u16 "$zip" $((at + 8)))
  name_length=$(u16 "$zip" $((at + 28)))
  name=$(tail -c +$((at + 47)) "$zip" | head -c "$name_length")
  utf8=$(( (flags >> 11) & 1 ))
  entries+="$name utf8=$utf8"$'\n'
  at=$((at + 46 + name_length + $(u16 "$zip" $((at + 30))) + $(u16 "$zip" $((at + 32)))))
done
# Names outside ASCII must be marked as UTF-8, or an unzipper reads them in its own code page.
expected=$'rarbatch.exe utf8=0\nrarbatch-cli.exe utf8=0\n使用说明.txt utf8=1\nLICENSE.txt utf8=0\n'
[ "$entries" = "$expected" ] || fail "entries differ; expected:"$'\n'"$expected""got:"$'\n'"$entries"

# --- The files in it.
cmp -s "$unpacked/使用说明.txt" "$root/dist/使用说明.txt" || fail "the guide differs from dist/使用说明.txt"
# Notepad on older systems needs the BOM to take the guide as UTF-8, and CR LF to break its lines.
for text in 使用说明.txt LICENSE.txt; do
  f="$unpacked/$text"
  [ -s "$f" ] || { fail "$text is missing or empty"; continue; }
  iconv -f UTF-8 -t UTF-8 "$f" >/dev/null 2>&1 || fail "$text is not UTF-8"
  [ "$(tail -c 2 "$f" | od -An -tx1 | tr -d ' ')" = 0d0a ] || fail "$text does not end with CR LF"
  lf=$(tr -cd '\n' <"$f" | wc -c) crlf=$(grep -c $'\r$' "$f")
  [ "$lf" = "$crlf" ] || fail "$text: $((lf - crlf)) of $lf lines do not end with CR LF"
done
[ "$(head -c 3 "$unpacked/使用说明.txt" | od -An -tx1 | tr -d ' ')" = efbbbf ] ||
  fail "使用说明.txt does not start with a UTF-8 BOM"
grep -q '^MIT License' "$unpacked/LICENSE.txt" &&
  grep -qF 'Copyright (c) 2026 The rarbatch authors' "$unpacked/LICENSE.txt" ||
  fail "LICENSE.txt is not the MIT license of the rarbatch authors"

# --- The program's version resource and manifest.
IFS=. read -r major minor patch <<<"$version"
resources=$("$windres" -i "$unpacked/rarbatch.exe" -O rc 2>&1) || fail "windres cannot read the program"
for line in "FILEVERSION $major, $minor, $patch, 0" "PRODUCTVERSION $major, $minor, $patch, 0" \
            "VALUE \"FileVersion\", \"$version\"" "VALUE \"ProductVersion\", \"$version\""; do
  grep -qF "$line" <<<"$resources" || fail "the version resource lacks: $line"
done
grep -qF '<longPathAware xmlns="http://schemas.microsoft.com/SMI/2016/WindowsSettings">true</longPathAware>' \
  "$unpacked/rarbatch.exe" || fail "the program's manifest does not declare longPathAware"

[ "$failures" = 0 ] || exit 1
echo "dist: passed ($zip_name)"
