#!/usr/bin/env bash
# GetFaturamento of 100,000 rows over HTTP against sqlite3 -json running the same
# query text (server/sql/item-select + preview-where, with the same values in place
# of the placeholders) on the same database file. Prints both times and the ratio.
#   bench/bench_getfaturamento.sh [BUILD_DIR]     (default: build/, or $BUILD_DIR)
#   ROWS=100000 RUNS=3 to change the size and the number of timed runs (best is kept)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-${BUILD_DIR:-$root/build}}
rows=${ROWS:-100000}
runs=${RUNS:-3}
for tool in sqlite3 curl; do
  command -v "$tool" >/dev/null || { echo "bench: $tool is needed" >&2; exit 1; }
done
[ -x "$build/bin/fas-appserver" ] || { echo "bench: build fas-appserver and fas-demo-data in $build first" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/fas-bench.XXXXXX")
server_pid=
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

db="$work/bench.sqlite"
"$build/bin/fas-demo-data" --database "$db" --rows "$rows" >&2

"$build/bin/fas-appserver" --database "$db" --listen 127.0.0.1:0 >"$work/server.out" 2>"$work/server.log" &
server_pid=$!
for _ in $(seq 1 100); do
  grep -q 'http://' "$work/server.out" 2>/dev/null && break
  sleep 0.1
done
url=$(grep -o 'http://[^ ]*' "$work/server.out")
[ -n "$url" ] || { echo "bench: the server did not start" >&2; cat "$work/server.log" >&2; exit 1; }

# The whole period, every service type, client, company, situation and note state.
from=2008-01-01
to=$(date +%Y-%m-%d)
end_month=$(date -d "$(date +%Y-%m-01) +1 month" +%Y-%m-%d)
request='{"jsonrpc":"2.0","id":1,"method":"GetFaturamento","params":["'$from'","'$to'","_1__2__3__4__5__6__7_","","T","","T","T","T"]}'

# The server's query with the values bound by PreviewQuery in place of its '?'s, in order.
values=("'$from'" "'$end_month'" "'[\"1\",\"2\",\"3\",\"4\",\"5\",\"6\",\"7\"]'" 1 "'[]'" 1 "'[]'" 1 "'[]'" 1 1)
cat "$root/server/sql/item-select.sqlite.sql" "$root/server/sql/preview-where.sqlite.sql" > "$work/query.sql"
sql=$(awk -v vals="$(printf '%s\x1f' "${values[@]}")" '
  BEGIN { n = split(vals, v, "\x1f"); i = 0 }
  { out = ""; line = $0
    while ((p = index(line, "?")) > 0) { i++; out = out substr(line, 1, p - 1) v[i]; line = substr(line, p + 1) }
    print out line }' "$work/query.sql")
printf '%s;\n' "$sql" > "$work/query.sql"

now_ms() { date +%s%3N; }
best_http=
best_sqlite=
for _ in $(seq 1 "$runs"); do
  t0=$(now_ms)
  curl -s -o "$work/http.json" -H 'Content-Type: application/json' --data-binary "$request" "$url/FAS09600.rdmFaturamento"
  t1=$(now_ms)
  sqlite3 -json "$db" < "$work/query.sql" > "$work/sqlite.json"
  t2=$(now_ms)
  http=$((t1 - t0)); lite=$((t2 - t1))
  [ -z "$best_http" ] || [ "$http" -lt "$best_http" ] && best_http=$http
  [ -z "$best_sqlite" ] || [ "$lite" -lt "$best_sqlite" ] && best_sqlite=$lite
done

# Both sides must have produced every row: one JSON array per row for the packet,
# one object per row for sqlite3.
http_rows=$(grep -o '\],\[' "$work/http.json" | wc -l); http_rows=$((http_rows + 1))
sqlite_rows=$(grep -c '^\[\?{' "$work/sqlite.json" || true)
echo "rows: GetFaturamento $http_rows, sqlite3 -json $sqlite_rows (expected $rows)"
if [ "$http_rows" -ne "$rows" ] || [ "$sqlite_rows" -ne "$rows" ]; then
  echo "bench: the row counts differ; the comparison would be meaningless" >&2
  exit 1
fi
echo "GetFaturamento over HTTP: ${best_http} ms (best of $runs), $(stat -c %s "$work/http.json") bytes"
echo "sqlite3 -json, same query: ${best_sqlite} ms (best of $runs), $(stat -c %s "$work/sqlite.json") bytes"
awk -v a="$best_http" -v b="$best_sqlite" 'BEGIN { printf "ratio: %.2f (goal: at most 2.00)\n", a / (b > 0 ? b : 1) }'
grep 'GetFaturamento' "$work/server.log" | tail -n 1 >&2
