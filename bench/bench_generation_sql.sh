#!/usr/bin/env bash
# GeraNF over HTTP paired with a plain-SQL script that makes the same writes (claim,
# numbering, entries, links, the answer's rows as JSON), in sqlite3 on SQLite and in
# psql on PostgreSQL, for batches of 1,000, 10,000 and 100,000 items over 720 clients
# with ten years of history each (172,800 billed calculations beside the batch's).
# Both sides bill the same items; the bench puts them back to pending between runs.
# Prints min and median of each side and of the ratio, the load, and the goal: at
# most 1.5x.
#   bench/bench_generation_sql.sh [BUILD_DIR] [sqlite|postgresql|both]
#   PAIRS=3 (pairs per size), SIZES="1000 10000 100000";
#   FAS_BENCH_PG_URL=postgresql://... to use a running PostgreSQL
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-${BUILD_DIR:-$root/build}}
targets=${2:-sqlite}
[ "$targets" = both ] && targets="sqlite postgresql"
pairs=${PAIRS:-3}
sizes=${SIZES:-1000 10000 100000}
clients=720
. "$root/bench/pairs.sh"
bench_begin

# The same data on either database: $clients clients with a main address in Brazil,
# ten years of two billed calculations a month each, and 100,000 pending items from
# January 2100 on (item n: client n % $clients + 1, month n / $clients).
shape() { # sqlite|postgresql
  local code month pending
  if [ "$1" = sqlite ]; then
    cat <<SQL
WITH RECURSIVE c(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM c WHERE i < $clients)
INSERT INTO CLIENTE (CDCLIENTE, NMFANTCLIE, IDTPIJURCLIE) SELECT printf('H%05d', i), printf('Cliente %05d', i), 'J' FROM c;
SQL
    month="date('2000-01-01', '+' || i || ' months')"
    pending="WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i + 1 < 100000)
SELECT '01', '0001', printf('H%05d', i % $clients + 1), date('2100-01-01', '+' || (i / $clients) || ' months'), '6', 'P', 'SERV', 100 FROM n"
    history="WITH RECURSIVE m(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM m WHERE i < 119)"
    months=m
  else
    code="'H' || lpad(CAST(i AS TEXT), 5, '0')"
    echo "INSERT INTO CLIENTE (CDCLIENTE, NMFANTCLIE, IDTPIJURCLIE) SELECT $code, 'Cliente ' || substr($code, 2), 'J' FROM generate_series(1, $clients) AS c(i);"
    month="CAST(DATE '2000-01-01' + i * INTERVAL '1 month' AS DATE)"
    pending="SELECT '01', '0001', 'H' || lpad(CAST(i % $clients + 1 AS TEXT), 5, '0'),
  CAST(DATE '2100-01-01' + (i / $clients) * INTERVAL '1 month' AS DATE), '6', 'P', 'SERV', 100 FROM generate_series(0, 99999) AS n(i)"
    history=
    months="generate_series(0, 119) AS m(i)"
  fi
  cat <<SQL
INSERT INTO ENDECLIE (CDCLIENTE, NRSEQENDECLIE, IDTPENDECLIE, CDPAIS) SELECT CDCLIENTE, 1, 'P', '0055' FROM CLIENTE WHERE CDCLIENTE LIKE 'H%';
$history
INSERT INTO APURFATFAS (CDEMPRESA, CDFILIAL, CDCLIENTE, DTMESAPURFAS, IDAPURFATFAS, IDSTAPFATFAS, CDGRUPONFAPUR, VRTOTAFATFAS)
SELECT '01', '0001', CDCLIENTE, $month, t.type, 'R', 'SERV', 50
FROM CLIENTE, $months, (SELECT '1' AS type UNION ALL SELECT '2') t WHERE CDCLIENTE LIKE 'H%';
INSERT INTO APURFATFAS (CDEMPRESA, CDFILIAL, CDCLIENTE, DTMESAPURFAS, IDAPURFATFAS, IDSTAPFATFAS, CDGRUPONFAPUR, VRTOTAFATFAS)
$pending;
ANALYZE;
SQL
}
reset="DELETE FROM ITEMLANCFAT WHERE CDCLIENTE LIKE 'H%'; DELETE FROM LANCFATFAS WHERE CDCLIENTE LIKE 'H%';
UPDATE APURFATFAS SET IDSTAPFATFAS = 'P' WHERE DTMESAPURFAS >= '2100-01-01' AND CDCLIENTE LIKE 'H%';"

key_match() { echo "$1.CDEMPRESA = b.company AND $1.CDFILIAL = b.branch AND $1.CDCLIENTE = b.client AND $1.DTMESAPURFAS = b.month AND $1.IDAPURFATFAS = b.type"; }
# The same writes as GeraNF, as plain SQL over the batch's keys in a temporary table.
reference_sql() { # COUNT sqlite|postgresql
  local now="strftime('%Y-%m-%d %H:%M:%f', 'now')" same=IS
  if [ "$2" = sqlite ]; then
    printf '.bail on\nBEGIN IMMEDIATE;\n'
  else
    printf '\\set ON_ERROR_STOP on\nBEGIN;\n'
    now=LOCALTIMESTAMP same="IS NOT DISTINCT FROM"
  fi
  python3 "$root/bench/make_batch.py" "$1" 0 "$clients" --sql="$2"
  cat <<SQL
UPDATE APURFATFAS SET IDSTAPFATFAS = 'R' FROM b WHERE $(key_match APURFATFAS)
  AND COALESCE(APURFATFAS.IDSTAPFATFAS, '') IN ('P', '')
  AND NOT EXISTS (SELECT 1 FROM ITEMLANCFAT l WHERE l.CDEMPRESA = APURFATFAS.CDEMPRESA AND l.CDFILIAL = APURFATFAS.CDFILIAL
    AND l.CDCLIENTE = APURFATFAS.CDCLIENTE AND l.DTMESAPURFAS = APURFATFAS.DTMESAPURFAS AND l.IDAPURFATFAS = APURFATFAS.IDAPURFATFAS)
  AND EXISTS (SELECT 1 FROM ENDECLIE d WHERE d.CDCLIENTE = APURFATFAS.CDCLIENTE AND d.CDPAIS = '0055' AND d.IDTPENDECLIE = 'P');
INSERT INTO NUMLANCFAT (CDEMPRESA, IDTPLANCFAT, NRULTLANCFAT) VALUES ('01', 'N', 0) ON CONFLICT DO NOTHING;
CREATE TEMP TABLE g AS SELECT a.CDEMPRESA, a.CDFILIAL, a.CDCLIENTE, a.CDGRUPONFAPUR, count(*) AS n,
  round(sum(a.VRTOTAFATFAS), 2) AS total,
  (SELECT NRULTLANCFAT FROM NUMLANCFAT u WHERE u.CDEMPRESA = a.CDEMPRESA AND u.IDTPLANCFAT = 'N')
    + row_number() OVER (PARTITION BY a.CDEMPRESA ORDER BY a.CDFILIAL, a.CDCLIENTE, a.CDGRUPONFAPUR) AS nr
  FROM b JOIN APURFATFAS a ON $(key_match a) GROUP BY a.CDEMPRESA, a.CDFILIAL, a.CDCLIENTE, a.CDGRUPONFAPUR;
UPDATE NUMLANCFAT SET NRULTLANCFAT = NRULTLANCFAT + (SELECT count(*) FROM g WHERE g.CDEMPRESA = NUMLANCFAT.CDEMPRESA)
  WHERE IDTPLANCFAT = 'N';
INSERT INTO LANCFATFAS (CDEMPRESA, IDTPLANCFAT, NRLANCFAT, CDFILIAL, CDCLIENTE, CDGRUPONFAPUR, DTLANCFAT, QTITEMLANCFAT, VRTOTLANCFAT)
  SELECT CDEMPRESA, 'N', nr, CDFILIAL, CDCLIENTE, CDGRUPONFAPUR, $now, n, total FROM g;
INSERT INTO ITEMLANCFAT (CDEMPRESA, CDFILIAL, CDCLIENTE, DTMESAPURFAS, IDAPURFATFAS, IDTPLANCFAT, NRLANCFAT)
  SELECT a.CDEMPRESA, a.CDFILIAL, a.CDCLIENTE, a.DTMESAPURFAS, a.IDAPURFATFAS, 'N', g.nr FROM b JOIN APURFATFAS a ON $(key_match a)
  JOIN g ON g.CDEMPRESA = a.CDEMPRESA AND g.CDFILIAL = a.CDFILIAL AND g.CDCLIENTE = a.CDCLIENTE AND g.CDGRUPONFAPUR $same a.CDGRUPONFAPUR;
SQL
  [ "$2" = sqlite ] && echo ".mode json" || echo "SELECT json_agg(t) FROM ("
  cat "$root/server/billing/sql/item-select.$2.sql"
  echo "JOIN b ON $(key_match a)"
  cat "$root/server/billing/sql/item-order.$2.sql"
  [ "$2" = sqlite ] && echo ";" || echo ") t;"
  echo "COMMIT;"
}

ours() {
  curl -s -o "$work/answer.json" -H 'Content-Type: application/json' --data-binary @"$work/batch.json" \
    "$url/FAS09600.rdmFaturamento"
  grep -q '"result"' "$work/answer.json" || { echo "bench: GeraNF failed: $(head -c 400 "$work/answer.json")" >&2; exit 1; }
}
# The database's own client on the database the server uses: SQL on stdin.
client() {
  if [ "$target" = sqlite ]; then sqlite3 "$database"; else psql "$database" -q -At; fi
}
reference() { client < "$work/reference.sql" > "$work/reference.json"; }
reset() { client <<< "$reset" > /dev/null; }

for target in $targets; do
  if [ "$target" = sqlite ]; then
    database=$work/gen.sqlite
  else
    command -v psql >/dev/null || { echo "bench: psql is needed" >&2; exit 1; }
    bench_pg_database fas_bench_gen_sql
    database=$pg_url
  fi
  "$build/bin/fas-demo-data" --database "$database" --rows 1000 >&2
  shape "$target" | client > /dev/null
  start_server "$build" "$database" "$work/server-$target"
  for count in $sizes; do
    python3 "$root/bench/make_batch.py" "$count" 0 "$clients" > "$work/batch.json"
    reference_sql "$count" "$target" > "$work/reference.sql"
    : > "$work/times"
    for i in $(seq 0 "$pairs"); do # the first pair warms up and is not counted
      ms_ours=$(time_ms ours); reset
      ms_ref=$(time_ms reference); reset
      [ "$i" = 0 ] || echo "$ms_ours $ms_ref" >> "$work/times"
    done
    grep -qi CDEMPRESA "$work/reference.json" || { echo "bench: the reference wrote no rows" >&2; exit 1; }
    echo "== GeraNF of $count items over $clients clients with history, $target"
    paired_report GeraNF "plain SQL" 1.5 "$work/times"
  done
  stop_server
done
