# Sourced by everything that runs the program or its tests under Wine (tools/wine-run, make run,
# ui/screenshot.sh); it brings tools/wine-host.sh, which chooses Wine's loader.
# prepare_wine_prefix makes the prefix named by $WINEPREFIX ready for use:
#   - creates it once, with the 64-bit loader (it runs on every host); concurrent callers wait for
#     the first under a lock;
#   - replaces 宋体 and SimSun with WenQuanYi Micro Hei. Without this Wine draws 9-point 宋体 with the
#     bitmap strikes of WenQuanYi Zen Hei, whose strokes come out broken at that size.
# A marker file in the prefix records that all of it is done, so later calls cost one file test.
# Call it with a display up (DISPLAY set), so that the prefix's desktop process can start.
# The caller exports WINEPREFIX, and LC_ALL with a UTF-8 character set. Plain POSIX sh, so that the
# Makefile can source it too (from the checkout's top, where dash gives no way to find this file).

. "$(dirname "${BASH_SOURCE:-tools/wine-prefix.sh}")/wine-host.sh"

# Bump the number when the steps below change: prefixes made before then are brought up to date.
rarbatch_prefix_marker=".rarbatch-prefix-1"
rarbatch_font_replacement="WenQuanYi Micro Hei"

prepare_wine_prefix() {
  [ -n "${WINEPREFIX:-}" ] || { echo "wine-prefix: WINEPREFIX is not set" >&2; return 1; }
  [ -f "$WINEPREFIX/$rarbatch_prefix_marker" ] && return 0
  mkdir -p "$(dirname "$WINEPREFIX")" || return 1
  (
    flock 9 || exit 1
    [ -f "$WINEPREFIX/$rarbatch_prefix_marker" ] && exit 0
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      # No offer to download Mono or Gecko: nothing here needs them, and the offer waits for a click.
      WINEDLLOVERRIDES="mscoree,mshtml=" rarbatch_wine wineboot -i >/dev/null 2>&1
      wineserver -w
      [ -f "$WINEPREFIX/system.reg" ] || { echo "wine-prefix: could not create $WINEPREFIX" >&2; exit 1; }
    fi
    _rarbatch_replace_fonts || exit 1
    touch "$WINEPREFIX/$rarbatch_prefix_marker"
  ) 9>"$WINEPREFIX.lock"
}

# Imports the replacements as a .reg file in UTF-16 (the form regedit reads whatever the code page)
# and checks that they landed: a value name typed on the command line would pass through the
# locale's conversions, and a wrong name would go unnoticed.
_rarbatch_replace_fonts() {
  local reg status attempt
  status=0
  reg=$(mktemp /tmp/rarbatch-fonts.XXXXXX.reg) || return 1
  printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\r\n"宋体"="%s"\r\n"SimSun"="%s"\r\n' \
      "$rarbatch_font_replacement" "$rarbatch_font_replacement" |
    { printf '\377\376'; iconv -f UTF-8 -t UTF-16LE; } >"$reg" || status=1
  # On a loaded machine a fresh prefix's first import now and then does not land (seen once in a
  # clean run); it is tried up to three times, each checked where it must arrive.
  for attempt in 1 2 3; do
    [ $status -eq 0 ] || break
    rarbatch_wine regedit /S "Z:$(printf '%s' "$reg" | tr / '\\')" >/dev/null 2>&1
    # The registry reaches user.reg when the server stops; check it there, by the names' code points.
    wineserver -w
    if grep -qF "\"\\x5b8b\\x4f53\"=\"$rarbatch_font_replacement\"" "$WINEPREFIX/user.reg" &&
      grep -qF "\"SimSun\"=\"$rarbatch_font_replacement\"" "$WINEPREFIX/user.reg"; then
      rm -f "$reg"
      return 0
    fi
    sleep "$attempt"
  done
  rm -f "$reg"
  echo "wine-prefix: the font replacements did not reach $WINEPREFIX/user.reg" >&2
  return 1
}
