#!/usr/bin/env bash
# Runs every corpus program through the engine (ksrun) and compares its output with the
# golden its reference produced. A BasicScript program has no reference: it must print what
# its Pascal twin's golden holds.
#   check_ksrun.sh <path to ksrun>
# Programs listed in ksrun_known.txt are expected to fail until the engine is fixed.
# Exit codes: 0 all equal, 1 a difference, 77 ksrun is not built.
set -u
here="$(cd "$(dirname "$0")" && pwd)"
ksrun="${1:-}"
if [ -z "$ksrun" ] || [ ! -x "$ksrun" ]; then
  echo "SKIP: ksrun not built (${ksrun:-no path given})"
  exit 77
fi
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
status=0
count=0
known=0
is_known() { grep -q "^$1[[:space:]]" "$here/ksrun_known.txt" 2>/dev/null; }
programs=()
for src in "$here"/*.pas "$here"/*.cpp "$here"/*.js "$here"/*.bas; do
  [ -e "$src" ] && programs+=("$src")
done
# Run four at a time, then compare in order.
for src in "${programs[@]}"; do
  base="$(basename "$src")"
  ( rc=0
    timeout 20 "$ksrun" "$src" >"$work/$base.out" 2>"$work/$base.err" || rc=$?
    echo $rc >"$work/$base.rc" ) &
  while [ "$(jobs -rp | wc -l)" -ge 4 ]; do wait -n; done
done
wait
for src in "${programs[@]}"; do
  base="$(basename "$src")"
  case "$base" in
    *.bas) golden="$here/${base%.bas}.pas.out" ;;
    *) golden="$src.out" ;;
  esac
  got="$work/$base.out"
  rc="$(cat "$work/$base.rc")"
  count=$((count + 1))
  ok=1
  if [ $rc -ne 0 ] || [ ! -f "$golden" ] || ! cmp -s "$golden" "$got"; then ok=0; fi
  if is_known "$base"; then
    if [ $ok -eq 1 ]; then
      echo "FIXED $base: it passes now; remove its line from ksrun_known.txt" >&2
      status=1
    else
      echo "KNOWN $base: still fails (see ksrun_known.txt)"
      known=$((known + 1))
    fi
    continue
  fi
  if [ $rc -ne 0 ]; then
    echo "FAIL $base: ksrun exit code $rc: $(head -c 300 "$work/$base.err")" >&2
    status=1
  elif [ ! -f "$golden" ]; then
    echo "FAIL $base: no golden $(basename "$golden")" >&2
    status=1
  elif ! diff -u "$golden" "$got" >"$work/$base.diff"; then
    echo "FAIL $base: output differs from $(basename "$golden")" >&2
    head -40 "$work/$base.diff" >&2
    status=1
  fi
done
[ $status -eq 0 ] && echo "ksrun: $((count - known)) of $count programs match their goldens, $known known failures"
exit $status
