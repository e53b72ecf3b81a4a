#!/usr/bin/env bash
# Runs every corpus program through its reference compiler or interpreter (Free Pascal for
# .pas, g++ for .cpp, node for .js), each with the prelude of prelude/, and writes the output
# next to the program as <name>.<ext>.out (the checked-in goldens).
#
#   run_references.sh                 regenerate the goldens in the source tree
#   run_references.sh --check DIR     regenerate into DIR and compare with the goldens
#   --lang pas|cpp|js                 only that language (repeatable)
#
# Exit codes: 0 all equal, 1 a difference or a failed program, 77 a needed tool is missing.
# Whatever the mode, the goldens of one algorithm must be identical in every language; the
# BasicScript twin has no reference of its own and is checked against them by check_ksrun.sh.
set -u
here="$(cd "$(dirname "$0")" && pwd)"
check_dir=""
langs=()
while [ $# -gt 0 ]; do
  case "$1" in
    --check) check_dir="$2"; shift 2 ;;
    --lang) langs+=("$2"); shift 2 ;;
    *) echo "unknown argument $1" >&2; exit 2 ;;
  esac
done
[ ${#langs[@]} -eq 0 ] && langs=(pas cpp js)

tool_of() { case "$1" in pas) echo fpc ;; cpp) echo g++ ;; js) echo node ;; esac; }
missing=()
for l in "${langs[@]}"; do
  command -v "$(tool_of "$l")" >/dev/null 2>&1 || missing+=("$(tool_of "$l")")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "SKIP: not installed: ${missing[*]}"
  exit 77
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
out_dir="${check_dir:-$here}"
mkdir -p "$out_dir"

if printf '%s\n' "${langs[@]}" | grep -qx pas; then
  mkdir -p "$work/pas"
  if ! fpc -Mdelphi -FU"$work/pas" "$here/prelude/ksprelude.pas" >"$work/pas/prelude.log" 2>&1; then
    cat "$work/pas/prelude.log" >&2
    exit 1
  fi
fi

# Scripts are not quite JavaScript: arrays are declared "var a[n]", the handler of a try is
# "except", and switch branches never fall through. Rewrite those forms for node.
js_rewrite() {
  sed -E \
    -e 's/var ([A-Za-z_][A-Za-z0-9_]*)\[([^]]+)\]/var \1 = ksArray(\2)/g' \
    -e 's/\bexcept[[:space:]]*\{/catch (ksE) { ksCatch(ksE);/g' \
    -e 's/\bcase[[:space:]]/break; case /g' \
    -e 's/\bdefault[[:space:]]*:/break; default:/g' \
    -e 's/\bswitch[[:space:]]*(\(.*\))[[:space:]]*\{/switch \1 { case ksNever:/' "$1"
}

# run_one <ext> <program> <output file>
run_one() {
  local ext="$1" src="$2" out="$3" name
  name="$(basename "$src" ."$ext")"
  local dir="$work/$ext/$name"
  mkdir -p "$dir"
  case "$ext" in
    pas)
      fpc -Mdelphi -Fu"$work/pas" -Faksprelude -FU"$dir" -o"$dir/prog" "$src" >"$dir/build.log" 2>&1 \
        || { echo "$src: fpc failed" >&2; cat "$dir/build.log" >&2; return 1; } ;;
    cpp)
      sed -e 's/^{$/int main() {/' "$src" >"$dir/prog.cpp"
      g++ -std=c++20 -w -O0 -include "$here/prelude/ksprelude.h" -o "$dir/prog" "$dir/prog.cpp" \
        >"$dir/build.log" 2>&1 \
        || { echo "$src: g++ failed" >&2; cat "$dir/build.log" >&2; return 1; } ;;
    js)
      js_rewrite "$src" >"$dir/prog.js" ;;
  esac
  local rc=0
  if [ "$ext" = js ]; then
    timeout 20 node -r "$here/prelude/ksprelude.js" "$dir/prog.js" >"$out" 2>"$dir/run.log" || rc=$?
  else
    timeout 20 "$dir/prog" >"$out" 2>"$dir/run.log" || rc=$?
  fi
  if [ $rc -ne 0 ]; then
    echo "$src: exit code $rc" >&2
    cat "$dir/run.log" >&2
    return 1
  fi
}

pids=()
for ext in "${langs[@]}"; do
  for src in "$here"/*."$ext"; do
    [ -e "$src" ] || continue
    run_one "$ext" "$src" "$out_dir/$(basename "$src").out" &
    pids+=($!)
    # Four compilers at a time: the machine is shared.
    while [ "$(jobs -rp | wc -l)" -ge 4 ]; do wait -n; done
  done
done
status=0
for p in "${pids[@]}"; do wait "$p" || status=1; done

if [ -n "$check_dir" ]; then
  for ext in "${langs[@]}"; do
    for src in "$here"/*."$ext"; do
      [ -e "$src" ] || continue
      golden="$src.out"
      got="$check_dir/$(basename "$src").out"
      if [ ! -f "$golden" ]; then
        echo "MISSING golden $golden" >&2; status=1
      elif ! diff -u "$golden" "$got" >&2; then
        echo "DIFF $(basename "$src"): reference output differs from the golden" >&2; status=1
      fi
    done
  done
fi

# One algorithm, one output: the goldens of the twins must agree.
for pas in "$here"/*.pas; do
  name="$(basename "$pas" .pas)"
  for ext in cpp js; do
    other="$here/$name.$ext.out"
    if [ ! -f "$here/$name.$ext" ]; then
      echo "MISSING twin $name.$ext" >&2; status=1
    elif [ -f "$pas.out" ] && [ -f "$other" ] && ! cmp -s "$pas.out" "$other"; then
      echo "TWINS DIFFER: $name.pas.out and $name.$ext.out" >&2; status=1
    fi
  done
  [ -f "$here/$name.bas" ] || { echo "MISSING twin $name.bas" >&2; status=1; }
done

[ $status -eq 0 ] && echo "reference outputs: all equal"
exit $status
