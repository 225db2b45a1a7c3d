#!/usr/bin/env bash
# Penloom.exe killed outright while the author types a long chapter, again and again in the same
# program folder. After every kill: the store opens and is sound, the two finished chapters are as
# they were, and the chapter being typed holds a text the editor showed, no older than what it showed
# 200 ms before the last key it answered: saves come every 100 ms, and a busy machine delays a Wine
# timer by tens of milliseconds now and then (160 ms was seen once in 200 kills under load).
# The next start shows exactly that text, and typing goes on from it.
#   PENLOOM_CRASH_KILLS (default 20), PENLOOM_CRASH_SEED (default: from the clock)
set -uo pipefail
exe=$1
driver=$2
store_dump=$3
source "$(dirname "$0")/lib.sh"
source "$root/scripts/display.sh"
start_display

kills=${PENLOOM_CRASH_KILLS:-20}
fresh_ms=200
seed=${PENLOOM_CRASH_SEED:-$(date +%s)}
RANDOM=$seed
echo "seed $seed"

# Control ids of 码字窗口, in the order of its definition from 1000.
name=1001 list=1004 editor=1007

dir=$(make_program_folder "$exe")
work=$(mktemp -d /tmp/penloom-crash-XXXXXX)
gbk() { printf '%s' "$1" | iconv -f UTF-8 -t GBK; }
lf_to_crlf() { printf '%s' "${1//$'\n'/$'\r\n'}"; }

start_penloom() {
  # Its stderr holds the shell's word on each kill.
  "$root/scripts/wine-run" "$dir/Penloom.exe" 2>>"$work/penloom.log" &
  wine_run=$!
  drive wait '软件主界面' 30000 || { stuck "no main window after start $1"; return 1; }
  # A click that found no button to press is made again, as a user would.
  until_ok 20 drive click '软件主界面' 开始码字 || { stuck "no button 开始码字 after start $1"; return 1; }
  drive wait '码字窗口' 20000 || { stuck "no writing window after start $1"; return 1; }
}

# The chapter being typed, chosen in the list again after a start; what the editor then shows goes to FILE.
show_chapter3() {
  drive select 码字窗口 $list 2 && [ "$(drive gettext 码字窗口 $name | tr -d '\r')" = "$ch3_name" ] &&
    drive savetext 码字窗口 $editor "$1"
}

# What was on the screen when a start went wrong, for whoever reads the log.
stuck() {
  fail "$1 (Penloom.exe process: $(penloom_pid "$dir" | tr '\n' ' '))"
  LC_ALL=zh_CN.UTF-8 xwininfo -root -children 2>/dev/null | grep -F '"' | grep -v 'has no name'
  import -window root "$shots/crash-stuck.png" 2>/dev/null && echo "screenshot: $shots/crash-stuck.png"
}

# Two chapters finished with 新章, then the third, which grows through every round.
ch1_name='第一章 雾锁江城'
ch1_text=$'    江城的雾来得早，卯时未到，码头上的灯笼便只剩一团团昏黄。\n\n    沈砚舟立在船头，听见对岸有人吹起了笛子。'
ch2_name='第二章 故人来信'
ch2_text=$'    信封上的字迹很熟，是十年未见的师兄写的。\n\n    他只写了一句：旧宅的桂花开了，回来看看吧。'
ch3_name='第三章 长夜'

start_penloom 0 || exit 1
for ch in 1 2; do
  n=ch${ch}_name t=ch${ch}_text
  drive settext 码字窗口 $name "${!n}"
  drive settext 码字窗口 $editor "${!t//$'\n'/\\n}"
  drive click 码字窗口 新章
done
drive keys 码字窗口 $name "$ch3_name" "" fast

# A long chapter already on screen: about 12,000 characters in paragraphs, as the author left it.
paragraph='夜深了，巷子里只剩下更夫的梆子声，一下一下，敲在湿漉漉的青石板上。沈砚舟推开窗，看见对面屋檐下挂着的那盏灯笼还亮着，灯影里似乎站着一个人。'
base='    '
for i in $(seq 1 170); do base+="$paragraph"; [ "$i" -lt 170 ] && base+='\n\n    '; done
drive settext 码字窗口 $editor "$base"

for ch in 1 2; do
  n=ch${ch}_name t=ch${ch}_text
  gbk "${!n}" >"$work/ch$ch.name"
  lf_to_crlf "${!t}" | iconv -f UTF-8 -t GBK >"$work/ch$ch.file"
  # The store keeps a chapter's text without its leading spaces.
  tail -c +5 "$work/ch$ch.file" >"$work/ch$ch.text"
done
gbk "$ch3_name" >"$work/ch3.name"

# What each round types: pieces of this text, a paragraph break now and then.
words=(月光 落在 他的 肩上 ， 像 一层 薄薄的 霜 。 远处 传来 马蹄声 ， 由远 及近 ， 又 渐渐 消失 在 雨里 。
       她 没有 回头 ， 只是 把 那封信 攥得 更紧 了 。 风 从 河面上 吹过来 ， 带着 水草 和 桂花的 气味 。)
round_text() {
  local out='' i
  for i in $(seq 1 150); do
    out+=${words[RANDOM % ${#words[@]}]}
    [ $((RANDOM % 40)) -eq 0 ] && out+='\n'
  done
  printf '%s' "$out"
}

# fresh STORED LOG: STORED (the store's text of the chapter) is the text the editor showed at one moment of
# the typing that LOG records, without its leading spaces, and no older than fresh_ms before the last key the
# editor answered. Prints how long before that key the stored text was replaced on screen (0: still shown).
fresh() {
  local stored=$1 log=$2 text=$2.text n lead head length
  n=$(stat -c %s "$stored")
  head=$(head -c 64 "$text" | LC_ALL=C tr -c ' ' '#')
  head=${head%%#*}
  lead=${#head}
  length=$((lead + n))
  if ! cmp -s -n "$n" "$stored" <(tail -c +$((lead + 1)) "$text"); then
    echo "not a text the editor showed ($n bytes)"
    return 1
  fi
  awk -v L="$length" -v margin="$fresh_ms" '
    /^[0-9.]+ [0-9]+$/ { k++; ms[k] = $1; len[k] = $2; next }
    /^gone/ { gone = $2 }
    END {
      last = ms[k]; lmin = len[1]; lmax = gone ? gone : len[k]; age = -1
      for (i = 1; i <= k; i++) {
        if (ms[i] <= last - margin) lmin = len[i]
        if (len[i] == L) age = i < k ? last - ms[i + 1] : 0
      }
      if (gone && L == gone) age = 0
      if (L > lmax) { printf "stored text longer than anything typed (%d > %d bytes)\n", L, lmax; exit 1 }
      if (L < lmin) { printf "stored text older than what the editor showed %d ms before the last key (%d < %d bytes)\n", margin, L, lmin; exit 1 }
      if (age < 0) { printf "stored text ends inside a keystroke (%d bytes)\n", L; exit 1 }
      printf "%.0f\n", age
    }' "$log"
}

oldest=0
for round in $(seq 1 "$kills"); do
  log=$work/round$round.log
  drive keys 码字窗口 $editor "$(round_text)" "$log" &
  typist=$!
  for _ in $(seq 400); do [ -e "$log" ] && break; sleep 0.05; done
  # Somewhere in the first 2.5 s of typing: the round types for longer than that.
  delay=$((RANDOM % 2450 + 50))
  sleep "$((delay / 1000)).$(printf '%03d' $((delay % 1000)))"
  pid=$(penloom_pid "$dir")
  if [ -z "$pid" ]; then fail "round $round: no Penloom.exe process to kill"; break; fi
  kill -9 "$pid"
  wait "$typist"
  typed=$?
  wait "$wine_run"
  [ "$typed" -eq 1 ] || echo "round $round: typing ended before the kill (driver $typed)"

  out=$work/store$round
  dump=$("$root/scripts/wine-run" "$store_dump" "$dir/小说数据/data.edb" "$out")
  status=$?
  check "round $round: store opens and is sound" test "$status" -eq 0
  check "round $round: three live records" test "$(echo "$dump" | tr -d '\r' | tr '\n' ' ')" = '1 live 2 live 3 live '
  for ch in 1 2; do
    check "round $round: chapter $ch name intact in the store" cmp -s "$out/$ch.name" "$work/ch$ch.name"
    check "round $round: chapter $ch text intact in the store" cmp -s "$out/$ch.text" "$work/ch$ch.text"
    n=ch${ch}_name
    check "round $round: chapter $ch text file intact" cmp -s "$dir/小说文件/${!n}.txt" "$work/ch$ch.file"
  done
  check "round $round: chapter 3 name kept" cmp -s "$out/3.name" "$work/ch3.name"
  if age=$(fresh "$out/3.text" "$log"); then
    echo "ok: round $round: chapter 3 holds what the editor showed $age ms before the last key ($(stat -c %s "$out/3.text") bytes)"
    [ "$age" -gt "$oldest" ] && oldest=$age
  else
    fail "round $round: chapter 3: $age"
  fi

  start_penloom "$round" || break
  check "round $round: chapter 3 chosen again after the start" until_ok 10 show_chapter3 "$work/shown$round"
  check "round $round: the next start shows the stored text" cmp -s "$work/shown$round" "$out/3.text"
done
echo "oldest stored text: $oldest ms before the last key answered"

# Still a working program: one more paragraph, then closed as the author would.
drive keys 码字窗口 $editor '\n天快亮了。' "" fast
drive savetext 码字窗口 $editor "$work/last"
drive click 码字窗口 关闭 &
clicker=$!
check "backup confirmed after 码字关闭" drive wait '信息：' 20000
drive click '信息：' 确定
wait "$clicker"
drive close '软件主界面'
check "backup confirmed on closing the main window" drive wait '信息：' 20000
drive click '信息：' 确定
wait "$wine_run"
check "program ends with 0" test $? -eq 0
"$root/scripts/wine-run" "$store_dump" "$dir/小说数据/data.edb" "$work/final" >/dev/null
check "the last text is in the store after a normal close" cmp -s "$work/final/3.text" "$work/last"

stop_display
[ "$failures" -eq 0 ] && rm -rf "$dir" "$work"
echo "$failures failed"
[ "$failures" -eq 0 ]
