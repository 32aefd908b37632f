#!/usr/bin/env bash
# fas-admin import apuracoes: a file of ROWS calculations (100,000 by default)
# imported into an empty month table, then the same file again (every line an
# update), RUNS times each, on SQLite and on PostgreSQL; min and median against
# the goal: at most 10 s per import.
#   bench/bench_import.sh [BUILD_DIR]
#   ROWS=100000 RUNS=3; FAS_BENCH_PG_URL=postgresql://... to use a running server;
#   NO_PG=1 for SQLite alone
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-${BUILD_DIR:-$root/build}}
rows=${ROWS:-100000}
runs=${RUNS:-3}
. "$root/bench/pairs.sh"
bench_begin

# Companies, branches and 31 clients of the demo set; calculations for each
# branch, client and service type, month after month from January 2008.
make_file() {
  awk -v rows="$rows" 'BEGIN {
    OFS = ";"
    print "CDEMPRESA;CDFILIAL;CDCLIENTE;DTMESAPURFAS;IDAPURFATFAS;IDSTAPFATFAS;CDGRUPONFAPUR;DTAPURFATFAS;" \
          "CDPRODUTO;CDOPERAPUR;CDTIPOSERV;IDCOMIFATFAS;DSEMISSPRONF;DSBOLEFATFAS;DSFATURCLIE;VRTOTAFATFAS;" \
          "NRNOTAFISC;NRINVOICE;NRSOLISERV"
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
            n++
          }
    }
  }' > "$work/apuracoes.csv"
}

import_file() {
  "$build/bin/fas-admin" --database "$1" import apuracoes "$work/apuracoes.csv" >"$work/out" 2>"$work/err" \
    || { cat "$work/err" >&2; exit 1; }
}

# $1: database URL, $2: statement that empties the calculations, $3: name
bench_database() {
  local url=$1 empty=$2 name=$3
  "$build/bin/fas-demo-data" --database "$url" --rows 0 --replace >/dev/null 2>&1
  : > "$work/first"; : > "$work/again"
  for _ in $(seq 1 "$runs"); do
    $empty
    time_ms import_file "$url" >> "$work/first"
    time_ms import_file "$url" >> "$work/again"
  done
  sed -n 2p "$work/out"
  single_report "$name, $rows new calculations" 10000 "$work/first"
  single_report "$name, the same $rows again (updates)" 10000 "$work/again"
}

make_file
echo "file: $(wc -l < "$work/apuracoes.csv") lines, $(du -h "$work/apuracoes.csv" | cut -f1)"
sqlite_url="$work/fas.sqlite"
empty_sqlite() { rm -f "$sqlite_url" "$sqlite_url-wal" "$sqlite_url-shm"; "$build/bin/fas-demo-data" --database "$sqlite_url" --rows 0 >/dev/null 2>&1; }
bench_database "$sqlite_url" empty_sqlite "SQLite"
if [ "${NO_PG:-0}" != 1 ]; then
  bench_pg_database fas_bench_import
  empty_pg() { psql "$pg_url" -q -c "DELETE FROM APURFATFAS" >/dev/null; }
  bench_database "$pg_url" empty_pg "PostgreSQL"
fi
