#!/usr/bin/env bash
# Screenshots of the web view's stand-in (folder listing, offline page, web address) for people to look at.
#   [PENLOOM_DPI=144] tests/e2e/webview_shots.sh [build/win/tests/win/webview_test.exe]
source "$(dirname "$0")/lib.sh"
exe=${1:-$root/build/win/tests/win/webview_test.exe}
suffix=
[ "${PENLOOM_DPI:-96}" != 96 ] && suffix=-${PENLOOM_DPI}dpi
source "$root/scripts/display.sh"
start_display
PENLOOM_SHOWCASE_MS=8000 "$root/scripts/wine-run" "$exe" --gtest_also_run_disabled_tests \
  --gtest_filter='WebViewShowcase.*' >/dev/null 2>&1 &
run=$!
for _ in $(seq 100); do [ -n "$(x_window '网页视图-网址')" ] && break; sleep 0.2; done
sleep 1
shot '网页视图-文件夹' webview-folder$suffix
shot '网页视图-离线页' webview-offline-page$suffix
shot '网页视图-网址' webview-web-address$suffix
wait "$run"
stop_display
exit $((failures > 0))
