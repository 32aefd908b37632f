#!/usr/bin/env bash
# The preview screen's passes over 100,000 rows, REPS repetitions each (default 7):
# min and median, the load and the goal. No reference program exists for these:
# the goals are absolute.
#   bench/bench_screen.sh [BUILD_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-${BUILD_DIR:-$root/build}}
reps=${REPS:-7}
out=$(mktemp "${TMPDIR:-/tmp}/bench_screen.XXXXXX.json")
trap 'rm -f "$out"' EXIT
"$build/bin/bench_screen" --benchmark_repetitions="$reps" --benchmark_format=json --benchmark_out="$out" \
  --benchmark_out_format=json >/dev/null
times() {
  python3 - "$out" "$1" <<'PY'
import json, sys
for b in json.load(open(sys.argv[1]))["benchmarks"]:
    if b.get("run_type") == "iteration" and b["run_name"].startswith(sys.argv[2]):
        print(b["real_time"])
PY
}
times BM_MarkAllPass | python3 "$root/bench/compare.py" --what "mark-all pass over 100,000 rows" \
  --ours "title click on the tick column" --goal-value 300 --below
times BM_GenerationWalk | python3 "$root/bench/compare.py" --what "generation run walk, 100,000 rows, 10 ticked" \
  --ours "walk up to the first call" --goal-value 200
