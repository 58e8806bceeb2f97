# Sourced by everything that starts Wine (through tools/wine-prefix.sh, which sources it). Chooses
# Wine's loader itself instead of leaving it to Debian's /usr/bin/wine, which takes the 32-bit loader
# whenever that file is executable, even on a host whose kernel cannot run it ("Exec format error").
#
#   rarbatch_detect_win32      decides once whether this host runs 32-bit programs: exports
#                              RARBATCH_WIN32 (on or off) and, when off, RARBATCH_WIN32_WHY
#   rarbatch_pe_bits FILE      prints 32 or 64 for a Windows program, nothing for anything else
#   rarbatch_can_run FILE      fails, with the reason in RARBATCH_WIN32_WHY, when FILE is a 32-bit
#                              program and this host runs none
#   rarbatch_wine PROGRAM ...  runs PROGRAM under Wine through tools/wine-exec: a 32-bit program with
#                              the 32-bit loader, any other (64-bit programs, Wine's own like cmd or
#                              regedit) with the 64-bit one, which also makes the prefix
#   rarbatch_skip_unless_runs FILE
#                              for a test: when FILE cannot run here, prints why and exits 77, the
#                              code that ctest reports as skipped
#
# RARBATCH_WIN32=off, set by a developer, makes a host that runs 32-bit programs behave as one that
# does not; unset (or auto) lets the check decide. The decision is exported, so the programs that a
# run starts (ctest, its tests, their scripts) inherit it instead of checking again.
# Plain POSIX sh, so that the Makefile can source it too.

rarbatch_wine32_loader=${RARBATCH_WINE32_LOADER:-/usr/lib/wine/wine}
rarbatch_wine64_loader=${RARBATCH_WINE64_LOADER:-/usr/lib/wine/wine64}
rarbatch_skip_code=77
rarbatch_tools_dir=$(cd "$(dirname "${BASH_SOURCE:-tools/wine-host.sh}")" && pwd)

rarbatch_detect_win32() {
  case "${RARBATCH_WIN32:-auto}" in
    on) ;;
    off)
      [ -n "${RARBATCH_WIN32_WHY:-}" ] ||
        RARBATCH_WIN32_WHY="32-bit programs are switched off here (RARBATCH_WIN32=off)"
      ;;
    *)
      if [ ! -e "$rarbatch_wine32_loader" ]; then
        RARBATCH_WIN32=off
        RARBATCH_WIN32_WHY="Wine's 32-bit loader $rarbatch_wine32_loader is not installed"
      elif "$rarbatch_wine32_loader" --version >/dev/null 2>&1; then
        RARBATCH_WIN32=on
      else
        RARBATCH_WIN32=off
        RARBATCH_WIN32_WHY="this host runs no 32-bit programs (Wine's 32-bit loader $rarbatch_wine32_loader does not start)"
      fi
      ;;
  esac
  [ "$RARBATCH_WIN32" = off ] || RARBATCH_WIN32_WHY=""
  export RARBATCH_WIN32 RARBATCH_WIN32_WHY
}

# The machine field of the PE header: 0x014c is x86, 0x8664 x86-64 (and 0xaa64 ARM64, run by neither).
rarbatch_pe_bits() {
  [ -f "$1" ] || return 0
  [ "$(od -An -c -N2 "$1" 2>/dev/null | tr -d ' ')" = MZ ] || return 0
  _rarbatch_pe=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
  [ "$(od -An -c -j"$_rarbatch_pe" -N4 "$1" | tr -d ' ')" = 'PE\0\0' ] || return 0
  case $(od -An -tx2 --endian=little -j$((_rarbatch_pe + 4)) -N2 "$1" | tr -d ' ') in
    014c) echo 32 ;;
    8664) echo 64 ;;
  esac
}

rarbatch_can_run() {
  rarbatch_detect_win32
  [ "$RARBATCH_WIN32" = on ] || [ "$(rarbatch_pe_bits "$1")" != 32 ]
}

rarbatch_wine() {
  "$rarbatch_tools_dir/wine-exec" "$@"
}

rarbatch_skip_unless_runs() {
  rarbatch_can_run "$1" && return 0
  echo "skipped: $RARBATCH_WIN32_WHY"
  echo "($(basename "$1") is a 32-bit program; the 64-bit build's tests run here)"
  exit $rarbatch_skip_code
}
