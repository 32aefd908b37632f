#!/usr/bin/env bash
# A shared installation for a try-out, on this machine, as the current user:
# PostgreSQL, N fas-appserver processes on loopback and nginx in front of them
# with TLS (a certificate made here, signed by a CA made here) and a bearer token.
#
#   shared-install.sh start [N]   starts it (N servers, 2 by default) and prints
#                                 key=value lines: web_url, web_port, token_file,
#                                 ca_file, config (an INI for the host), servers,
#                                 database, server_database (the servers' role,
#                                 fas_servidor), desk_database (the desks' role,
#                                 fas_mesa: it may only read the lookup tables)
#   shared-install.sh stop        stops everything it started and deletes its folder
#
# Environment:
#   FAS_SHARED_DIR           its folder (default: $TMPDIR/fas-shared)
#   FAS_SHARED_DATABASE_URL  a PostgreSQL database that already has the billing
#                            tables; without it a cluster of its own is started
#                            (scripts/pg-test-cluster.sh) and filled with demo data
#   FAS_SHARED_PORT          nginx's port (default: a free one)
#   FAS_SHARED_MAX_BODY_MB   the body limit of nginx and of the servers (default 128)
#   BUILD_DIR                where the programs are (default: build/)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
dir=${FAS_SHARED_DIR:-${TMPDIR:-/tmp}/fas-shared}
max_mb=${FAS_SHARED_MAX_BODY_MB:-128}
log() { echo "shared-install: $*" >&2; }
export FAS_PG_STATE_FILE="$dir/pg.state"

. "$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/free-port.sh"

make_certificates() {
  local ssl="$dir/ssl"
  mkdir -p "$ssl"
  openssl req -x509 -newkey rsa:2048 -nodes -days 30 -subj "/CN=FAS09600 CA de teste" \
    -keyout "$ssl/ca.key" -out "$ssl/ca.crt" 2>/dev/null
  openssl req -newkey rsa:2048 -nodes -subj "/CN=localhost" \
    -keyout "$ssl/server.key" -out "$ssl/server.csr" 2>/dev/null
  printf 'subjectAltName=DNS:localhost,IP:127.0.0.1\n' > "$ssl/san.ext"
  openssl x509 -req -in "$ssl/server.csr" -CA "$ssl/ca.crt" -CAkey "$ssl/ca.key" -CAcreateserial \
    -days 30 -extfile "$ssl/san.ext" -out "$ssl/server.crt" 2>/dev/null
}

database_url() {
  if [ -n "${FAS_SHARED_DATABASE_URL:-}" ]; then
    echo "$FAS_SHARED_DATABASE_URL"
    return 0
  fi
  local url
  url=$("$root/scripts/pg-test-cluster.sh" start) || return 1
  "$build/bin/fas-demo-data" --database "$url" >&2 || return 1
  echo "$url"
}

# The tables the host reads itself (lookups); everything else is the server's.
desk_tables="EMPRESA CLIENTE ENDECLIE PARAMGERAL PRODUTO"

with_role() { # url role password -> the url signed in as the role
  echo "$1" | sed -E "s|^(postgres(ql)?://)[^@/]*@|\1$2:$3@|"
}

# Two roles: fas_servidor writes the billing tables (the servers sign in as it), fas_mesa
# may only read the lookup tables (the desks' INI names it). Prints the two urls.
make_roles() { # admin-url
  local psql=${FAS_PG_BIN:-/usr/lib/postgresql/15/bin}/psql server_pw desk_pw
  server_pw=$(openssl rand -hex 16); desk_pw=$(openssl rand -hex 16)
  local grants=""
  for t in $desk_tables; do grants+="GRANT SELECT ON $t TO fas_mesa; "; done
  "$psql" -q -v ON_ERROR_STOP=1 "$1" >&2 <<SQL || return 1
DO \$\$ BEGIN
  IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = 'fas_servidor') THEN CREATE ROLE fas_servidor LOGIN; END IF;
  IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = 'fas_mesa') THEN CREATE ROLE fas_mesa LOGIN; END IF;
END \$\$;
ALTER ROLE fas_servidor PASSWORD '$server_pw';
ALTER ROLE fas_mesa PASSWORD '$desk_pw';
REVOKE ALL ON ALL TABLES IN SCHEMA public FROM PUBLIC;
GRANT USAGE ON SCHEMA public TO fas_servidor, fas_mesa;
GRANT SELECT, INSERT, UPDATE, DELETE ON ALL TABLES IN SCHEMA public TO fas_servidor;
GRANT USAGE, SELECT ON ALL SEQUENCES IN SCHEMA public TO fas_servidor;
$grants
SQL
  echo "$(with_role "$1" fas_servidor "$server_pw") $(with_role "$1" fas_mesa "$desk_pw")"
}

start_server() { # index url -> prints the port
  local i=$1 url=$2 out="$dir/appserver-$1.out"
  "$build/bin/fas-appserver" --database "$url" --listen 127.0.0.1:0 --trusted-proxies 127.0.0.1 --token-file "$dir/token" \
    --max-body-mb "$max_mb" >"$out" 2>"$dir/appserver-$i.log" &
  echo $! > "$dir/appserver-$i.pid"
  for _ in $(seq 1 300); do
    if grep -q "escutando em" "$out" 2>/dev/null; then
      sed -n 's/.*:\([0-9]*\)$/\1/p' "$out" | head -1
      return 0
    fi
    kill -0 "$(cat "$dir/appserver-$i.pid")" 2>/dev/null || break
    sleep 0.1
  done
  log "fas-appserver $i did not start:"; cat "$dir/appserver-$i.log" >&2
  return 1
}

write_nginx_conf() { # port upstreams
  local port=$1 upstreams=$2 ngx="$dir/nginx"
  mkdir -p "$ngx/temp"
  local user_line=""
  [ "$(id -u)" -eq 0 ] && user_line="user root root;"
  sed -e "s|@LISTEN@|127.0.0.1:$port|" -e "s|@SERVER_NAME@|localhost|" \
      -e "s|@CERTIFICATE@|$dir/ssl/server.crt|" -e "s|@CERTIFICATE_KEY@|$dir/ssl/server.key|" \
      -e "s|@UPSTREAM_SERVERS@|$upstreams|" -e "s|@MAX_BODY_MB@|$max_mb|g" \
      "$root/deploy/nginx/fas09600.conf" > "$ngx/fas09600.conf"
  cat > "$ngx/nginx.conf" <<NGINX
$user_line
worker_processes 2;
pid $ngx/nginx.pid;
error_log $ngx/error.log warn;
events { worker_connections 1024; }
http {
    access_log $ngx/access.log;
    client_body_temp_path $ngx/temp/body;
    proxy_temp_path $ngx/temp/proxy;
    fastcgi_temp_path $ngx/temp/fastcgi;
    uwsgi_temp_path $ngx/temp/uwsgi;
    scgi_temp_path $ngx/temp/scgi;
    include $ngx/fas09600.conf;
}
NGINX
}

start() {
  local n=${1:-2}
  command -v nginx >/dev/null || [ -x /usr/sbin/nginx ] || { log "nginx is not installed (scripts/install-deps.sh)"; return 1; }
  local nginx_bin; nginx_bin=$(command -v nginx || echo /usr/sbin/nginx)
  if [ -d "$dir" ]; then
    log "an earlier installation is in $dir; stopping it first"
    stop || true
  fi
  mkdir -p "$dir"
  openssl rand -hex 24 > "$dir/token"
  chmod 600 "$dir/token"
  make_certificates
  local url; url=$(database_url) || { log "PostgreSQL could not be prepared"; stop; return 1; }
  local roles; roles=$(make_roles "$url") || { log "the database roles could not be made"; stop; return 1; }
  local server_url=${roles% *} desk_url=${roles#* }
  local upstreams="" ports="" port
  for i in $(seq 1 "$n"); do
    port=$(start_server "$i" "$server_url") || { stop; return 1; }
    upstreams+="server 127.0.0.1:$port max_fails=0; "
    ports+="$(cat "$dir/appserver-$i.pid"):$port "
  done
  local public=${FAS_SHARED_PORT:-$(free_port)}
  write_nginx_conf "$public" "$upstreams"
  if ! "$nginx_bin" -p "$dir/nginx" -c "$dir/nginx/nginx.conf" -e "$dir/nginx/error.log" 2>"$dir/nginx/start.log"; then
    log "nginx did not start:"; cat "$dir/nginx/start.log" "$dir/nginx/error.log" >&2 2>/dev/null || true
    stop
    return 1
  fi
  cat > "$dir/fas09600.ini" <<INI
[database]
url=$desk_url

[client]
web_url=https://127.0.0.1
web_port=$public
token_file=$dir/token
ca_file=$dir/ssl/ca.crt
INI
  chmod 600 "$dir/fas09600.ini" # it holds the desk role's password
  log "nginx on https://127.0.0.1:$public in front of $n servers; stop with: $0 stop"
  echo "web_url=https://127.0.0.1"
  echo "web_port=$public"
  echo "token_file=$dir/token"
  echo "ca_file=$dir/ssl/ca.crt"
  echo "config=$dir/fas09600.ini"
  echo "servers=${ports% }"
  echo "database=$url"
  echo "server_database=$server_url"
  echo "desk_database=$desk_url"
}

stop() {
  [ -d "$dir" ] || { log "nothing is running from $dir"; return 0; }
  if [ -f "$dir/nginx/nginx.pid" ]; then
    kill -QUIT "$(cat "$dir/nginx/nginx.pid")" 2>/dev/null || true
  fi
  for pidfile in "$dir"/appserver-*.pid; do
    [ -f "$pidfile" ] || continue
    local pid; pid=$(cat "$pidfile")
    kill -TERM "$pid" 2>/dev/null || true
    for _ in $(seq 1 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  done
  [ -f "$FAS_PG_STATE_FILE" ] && "$root/scripts/pg-test-cluster.sh" stop || true
  for _ in $(seq 1 50); do [ -f "$dir/nginx/nginx.pid" ] || break; sleep 0.1; done
  rm -rf "$dir"
  log "stopped"
}

case "${1:-}" in
  start) start "${2:-2}" ;;
  stop) stop ;;
  *) echo "usage: $0 start [N]|stop" >&2; exit 2 ;;
esac
