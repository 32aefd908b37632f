#!/usr/bin/env bash
# fas-admin import apuracoes: a file of ROWS calculations (100,000 by default)
# imported into an empty calculation table, against the bare bulk loader of each
# database loading the same rows (in the database's text forms) into the same
# table with the same indexes: `sqlite3 .import` and `psql \copy`. PAIRS pairs,
# ours and the anchor alternately; min and median of the ratio, the peak memory
# of ours (/usr/bin/time), the load and the goals (ratio at most 1.3, memory at
# most 150 MB). Then the same file again (every line an update), once.
#   bench/bench_import.sh [BUILD_DIR]
#   ROWS=100000 PAIRS=5; FAS_BENCH_PG_URL=postgresql://... to use a running
#   server; NO_PG=1 for SQLite alone; FAS_ADMIN=path to time another fas-admin
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-${BUILD_DIR:-$root/build}}
rows=${ROWS:-100000}
pairs=${PAIRS:-5}
admin=${FAS_ADMIN:-$build/bin/fas-admin}
. "$root/bench/pairs.sh"
bench_begin

# Companies, branches and 31 clients of the demo set; calculations for each
# branch, client and service type, month after month from January 2008.
make_file() {
  awk -v rows="$rows" -v anchor="$work/anchor.csv" 'BEGIN {
    OFS = ";"
    print "CDEMPRESA;CDFILIAL;CDCLIENTE;DTMESAPURFAS;IDAPURFATFAS;IDSTAPFATFAS;CDGRUPONFAPUR;DTAPURFATFAS;" \
          "CDPRODUTO;CDOPERAPUR;CDTIPOSERV;IDCOMIFATFAS;DSEMISSPRONF;DSBOLEFATFAS;DSFATURCLIE;VRTOTAFATFAS;" \
          "NRNOTAFISC;NRINVOICE;NRSOLISERV"
    printf "header\r\n" > anchor
    split("01/0001 01/0002 02/0001 02/0002 02/0003 03/0001", branch, " ")
    split("1 2 3 5 6 7", type, " ")
    n = 0
    for (m = 0; n < rows; m++) {
      month = sprintf("01/%02d/%04d", m % 12 + 1, 2008 + int(m / 12))
      for (b = 1; b <= 6 && n < rows; b++)
        for (c = 1; c <= 31 && n < rows; c++)
          for (t = 1; t <= 6 && n < rows; t++) {
            split(branch[b], bc, "/")
            printf "%s;%s;%06d;%s;%s;P;SERV;%s 10:%02d;MA001;ADMIN;MAN;N;\"Serviços de manutenção; mês %s\";;;%d.%03d,%02d;;;\r\n",
                   bc[1], bc[2], c, month, type[t], month, n % 60, month, 1 + n % 9, n % 1000, n % 100
            iso = sprintf("%04d-%02d-01", 2008 + int(m / 12), m % 12 + 1)
            printf "%s;%s;%06d;%s;%s;P;SERV;%s 10:%02d:00;MA001;ADMIN;MAN;N;\"Serviços de manutenção; mês %s\";;;%d%03d.%02d;;;\r\n",
                   bc[1], bc[2], c, iso, type[t], iso, n % 60, month, 1 + n % 9, n % 1000, n % 100 > anchor
            n++
          }
    }
  }' > "$work/apuracoes.csv"
}

import_file() {
  /usr/bin/time -f %M -o "$work/rss" "$admin" --database "$1" import apuracoes "$work/apuracoes.csv" \
    >"$work/out" 2>"$work/err" || { cat "$work/err" >&2; exit 1; }
  cat "$work/rss" >> "$work/memory"
}
anchor_sqlite() {
  sqlite3 "$sqlite_url" -cmd ".mode csv" -cmd ".separator ;" ".import --skip 1 $work/anchor.csv APURFATFAS"
}
anchor_pg() {
  psql "$pg_url" -q -c "\\copy APURFATFAS FROM '$work/anchor.csv' WITH (FORMAT csv, DELIMITER ';', HEADER true)"
}

# $1: database URL, $2: function that empties the calculations, $3: the anchor,
# $4: name
bench_database() {
  local url=$1 empty=$2 anchor=$3 name=$4
  : > "$work/times"; : > "$work/memory"
  $empty; import_file "$url"; $empty; $anchor # warm-up
  : > "$work/memory"
  for _ in $(seq 1 "$pairs"); do
    $empty; ours=$(time_ms import_file "$url")
    $empty; theirs=$(time_ms $anchor)
    echo "$ours $theirs" >> "$work/times"
  done
  [ "$(sqlite_or_pg_count "$url")" = "$rows" ] || { echo "bench: the anchor did not load $rows rows" >&2; exit 1; }
  $empty; import_file "$url"
  sed -n 2p "$work/out"
  echo "== $name, $rows new calculations"
  paired_report "fas-admin import" "$anchor" 1.3 "$work/times"
  echo "peak memory of fas-admin import: $(_stats < "$work/memory") kB (goal: at most 153600 kB)"
  time_ms import_file "$url" > "$work/again"
  single_report "$name, the same $rows again (updates)" 10000 "$work/again"
}
sqlite_or_pg_count() {
  case $1 in
    postgresql:*) psql "$1" -Atq -c "SELECT COUNT(*) FROM APURFATFAS" ;;
    *) sqlite3 "$1" "SELECT COUNT(*) FROM APURFATFAS" ;;
  esac
}

make_file
echo "file: $(wc -l < "$work/apuracoes.csv") lines, $(du -h "$work/apuracoes.csv" | cut -f1)"
sqlite_url="$work/fas.sqlite"
"$build/bin/fas-demo-data" --database "$work/empty.sqlite" --rows 0 --replace >/dev/null 2>&1
empty_sqlite() { rm -f "$sqlite_url" "$sqlite_url-wal" "$sqlite_url-shm"; cp "$work/empty.sqlite" "$sqlite_url"; }
bench_database "$sqlite_url" empty_sqlite anchor_sqlite "SQLite"
if [ "${NO_PG:-0}" != 1 ]; then
  bench_pg_database fas_bench_import
  "$build/bin/fas-demo-data" --database "$pg_url" --rows 0 --replace >/dev/null 2>&1
  empty_pg() { psql "$pg_url" -q -c "TRUNCATE APURFATFAS CASCADE" >/dev/null; }
  bench_database "$pg_url" empty_pg anchor_pg "PostgreSQL"
fi
