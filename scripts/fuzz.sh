#!/usr/bin/env bash
# Builds the libFuzzer targets with clang into build-fuzz/ and runs each for a
# bounded time: libFuzzer first runs every input of the target's regression corpus
# (tests/fuzz/corpus/<target>), then tries new inputs until FUZZ_SECONDS (20 by
# default) have passed.
#   bash scripts/fuzz.sh                          all targets
#   FUZZ_SECONDS=600 bash scripts/fuzz.sh fuzz_jsonrpc
# New interesting inputs go to build-fuzz/corpus/<target> (kept between runs); a
# finding is written to build-fuzz/findings/ and fails the script: fix it and keep
# the input as a regression case in tests/fuzz/corpus/<target>/.
# A run of all targets also runs tst_moduleentries from this clang build: clang's
# UndefinedBehaviorSanitizer checks the type of every call through a function
# pointer (gcc's does not), which is how the host calls the module's entries.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${FUZZ_BUILD_DIR:-$root/build-fuzz}
seconds=${FUZZ_SECONDS:-20}
targets=("$@")
extra=()
if [ ${#targets[@]} -eq 0 ]; then
  targets=(fuzz_datapacket fuzz_jsonrpc fuzz_previewfilter fuzz_dateedit)
  extra=(tst_moduleentries)
fi

. "$root/scripts/compiler-cache.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${cache_options[@]}" \
  -DCMAKE_CXX_COMPILER=clang++ -DFAS_FUZZ=ON -DBUILD_TESTING=ON >/dev/null
cmake --build "$build" -j "${BUILD_JOBS:-2}" --target "${targets[@]}" "${extra[@]}"

sanitizers=$root/scripts/sanitizers
export ASAN_OPTIONS=detect_leaks=1
export LSAN_OPTIONS=suppressions=$sanitizers/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=suppressions=$sanitizers/ubsan.supp:print_stacktrace=1:halt_on_error=1
export QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8
mkdir -p "$build/findings"
failed=()
for test in "${extra[@]}"; do
  echo "== $test (clang, ASan + UBSan)"
  "$build/bin/$test" >"$build/findings/$test.log" 2>&1 || { cat "$build/findings/$test.log"; failed+=("$test"); }
done
for target in "${targets[@]}"; do
  work=$build/corpus/$target
  log=$build/findings/$target.log
  mkdir -p "$work"
  echo "== $target: regression corpus, then ${seconds} s of new inputs"
  if "$build/bin/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
       -artifact_prefix="$build/findings/$target-" "$work" "$root/tests/fuzz/corpus/$target" >"$log" 2>&1; then
    grep -E "^Done [0-9]+ runs|stat::number_of_executed_units|stat::peak_rss_mb" "$log" | sed 's/^/   /'
  else
    tail -n 40 "$log"
    echo "== $target found a fault; the input is in $build/findings/ (log: $log)"
    failed+=("$target")
  fi
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "Fuzz targets with findings: ${failed[*]}"
  exit 1
fi
