#!/usr/bin/env bash
# Cost of the writing window's auto-save in the real Penloom.exe under Wine, with a chapter of
# 200,000 characters open:
#   autosave.idle_cpu_pct          CPU time of the Penloom.exe process (utime + stime) over 60 s of
#                                  nobody typing, as a percentage of one core
#   autosave.idle_bytes_per_s      bytes the process sent to storage (/proc/<pid>/io write_bytes) per
#                                  second over the same 60 s
#   autosave.typing_writes_per_tick writes of the auto-save file while the driver appends a character
#                                  20 times a second for 15 s, divided by the ticks its 1 ms timer can
#                                  deliver in that time; Wine (as Windows) raises a 1 ms timer to 10 ms,
#                                  so that is 100 a second (the timer rests between changes, so fewer run)
# A write is one close of the file after writing (inotify IN_CLOSE_WRITE): each tick that writes
# creates, writes and closes it once. Summary lines go to $PENLOOM_BENCH_SUMMARY when set.
#   PENLOOM_WIN_BUILD  the Windows build folder (default build/win)
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
win=${PENLOOM_WIN_BUILD:-$root/build/win}
exe=$win/app/Penloom.exe
driver=$win/tests/e2e/e2e_driver.exe
summary=${PENLOOM_BENCH_SUMMARY:-/dev/null}
idle_s=60 typing_rate=20 typing_s=15
for f in "$exe" "$driver"; do
  [ -f "$f" ] || { echo "autosave: $f is missing; build the win preset first" >&2; exit 1; }
done
command -v inotifywait >/dev/null || { echo "autosave: inotifywait is missing (inotify-tools)" >&2; exit 1; }

source "$root/tests/e2e/lib.sh"
source "$root/scripts/display.sh"

work=$(mktemp -d /tmp/penloom-bench-XXXXXX)
dir=
run_pid= pen_pid= watch_pid=
cleanup() {
  [ -n "$watch_pid" ] && kill "$watch_pid" 2>/dev/null
  [ -n "$pen_pid" ] && kill "$pen_pid" 2>/dev/null
  [ -n "$run_pid" ] && wait "$run_pid" 2>/dev/null
  stop_display
  rm -rf "$work" ${dir:+"$dir"}
}
trap cleanup EXIT
start_display || exit 1

# Control ids of 码字窗口, in the order of its definition from 1000.
editor=1007 count=1010

# 2,000 paragraphs of 100 characters: 200,000 characters, with CR LF line ends as the editor keeps them.
phrase='夜色如墨城南的老槐树下只剩一盏昏黄的灯林晚把稿纸压在砚台下'
line=$phrase$phrase$phrase$phrase
line=${line:0:100}
for _ in $(seq 2000); do printf '%s\r\n' "$line"; done >"$work/chapter.txt"
chapter_win="Z:${work//\//\\}\\chapter.txt"

dir=$(make_program_folder "$exe")
autosave_dir=$dir/自动保存
autosave_name=自动保存文件【勿删】.txt
"$root/scripts/wine-run" "$dir/Penloom.exe" </dev/null >/dev/null 2>&1 &
run_pid=$!
drive wait 软件主界面 60000 >/dev/null || { echo "autosave: main window did not appear" >&2; exit 1; }
pen_pid=$(penloom_pid "$dir" | head -1)
[ -n "$pen_pid" ] || { echo "autosave: no Penloom.exe process" >&2; exit 1; }
drive click 软件主界面 开始码字
drive wait 码字窗口 20000 >/dev/null || { echo "autosave: writing window did not appear" >&2; exit 1; }
drive settextfile 码字窗口 $editor "$chapter_win" || { echo "autosave: chapter not set" >&2; exit 1; }
shown=$(drive gettext 码字窗口 $count | tr -d '\r')
[ "$shown" = 200000 ] || { echo "autosave: the window counts $shown characters, not 200000" >&2; exit 1; }
# The store and the auto-save file take the chapter within a few ticks; let them settle.
until_ok 10 test -s "$autosave_dir/$autosave_name" || { echo "autosave: no auto-save file" >&2; exit 1; }
sleep 3

hz=$(getconf CLK_TCK)
cpu_ticks() { awk '{print $14 + $15}' "/proc/$pen_pid/stat"; }
io_field() { awk -v k="$1:" '$1 == k {print $2}' "/proc/$pen_pid/io"; }
now() { date +%s.%N; }
ratio() { awk -v a="$1" -v b="$2" -v s="${3:-1}" 'BEGIN {printf "%.4g\n", a / b * s}'; }

# ---- Idle ----
t0=$(now) c0=$(cpu_ticks) w0=$(io_field write_bytes) ch0=$(io_field wchar)
sleep "$idle_s"
t1=$(now) c1=$(cpu_ticks) w1=$(io_field write_bytes) ch1=$(io_field wchar)
kill -0 "$pen_pid" 2>/dev/null || { echo "autosave: Penloom.exe ended while idle" >&2; exit 1; }
secs=$(awk -v a="$t0" -v b="$t1" 'BEGIN {print b - a}')
idle_cpu=$(ratio $((c1 - c0)) "$(awk -v s="$secs" -v hz="$hz" 'BEGIN {print s * hz}')" 100)
idle_bytes=$(ratio $((w1 - w0)) "$secs")
echo "idle ${secs}s: $((c1 - c0)) CPU ticks of 1/$hz s; write_bytes +$((w1 - w0)); wchar +$((ch1 - ch0)) (wchar also counts Wine's requests to its server)"

# ---- Typing ----
inotifywait -q -m -e close_write --format '%f' "$autosave_dir" >"$work/writes" 2>/dev/null &
watch_pid=$!
sleep 0.5
t0=$(now) c0=$(cpu_ticks)
typed=$(drive type 码字窗口 $editor $typing_rate $typing_s | tr -d '\r')
t1=$(now) c1=$(cpu_ticks)
sleep 0.5
kill "$watch_pid" 2>/dev/null
wait "$watch_pid" 2>/dev/null
watch_pid=
writes=$(grep -cxF "$autosave_name" "$work/writes")
secs=$(awk -v a="$t0" -v b="$t1" 'BEGIN {print b - a}')
ticks=$(awk -v s="$secs" 'BEGIN {printf "%d\n", s * 100}')
writes_per_tick=$(ratio "$writes" "$ticks")
typing_cpu=$(ratio $((c1 - c0)) "$(awk -v s="$secs" -v hz="$hz" 'BEGIN {print s * hz}')" 100)
echo "typing ${secs}s: ${typed:-0} characters appended, $writes auto-save writes, $ticks ticks at 100 a second; CPU $typing_cpu % of one core"
echo "writes per appended character: $(ratio "$writes" "${typed:-1}")"

# The last tick must have left the file equal to the editor.
drive savetext 码字窗口 $editor "Z:${work//\//\\}\\editor.txt" >/dev/null
if cmp -s "$work/editor.txt" "$autosave_dir/$autosave_name"; then same=yes; else same=no; fi
echo "auto-save file equals the editor after typing: $same"

{
  echo "autosave.idle_cpu_pct $idle_cpu"
  echo "autosave.idle_bytes_per_s $idle_bytes"
  echo "autosave.typing_writes_per_tick $writes_per_tick"
} | tee -a "$summary"
[ "$same" = yes ]
