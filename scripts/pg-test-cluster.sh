#!/usr/bin/env bash
# A throwaway PostgreSQL cluster for the tests.
#   pg-test-cluster.sh start   prints a postgresql:// URL on stdout (all else on stderr);
#                              exits non-zero when PostgreSQL cannot start here
#   pg-test-cluster.sh stop    stops the cluster and deletes its files
# The cluster lives in a temporary folder, listens on 127.0.0.1 on a free port with
# trust authentication, and keeps its socket in that folder. initdb refuses to run
# as root, so as root the cluster belongs to the 'postgres' system user.
set -euo pipefail

bin=${FAS_PG_BIN:-/usr/lib/postgresql/15/bin}
state=${FAS_PG_STATE_FILE:-${TMPDIR:-/tmp}/fas-pg-test-cluster.$(id -u)}
log() { echo "pg-test-cluster: $*" >&2; }

as_owner() {
  if [ "$(id -u)" -eq 0 ]; then
    runuser -u postgres -- "$@"
  else
    "$@"
  fi
}

. "$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/free-port.sh"

start() {
  if [ ! -x "$bin/initdb" ] || [ ! -x "$bin/pg_ctl" ]; then
    log "PostgreSQL 15 is not installed in $bin"
    return 1
  fi
  if [ -f "$state" ]; then
    log "a cluster from an earlier run is still registered; stopping it first"
    stop || true
  fi
  if [ "$(id -u)" -eq 0 ] && ! id postgres >/dev/null 2>&1; then
    log "running as root and there is no 'postgres' user to own the cluster"
    return 1
  fi
  local dir port
  dir=$(mktemp -d "${TMPDIR:-/tmp}/fas-pg.XXXXXX")
  chmod 755 "$dir"
  [ "$(id -u)" -eq 0 ] && chown postgres: "$dir"
  port=$(free_port) || { log "no free port found"; rm -rf "$dir"; return 1; }
  echo "$dir $port" > "$state"

  if ! as_owner "$bin/initdb" -D "$dir/data" -U postgres -A trust -E UTF8 --locale=C.UTF-8 >"$dir/initdb.log" 2>&1; then
    log "initdb failed:"; cat "$dir/initdb.log" >&2
    stop || true
    return 1
  fi
  if ! as_owner "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 \
      -o "-p $port -k $dir -c listen_addresses=127.0.0.1 -c fsync=off -c synchronous_commit=off -c max_connections=200" \
      start >&2; then
    log "the server did not start:"; cat "$dir/server.log" >&2 || true
    stop || true
    return 1
  fi
  if ! "$bin/createdb" -h 127.0.0.1 -p "$port" -U postgres fas_test >&2; then
    log "could not create the test database"
    stop || true
    return 1
  fi
  log "started in $dir on port $port"
  echo "postgresql://postgres@127.0.0.1:$port/fas_test"
}

stop() {
  [ -f "$state" ] || { log "no cluster is registered"; return 0; }
  local dir port
  read -r dir port < "$state"
  if [ -d "$dir/data" ]; then
    as_owner "$bin/pg_ctl" -D "$dir/data" -m fast -w stop >&2 || true
  fi
  case "$dir" in
    "${TMPDIR:-/tmp}"/fas-pg.*) rm -rf "$dir" ;;
  esac
  rm -f "$state"
  log "stopped"
}

case "${1:-}" in
  start) start ;;
  stop) stop ;;
  *) echo "usage: $0 start|stop" >&2; exit 2 ;;
esac
