#!/usr/bin/env bash
# A whole session of an author with the real Penloom.exe in a fresh program folder: three chapters
# typed (two finished with 新章, the third left in the editor), one deleted, the writing window closed
# with its own button, the main window closed; then every file it leaves is read back.
set -uo pipefail
exe=$1
driver=$2
store_dump=$3
source "$(dirname "$0")/lib.sh"
source "$root/scripts/display.sh"
start_display

# Control ids of 码字窗口, in the order of its definition from 1000.
name=1001 list=1004 editor=1007

dir=$(make_program_folder "$exe")
work=$(mktemp -d /tmp/penloom-journey-XXXXXX)
gbk() { printf '%s' "$1" | iconv -f UTF-8 -t GBK; }

items_are() { [ "$(drive items 码字窗口 $list | tr -d '\r')" = "$1" ]; }
same() { cmp -s "$1" "$2"; }
files_in() { (cd "$1" && LC_ALL=C ls -A); }
# Screens are painted a moment after a change, with nothing to wait on from outside.
snap() { sleep 0.5; shot "$1" "journey-$2"; }

# Date-time text of a moment: year 年 month 月 day 日, then the time down to its last part that is not 0.
datetime_text() {
  local y mo d h mi s text
  read -r y mo d h mi s <<<"$(date -d "@$1" '+%Y %-m %-d %-H %-M %-S')"
  text="${y}年${mo}月${d}日"
  if [ "$s" -ne 0 ]; then text+="${h}时${mi}分${s}秒"
  elif [ "$mi" -ne 0 ]; then text+="${h}时${mi}分"
  elif [ "$h" -ne 0 ]; then text+="${h}时"
  fi
  printf '%s' "$text"
}

# What the author types ("\n" is the Enter key) and what the editor then holds: Enter ends the paragraph,
# leaves an empty line and indents the next one by four spaces.
ch1_name='第一章 雾锁江城'
ch1_keys='    江城的雾来得早，卯时未到，码头上的灯笼便只剩一团团昏黄。\n沈砚舟立在船头，听见对岸有人吹起了笛子。'
ch2_name='第二章 故人来信'
ch2_keys='    信封上的字迹很熟，是十年未见的师兄写的。\n他只写了一句：旧宅的桂花开了，回来看看吧。\n落款是“砚”。'
ch3_name='第三章 长夜'
ch3_keys='    夜深了，巷子里只剩下更夫的梆子声。\n他推开窗，看见对面屋檐下的灯笼还亮着'
for ch in 1 2 3; do
  n=ch${ch}_name k=ch${ch}_keys
  gbk "${!n}" >"$work/ch$ch.name"
  keys=${!k}
  gbk "${keys//\\n/$'\r\n\r\n    '}" >"$work/ch$ch.shown"
  # The store keeps a chapter's text without its leading spaces; its text file keeps them.
  tail -c +5 "$work/ch$ch.shown" >"$work/ch$ch.stored"
done

"$root/scripts/wine-run" "$dir/Penloom.exe" 2>"$work/penloom.log" &
wine_run=$!
check "main window appears" drive wait '软件主界面' 30000
snap '软件主界面' 01-main

# A click that found no button to press is made again, as a user would.
check "开始码字 clicked" until_ok 20 drive click '软件主界面' 开始码字
check "writing window opens" drive wait '码字窗口' 20000
check "the shipped store shows one blank chapter" until_ok 10 items_are '> '
snap 码字窗口 02-writing-window

for ch in 1 2 3; do
  n=ch${ch}_name k=ch${ch}_keys
  drive keys 码字窗口 $name "${!n}"
  check "chapter $ch typed as shown" drive keys 码字窗口 $editor "${!k}"
  drive savetext 码字窗口 $editor "$work/typed$ch"
  check "chapter $ch: the editor holds the text with its paragraph breaks" same "$work/typed$ch" "$work/ch$ch.shown"
  snap 码字窗口 "0$((ch + 2))-chapter$ch"
  [ "$ch" -lt 3 ] && drive click 码字窗口 新章
done
check "the list names every chapter, the last one selected" \
  until_ok 10 items_are "$(printf '%s\n%s\n> %s' "$ch1_name" "$ch2_name" "$ch3_name")"

# The second chapter, shown again from its record, is deleted after a first thought better of.
drive select 码字窗口 $list 1
drive savetext 码字窗口 $editor "$work/reshown2"
check "chapter 2 shown again without its leading spaces" same "$work/reshown2" "$work/ch2.stored"
drive click 码字窗口 删除 &
clicker=$!
check "delete asks first" drive wait 警告 20000
check "delete asks with its warning" drive has 警告 '确认删除该章节吗，删除后可能会导致章节丢失。'
snap 警告 06-delete-asks
drive click 警告 取消
wait "$clicker"
check "cancel keeps every chapter" items_are "$(printf '%s\n> %s\n%s' "$ch1_name" "$ch2_name" "$ch3_name")"
drive click 码字窗口 删除 &
clicker=$!
check "delete asks again" drive wait 警告 20000
drive click 警告 确定
wait "$clicker"
check "chapter 2 gone from the list, the one above selected" items_are "$(printf '> %s\n%s' "$ch1_name" "$ch3_name")"

# Back to the chapter being written, which the close leaves in the editor.
drive select 码字窗口 $list 1
check "chapter 3 back in the name box" test "$(drive gettext 码字窗口 $name | tr -d '\r')" = "$ch3_name"
drive savetext 码字窗口 $editor "$work/last-shown"
check "chapter 3 shown again as stored" same "$work/last-shown" "$work/ch3.stored"
autosave=$dir/自动保存/自动保存文件【勿删】.txt
check "the auto-save file follows the editor" until_ok 10 same "$autosave" "$work/last-shown"
snap 码字窗口 07-after-delete

# 码字关闭: a timestamped copy of the auto-save file, the window closed, the chapter files backed up.
before=$(date +%s)
drive click 码字窗口 关闭 &
clicker=$!
check "码字关闭 confirms the backup" drive wait '信息：' 20000
after=$(date +%s)
check "the confirmation says the chapter files were backed up" drive has '信息：' 小说文件备份成功
snap '信息：' 08-backup-confirmed
drive click '信息：' 确定
wait "$clicker"
check "writing window closed" drive gone 码字窗口 20000
check "the batch file is removed once the box is answered" until_ok 30 test ! -e "$dir/复制文件.bat"
snap '软件主界面' 09-main-again

drive close '软件主界面'
check "closing the main window confirms the backup" drive wait '信息：' 20000
snap '信息：' 10-closing-backup
drive click '信息：' 确定
wait "$wine_run"
check "program ends with 0" test $? -eq 0

# ---- Every file, read back ----
dump=$("$root/scripts/wine-run" "$store_dump" "$dir/小说数据/data.edb" "$work/store")
check "store opens and is sound" test $? -eq 0
check "store holds two records, the deleted one compacted away" test "$(echo "$dump" | tr -d '\r' | tr '\n' ' ')" = '1 live 2 live '
check "record 1: chapter 1's name" same "$work/store/1.name" "$work/ch1.name"
check "record 1: chapter 1's text without leading spaces" same "$work/store/1.text" "$work/ch1.stored"
check "record 2: chapter 3's name" same "$work/store/2.name" "$work/ch3.name"
check "record 2: chapter 3's text without leading spaces" same "$work/store/2.text" "$work/ch3.stored"

check "小说文件 holds the two finished chapters" \
  test "$(files_in "$dir/小说文件")" = "$(printf '%s\n%s' "$ch1_name.txt" "$ch2_name.txt")"
for ch in 1 2; do
  n=ch${ch}_name
  check "chapter $ch's text file keeps its leading spaces" same "$dir/小说文件/${!n}.txt" "$work/ch$ch.shown"
  check "chapter $ch's text file backed up" same "$dir/小说文件备份/${!n}.txt" "$work/ch$ch.shown"
done
check "小说文件备份 holds exactly the chapter files" test "$(files_in "$dir/小说文件备份")" = "$(files_in "$dir/小说文件")"

check "the auto-save file holds chapter 3 as last shown" same "$autosave" "$work/last-shown"
copies=$(files_in "$dir/自动保存备份")
check "one timestamped copy" test "$(echo "$copies" | grep -c .)" -eq 1
named=false
for t in $(seq "$before" "$after"); do
  [ "$copies" = "$(datetime_text "$t")【备份】.txt" ] && named=true
done
check "the copy is named after the moment of 码字关闭 ($copies)" $named
check "the copy equals the auto-save file" same "$dir/自动保存备份/$copies" "$autosave"
check "no batch file left" test ! -e "$dir/复制文件.bat"

stop_display
[ "$failures" -eq 0 ] && rm -rf "$dir" "$work"
echo "$failures failed"
[ "$failures" -eq 0 ]
