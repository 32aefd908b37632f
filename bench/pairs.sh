# Shared by the benchmark scripts (sourced): paired timing and its report.
#
#   time_ms CMD...            runs CMD, prints its wall time in milliseconds
#   paired_report NAME_A NAME_B GOAL FILE
#       FILE holds one line per pair, "ours_ms reference_ms"; prints min and median
#       of each side and of the per-pair ratio ours/reference, the machine's load
#       and the goal (the ratio's median must be at most GOAL).
#   single_report NAME GOAL_MS FILE   one time per line; min and median against a goal in ms

# Makes the work folder $work and, on exit, stops the server and any PostgreSQL
# cluster started here and removes the folder.
bench_begin() {
  work=$(mktemp -d "${TMPDIR:-/tmp}/fas-bench.XXXXXX")
  server_pid=
  . "$root/bench/pg.sh"
  trap bench_end EXIT
}
bench_end() { stop_server; pg_cleanup; rm -rf "$work"; }
stop_server() {
  if [ -n "$server_pid" ]; then kill "$server_pid" 2>/dev/null; wait "$server_pid" 2>/dev/null || true; fi
  server_pid=
}

time_ms() {
  local t0 t1
  t0=$(date +%s%N)
  "$@"
  t1=$(date +%s%N)
  echo $(( (t1 - t0) / 1000000 ))
}

# One warm-up run of each, then PAIRS pairs of OURS and REFERENCE (functions),
# alternately; the times go to $work/times.
run_pairs() {
  local ours=$1 reference=$2
  "$ours"; "$reference"
  : > "$work/times"
  for _ in $(seq 1 "${pairs:-5}"); do
    echo "$(time_ms "$ours") $(time_ms "$reference")" >> "$work/times"
  done
}

_stats() { # min and median of the numbers on stdin
  sort -g | awk '{ v[NR] = $1 } END { m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; printf "min %s median %s", v[1], m }'
}

paired_report() {
  local a=$1 b=$2 goal=$3 file=$4
  echo "pairs: $(wc -l < "$file") (ours and the reference alternately)"
  echo "$a: $(awk '{ print $1 }' "$file" | _stats) ms"
  echo "$b: $(awk '{ print $2 }' "$file" | _stats) ms"
  echo "ratio $a / $b: $(awk '{ printf "%.3f\n", $1 / ($2 > 0 ? $2 : 1) }' "$file" | _stats)"
  echo "load (/proc/loadavg): $(cat /proc/loadavg)"
  local median
  median=$(awk '{ printf "%.3f\n", $1 / ($2 > 0 ? $2 : 1) }' "$file" | sort -g |
           awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }')
  awk -v m="$median" -v g="$goal" 'BEGIN { printf "goal: ratio at most %.2f -> %s\n", g, (m <= g ? "met" : "MISSED") }'
}

single_report() {
  local name=$1 goal=$2 file=$3
  echo "$name: runs $(wc -l < "$file"), $(_stats < "$file") ms"
  echo "load (/proc/loadavg): $(cat /proc/loadavg)"
  local median
  median=$(sort -g "$file" | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }')
  awk -v m="$median" -v g="$goal" 'BEGIN { printf "goal: at most %d ms -> %s\n", g, (m <= g ? "met" : "MISSED") }'
}

# Demo data of ROWS calculations and the bench's own rows (SQL per dialect), then
# bench_on NAME DATABASE_URL, the caller's: on SQLite, and on PostgreSQL where psql is.
on_both_databases() { # ROWS SQLITE_SQL POSTGRESQL_SQL PG_DATABASE_NAME
  local rows=$1 sqlite_sql=$2 pg_sql=$3 pg_name=$4
  "$build/bin/fas-demo-data" --database "$work/bench.sqlite" --rows "$rows" ${DEMO_ARGS:-} >&2
  sqlite3 "$work/bench.sqlite" "$sqlite_sql"
  bench_on SQLite "$work/bench.sqlite"
  if command -v psql >/dev/null; then
    bench_pg_database "$pg_name"
    "$build/bin/fas-demo-data" --database "$pg_url" --rows "$rows" ${DEMO_ARGS:-} >&2
    psql "$pg_url" -q -c "$pg_sql"
    bench_on PostgreSQL "$pg_url"
  fi
}

# Starts fas-appserver on DATABASE_URL in the background; sets server_pid and url.
start_server() {
  local build=$1 database=$2 out=$3
  shift 3 # the rest: more options for the server
  "$build/bin/fas-appserver" --database "$database" --listen 127.0.0.1:0 "$@" >"$out.out" 2>"$out.log" &
  server_pid=$!
  for _ in $(seq 1 200); do
    grep -q 'http://' "$out.out" 2>/dev/null && break
    sleep 0.1
  done
  url=$(grep -o 'http://[^ ]*' "$out.out")
  [ -n "$url" ] || { echo "bench: the server did not start" >&2; cat "$out.log" >&2; return 1; }
}

# The preview's query on one database, as PreviewQuery writes it for a filter that
# takes every client, company, situation and note state (no tagged condition of
# preview-where), with the values it binds for the period written in place of its
# '?'s. Prints the SQL.
#   preview_sql ROOT sqlite|postgresql FIRST_MONTH LAST_MONTH [TYPES_JSON [unordered]]
#   TYPES_JSON: the service types asked for (default every one); "unordered" leaves
#   out the ORDER BY.
preview_sql() {
  local root=$1 kind=$2 first=$3 last=$4 types=${5:-'["1","2","3","4","5","6","7"]'} order=${6:-ordered}
  preview_sql_with "$root" "$kind" "$order" "" "'$first'" "'$last'" "'$types'"
}

# The same for any filter: TAGS names the tagged conditions of preview-where the
# filter keeps ("clients", "companies", "situations", "pending", "note-state"), the
# VALUES are written in place of the kept text's '?'s, in order.
#   preview_sql_with ROOT sqlite|postgresql ordered|unordered "TAG ..." VALUE...
preview_sql_with() {
  local root=$1 kind=$2 order=$3 tags=$4
  shift 4
  local sql=$root/server/billing/sql
  {
    cat "$sql/item-select.$kind.sql"
    awk -v tags=" $tags " '{ t = index($0, "-- with "); if (!t || index(tags, " " substr($0, t + 8) " ")) print }' \
      "$sql/preview-where.$kind.sql"
    [ "$order" = unordered ] || cat "$sql/item-order.$kind.sql"
  } |
    awk -v vals="$(printf '%s\x1f' "$@")" '
      BEGIN { n = split(vals, v, "\x1f"); i = 0 }
      { out = ""; line = $0
        while ((p = index(line, "?")) > 0) { i++; out = out substr(line, 1, p - 1) v[i]; line = substr(line, p + 1) }
        print out line }'
}

# The whole period, every service type, client, company, situation and note state:
# sets from, to, last_month and the JSON-RPC request of GetFaturamento.
whole_period_request() {
  from=2008-01-01
  to=$(date +%Y-%m-%d)
  last_month=$(date +%Y-%m-01)
  request='{"jsonrpc":"2.0","id":1,"method":"GetFaturamento","params":["'$from'","'$to'","_1__2__3__4__5__6__7_","","T","","T","T","T"]}'
}

# Posts $request to the server at $url; the answer goes to $work/http.json.
post_preview() {
  curl -s -o "$work/http.json" -H 'Content-Type: application/json' --data-binary "$request" "$url/FAS09600.rdmFaturamento"
}
