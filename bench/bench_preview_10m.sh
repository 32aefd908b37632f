#!/usr/bin/env bash
# The previews a large billing office runs, on PostgreSQL with ROWS calculations
# (default 10,000,000: about ten minutes of demo data and 7 GB), each through the
# server (GetFaturamento over HTTP, the whole answer received by curl) against the
# same query text fetched by psql, alternately:
#   month         one month, every company, client and situation
#   client-year   one client, the twelve months of the newest year, every situation
#   pending       pending items of the last two years (the start of a generation)
# Prints min and median of each side and their ratio, the machine's load and the
# goals; writes the figures and each query's EXPLAIN (ANALYZE, BUFFERS) to RESULTS.
# Not part of the test command.
#   bench/bench_preview_10m.sh [BUILD_DIR]
#   ROWS=10000000 PAIRS=5 RESULTS=build/bench-preview-10m; FAS_BENCH_PG_URL=postgresql://...
#   to use a running server (a database fas_bench_10m is made there), else a
#   throwaway cluster is started.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-${BUILD_DIR:-$root/build}}
rows=${ROWS:-10000000}
pairs=${PAIRS:-5}
results=${RESULTS:-$build/bench-preview-10m}
. "$root/bench/pairs.sh"
for tool in psql curl; do
  command -v "$tool" >/dev/null || { echo "bench: $tool is needed" >&2; exit 1; }
done
bench_begin
mkdir -p "$results"

bench_pg_database fas_bench_10m
echo "demo data: $rows calculations in $(time_ms "$build/bin/fas-demo-data" --database "$pg_url" --rows "$rows" | tail -1) ms" |
  tee "$results/figures.txt"
# What autovacuum would have done by the time a clerk asks: statistics and the
# visibility map.
psql "$pg_url" -q -c 'VACUUM (ANALYZE)'
echo "database: $(psql "$pg_url" -At -c 'SELECT pg_size_pretty(pg_database_size(current_database()))')" |
  tee -a "$results/figures.txt"
start_server "$build" "$pg_url" "$work/server"

newest=$(psql "$pg_url" -At -c "SELECT max(DTMESAPURFAS) FROM APURFATFAS WHERE DTMESAPURFAS < DATE '9000-01-01'")
client=$(psql "$pg_url" -At -c "SELECT CDCLIENTE FROM APURFATFAS WHERE DTMESAPURFAS = DATE '$newest' ORDER BY 1 LIMIT 1")
year=${newest%%-*}
two_years_ago=$(date -d "$newest -23 months" +%Y-%m-01)
types='["1","2","3","4","5","6","7"]'

# The query PreviewQuery runs for a period, a client list ("" for all) and a
# situation list ("" for all), its values in place. Written for either form of
# preview-where, so that the same script measures the statements before and after
# they took one text per combination of filters.
query_for() { # FIRST LAST CLIENTS_JSON SITUATIONS_JSON
  local first=$1 last=$2 clients=$3 situations=$4 tags=() values=("'$1'" "'$2'" "'$types'")
  if grep -q -- '-- with ' "$root/server/billing/sql/preview-where.postgresql.sql"; then
    [ -z "$clients" ] || { tags+=(clients); values+=("'$clients'"); }
    if [ "$situations" = '["P",""]' ]; then tags+=(pending)
    elif [ -n "$situations" ]; then tags+=(situations); values+=("'$situations'"); fi
  else
    values+=("$([ -z "$clients" ] && echo 1 || echo 0)" "'${clients:-[]}'" 1 "'[]'"
             "$([ -z "$situations" ] && echo 1 || echo 0)" "'${situations:-[]}'" 1 1)
  fi
  preview_sql_with "$root" postgresql ordered "${tags[*]}" "${values[@]}"
}

# NAME FIRST LAST CLIENTS_JSON SITUATIONS_JSON GOAL_RATIO GOAL_MS|- GOAL_US_PER_ROW|-
measure() {
  local name=$1 first=$2 last=$3 clients=$4 situations=$5 goal_ratio=$6 goal_ms=$7 goal_us=$8
  local all_clients=T all_situations=T situation_param=T
  [ -z "$clients" ] || all_clients=
  [ -z "$situations" ] || { all_situations=; situation_param=_P_; }
  request='{"jsonrpc":"2.0","id":1,"method":"GetFaturamento","params":["'$first'","'$last'","_1__2__3__4__5__6__7_",'
  request+=$(printf '%s' "${clients:-}" | python3 -c 'import json,sys; print(json.dumps(sys.stdin.read()))')
  request+=',"'$all_clients'","","T","'$situation_param'","T"]}'
  query_for "$first" "$last" "$clients" "$situations" > "$work/$name.sql"
  ours() { post_preview; }
  reference() { psql "$pg_url" -q -At -f "$work/$name.sql" > "$work/psql.txt"; }
  run_pairs ours reference
  local count http_rows
  count=$(psql "$pg_url" -At -c "SELECT count(*) FROM ($(cat "$work/$name.sql")) q")
  http_rows=$(grep -o '\],\[' "$work/http.json" | wc -l); http_rows=$((http_rows + 1))
  {
    echo "== $name: $first .. $last, clients ${clients:-all}, situations ${situations:-all}: $count rows"
    [ "$http_rows" -eq "$count" ] || echo "bench: GetFaturamento answered $http_rows rows, the query $count"
    paired_report "GetFaturamento over HTTP" "psql" "$goal_ratio" "$work/times"
    awk '{ print $1 }' "$work/times" > "$work/ours"
    [ "$goal_ms" = - ] || single_report "GetFaturamento" "$goal_ms" "$work/ours" | grep -v '^load'
    if [ "$goal_us" != - ]; then
      sort -g "$work/ours" | awk -v n="$count" -v g="$goal_us" '{ v[NR] = $1 } END {
        m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; us = m * 1000 / (n > 0 ? n : 1)
        printf "per row: %.1f us (goal: at most %d us -> %s)\n", us, g, (us <= g ? "met" : "MISSED") }'
    fi
  } | tee -a "$results/figures.txt"
  { echo "-- $name"; cat "$work/$name.sql"; echo
    psql "$pg_url" -At -c "EXPLAIN (ANALYZE, BUFFERS) $(cat "$work/$name.sql")"; } > "$results/plan-$name.txt"
}

measure month "$newest" "$newest" "" "" 1.0 - 15
measure client-year "$year-01-01" "$year-12-31" "[\"$client\"]" "" 1.0 20 -
measure pending "$two_years_ago" "$newest" "" '["P",""]' 1.0 1000 -
echo "figures and plans: $results"
