#!/usr/bin/env bash
# The real Penloom.exe in a fresh program folder, at 96 and 144 dpi: splash, every page,
# tray and restore, a second start from the same folder, and closing.
set -uo pipefail
exe=$1
driver=$2
source "$(dirname "$0")/lib.sh"
source "$root/scripts/display.sh"
start_display

for dpi in 96 144; do
  export PENLOOM_DPI=$dpi
  dir=$(make_program_folder "$exe")
  "$root/scripts/wine-run" "$dir/Penloom.exe" &
  pid=$!

  # The splash lives about half a second: watch for it natively.
  for _ in $(seq 3000); do [ -n "$(x_window '启动界面……')" ] && break; sleep 0.01; done
  splash=$(x_window '启动界面……')
  for _ in $(seq 300); do xwininfo -id "$splash" 2>/dev/null | grep -q IsViewable && break; sleep 0.005; done
  sleep 0.2
  shot '启动界面……' "splash-${dpi}dpi"

  check "main window appears ($dpi dpi)" drive wait '软件主界面' 30000
  sleep 1
  check "folders created" test -d "$dir/小说文件" -a -d "$dir/小说文件备份" -a -d "$dir/自动保存" -a -d "$dir/自动保存备份" -a -d "$dir/小说大纲"
  check "offline page written" cmp -s "$dir/index.htm" "$root/installer/payload/index.htm"

  page=0
  for button in 码字 大纲 音乐 搜索 帮助; do
    drive click '软件主界面' "$button"
    check "$button shows page $page" test "$(drive page '软件主界面' | tr -d '\r')" = "$page"
    sleep 0.5
    shot '软件主界面' "main-page${page}-${dpi}dpi"
    page=$((page + 1))
  done
  drive click '软件主界面' 码字

  # Hidden to the tray, then a second start from the same folder shows it and exits at once.
  drive click '软件主界面' 托盘
  check "hidden to the tray" test "$(drive state '软件主界面' | tr -d '\r')" = hidden
  PENLOOM_TIMEOUT=60 "$root/scripts/wine-run" "$dir/Penloom.exe"
  check "second start exits with 0" test $? -eq 0
  check "second start shows the running window" test "$(drive state '软件主界面' | tr -d '\r')" = normal
  check "only one main window" test "$(LC_ALL=zh_CN.UTF-8 xwininfo -root -children | grep -cF '"软件主界面"')" = 1

  drive close '软件主界面'
  # Closing backs up the chapter files and confirms it.
  check "backup confirmed on close" drive wait '信息：' 20000
  drive click '信息：' 确定
  wait "$pid"
  check "program ends with 0 when its window closes ($dpi dpi)" test $? -eq 0
  rm -rf "$dir"
done

stop_display
echo "$failures failed"
[ "$failures" -eq 0 ]
