#!/usr/bin/env bash
# Regenerates the oracle tables (*.tsv) with Free Pascal: oracle_tables.pas lists the inputs,
# fpc's SysUtils and Variants compute the expected column. marks.tsv adds a last column to
# the rows where the platform departs from fpc on purpose ("departure: ...") or where a
# difference is still to be fixed ("known: ..."); its lines are the table name, the row's
# input columns and the note, tab-separated.
#   generate.sh               rewrite the tables here
#   generate.sh --check DIR   write them into DIR and compare with the checked-in ones
# Exit codes: 0 done or equal, 1 a difference, 77 fpc is not installed.
set -eu
here="$(cd "$(dirname "$0")" && pwd)"
out="$here"
check=0
if [ "${1:-}" = "--check" ]; then
  out="$2"
  check=1
  mkdir -p "$out"
fi
command -v fpc >/dev/null || { echo "SKIP: fpc is not installed"; exit 77; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fpc -Mdelphi -FU"$work" -o"$work/oracle_tables" "$here/oracle_tables.pas" >"$work/build.log" 2>&1 \
  || { cat "$work/build.log" >&2; exit 1; }
for table in variant format formatfloat formatdatetime floattostr; do
  "$work/oracle_tables" "$table" >"$work/$table.raw"
  awk -F'\t' -v OFS='\t' -v table="$table" '
    FNR == NR {
      key = $1; for (i = 2; i < NF; i++) key = key OFS $i
      note[key] = $NF; next
    }
    FNR == 1 { print $0, "note"; next }
    {
      key = table; for (i = 1; i < NF; i++) key = key OFS $i
      print $0, (key in note ? note[key] : "")
    }' "$here/marks.tsv" "$work/$table.raw" >"$out/$table.tsv"
done
if [ $check -eq 1 ]; then
  status=0
  for table in variant format formatfloat formatdatetime floattostr; do
    diff -u "$here/$table.tsv" "$out/$table.tsv" >&2 || status=1
  done
  [ $status -eq 0 ] && echo "oracle tables: as checked in"
  exit $status
fi
echo "oracle tables written to $out"
