#!/usr/bin/env bash
# A call with a user's token against the number of users: 10, 1,000 and 10,000
# users in USUARIOFAT, CALLS calls (200 by default) of GetVersao with the token of
# one of them; the time per call must stay the same (one indexed look-up of the
# token's hash, whatever the number of users).
#   bench/bench_token.sh [BUILD_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-${BUILD_DIR:-$root/build}}
calls=${CALLS:-200}
. "$root/bench/pairs.sh"
bench_begin
for users in 10 1000 10000; do
  db="$work/fas-$users.sqlite"
  "$build/bin/fas-demo-data" --database "$db" --rows 0 >/dev/null 2>&1
  token=$("$build/bin/fas-admin" --database "$db" user add ana consulta | grep -oE '[A-Za-z0-9_-]{43}' | head -1)
  sqlite3 "$db" "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < $users - 1)
    INSERT INTO USUARIOFAT (NMUSUARIO, IDDIREITO, HASHTOKEN, IDATIVO, DTCRIACAO)
    SELECT 'u' || i, 'consulta', printf('%064x', i), 'S', CURRENT_TIMESTAMP FROM n"
  start_server "$build" "$db" "$work/server-$users"
  request='{"jsonrpc":"2.0","id":1,"method":"GetVersao","params":[]}'
  call() { curl -s -o /dev/null -H "Authorization: Bearer $token" -H 'Content-Type: application/json' \
             --data-binary "$request" "$url/FAS09600.rdmFaturamento"; }
  call
  ms=$(time_ms bash -c "$(declare -f call); token=$token request='$request' url=$url; for _ in \$(seq $calls); do call; done")
  echo "$users users: $calls calls in $ms ms ($(awk -v m="$ms" -v c="$calls" 'BEGIN { printf "%.2f", m / c }') ms a call)"
  stop_server
done
echo "load (/proc/loadavg): $(cat /proc/loadavg)"
echo "goal: the time a call the same for 10 and 10,000 users"
