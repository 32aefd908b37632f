#!/usr/bin/env bash
# GetGeracoes over a year of 10,000 runs (each with one entry), on SQLite and on
# PostgreSQL: one month of everyone's runs, and one month of one user's runs of one
# company. Prints min and median of the calls against the goal: at most 200 ms each.
#   bench/bench_history.sh [BUILD_DIR]
#   RUNS=9; FAS_BENCH_PG_URL=postgresql://... to use a running PostgreSQL
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-${BUILD_DIR:-$root/build}}
runs=${RUNS:-9}
. "$root/bench/pairs.sh"
bench_begin

# Run i starts 3,153 s after run i-1 from 2025-01-01 (10,000 runs: one year), by one of
# five users, and made entry 100000+i of company 01 for the demo's first client.
sqlite_runs="WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i + 1 < 10000)
INSERT INTO EXECFAT (IDEXECFAT, NMMETODO, NMUSUARIO, DTINICIO, DTFIM, QTITENS, QTLANCAMENTOS, VRTOTAL)
SELECT i + 1, 'GeraNF', 'usuario' || (i % 5), datetime('2025-01-01', '+' || (i * 3153) || ' seconds'),
       datetime('2025-01-01', '+' || (i * 3153 + 1) || ' seconds'), 1, 1, 100 FROM n;
INSERT INTO LANCFATFAS (CDEMPRESA, IDTPLANCFAT, NRLANCFAT, CDFILIAL, CDCLIENTE, DTLANCFAT, QTITEMLANCFAT, VRTOTLANCFAT, IDEXECFAT)
SELECT '01', 'N', 100000 + IDEXECFAT, '0001', '000001', DTINICIO, 1, 100, IDEXECFAT FROM EXECFAT;"
pg_runs="INSERT INTO EXECFAT (IDEXECFAT, NMMETODO, NMUSUARIO, DTINICIO, DTFIM, QTITENS, QTLANCAMENTOS, VRTOTAL)
SELECT i + 1, 'GeraNF', 'usuario' || (i % 5), TIMESTAMP '2025-01-01' + i * INTERVAL '3153 seconds',
       TIMESTAMP '2025-01-01' + (i * 3153 + 1) * INTERVAL '1 second', 1, 1, 100 FROM generate_series(0, 9999) AS g(i);
INSERT INTO LANCFATFAS (CDEMPRESA, IDTPLANCFAT, NRLANCFAT, CDFILIAL, CDCLIENTE, DTLANCFAT, QTITEMLANCFAT, VRTOTLANCFAT, IDEXECFAT)
SELECT '01', 'N', 100000 + IDEXECFAT, '0001', '000001', DTINICIO, 1, 100, IDEXECFAT FROM EXECFAT; ANALYZE;"

history() { # PARAMS_JSON -> ms, checking the answer has rows
  local params=$1 ms
  ms=$(time_ms curl -s -o "$work/answer.json" -H 'Content-Type: application/json' \
       --data-binary "{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"GetGeracoes\",\"params\":$params}" \
       "$url/FAS09600.rdmFaturamento")
  grep -q '"IDGERACAO"' "$work/answer.json" && grep -q '"rows":\[\[' "$work/answer.json" \
    || { echo "bench: GetGeracoes failed: $(head -c 400 "$work/answer.json")" >&2; exit 1; }
  echo "$ms"
}

bench_on() { # NAME DATABASE_URL
  local name=$1 database=$2
  start_server "$build" "$database" "$work/server-$name"
  for case in '["2025-06-01","2025-06-30","",""]' '["2025-06-01","2025-06-30","usuario3","01"]'; do
    : > "$work/times"
    for _ in $(seq 1 "$runs"); do history "$case" >> "$work/times"; done
    single_report "GetGeracoes $case over 10,000 runs, $name" 200 "$work/times"
  done
  stop_server
}

on_both_databases 1000 "$sqlite_runs" "$pg_runs" fas_bench_hist
