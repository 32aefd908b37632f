#!/usr/bin/env bash
# The host end to end, on a demo SQLite database with about 100,000 matching rows:
#   1. filter confirmed -> rows painted in the real fas-host (its --click report:
#      from the click on "Confirma" to the windows painted), against sqlite3 -json
#      running the same query on the same file, with the same ORDER BY (REFERENCE=
#      unordered leaves it out); ours and the reference alternate, PAIRS pairs
#      (default 5); goal: ratio at most 0.9;
#   2. the host's peak resident set with those rows loaded (VmHWM at quit); goal:
#      at most 250 MB (1 GB from 1,000,000 rows on); and that peak against the
#      resident set right after the load (steady); goal: at most 1.3x.
#   3. memory over reloads: one run that confirms and then reloads RELOADS times
#      (the verify button); the resident set after the first load (steady), after
#      each reload and the peak; goals: peak at most 1.3x steady, the last reload
#      within 10% of the first load's steady figure.
#   bench/bench_host.sh [BUILD_DIR]      ROWS=152000 rows generated (every service
#   type; the filter asks for the four the dialog lets one tick; 15200 gives about
#   10,000 rows, 1520000 about 1,000,000), PAIRS=5, RELOADS=4, WAIT_MS=25000 (how
#   long each run stays up after its last click)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-${BUILD_DIR:-$root/build}}
rows=${ROWS:-152000}
pairs=${PAIRS:-5}
reloads=${RELOADS:-4}
wait_ms=${WAIT_MS:-25000}
for tool in sqlite3 xvfb-run python3; do
  command -v "$tool" >/dev/null || { echo "bench: $tool is needed" >&2; exit 1; }
done
[ -x "$build/bin/fas-host" ] && [ -x "$build/bin/fas-appserver" ] || { echo "bench: build first" >&2; exit 1; }

. "$root/bench/pairs.sh"
bench_begin

db="$work/bench.sqlite"
"$build/bin/fas-demo-data" --database "$db" --rows "$rows" >/dev/null 2>&1
start_server "$build" "$db" "$work/server"
address=${url#http://}

# What the dialog asks once every service type it lets one tick (Service Desk stays
# disabled) and every situation are ticked: the whole period from 01/01/2008 to
# today, all companies and clients.
from=2008-01-01
end_month=$(date -d "$(date +%Y-%m-01) +1 month" +%Y-%m-%d)
printf '%s;\n' "$(preview_sql "$root" sqlite "$from" "$end_month" '["5","6","3","1"]' "${REFERENCE:-ordered}")" \
  > "$work/query.sql"

# One host run: open the preview, tick the boxes, confirm, quit well after the
# rows are shown; prints the confirm's milliseconds, the peak RSS and the resident
# set right after the confirm, in kB.
host_run() {
  local clicks=() t=2500
  for box in chbLicencaUso chbCustomizacao chbMaoObra chbTSituacao; do
    clicks+=(--click "$t:$box"); t=$((t + 200))
  done
  clicks+=(--click "$t:sbtConfirma")
  HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" QT_QPA_PLATFORM=xcb \
    xvfb-run -a -s "-screen 0 1280x1024x24" \
    "$build/bin/fas-host" --database "$db" --server "$address" --open "${clicks[@]}" --quit-after $((t + wait_ms)) \
    2>"$work/host.log" >/dev/null || true
  local ms kb steady
  ms=$(grep -o 'click sbtConfirma done in [0-9]*' "$work/host.log" | grep -o '[0-9]*$' || true)
  kb=$(grep -o 'peak RSS [0-9]*' "$work/host.log" | grep -o '[0-9]*$' || true)
  steady=$(grep -E 'resident set [0-9]+ kB after sbtConfirma' "$work/host.log" | grep -o 'set [0-9]*' | grep -o '[0-9]*' || true)
  if [ -z "$ms" ] || [ -z "$kb" ] || [ -z "$steady" ]; then
    echo "bench: the host run did not report (see below)" >&2; cat "$work/host.log" >&2; exit 1
  fi
  echo "$ms $kb $steady"
}
now_ms() { date +%s%3N; }

: > "$work/pairs"; : > "$work/rss"; : > "$work/peak_steady"
for i in $(seq 1 "$pairs"); do
  read -r ms kb steady < <(host_run)
  t0=$(now_ms)
  sqlite3 -json "$db" < "$work/query.sql" > "$work/sqlite.json"
  t1=$(now_ms)
  echo "$ms $((t1 - t0))" >> "$work/pairs"
  echo "$((kb / 1024))" >> "$work/rss"
  echo "$((kb * 100 / steady))" >> "$work/peak_steady"
done

host_rows=$(grep 'GetFaturamento' "$work/server.log" | grep -o 'rows=[0-9]*' | tail -n 1 | cut -d= -f2)
sqlite_rows=$(grep -c '^\[\?{' "$work/sqlite.json" || true)
echo "rows: host ${host_rows:-?}, sqlite3 -json $sqlite_rows (generated $rows)"
if [ "${host_rows:-0}" != "$sqlite_rows" ]; then
  echo "bench: the row counts differ; the comparison would be meaningless" >&2
  exit 1
fi
python3 "$root/bench/compare.py" --what "filter confirmed -> $host_rows rows painted in fas-host" \
  --ours "fas-host confirm to painted" --reference "sqlite3 -json, same query" --goal 0.9 < "$work/pairs"
# How much of the host's figure the server spent on its side (its log's ms=), and
# what is left for the host itself (request, parse, load, paint).
grep 'GetFaturamento' "$work/server.log" | grep -o 'ms=[0-9]*' | cut -d= -f2 | tail -n "$pairs" > "$work/server_ms"
paste -d' ' "$work/pairs" "$work/server_ms" | python3 -c '
import statistics, sys
rows = [[float(x) for x in line.split()] for line in sys.stdin if line.strip()]
server = [r[2] for r in rows]
host = [r[0] - r[2] for r in rows]
print(f"   of which the server (its log):   min {min(server):9.1f} ms  median {statistics.median(server):9.1f} ms")
print(f"   the host itself (confirm-server) min {min(host):9.1f} ms  median {statistics.median(host):9.1f} ms")'
python3 "$root/bench/compare.py" --what "fas-host peak RSS with $host_rows rows" \
  --ours "VmHWM" --unit MB --goal-value "$([ "$host_rows" -ge 1000000 ] && echo 1024 || echo 250)" < "$work/rss"
python3 "$root/bench/compare.py" --what "fas-host single load: peak RSS against the resident set after it" \
  --ours "VmHWM / VmRSS after the load" --unit % --goal-value 130 < "$work/peak_steady"

# One run that confirms, then reloads $reloads times, each click well after the
# one before has finished (the host runs its clicks one at a time).
spacing=$(( $(sort -n "$work/pairs" | tail -n 1 | cut -d' ' -f1) * 2 + 3000 ))
clicks=() t=2500
for box in chbLicencaUso chbCustomizacao chbMaoObra chbTSituacao; do
  clicks+=(--click "$t:$box"); t=$((t + 200))
done
clicks+=(--click "$t:sbtConfirma")
for _ in $(seq 1 "$reloads"); do
  t=$((t + spacing)); clicks+=(--click "$t:sbtVerificar")
done
HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" QT_QPA_PLATFORM=xcb \
  xvfb-run -a -s "-screen 0 1280x1024x24" \
  "$build/bin/fas-host" --database "$db" --server "$address" --open "${clicks[@]}" --quit-after $((t + wait_ms)) \
  2>"$work/reloads.log" >/dev/null || true
mapfile -t resident < <(grep -E 'resident set [0-9]+ kB after (sbtConfirma|sbtVerificar)' "$work/reloads.log" | grep -o 'set [0-9]*' | grep -o '[0-9]*')
peak=$(grep -o 'peak RSS [0-9]*' "$work/reloads.log" | grep -o '[0-9]*$' || true)
if [ "${#resident[@]}" -ne $((reloads + 1)) ] || [ -z "$peak" ]; then
  echo "bench: the reload run did not report (see below)" >&2; cat "$work/reloads.log" >&2; exit 1
fi
python3 - "$peak" "${resident[@]}" <<'PY'
import sys
peak, steady, *after = (int(x) / 1024 for x in sys.argv[1:])
print(f"memory over reloads ({len(after)}): steady after the first load {steady:.0f} MB, after each reload "
      + ", ".join(f"{x:.0f}" for x in after) + f" MB, peak {peak:.0f} MB")
print(f"load (/proc/loadavg): {open('/proc/loadavg').read().strip()}")
ratio = peak / steady
last = after[-1] / steady if after else 1.0
print(f"goal: peak at most 1.3x steady -> {ratio:.2f}x {'met' if ratio <= 1.3 else 'MISSED'}")
print(f"goal: last reload within 10% of the first load -> {last:.2f}x {'met' if last <= 1.1 else 'MISSED'}")
PY
