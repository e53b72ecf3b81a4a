#!/usr/bin/env bash
# The real program under a virtual X display: makes the demo archive beside a copy of the
# program, starts it with the test hook (which presses the query button, writes the exam list
# and a screenshot, opens 张伟's exam, prints its report on a printer that writes a PDF file and
# exports it through the six items of the export menu, then closes the window) and checks the
# listed exams, the report, the printout and each exported file with independent readers.
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

rm -rf "$out/grid.txt" "$out/main-window.png" "$out/e2e.log" "$out/report.txt" "$out/report.png" \
  "$out/print.pdf" "$out/exports"
env -u QT_QPA_PLATFORM -u WAYLAND_DISPLAY \
  LUMETRA_TEST_GRID_DUMP="$out/grid.txt" LUMETRA_TEST_SCREENSHOT="$out/main-window.png" \
  LUMETRA_TEST_EXAM="张伟" LUMETRA_TEST_OUT="$out" LUMETRA_PRINTERS="file:$out/print.pdf" \
  timeout 90 xvfb-run -a -s "-screen 0 1280x800x24" "$work/bin/lumetra"
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

# ---- the opened exam
bad() {
  echo "$1"
  fail=1
}
log="$out/e2e.log"
[ -s "$log" ] || { echo "the hook wrote no log"; exit 1; }
# Before any exam the export offers no name (its save dialog is the log's first line).
[ "$(head -n 1 "$log")" = "$(printf 'dialog\t')" ] || bad "an export before any exam offered a name: $(head -n 1 "$log")"
if grep -q "^box" "$log"; then bad "message boxes: $(grep '^box' "$log")"; fi
pages=$(awk -F'\t' '$1 == "pages" { print $2 }' "$log")
[ "${pages:-0}" -ge 1 ] || bad "the report has no pages"
for text in 示范医院超声科 张伟 超声检查报告单 "肝脏形态大小正常"; do
  grep -qF "$text" "$out/report.txt" || bad "the report lacks $text"
done
# The pictures: the report's window is darker than the list's alone (the scans are dark).
dark() { convert "$1" -colorspace Gray -threshold 30% -format "%[fx:1-mean]" info:; }
if ! awk -v a="$(dark "$out/report.png")" -v b="$(dark "$out/main-window.png")" 'BEGIN { exit !(a > b + 0.02) }'; then
  bad "the report's pictures do not show on the screen"
fi

# The printout: a PDF with the preview's page count and the report's texts.
if [ -s "$out/print.pdf" ]; then
  printed=$(pdfinfo "$out/print.pdf" 2>/dev/null | awk '/^Pages:/ { print $2 }')
  [ "$printed" = "$pages" ] || bad "the printout has ${printed:-no} pages, the preview $pages"
  pdftotext "$out/print.pdf" "$out/print.txt"
  grep -qF 张伟 "$out/print.txt" || bad "the printout lacks the name"
  grep -qF 肝脏形态大小正常 "$out/print.txt" || bad "the printout lacks the findings"
else
  bad "nothing was printed"
fi

# The exports, under the exam's name with "/" and "\" made "_".
base=$(awk -F'\t' '$1 == "done" { print $2 }' "$log")
name="$out/exports/$(printf '%s' "$base" | tr '/\\' '__')"
[ -n "$base" ] || bad "no export name"
# The picture formats write a file per page, numbered.
for ext in pdf 1.tif rtf 1.bmp 1.jpg html; do
  [ -s "$name.$ext" ] || bad "no $ext export: $name.$ext"
done
[ "$(ls "$out/exports"/*.pdf 2>/dev/null | wc -l)" -eq 1 ] || bad "a cancelled export wrote a file"
if [ -s "$name.pdf" ]; then
  qpdf --check "$name.pdf" >/dev/null 2>&1 || bad "qpdf rejects the PDF export"
  [ "$(pdffonts "$name.pdf" 2>/dev/null | tail -n +3 | wc -l)" -ge 1 ] || bad "the PDF export lists no fonts"
fi
if [ -s "$name.1.tif" ]; then
  tiffinfo "$name.1.tif" >/dev/null 2>&1 || bad "tiffinfo rejects the TIFF export"
fi
if [ -s "$name.rtf" ]; then
  conv="$work/rtf"
  mkdir -p "$conv"
  cp "$name.rtf" "$conv/report.rtf"
  timeout 120 soffice -env:UserInstallation="file://$conv/profile" --headless --convert-to txt:Text \
    --outdir "$conv" "$conv/report.rtf" >/dev/null 2>&1
  grep -qF 张伟 "$conv/report.txt" 2>/dev/null || bad "LibreOffice finds no name in the RTF export"
fi
# One A4 page at 96 dots per inch.
for ext in 1.bmp 1.jpg; do
  if [ -s "$name.$ext" ]; then
    size=$(identify -format '%w %h' "$name.$ext" 2>/dev/null)
    [ "$size" = "794 1123" ] || bad "the $ext export is $size, not 794 1123"
  fi
done
if [ -s "$name.html" ]; then
  xmllint --html --noout "$name.html" 2>/dev/null || bad "xmllint rejects the HTML export"
  while IFS= read -r src; do
    [ -s "$out/exports/$src" ] || bad "the HTML export's picture $src is missing"
  done < <(grep -o 'src="[^"]*"' "$name.html" | sed 's/^src="//; s/"$//')
fi

[ "$fail" -eq 0 ] && echo "exam list, report, printout and exports in $out"
exit "$fail"
