#!/usr/bin/env bash
# GeraNF of 1,000 and 10,000 pending items over HTTP, on SQLite and on PostgreSQL,
# each run on fresh items of a demo database (100,000 calculations besides them).
# Prints min and median of the runs against the goal: at most 1 s per call.
#   bench/bench_generation.sh [BUILD_DIR]
#   RUNS=5; FAS_BENCH_PG_URL=postgresql://... to use a running PostgreSQL
#   NOTES=each: one note per item (each its own fiscal-note group, product MO001)
#   NFSE=1: the demo's companies emit NFS-e, so every note gets its DPS (with NOTES=each)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-${BUILD_DIR:-$root/build}}
runs=${RUNS:-5}
. "$root/bench/pairs.sh"
bench_begin

# RUNS x (1,000 + 10,000) pending items of domestic clients 000001..000023 (the
# demo's first 23 clients are domestic), one a month from January 2100, so every
# run bills items nobody billed before.
items=$(( runs * 11000 + 23 ))
group="'SERV'" pg_group="'SERV'" product=NULL client="" year=2100 counts="1000 10000"
copies=""
if [ "${NOTES:-}" = each ]; then
  # Copies of the first 23 clients (B000001..) so that the items, in months a DPS can
  # declare (from 2000), meet none of the demo's; 1,000-item runs only (RUNS at most 7:
  # a DPS cannot declare a month after its emission).
  group="printf('%05d', i)" pg_group="lpad(CAST(i AS TEXT), 5, '0')" product="'MO001'" client="B" year=2000
  counts=1000 items=$(( runs * 1000 ))
  copies="INSERT INTO CLIENTE (CDCLIENTE, NMFANTCLIE, NMRAZSOCCLIE, NRINSJURCLIE, IDTPIJURCLIE)
SELECT 'B' || CDCLIENTE, NMFANTCLIE, NMRAZSOCCLIE, NRINSJURCLIE, IDTPIJURCLIE FROM CLIENTE WHERE CDCLIENTE <= '000023';
INSERT INTO ENDECLIE (CDCLIENTE, NRSEQENDECLIE, IDTPENDECLIE, CDPAIS, DSLOGRENDECLIE, NMBAIRENDECLIE, NMCIDADE, SGESTADO, NRCEPENDECLIE, CDMUNIBGE)
SELECT 'B' || CDCLIENTE, NRSEQENDECLIE, IDTPENDECLIE, CDPAIS, DSLOGRENDECLIE, NMBAIRENDECLIE, NMCIDADE, SGESTADO, NRCEPENDECLIE, CDMUNIBGE
FROM ENDECLIE WHERE CDCLIENTE <= '000023';"
fi
export BENCH_CLIENT_PREFIX=$client BENCH_BASE_YEAR=$year
[ "${NFSE:-}" = 1 ] && export DEMO_ARGS=--nfse
sqlite_items="$copies
WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i + 1 < $items)
INSERT INTO APURFATFAS (CDEMPRESA, CDFILIAL, CDCLIENTE, DTMESAPURFAS, IDAPURFATFAS, IDSTAPFATFAS, CDGRUPONFAPUR, CDPRODUTO, VRTOTAFATFAS)
SELECT '01', '0001', '$client' || printf('%06d', i % 23 + 1), date('$year-01-01', '+' || (i / 23) || ' months'), '6', 'P', $group, $product, 100 FROM n;"
pg_items="$copies
INSERT INTO APURFATFAS (CDEMPRESA, CDFILIAL, CDCLIENTE, DTMESAPURFAS, IDAPURFATFAS, IDSTAPFATFAS, CDGRUPONFAPUR, CDPRODUTO, VRTOTAFATFAS)
SELECT '01', '0001', '$client' || lpad(CAST(i % 23 + 1 AS TEXT), 6, '0'), CAST(DATE '$year-01-01' + (i / 23) * INTERVAL '1 month' AS DATE), '6', 'P', $pg_group, $product, 100
FROM generate_series(0, $items - 1) AS g(i); ANALYZE;"

generate() { # COUNT FIRST_ITEM -> ms, checking the answer has a result
  local count=$1 first=$2 ms
  python3 "$root/bench/make_batch.py" "$count" "$first" > "$work/batch.json"
  ms=$(time_ms curl -s -o "$work/answer.json" -H 'Content-Type: application/json' --data-binary @"$work/batch.json" "$url/FAS09600.rdmFaturamento")
  grep -q '"result"' "$work/answer.json" || { echo "bench: GeraNF failed: $(head -c 400 "$work/answer.json")" >&2; exit 1; }
  echo "$ms"
}

bench_on() { # NAME DATABASE_URL
  local name=$1 database=$2
  start_server "$build" "$database" "$work/server-$name"
  local first=0
  for count in $counts; do
    : > "$work/times"
    for _ in $(seq 1 "$runs"); do
      generate "$count" "$first" >> "$work/times"
      first=$((first + count))
    done
    single_report "GeraNF of $count items, $name" 1000 "$work/times"
  done
  stop_server
}

on_both_databases 100000 "$sqlite_items" "$pg_items" fas_bench_gen
