# Sourced by the scripts that drive the program's window from outside (the e2e tests, the release
# test). Every wait here checks the state it waits for, with a deadline long enough for a loaded
# 2-core machine running Wine; a wait that holds ends at once.
#
#   wait_until SECONDS COMMAND...   runs COMMAND until it succeeds; fails after SECONDS
#   wait_window NAME [SECONDS]      prints the id of the first visible X window named NAME
#   wait_no_window NAME [SECONDS]   waits until no visible X window is named NAME
#   probe ARGS...                   tools/window_probe.exe (set $window_probe), under the Wine loader
#                                   that fits it (tools/wine-host.sh): reads a window's
#                                   text, check box, list count or folder tree
#   wait_probe WANT SECONDS ARGS... waits until `probe ARGS...` prints WANT

. "$(dirname "${BASH_SOURCE[0]}")/wine-host.sh"

# How long to wait for what must happen. RARBATCH_PATIENCE (seconds) sets it.
patience=${RARBATCH_PATIENCE:-120}

wait_until() {
  local deadline=$(( $(date +%s) + $1 ))
  shift
  until "$@"; do
    [ "$(date +%s)" -ge "$deadline" ] && return 1
    sleep 0.1
  done
  return 0
}

_first_window() { xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1; }
_window_shown() { [ -n "$(_first_window "$1")" ]; }
_no_window() { [ -z "$(_first_window "$1")" ]; }

wait_window() {
  wait_until "${2:-$patience}" _window_shown "$1" || return 1
  _first_window "$1"
}

wait_no_window() {
  wait_until "${2:-$patience}" _no_window "$1"
}

probe() {
  "$rarbatch_tools_dir/wine-exec" "$window_probe" "$@" 2>/dev/null | tr -d '\r'
}

_probe_is() {
  local want=$1
  shift
  [ "$(probe "$@")" = "$want" ]
}

wait_probe() {
  local want=$1 seconds=$2
  shift 2
  wait_until "$seconds" _probe_is "$want" "$@"
}
