#!/usr/bin/env bash
# fas-appserver's answers while slow clients hold connections, against the goals:
#   the health entry with 50 clients sending their headers a byte every 100 ms: at most
#     1000 ms slower than without them (the slowest of 5 against the slowest of 3)
#   a host call to a server that answers a byte every 200 ms, with a 2 s deadline:
#     ended within 15 s (tests/outside/tst_netconnection checks that it ends as a
#     time-out; this measures when)
#   bench/bench_slow_clients.sh [BUILD_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-${BUILD_DIR:-$root/build}}
. "$root/bench/pairs.sh"
bench_begin

health_ms() { curl -s -o /dev/null -w '%{time_total}\n' "$url/health" | awk '{ printf "%d\n", $1 * 1000 }'; }
slowest() { local worst=0 ms; for _ in $(seq 1 "$1"); do ms=$(health_ms); [ "$ms" -gt "$worst" ] && worst=$ms; done; echo "$worst"; }

"$build/bin/fas-demo-data" --database "$work/slow.sqlite" --rows 1000 >&2
start_server "$build" "$work/slow.sqlite" "$work/server" --deadline header_deadline_s=60
port=${url##*:}
baseline=$(slowest 3)
trickle() {
  exec 3<>"/dev/tcp/127.0.0.1/$port"
  local start='POST /FAS09600.rdmFaturamento HTTP/1.1' i
  for i in $(seq 0 $((${#start} - 1))); do printf '%s' "${start:$i:1}" >&3; sleep 0.1; done
  for _ in $(seq 1 100); do printf 'a' >&3 2>/dev/null || break; sleep 0.1; done
}
slow=()
for _ in $(seq 1 50); do trickle & slow+=($!); done
sleep 0.5
with=$(slowest 5)
kill "${slow[@]}" 2>/dev/null || true
wait "${slow[@]}" 2>/dev/null || true
verdict=$([ "$with" -le $((baseline + 1000)) ] && echo met || echo MISSED)
echo "health: slowest ${baseline} ms without slow clients, ${with} ms with 50 (goal at most +1000 ms -> $verdict)"
stop_server

# The host's whole-call deadline against a server that trickles its answer.
t0=$(date +%s%N)
QT_QPA_PLATFORM=offscreen "$build/bin/tst_netconnection" tricklingServerMeetsTheWholeCallDeadline >/dev/null 2>&1 || true
call_ms=$(( ($(date +%s%N) - t0) / 1000000 ))
echo "a call to a trickling server with a 2 s deadline (test program included): ended in ${call_ms} ms" \
     "(goal at most 15000 ms -> $([ "$call_ms" -le 15000 ] && echo met || echo MISSED))"
echo "load (/proc/loadavg): $(cat /proc/loadavg)"
