#!/usr/bin/env bash
# The real preview packet (28 fields, 100,000 rows) decoded by the host, against a
# plain simdjson walk of the same text, interleaved at random in one run, paired by
# repetition: min and median of each side and of the ratio, the load and the goal.
#   bench/bench_packet.sh [BUILD_DIR]     REPS=7 for the number of pairs
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-${BUILD_DIR:-$root/build}}
reps=${REPS:-7}
out=$(mktemp "${TMPDIR:-/tmp}/bench_packet.XXXXXX.json")
trap 'rm -f "$out"' EXIT
"$build/bin/bench_packet" --benchmark_filter='^BM_(ReferenceWalk|Decode|Answer)/' \
  --benchmark_enable_random_interleaving=true --benchmark_repetitions="$reps" \
  --benchmark_format=json --benchmark_out="$out" --benchmark_out_format=json >/dev/null
pairs() { # ours reference: one line per repetition
  python3 - "$out" "$1" "$2" <<'PY'
import json, sys
runs = [b for b in json.load(open(sys.argv[1]))["benchmarks"] if b.get("run_type") == "iteration"]
def times(name):
    return [b["real_time"] for b in sorted((b for b in runs if b["run_name"].split("/")[0] == name), key=lambda b: b["repetition_index"])]
for o, r in zip(times(sys.argv[2]), times(sys.argv[3])):
    print(o, r)
PY
}
pairs BM_Decode BM_ReferenceWalk | python3 "$root/bench/compare.py" --what "packet text decoded (DataPacket::decode)" \
  --ours decode --reference "simdjson walk, no checks" --goal 1.0
pairs BM_Answer BM_ReferenceWalk | python3 "$root/bench/compare.py" --what "remote answer parsed once and loaded (host)" \
  --ours "answer parse + decode" --reference "simdjson walk, no checks" --goal 1.0
