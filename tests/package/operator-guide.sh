#!/usr/bin/env bash
# Runs the operator's guide: the blocks of docs/operator.md marked <!-- run -->
# (and <!-- run: server -->), in the guide's order and in one shell, against the
# programs `cmake --install` puts into a scratch root, as the guide's header
# describes: without root and without systemd, the system's paths read under
# the scratch root, a free port for 9600, and the empty database the server
# package's postinst makes (fas-admin init). A block that fails fails the test,
# naming its line in the guide. Then it checks what the guide promises of the
# clerk's own token: the file is the clerk's alone, the menu entry names it and
# /health answers with the clerk's user.
#
# usage: operator-guide.sh BUILD_DIR GUIDE
set -euo pipefail
build=$1
guide=$2
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=scripts/free-port.sh
. "$here/../../scripts/free-port.sh"

work=$(mktemp -d "${TMPDIR:-/tmp}/fas-guide.XXXXXX")
cleanup() {
    if [ -f "$work/server.pid" ]; then
        kill "$(cat "$work/server.pid")" 2>/dev/null || true
    fi
    # The server block runs in a subshell: the server itself is found by the
    # scratch root its command line names.
    pkill -f -- "$work/" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

root=$work/root
DESTDIR=$root cmake --install "$build" --prefix /usr >"$work/install.log" 2>&1 ||
    { cat "$work/install.log" >&2; fail "cmake --install into the scratch root failed"; }
port=$(free_port) || fail "no free port"

# What postinst does on the first installation, and the configuration pointed
# at the scratch root's database and the free port.
mkdir -p "$root/var/lib/fas09600" "$root/var/backups" "$root/home"
ini=$root/etc/fas09600/fas09600.ini
sed -i -e "s|^url=/var/lib/fas09600/|url=$root/var/lib/fas09600/|" -e "s|^listen=127.0.0.1:9600\$|listen=127.0.0.1:$port|" "$ini"
grep -qx "url=$root/var/lib/fas09600/fas09600.sqlite" "$ini" && grep -qx "listen=127.0.0.1:$port" "$ini" ||
    fail "the installed configuration no longer has the default url and listen lines"
"$root/usr/bin/fas-admin" --database "$root/var/lib/fas09600/fas09600.sqlite" init >/dev/null

# The marked blocks, each as "kind line" then its lines, indentation removed.
awk '
    /^[ \t]*<!-- run(: server)? -->[ \t]*$/ { kind = ($0 ~ /server/) ? "server" : "run"; marked = NR; next }
    marked && !inside {
        if ($0 ~ /^[ \t]*```sh[ \t]*$/) { inside = 1; match($0, /^[ \t]*/); indent = RLENGTH
                                         print "#BLOCK " kind " " NR; next }
        print "#ORPHAN " marked; marked = 0; next
    }
    inside && $0 ~ /^[ \t]*```[ \t]*$/ { inside = 0; marked = 0; next }
    inside { print substr($0, indent + 1) }
' "$guide" >"$work/blocks"
! grep -q '^#ORPHAN' "$work/blocks" ||
    fail "a <!-- run --> mark is not followed by a \`\`\`sh block (guide line $(sed -n 's/^#ORPHAN //p' "$work/blocks" | head -n1))"
[ "$(grep -c '^#BLOCK run' "$work/blocks")" -ge 5 ] && [ "$(grep -c '^#BLOCK server' "$work/blocks")" -eq 1 ] ||
    fail "the guide should mark several runnable blocks and one server block"

# One script: the stand-ins for sudo and for the clerk's account, then the blocks
# with the system's paths moved under the scratch root.
{
    cat <<PREAMBLE
set -eEuo pipefail
export PATH="$root/usr/bin:\$PATH" HOME="$work/home-of-operator" LC_ALL=C.UTF-8
mkdir -p "\$HOME"
sudo() { while [ \$# -gt 0 ]; do case \$1 in -u) shift 2 ;; -*) shift ;; *) break ;; esac; done; "\$@"; }
getent() { if [ "\$1" = passwd ] && [ \$# -eq 2 ]; then echo "\$2:x:1000:1000::$root/home/\$2:/bin/sh"; else command getent "\$@"; fi; }
trap 'echo "FAIL: the guide'"'"'s block at line \$guide_line failed" >&2' ERR
listening() {
    for _ in \$(seq 1 300); do
        grep -q 'escutando em' "$work/server.out" 2>/dev/null && return 0
        kill -0 "\$(cat "$work/server.pid")" 2>/dev/null || { cat "$work/server.err" >&2; return 1; }
        sleep 0.1
    done
    return 1
}
PREAMBLE
    sed -e "s|/etc/fas09600|$root/etc/fas09600|g" -e "s|/var/lib/fas09600|$root/var/lib/fas09600|g" \
        -e "s|/var/backups|$root/var/backups|g" -e "s|/usr/share/|$root/usr/share/|g" \
        -e "s|127\.0\.0\.1:9600|127.0.0.1:$port|g" "$work/blocks" |
        awk -v work="$work" '
            function close_block() {
                if (kind == "server")
                    print ") >\"" work "/server.out\" 2>\"" work "/server.err\" &\necho $! >\"" work "/server.pid\"\nlistening"
            }
            /^#BLOCK / { close_block(); kind = $2
                         print "guide_line=" $3 "; echo \"--- the guide, line " $3 "\""
                         if (kind == "server") print "("
                         next }
            { print }
            END { close_block() }'
} >"$work/guide.sh"

bash "$work/guide.sh" || fail "the operator's guide does not run as written (script: guide.sh; server log below)
$(cat "$work/server.err" 2>/dev/null | tail -n 5)"

# What the clerk's steps promise.
token=$root/home/ana/.config/fas09600/token
[ "$(stat -c %a "$token")" = 600 ] || fail "the clerk's token file is mode $(stat -c %a "$token"), not 600"
grep -qx "Exec=env FAS_TOKEN_FILE=$token fas-host --config /etc/fas09600/fas09600.ini" \
    "$root/home/ana/.local/share/applications/fas09600.desktop" || fail "the clerk's menu entry does not name her token"
health=$(curl -fsS -H "Authorization: Bearer $(cat "$token")" "http://127.0.0.1:$port/health")
[ "$(jq -r .user <<<"$health")" = ana ] || fail "/health with the clerk's token answered $health"
[ "$(curl -fsS "http://127.0.0.1:$port/health")" = '{"status":"ok"}' ] || fail "/health without a token says more"
echo "PASS: the operator's guide runs as written"
