#!/usr/bin/env bash
# The test command: installs what is missing, builds, starts a throwaway
# PostgreSQL cluster when it can, and runs every test under ctest, twice: in the
# normal build (build/) and in the AddressSanitizer + UndefinedBehaviorSanitizer
# build (build-asan/). Then it builds the fuzz targets with clang and runs each
# for a short bounded time over its regression corpus (scripts/fuzz.sh).
#   FAS_TEST_SANITIZE=0   skip the sanitizer build
#   FAS_TEST_FUZZ=0       skip the fuzz targets
# Arguments are passed to both ctest runs (e.g. -R tst_datapacket).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
build=${BUILD_DIR:-$root/build}
asan_build=${ASAN_BUILD_DIR:-$root/build-asan}
sanitize=${FAS_TEST_SANITIZE:-1}
fuzz=${FAS_TEST_FUZZ:-1}

BUILD_DIR=$build "$root/scripts/build.sh"
[ "$sanitize" = 1 ] && BUILD_DIR=$asan_build FAS_SANITIZE=1 "$root/scripts/build.sh"

pg_started=0
if [ -x "$root/scripts/pg-test-cluster.sh" ]; then
  if url=$("$root/scripts/pg-test-cluster.sh" start); then
    export FAS_TEST_PG_URL="$url"
    pg_started=1
    echo "PostgreSQL test cluster: $url"
  else
    echo "PostgreSQL could not start here: its tests are skipped."
  fi
fi
cleanup() { [ "$pg_started" = 1 ] && "$root/scripts/pg-test-cluster.sh" stop || true; }
trap cleanup EXIT

failed=()
echo "== Tests (build: $build)"
(cd "$build" && ctest --output-on-failure -j "${TEST_JOBS:-2}" "$@") || failed+=("tests")
if [ "$sanitize" = 1 ]; then
  echo "== Tests under AddressSanitizer + UndefinedBehaviorSanitizer (build: $asan_build)"
  rm -rf "$asan_build/sanitizer-reports" && mkdir -p "$asan_build/sanitizer-reports"
  # The package test is left out here: a package of instrumented programs is no one's.
  (cd "$asan_build" && ctest --output-on-failure -j "${TEST_JOBS:-2}" -LE package "$@") || failed+=("tests under the sanitizers")
  # Every report, also one from a server or tool a test started.
  if [ -n "$(ls -A "$asan_build/sanitizer-reports")" ]; then
    for report in "$asan_build"/sanitizer-reports/*; do echo "== $report"; cat "$report"; done
    failed+=("sanitizer reports")
  fi
fi
if [ "$fuzz" = 1 ]; then
  echo "== Fuzz targets"
  bash "$root/scripts/fuzz.sh" || failed+=("fuzz targets")
fi
if [ ${#failed[@]} -gt 0 ]; then
  echo "Failed: ${failed[*]}"
  exit 1
fi
