#!/usr/bin/env bash
# Makes the Debian package, unpacks it into a scratch root with dpkg -x and runs
# the unpacked programs: fas-demo-data creates a fresh SQLite database,
# fas-appserver serves it on a free port (curl asks /health and GetFaturamento),
# fas-host opens the preview offscreen against that server, confirms the filter
# dialog and quits. Nothing from the build tree may be loaded on the way.
#
# usage: package-test.sh CPACK BUILD_DIR VERSION
set -euo pipefail
cpack=$1
build=$2
version=$3

work=$(mktemp -d "${TMPDIR:-/tmp}/fas-package.XXXXXX")
server=
cleanup() {
    if [ -n "$server" ]; then
        kill "$server" 2>/dev/null || true
        wait "$server" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}
step() { echo "--- $*"; }

step "package"
"$cpack" --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log" >&2; fail "cpack did not make the package"; }
debs=("$work"/out/fas09600_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one fas09600_*.deb, found: ${debs[*]}"
deb=${debs[0]}
echo "$(basename "$deb"): $(du -h "$deb" | cut -f1)"

step "control"
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = fas09600 ] || fail "Package is $(field Package)"
[ "$(field Version)" = "$version-1" ] || fail "Version is $(field Version), expected $version-1"
[ -n "$(field Maintainer)" ] || fail "no Maintainer"
depends=$(field Depends)
echo "Depends: $depends"
for dependency in adduser libqt6sql6-sqlite qt6-qpa-plugins libqt6widgets6 libqt6sql6 libc6; do
    [[ ", $depends," == *", $dependency"[\ ,]* ]] || fail "Depends lacks $dependency"
done
dpkg-deb -e "$deb" "$work/control"
grep -qx /etc/fas09600/fas09600.ini "$work/control/conffiles" || fail "the configuration is not a conffile"
for script in postinst prerm postrm; do
    [ -x "$work/control/$script" ] || fail "$script missing or not executable"
    sh -n "$work/control/$script" || fail "$script is not valid sh"
done
grep -q 'adduser --system' "$work/control/postinst" || fail "postinst does not create the system user"
grep -q '/usr/bin/fas-admin --database "$database" init' "$work/control/postinst" || fail "postinst does not run the installed fas-admin init"

step "contents"
root=$work/root
dpkg -x "$deb" "$root"
private=
for dir in "$root"/usr/lib/fas09600 "$root"/usr/lib/*/fas09600; do
    [ -d "$dir" ] && private=${dir#"$root"/}
done
[ -n "$private" ] || fail "no private library directory under usr/lib"
for file in usr/bin/fas-appserver usr/bin/fas-admin usr/bin/fas-demo-data "$private/fas-host" \
            "$private/libPkg_fas09600.so.$version" "$private/libfasdata.so" "$private/libfassql.so" \
            "$private/libfasui.so" "$private/libkor.so" "$private/libfasbilling.so" \
            usr/lib/systemd/system/fas-appserver.service etc/fas09600/fas09600.ini \
            usr/share/doc/fas09600/README.md usr/share/doc/fas09600/docs/architecture.md; do
    [ -f "$root/$file" ] || fail "$file is not in the package"
done
[ "$(readlink -f "$root/usr/bin/fas-host")" = "$(readlink -f "$root/$private/fas-host")" ] ||
    fail "usr/bin/fas-host does not lead to $private/fas-host"
[ "$(readlink "$root/$private/libPkg_fas09600.so")" = libPkg_fas09600.so.6 ] &&
    [ "$(readlink "$root/$private/libPkg_fas09600.so.6")" = "libPkg_fas09600.so.$version" ] ||
    fail "the module's links are wrong"
[ ! -e "$root/var/lib/fas09600" ] || fail "the data directory belongs to postinst, not to the package"

unit=$root/usr/lib/systemd/system/fas-appserver.service
for line in 'ExecStart=/usr/bin/fas-appserver --config /etc/fas09600/fas09600.ini' User=fas09600 \
            NoNewPrivileges=yes ProtectSystem=strict ReadWritePaths=/var/lib/fas09600 PrivateTmp=yes; do
    grep -qx "$line" "$unit" || fail "the unit lacks $line"
done
# systemd checks the unit's keys and values offline; the program is the unpacked one.
if command -v systemd-analyze >/dev/null; then
    sed "s|^ExecStart=/usr/bin/|ExecStart=$root/usr/bin/|" "$unit" >"$work/fas-appserver.service"
    verdict=$(systemd-analyze verify "$work/fas-appserver.service" 2>&1) && [ -z "$verdict" ] ||
        fail "systemd-analyze verify: $verdict"
else
    echo "systemd-analyze is not installed here: the unit's keys are not checked"
fi
grep -qx 'url=/var/lib/fas09600/fas09600.sqlite' "$root/etc/fas09600/fas09600.ini" ||
    fail "the default configuration does not keep the database in /var/lib/fas09600"

step "libraries"
elves=()
while IFS= read -r -d '' file; do
    [ "$(head -c4 "$file" | od -An -c | tr -d ' ')" = '177ELF' ] && elves+=("$file")
done < <(find "$root" -type f -print0)
[ ${#elves[@]} -ge 9 ] || fail "only ${#elves[@]} ELF files in the package"
for elf in "${elves[@]}"; do
    runpath=$(readelf -d "$elf" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p;s/.*(RPATH).*\[\(.*\)\]/\1/p')
    [[ "$runpath" != *"$build"* ]] || fail "$elf still looks in the build tree: $runpath"
    resolved=$(env -u LD_LIBRARY_PATH ldd "$elf")
    ! grep -q 'not found' <<<"$resolved" || fail "$elf: $(grep 'not found' <<<"$resolved")"
    while read -r library path; do
        [[ "$path" == "$root"/* ]] || fail "$elf takes $library from $path, not from the package"
    done < <(awk '/lib(fas|kor|Pkg_)/ {print $1, $3}' <<<"$resolved")
done

export -n LD_LIBRARY_PATH
unset LD_LIBRARY_PATH

step "fas-demo-data"
database=$work/data/fas09600.sqlite
mkdir -p "$work/data"
"$root/usr/bin/fas-demo-data" --database "$database" --rows 300 ||
    fail "the installed fas-demo-data could not create the database"

step "fas-appserver"
"$root/usr/bin/fas-appserver" --database "$database" --listen 127.0.0.1:0 >"$work/server.out" 2>"$work/server.err" &
server=$!
port=
for _ in $(seq 1 600); do
    port=$(awk 'match($0, /escutando em http:\/\/127\.0\.0\.1:[0-9]+/) {
                    address = substr($0, RSTART, RLENGTH); sub(/.*:/, "", address); print address; exit }' \
                "$work/server.out" "$work/server.err")
    [ -n "$port" ] && break
    kill -0 "$server" 2>/dev/null || { cat "$work/server.err" >&2; fail "the installed fas-appserver stopped"; }
    sleep 0.1
done
[ -n "$port" ] || fail "the installed fas-appserver did not say its port"
echo "port $port"
health=$(curl -sS --max-time 30 "http://127.0.0.1:$port/health") || fail "no answer from /health"
[ "$(jq -r .status <<<"$health")" = ok ] && [ "$(jq -r .database <<<"$health")" = sqlite ] ||
    fail "/health answered $health"
request='{"jsonrpc":"2.0","id":1,"method":"GetFaturamento","params":
  ["2000-01-01","2099-12-31","_1__2__3__5__6_","","T","","T","T","T"]}'
answer=$(curl -sS --max-time 60 -H 'Content-Type: application/json' --data "$request" \
    "http://127.0.0.1:$port/FAS09600.rdmFaturamento") || fail "no answer from GetFaturamento"
rows=$(jq '.result.rows | length' <<<"$answer" 2>/dev/null) || fail "GetFaturamento answered ${answer:0:300}"
[ "$rows" -gt 0 ] || fail "GetFaturamento gave no rows on the demo data: ${answer:0:300}"
echo "GetFaturamento: $rows rows"

step "fas-host"
calls_before=$(cat "$work/server.out" "$work/server.err" | grep -c GetFaturamento || true)
# The filter dialog opens modally with the preview; its confirm button exists
# only when the module was loaded. Generous delays: the machine may be busy.
host_status=0
HOME=$work XDG_RUNTIME_DIR=$work QT_QPA_PLATFORM=offscreen timeout 120 "$root/usr/bin/fas-host" \
    --database "$database" --server "127.0.0.1:$port" --open \
    --click 6000:sbtConfirma --screenshot "9000:$work/host.png" --quit-after 10000 \
    >"$work/host.out" 2>"$work/host.err" || host_status=$?
cat "$work/host.err"
[ "$host_status" -eq 0 ] || fail "the installed fas-host ended with status $host_status"
grep -q 'click sbtConfirma done' "$work/host.err" || fail "the module's filter dialog never showed"
grep -q 'screenshot .* saved' "$work/host.err" || fail "no screenshot"
calls_after=$(cat "$work/server.out" "$work/server.err" | grep -c GetFaturamento || true)
[ "$calls_after" -gt "$calls_before" ] || fail "the host's confirm did not reach the server: $(tail -n 5 "$work/server.err")"

echo "PASS: the package installs and its programs run from the scratch root"
