#!/usr/bin/env bash
# GetFaturamento of 100,000 rows on PostgreSQL over HTTP (the whole answer received
# by curl) against psql running the same query text wrapped in json_agg on the same
# database. Ours and the reference run alternately; goal: ours at most 0.8x.
#   bench/bench_getfaturamento_pg.sh [BUILD_DIR]
#   ROWS=100000 PAIRS=7; FAS_BENCH_PG_URL=postgresql://... to use a running server
#   (a database fas_bench is made there), else a throwaway cluster is started.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-${BUILD_DIR:-$root/build}}
rows=${ROWS:-100000}
pairs=${PAIRS:-7}
. "$root/bench/pairs.sh"
for tool in psql curl; do
  command -v "$tool" >/dev/null || { echo "bench: $tool is needed" >&2; exit 1; }
done
bench_begin

bench_pg_database fas_bench
"$build/bin/fas-demo-data" --database "$pg_url" --rows "$rows" >&2
start_server "$build" "$pg_url" "$work/server"

whole_period_request
printf 'SELECT json_agg(t) FROM (%s) t;\n' "$(preview_sql "$root" postgresql "$from" "$last_month")" > "$work/query.sql"

ours() { post_preview; }
reference() { psql "$pg_url" -q -At -f "$work/query.sql" > "$work/psql.json"; }
run_pairs ours reference

http_rows=$(grep -o '\],\[' "$work/http.json" | wc -l); http_rows=$((http_rows + 1))
psql_rows=$(wc -l < "$work/psql.json")
echo "rows: GetFaturamento $http_rows, psql json_agg $psql_rows (expected $rows)"
if [ "$http_rows" -ne "$rows" ] || [ "$psql_rows" -ne "$rows" ]; then
  echo "bench: the row counts differ; the comparison would be meaningless" >&2
  exit 1
fi
echo "bytes: GetFaturamento $(stat -c %s "$work/http.json"), psql json_agg $(stat -c %s "$work/psql.json")"
paired_report "GetFaturamento over HTTP" "psql json_agg" 0.8 "$work/times"
