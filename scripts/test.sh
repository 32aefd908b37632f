#!/usr/bin/env bash
# The test command: installs what is missing, builds, starts a throwaway
# PostgreSQL cluster when it can, and runs every test under ctest.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
build=${BUILD_DIR:-$root/build}

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

cd "$build"
ctest --output-on-failure -j "${TEST_JOBS:-2}" "$@"
