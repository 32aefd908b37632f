#!/usr/bin/env bash
# GetFaturamento of 100,000 rows over HTTP (the whole answer received by curl)
# against sqlite3 -json running the same query text (server/billing/sql/item-select +
# preview-where, the same values in place of the placeholders) on the same file.
# Ours and the reference run alternately; goal: ours at most 1.0x the reference.
#   bench/bench_getfaturamento.sh [BUILD_DIR]     (default: build/, or $BUILD_DIR)
#   ROWS=100000 PAIRS=7 to change the size and the number of pairs
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-${BUILD_DIR:-$root/build}}
rows=${ROWS:-100000}
pairs=${PAIRS:-7}
. "$root/bench/pairs.sh"
for tool in sqlite3 curl; do
  command -v "$tool" >/dev/null || { echo "bench: $tool is needed" >&2; exit 1; }
done
[ -x "$build/bin/fas-appserver" ] || { echo "bench: build fas-appserver and fas-demo-data in $build first" >&2; exit 1; }

bench_begin

db="$work/bench.sqlite"
"$build/bin/fas-demo-data" --database "$db" --rows "$rows" >&2
start_server "$build" "$db" "$work/server"

whole_period_request
printf '%s;\n' "$(preview_sql "$root" sqlite "$from" "$last_month")" > "$work/query.sql"

ours() { post_preview; }
reference() { sqlite3 -json "$db" < "$work/query.sql" > "$work/sqlite.json"; }
run_pairs ours reference

# Both sides must have produced every row: one JSON array per row for the packet,
# one object per row for sqlite3.
http_rows=$(grep -o '\],\[' "$work/http.json" | wc -l); http_rows=$((http_rows + 1))
sqlite_rows=$(grep -c '^\[\?{' "$work/sqlite.json" || true)
echo "rows: GetFaturamento $http_rows, sqlite3 -json $sqlite_rows (expected $rows)"
if [ "$http_rows" -ne "$rows" ] || [ "$sqlite_rows" -ne "$rows" ]; then
  echo "bench: the row counts differ; the comparison would be meaningless" >&2
  exit 1
fi
echo "bytes: GetFaturamento $(stat -c %s "$work/http.json"), sqlite3 -json $(stat -c %s "$work/sqlite.json")"
paired_report "GetFaturamento over HTTP" "sqlite3 -json" 1.0 "$work/times"
