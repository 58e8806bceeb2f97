# Sourced by the scripts that need a private X display: start_display starts Xvfb on the first free
# display number from $1 and exports DISPLAY; stop_display stops that Xvfb by its process id.
xvfb_pid=""

start_display() {
  local n
  for n in $(seq "${1:-90}" "$(( ${1:-90} + 99 ))"); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 100); do
      [ -e "/tmp/.X11-unix/X$n" ] && break
      kill -0 "$xvfb_pid" 2>/dev/null || break
      sleep 0.05
    done
    if [ -e "/tmp/.X11-unix/X$n" ] && kill -0 "$xvfb_pid" 2>/dev/null; then
      export DISPLAY=":$n"
      return 0
    fi
    wait "$xvfb_pid" 2>/dev/null
    xvfb_pid=""
  done
  echo "could not start Xvfb" >&2
  return 1
}

stop_display() {
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
    xvfb_pid=""
  fi
  return 0
}

# start_scratch_run NAME: makes a scratch folder $work (/tmp/rarbatch-NAME.XXXXXX) and arranges that,
# on exit, the program started as $app_pid (when set) is stopped, the display too, and $work removed.
start_scratch_run() {
  work=$(mktemp -d "/tmp/rarbatch-$1.XXXXXX")
  app_pid=""
  trap end_scratch_run EXIT
}

end_scratch_run() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null && wait "$app_pid" 2>/dev/null
  stop_display
  rm -rf "$work"
}
