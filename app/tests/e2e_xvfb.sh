#!/usr/bin/env bash
# The real program under a virtual X display: makes the demo archive beside a copy of the
# program, starts it with the test hook (which presses the query button, writes the exam list
# and a screenshot, then closes the window) and checks the listed exams.
# Exit 77 (skipped) without xvfb-run.
set -u
lumetra="$1"
make_demo="$2"
out="$3"
if ! command -v xvfb-run >/dev/null 2>&1; then
  echo "xvfb-run is not installed: end-to-end run skipped"
  exit 77
fi
work="$(mktemp -d /tmp/lumetra-e2e-XXXXXX)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/bin" "$out"
cp "$lumetra" "$work/bin/lumetra"
"$make_demo" "$work/demo" "$work/bin" >/dev/null || { echo "make-demo failed"; exit 1; }

rm -f "$out/grid.txt" "$out/main-window.png"
env -u QT_QPA_PLATFORM -u WAYLAND_DISPLAY \
  LUMETRA_TEST_GRID_DUMP="$out/grid.txt" LUMETRA_TEST_SCREENSHOT="$out/main-window.png" \
  timeout 60 xvfb-run -a -s "-screen 0 1280x800x24" "$work/bin/lumetra"
status=$?
if [ "$status" -ne 0 ]; then
  echo "lumetra exited with status $status"
  exit 1
fi
fail=0
expect() {
  if ! grep -qF -- "$1" "$out/grid.txt"; then
    echo "missing in the exam list: $1"
    fail=1
  fi
}
[ -s "$out/grid.txt" ] || { echo "no exam list written"; exit 1; }
expect "$(printf '超声号\t姓名\t性别\t年龄\t单位\t送检科室\t病人来源\t床号\t住院号\t门诊号\t申请医师\t检查医生\t收费')"
expect "$(printf '260001\t张伟\t男\t45\t岁')"
expect "$(printf '260011\t徐勇')"
# Exams of the last 30 days only: eleven rows under the titles; the exam of 45 days ago is not.
rows=$(($(wc -l < "$out/grid.txt") - 1))
if [ "$rows" -ne 11 ]; then
  echo "expected 11 exams, the list holds $rows"
  fail=1
fi
if grep -qF "孙娟" "$out/grid.txt"; then
  echo "an exam outside the date range is listed"
  fail=1
fi
if [ "$(head -c 8 "$out/main-window.png" | od -An -tx1 | tr -d ' \n')" != "89504e470d0a1a0a" ]; then
  echo "no PNG screenshot"
  fail=1
fi
[ "$fail" -eq 0 ] && echo "exam list and screenshot in $out"
exit "$fail"
