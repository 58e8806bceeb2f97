#!/usr/bin/env bash
# Renders the main window under Wine on a private Xvfb display and saves a PNG of it.
# Usage: ui/screenshot.sh PROGRAM.exe OUTPUT.png [DPI]
# Another DPI than 96 uses a prefix of its own, set up the same way (tools/wine-prefix.sh), so that
# the project's prefix and the tests that run in it keep 96 DPI.
set -eu
exe=$1 out=$2 dpi=${3:-96}
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
base_prefix="$root/build/wineprefix"
export LC_ALL=zh_CN.UTF-8 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
for tool in Xvfb xdotool import; do
  command -v "$tool" >/dev/null || { echo "screenshot: $tool is not installed" >&2; exit 1; }
done

. "$root/tools/xvfb.sh"
. "$root/tools/wine-prefix.sh"
. "$root/tools/drive.sh"
app_pid=""
cleanup() {
  # Under set -e a failing last command here would become the exit status: the killed program's
  # wait reports 143, and a screenshot that was taken must not count as a failure.
  if [ -n "$app_pid" ]; then
    kill "$app_pid" 2>/dev/null || true
    wait "$app_pid" 2>/dev/null || true
  fi
  stop_display
}
trap cleanup EXIT
start_display 190 || exit 1

# The prefix is prepared with the display up, so that its desktop process can draw.
if [ "$dpi" = 96 ]; then
  export WINEPREFIX="$base_prefix"
else
  export WINEPREFIX="$root/build/wineprefix-${dpi}dpi"
fi
prepare_wine_prefix || exit 1
if [ "$dpi" != 96 ]; then
  rarbatch_wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
  rarbatch_wine reg add 'HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts' \
    /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
fi


"$root/tools/wine-exec" "$exe" >"$out.log" 2>&1 &
app_pid=$!
window=$(wait_window '压缩包批量处理') || { echo "screenshot: the window did not appear" >&2; exit 1; }
# Let the first paint finish: wait until two grabs in a row are the same.
previous=""
for _ in $(seq 50); do
  import -window root "$out.tmp.png"
  current=$(md5sum < "$out.tmp.png")
  [ "$current" = "$previous" ] && break
  previous=$current
  sleep 0.2
done
eval "$(xdotool getwindowgeometry --shell "$window")"
# Without a window manager there is no frame: the X window is the client area.
convert "$out.tmp.png" -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$out"
rm -f "$out.tmp.png"
echo "screenshot: $out (${dpi} DPI, window ${WIDTH}x${HEIGHT})"
