#!/usr/bin/env bash
# The writing window of the real Penloom.exe at 96 and 144 dpi: a few chapters written and completed,
# the first one shown again, the chapter-folder viewer opened from the window's own popup menu.
set -uo pipefail
exe=$1
driver=$2
source "$(dirname "$0")/lib.sh"
source "$root/scripts/display.sh"
start_display

# Control ids of 码字窗口, in the order of its definition from 1000.
name=1001 list=1004 editor=1007 count=1010

# write NAME TEXT: what an author types into the two boxes; the 100 ms save takes it to the store.
write() {
  drive settext 码字窗口 $name "$1"
  drive settext 码字窗口 $editor "$2"
  sleep 0.3
}

for dpi in 96 144; do
  export PENLOOM_DPI=$dpi
  dir=$(make_program_folder "$exe")
  "$root/scripts/wine-run" "$dir/Penloom.exe" &
  pid=$!
  check "main window appears ($dpi dpi)" drive wait '软件主界面' 30000
  drive click '软件主界面' 开始码字
  check "writing window opens ($dpi dpi)" drive wait '码字窗口' 20000
  sleep 1

  write '第一章 风起青萍' '    夜色如墨，城南的老槐树下只剩一盏昏黄的灯。\n\n    林晚把最后一页稿纸压在砚台下，听见巷口传来三声更鼓。'
  drive click 码字窗口 新章
  write '第二章 旧信' '    信是十年前寄出的，邮戳已经模糊。\n\n    她拆开的时候，窗外正落着今年的第一场雪。'
  drive click 码字窗口 新章
  write '第三章 渡口' '    渡船迟迟不来。'
  drive click 码字窗口 新章
  write '第四章（未完）' '    雨下了一整夜。'
  check "chapter files written" test -f "$dir/小说文件/第一章 风起青萍.txt" -a -f "$dir/小说文件/第三章 渡口.txt"

  drive select 码字窗口 $list 0
  sleep 0.5
  check "first chapter back on screen" test "$(drive gettext 码字窗口 $name | tr -d '\r')" = '第一章 风起青萍'
  check "its characters counted" test "$(drive gettext 码字窗口 $count | tr -d '\r')" = 47
  shot 码字窗口 "writing-${dpi}dpi"

  # The window's own popup menu, from a right click below the clock, chooses the folder viewer.
  read -r wx wy ww wh <<<"$(drive rect 码字窗口 | tr -d '\r')"
  win=$(x_window 码字窗口)
  xdotool mousemove --window "$win" $((ww - 60)) $((wh - 60)) click 3
  sleep 0.5
  xdotool key Down Return
  sleep 1
  shot 码字窗口 "writing-viewer-${dpi}dpi"

  # The click waits for its confirmation box, so it runs beside the answer.
  drive click 码字窗口 关闭 &
  check "码字关闭 confirms the backup" drive wait '信息：' 20000
  drive click '信息：' 确定
  wait $!
  check "writing window closes" drive gone 码字窗口 20000
  drive close '软件主界面'
  check "backup confirmed on close" drive wait '信息：' 20000
  drive click '信息：' 确定
  wait "$pid"
  check "program ends with 0 ($dpi dpi)" test $? -eq 0
  rm -rf "$dir"
done

stop_display
echo "$failures failed"
[ "$failures" -eq 0 ]
