# Sourced by the e2e journeys: a fresh program folder laid out as the installer lays it out,
# the driver, and screenshots of real windows on the X display.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
shots=$root/build/screenshots
mkdir -p "$shots"
failures=0

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
check() { local what=$1; shift; if "$@"; then echo "ok: $what"; else fail "$what"; fi; }
# until_ok SECONDS COMMAND...: runs the command until it succeeds, for at most that long.
until_ok() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    [ "$SECONDS" -ge "$deadline" ] && return 1
    sleep 0.1
  done
}

# make_program_folder EXE -> prints the folder
make_program_folder() {
  local dir
  dir=$(mktemp -d /tmp/penloom-e2e-XXXXXX)
  mkdir "$dir/小说数据"
  cp "$1" "$dir/Penloom.exe"
  cp "$root/installer/payload/DATA.EDB" "$root/installer/payload/DATA.edt" "$dir/小说数据/"
  cp "$root/installer/payload/index.htm" "$root/installer/payload/Inkhall.url" "$dir/"
  echo "$dir"
}

drive() { "$root/scripts/wine-run" "$driver" "$@"; }

# penloom_pid FOLDER -> the unix process that is FOLDER/Penloom.exe (not the wine-run or timeout around it)
penloom_pid() {
  local p
  for p in $(pgrep -f -- "$1/Penloom.exe"); do
    [ "$(tr '\0' '\n' <"/proc/$p/cmdline" 2>/dev/null | head -1)" = "$1/Penloom.exe" ] && echo "$p"
  done
}

# x_window TITLE -> X id of the mapped top-level window with that title
x_window() {
  LC_ALL=zh_CN.UTF-8 xwininfo -root -children 2>/dev/null | grep -F "\"$1\"" | awk '{print $1}' | head -1
}

# shot TITLE NAME: saves the window as build/screenshots/NAME.png
shot() {
  local id
  id=$(x_window "$1")
  if [ -z "$id" ]; then fail "no X window titled $1 for screenshot $2"; return 1; fi
  import -window "$id" "$shots/$2.png" 2>/dev/null && echo "screenshot: $shots/$2.png"
}
