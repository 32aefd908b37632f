# Shared by the PostgreSQL benchmarks (sourced): a database to fill.
#   bench_pg_database NAME   sets pg_url to a fresh, empty database NAME on
#   $FAS_BENCH_PG_URL's server, or on a throwaway cluster started here (stopped
#   by pg_cleanup).
pg_started=0
bench_pg_database() {
  local name=$1 base
  if [ -n "${FAS_BENCH_PG_URL:-}" ]; then
    base=$FAS_BENCH_PG_URL
  else
    base=$(FAS_PG_STATE_FILE="$work/pg-state" "$root/scripts/pg-test-cluster.sh" start)
    pg_started=1
  fi
  psql "$base" -q -c "DROP DATABASE IF EXISTS $name" -c "CREATE DATABASE $name" >/dev/null
  pg_url="${base%/*}/$name"
}
pg_cleanup() {
  if [ "$pg_started" = 1 ]; then
    FAS_PG_STATE_FILE="$work/pg-state" "$root/scripts/pg-test-cluster.sh" stop >/dev/null 2>&1 || true
  fi
}
