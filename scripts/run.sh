#!/usr/bin/env bash
# The main job: installs what is missing, builds, prepares the demo database and
# starts the application server in the foreground.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
build=${BUILD_DIR:-$root/build}
var=${FAS_VAR_DIR:-$root/var}
mkdir -p "$var"
db="$var/fas09600.sqlite"
if [ ! -f "$db" ]; then
  "$build/bin/fas-demo-data" --database "$db"
fi
exec "$build/bin/fas-appserver" --database "$db" "$@"
