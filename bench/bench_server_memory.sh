#!/usr/bin/env bash
# fas-appserver's memory, read from /proc/<pid>/status, against the goals:
#   one GetFaturamento of 100,000 rows (SQLite): peak at most +100 MB over the idle server
#   16 such answers on 8 connections at once: resident at most 300 MB afterwards; and,
#     against the size of one answer, resident growth at most 4 answers' worth, peak
#     growth at most 8 (answers stream: held whole they would need twenty-odd)
#   refused bodies (1 MB limit): a 512 MB chunked stream at most +32 MB resident, a
#     declared 64 MB body at most +64 MB
#   bodies being received (16 MB limit, --body-memory-mb 64): 16 clients that stop 12 MB
#     into a 16 MB body: resident at most +80 MB (the bound and the pieces being read),
#     the health entry answered meanwhile
#   1,000,000 rows unfiltered on PostgreSQL: peak at most 300 MB
#   bench/bench_server_memory.sh [BUILD_DIR]
#   ROWS=100000 BIG_ROWS=1000000; FAS_BENCH_PG_URL=postgresql://...; NO_PG=1 to skip it
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-${BUILD_DIR:-$root/build}}
rows=${ROWS:-100000}
big_rows=${BIG_ROWS:-1000000}
. "$root/bench/pairs.sh"
bench_begin

kb() { awk -v k="$1:" '$1 == k { print $2 }' "/proc/$server_pid/status"; }
mb() { awk -v v="$1" 'BEGIN { printf "%.1f", v / 1024 }'; }
verdict() { awk -v v="$1" -v g="$2" 'BEGIN { print (v <= g * 1024 ? "met" : "MISSED") }'; }
request='{"jsonrpc":"2.0","id":1,"method":"GetFaturamento","params":["2008-01-01","'$(date +%Y-%m-%d)'","_1__2__3__4__5__6__7_","","T","","T","T","T"]}'
fetch() { curl -s -o /dev/null -w '%{size_download}\n' -H 'Content-Type: application/json' --data-binary "$request" "$url/FAS09600.rdmFaturamento"; }

"$build/bin/fas-demo-data" --database "$work/mem.sqlite" --rows "$rows" >&2
start_server "$build" "$work/mem.sqlite" "$work/server"
curl -s -o /dev/null "$url/health"
idle=$(kb VmRSS)
bytes=$(fetch)
one=$(( $(kb VmHWM) - idle ))
echo "idle server: $(mb "$idle") MB resident"
echo "one answer of $rows rows ($bytes bytes): peak +$(mb "$one") MB (goal at most +100 MB -> $(verdict "$one" 100))"
before=$(kb VmRSS)
peak_before=$(kb VmHWM)
clients=()
for _ in $(seq 1 8); do (fetch; fetch) > /dev/null & clients+=($!); done
wait "${clients[@]}"
after=$(kb VmRSS)
echo "after 16 answers on 8 connections: $(mb "$after") MB resident, peak $(mb "$(kb VmHWM)") MB" \
     "(goal at most 300 MB resident -> $(verdict "$after" 300))"
answer_kb=$((bytes / 1024))
grown=$((after - before)); peak_grown=$(( $(kb VmHWM) - peak_before ))
echo "  growth against one answer ($(mb "$answer_kb") MB): resident +$(mb "$grown") MB" \
     "(goal at most 4 answers -> $(verdict "$grown" "$((4 * answer_kb / 1024))")), peak +$(mb "$peak_grown") MB" \
     "(goal at most 8 answers -> $(verdict "$peak_grown" "$((8 * answer_kb / 1024))"))"
echo "load (/proc/loadavg): $(cat /proc/loadavg)"
stop_server

# Refused bodies, on a server with a 1 MB body limit: nothing of them is kept.
start_server "$build" "$work/mem.sqlite" "$work/server-limit" --max-body-mb 1
curl -s -o /dev/null "$url/health"
refuse() { curl -s -o /dev/null -w '%{http_code}' -H 'Content-Type: application/json' "$@" "$url/FAS09600.rdmFaturamento" || true; }
before=$(kb VmRSS)
status=$(head -c $((512 << 20)) /dev/zero | refuse -H 'Transfer-Encoding: chunked' --data-binary @-)
grown=$(( $(kb VmRSS) - before ))
echo "512 MB chunked body refused ($status): resident +$(mb "$grown") MB (goal at most +32 MB -> $(verdict "$grown" 32))"
before=$(kb VmRSS)
status=$(head -c $((64 << 20)) /dev/zero | refuse -H 'Expect:' --data-binary @-)
grown=$(( $(kb VmRSS) - before ))
echo "64 MB body refused ($status): resident +$(mb "$grown") MB (goal at most +64 MB -> $(verdict "$grown" 64))"
stop_server

# Bodies being received: the connection threads read them, and what they hold
# together stays within --body-memory-mb; the bodies beyond it are refused 503.
start_server "$build" "$work/mem.sqlite" "$work/server-bodies" --max-body-mb 16 --body-memory-mb 64
curl -s -o /dev/null "$url/health"
before=$(kb VmRSS)
port=${url##*:}
stalled=()
for _ in $(seq 1 16); do
  (
    exec 3<>"/dev/tcp/127.0.0.1/$port"
    printf 'POST /FAS09600.rdmFaturamento HTTP/1.1\r\nHost: b\r\nContent-Type: application/json\r\nContent-Length: %d\r\n\r\n' \
      $((16 << 20)) >&3
    head -c $((12 << 20)) /dev/zero >&3
    sleep 40
  ) 2>/dev/null &
  stalled+=($!)
done
# Until the resident size holds still for a second (at most 30 s).
last=0
for _ in $(seq 1 30); do
  now=$(kb VmRSS)
  [ "$now" = "$last" ] && break
  last=$now
  sleep 1
done
grown=$(( $(kb VmRSS) - before ))
health_ms=$(curl -s -o /dev/null -w '%{time_total}' "$url/health" | awk '{ printf "%d", $1 * 1000 }')
refused=$(grep -c 'status=503' "$work/server-bodies.log" || true)
echo "16 bodies stalled 12 MB into 16 MB (64 MB for bodies): resident +$(mb "$grown") MB" \
     "(goal at most +80 MB -> $(verdict "$grown" 80)), $refused refused 503, /health in $health_ms ms"
echo "load (/proc/loadavg): $(cat /proc/loadavg)"
kill "${stalled[@]}" 2>/dev/null || true
stop_server

if [ -z "${NO_PG:-}" ] && command -v psql >/dev/null; then
  bench_pg_database fas_bench_mem
  "$build/bin/fas-demo-data" --database "$pg_url" --rows "$big_rows" >&2
  start_server "$build" "$pg_url" "$work/server-pg"
  curl -s -o /dev/null "$url/health"
  bytes=$(fetch)
  peak=$(kb VmHWM)
  echo "PostgreSQL, $big_rows rows unfiltered ($bytes bytes): peak $(mb "$peak") MB" \
       "(goal at most 300 MB -> $(verdict "$peak" 300))"
  echo "load (/proc/loadavg): $(cat /proc/loadavg)"
fi
