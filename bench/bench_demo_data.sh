#!/usr/bin/env bash
# fas-demo-data --rows 1000000 on PostgreSQL (schema and data, one transaction),
# RUNS times; min and median against the goal: at most 60 s.
#   bench/bench_demo_data.sh [BUILD_DIR]
#   ROWS=1000000 RUNS=5; FAS_BENCH_PG_URL=postgresql://... to use a running server
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-${BUILD_DIR:-$root/build}}
rows=${ROWS:-1000000}
runs=${RUNS:-5}
. "$root/bench/pairs.sh"
bench_begin

bench_pg_database fas_bench_demo
: > "$work/times"
load() { "$build/bin/fas-demo-data" --database "$pg_url" --rows "$rows" --replace >"$work/demo.log" 2>&1; }
for _ in $(seq 1 "$runs"); do
  time_ms load >> "$work/times"
  tail -n 1 "$work/demo.log" >&2
done
single_report "fas-demo-data --rows $rows on PostgreSQL" 60000 "$work/times"
