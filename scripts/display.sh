# Sourced: start_display gives this shell a virtual X display unless one is set; stop_display ends it.
_penloom_xvfb=
start_display() {
  [ -n "${DISPLAY:-}" ] && return 0
  local n
  for n in $(seq 60 89); do
    { [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ]; } && continue
    Xvfb ":$n" -screen 0 1600x1000x24 -nolisten tcp >/dev/null 2>&1 &
    _penloom_xvfb=$!
    for _ in $(seq 50); do [ -e /tmp/.X11-unix/X$n ] && break; sleep 0.1; done
    export DISPLAY=":$n"
    return 0
  done
  echo "no free X display" >&2
  return 1
}
stop_display() {
  [ -n "$_penloom_xvfb" ] && kill "$_penloom_xvfb" 2>/dev/null
  _penloom_xvfb=
}
