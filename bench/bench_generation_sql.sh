#!/usr/bin/env bash
# GeraNF over HTTP paired with a plain-SQL script that makes the same writes (claim,
# numbering, entries, links, the answer's rows as JSON) in sqlite3, on SQLite, for
# batches of 1,000, 10,000 and 100,000 items over 720 clients with ten years of
# history each (172,800 billed calculations beside the batch's). Both sides bill the
# same items; the bench puts them back to pending between runs. Prints min and
# median of each side and of the ratio, the load, and the goal: at most 1.5x.
#   bench/bench_generation_sql.sh [BUILD_DIR]      PAIRS=3 (pairs per size)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-${BUILD_DIR:-$root/build}}
pairs=${PAIRS:-3}
clients=720
. "$root/bench/pairs.sh"
bench_begin
db=$work/gen.sqlite

shape="WITH RECURSIVE c(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM c WHERE i < $clients)
INSERT INTO CLIENTE (CDCLIENTE, NMFANTCLIE, IDTPIJURCLIE) SELECT printf('H%05d', i), printf('Cliente %05d', i), 'J' FROM c;
INSERT INTO ENDECLIE (CDCLIENTE, NRSEQENDECLIE, IDTPENDECLIE, CDPAIS) SELECT CDCLIENTE, 1, 'P', '0055' FROM CLIENTE WHERE CDCLIENTE LIKE 'H%';
WITH RECURSIVE m(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM m WHERE i < 119)
INSERT INTO APURFATFAS (CDEMPRESA, CDFILIAL, CDCLIENTE, DTMESAPURFAS, IDAPURFATFAS, IDSTAPFATFAS, CDGRUPONFAPUR, VRTOTAFATFAS)
SELECT '01', '0001', CDCLIENTE, date('2000-01-01', '+' || i || ' months'), t.type, 'R', 'SERV', 50
FROM CLIENTE, m, (SELECT '1' AS type UNION ALL SELECT '2') t WHERE CDCLIENTE LIKE 'H%';
WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i + 1 < 100000)
INSERT INTO APURFATFAS (CDEMPRESA, CDFILIAL, CDCLIENTE, DTMESAPURFAS, IDAPURFATFAS, IDSTAPFATFAS, CDGRUPONFAPUR, VRTOTAFATFAS)
SELECT '01', '0001', printf('H%05d', i % $clients + 1), date('2100-01-01', '+' || (i / $clients) || ' months'), '6', 'P', 'SERV', 100 FROM n;
ANALYZE;"
reset="DELETE FROM ITEMLANCFAT WHERE CDCLIENTE LIKE 'H%'; DELETE FROM LANCFATFAS WHERE CDCLIENTE LIKE 'H%';
UPDATE APURFATFAS SET IDSTAPFATFAS = 'P' WHERE DTMESAPURFAS >= '2100-01-01' AND CDCLIENTE LIKE 'H%';"

key_match() { echo "$1.CDEMPRESA = b.company AND $1.CDFILIAL = b.branch AND $1.CDCLIENTE = b.client AND $1.DTMESAPURFAS = b.month AND $1.IDAPURFATFAS = b.type"; }
# The same writes as GeraNF, as plain SQL over the batch's keys in a temporary table.
reference_sql() { # COUNT
  echo ".bail on"
  echo "BEGIN IMMEDIATE;"
  python3 "$root/bench/make_batch.py" "$1" 0 "$clients" --sql
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
  SELECT CDEMPRESA, 'N', nr, CDFILIAL, CDCLIENTE, CDGRUPONFAPUR, strftime('%Y-%m-%d %H:%M:%f', 'now'), n, total FROM g;
INSERT INTO ITEMLANCFAT (CDEMPRESA, CDFILIAL, CDCLIENTE, DTMESAPURFAS, IDAPURFATFAS, IDTPLANCFAT, NRLANCFAT)
  SELECT a.CDEMPRESA, a.CDFILIAL, a.CDCLIENTE, a.DTMESAPURFAS, a.IDAPURFATFAS, 'N', g.nr FROM b JOIN APURFATFAS a ON $(key_match a)
  JOIN g ON g.CDEMPRESA = a.CDEMPRESA AND g.CDFILIAL = a.CDFILIAL AND g.CDCLIENTE = a.CDCLIENTE AND g.CDGRUPONFAPUR IS a.CDGRUPONFAPUR;
.mode json
SQL
  cat "$root/server/billing/sql/item-select.sqlite.sql"
  echo "JOIN b ON $(key_match a)"
  cat "$root/server/billing/sql/item-order.sqlite.sql"
  echo ";"
  echo "COMMIT;"
}

ours() {
  curl -s -o "$work/answer.json" -H 'Content-Type: application/json' --data-binary @"$work/batch.json" \
    "$url/FAS09600.rdmFaturamento"
  grep -q '"result"' "$work/answer.json" || { echo "bench: GeraNF failed: $(head -c 400 "$work/answer.json")" >&2; exit 1; }
}
reference() { sqlite3 "$db" < "$work/reference.sql" > "$work/reference.json"; }

"$build/bin/fas-demo-data" --database "$db" --rows 1000 >&2
sqlite3 "$db" "$shape"
start_server "$build" "$db" "$work/server"
for count in 1000 10000 100000; do
  python3 "$root/bench/make_batch.py" "$count" 0 "$clients" > "$work/batch.json"
  reference_sql "$count" > "$work/reference.sql"
  : > "$work/times"
  for i in $(seq 0 "$pairs"); do # the first pair warms up and is not counted
    ms_ours=$(time_ms ours); sqlite3 "$db" "$reset"
    ms_ref=$(time_ms reference); sqlite3 "$db" "$reset"
    [ "$i" = 0 ] || echo "$ms_ours $ms_ref" >> "$work/times"
  done
  grep -q CDEMPRESA "$work/reference.json" || { echo "bench: the reference wrote no rows" >&2; exit 1; }
  echo "== GeraNF of $count items over $clients clients with history, SQLite"
  paired_report GeraNF "plain SQL" 1.5 "$work/times"
done
