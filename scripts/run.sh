#!/usr/bin/env bash
# The main job: installs what is missing, builds, prepares the demo database,
# writes the configuration, starts the application server and opens the host
# with the billing preview. Without a display the server keeps running in the
# foreground and the line to open the host under xvfb-run is printed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
build=${BUILD_DIR:-$root/build}
var=${FAS_VAR_DIR:-$root/var}
port=${FAS_PORT:-9600}
mkdir -p "$var"
db="$var/fas09600.sqlite"
conf="$var/fas09600.ini"

if [ ! -f "$db" ]; then
  "$build/bin/fas-demo-data" --database "$db"
fi
cat > "$conf" <<INI
[database]
url=$db

[appserver]
listen=127.0.0.1:$port
token_file=

[client]
web_url=127.0.0.1
web_port=$port
INI
echo "Configuration: $conf"

"$build/bin/fas-appserver" --config "$conf" &
server=$!
trap 'kill $server 2>/dev/null || true; wait $server 2>/dev/null || true' EXIT INT TERM
for _ in $(seq 1 100); do
  if curl -sf "http://127.0.0.1:$port/health" >/dev/null 2>&1; then break; fi
  if ! kill -0 $server 2>/dev/null; then echo "The application server did not start." >&2; exit 1; fi
  sleep 0.1
done
echo "Application server: http://127.0.0.1:$port/FAS09600.rdmFaturamento"

host_cmd=("$build/bin/fas-host" --config "$conf" --open)
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  "${host_cmd[@]}"
else
  echo "No display here: the application server keeps running (Ctrl+C stops it)."
  echo "To open the screen on a virtual display, run in another terminal:"
  echo "  xvfb-run -a -s '-screen 0 1280x800x24' ${host_cmd[*]}"
  wait $server
fi
