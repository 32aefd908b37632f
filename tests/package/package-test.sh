#!/usr/bin/env bash
# Makes the Debian packages (server, desktop, common), checks them as Debian's
# tools see them (control fields, lintian, hardening, the server's maintainer
# scripts against a scratch system root), unpacks them into a scratch root with
# dpkg -x and runs the unpacked programs: fas-demo-data creates a fresh SQLite
# database, fas-appserver serves it on a free port (curl asks /health and
# GetFaturamento), fas-host opens the preview offscreen against that server,
# confirms the filter dialog and quits. Nothing from the build tree may be
# loaded on the way.
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
# has "A, B (>= 1), C" NAME: whether the list names the package.
has() { [[ ", $1," == *", $2"[\ ,]* ]]; }

step "packages"
"$cpack" --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log" >&2; fail "cpack did not make the packages"; }
declare -A deb
for name in server desktop common; do
    found=("$work"/out/fas09600-${name}_*.deb)
    [ ${#found[@]} -eq 1 ] && [ -f "${found[0]}" ] || fail "expected one fas09600-${name}_*.deb, found: ${found[*]}"
    deb[$name]=${found[0]}
    echo "$(basename "${deb[$name]}"): $(du -h "${deb[$name]}" | cut -f1)"
done
[ "$(find "$work/out" -maxdepth 1 -name '*.deb' | wc -l)" -eq 3 ] || fail "more than three packages: $(ls "$work/out")"

step "control"
field() { dpkg-deb -f "${deb[$1]}" "$2"; }
same_common="fas09600-common (= $version-1)"
for name in server desktop common; do
    [ "$(field "$name" Package)" = "fas09600-$name" ] || fail "Package is $(field "$name" Package)"
    [ "$(field "$name" Version)" = "$version-1" ] || fail "Version is $(field "$name" Version), expected $version-1"
    [ -n "$(field "$name" Maintainer)" ] || fail "fas09600-$name has no Maintainer"
    echo "fas09600-$name Depends: $(field "$name" Depends)"
done
# name | must depend on | must not depend on (a GUI library on the server is a fault)
while IFS='|' read -r name wanted unwanted; do
    depends=$(field "$name" Depends)
    for dependency in $wanted; do
        has "$depends" "${dependency//+/ }" || fail "fas09600-$name: Depends lacks ${dependency//+/ }"
    done
    for dependency in $unwanted; do
        ! has "$depends" "$dependency" || fail "fas09600-$name depends on $dependency"
    done
done <<TABLE
server|${same_common// /+} adduser libqt6sql6-sqlite libqt6sql6 libqt6core6 libsystemd0 libc6|libqt6widgets6 libqt6gui6 qt6-qpa-plugins libqt6network6
desktop|${same_common// /+} libqt6sql6-sqlite qt6-qpa-plugins qt6-translations-l10n libqt6widgets6 libqt6gui6 libqt6sql6 libc6|
common|libqt6core6 libqt6sql6 libc6|libqt6widgets6 libqt6gui6 qt6-qpa-plugins
TABLE
dpkg-deb -e "${deb[server]}" "$work/control"
grep -qx /etc/fas09600/fas09600.ini "$work/control/conffiles" || fail "the configuration is not a conffile"
for script in postinst prerm postrm; do
    [ -x "$work/control/$script" ] || fail "$script missing or not executable"
    sh -n "$work/control/$script" || fail "$script is not valid sh"
done
grep -q 'adduser --system' "$work/control/postinst" || fail "postinst does not create the system user"
grep -q '/usr/bin/fas-admin --database "$database" init' "$work/control/postinst" || fail "postinst does not run the installed fas-admin init"

step "lintian"
command -v lintian >/dev/null || fail "lintian is not installed (scripts/install-deps.sh)"
lintian_status=0
lintian --fail-on error,warning --tag-display-limit 0 "${deb[@]}" >"$work/lintian.log" 2>&1 || lintian_status=$?
cat "$work/lintian.log"
[ "$lintian_status" -eq 0 ] || fail "lintian found errors or warnings (status $lintian_status)"

step "contents"
root=$work/root
for name in server desktop common; do
    dpkg -x "${deb[$name]}" "$root"
    dpkg-deb -c "${deb[$name]}" | awk '{ print $1, $2, $6 }' | sed 's|\./|/|' >"$work/$name.files"
done
private=
for dir in "$root"/usr/lib/fas09600 "$root"/usr/lib/*/fas09600; do
    [ -d "$dir" ] && private=${dir#"$root"/}
done
[ -n "$private" ] || fail "no private library directory under usr/lib"
# package | files it must hold
while IFS='|' read -r name files; do
    for file in $files; do
        file=${file//@private@/$private}
        file=${file//@version@/$version}
        grep -q " /$file\$" "$work/$name.files" || fail "/$file is not in fas09600-$name"
        [ -f "$root/$file" ] || [ -L "$root/$file" ] || fail "/$file is not a file"
    done
done <<'TABLE'
server|usr/bin/fas-appserver usr/bin/fas-admin usr/bin/fas-demo-data usr/lib/systemd/system/fas-appserver.service usr/lib/systemd/system/fas-appserver@.service etc/fas09600/fas09600.ini usr/share/fas09600/nginx/fas09600.conf usr/share/man/man1/fas-appserver.1.gz usr/share/man/man1/fas-admin.1.gz usr/share/man/man1/fas-demo-data.1.gz usr/share/doc/fas09600-server/copyright usr/share/doc/fas09600-server/changelog.Debian.gz
desktop|usr/bin/fas-host @private@/fas-host @private@/libPkg_fas09600.so.@version@ @private@/libkor.so @private@/libfasui.so usr/share/applications/fas09600.desktop usr/share/icons/hicolor/scalable/apps/fas09600.svg usr/share/fas09600/guide/guia-do-usuario.md usr/share/fas09600/guide/images/previa.png usr/share/man/man1/fas-host.1.gz usr/share/doc/fas09600-desktop/copyright usr/share/doc/fas09600-desktop/changelog.Debian.gz
common|@private@/libfasdata.so @private@/libfassql.so @private@/libfasbilling.so usr/share/doc/fas09600/README.md usr/share/doc/fas09600/docs/architecture.md usr/share/doc/fas09600/docs/operator.md usr/share/doc/fas09600/docs/examples/import/produtos.csv usr/share/doc/fas09600-common/copyright usr/share/doc/fas09600-common/changelog.Debian.gz
TABLE
# The configuration may name the token file: root writes it, the group reads it
# (postinst gives it to the group fas09600, which does not exist when it is built).
grep -qx -- '-rw-r----- root/root /etc/fas09600/fas09600.ini' "$work/server.files" ||
    fail "the configuration is not mode 0640, owner root: $(grep fas09600.ini "$work/server.files")"
! grep -q ' /usr/share/applications/\| /usr/share/icons/' "$work/server.files" || fail "the server package holds desktop files"
[ "$(readlink -f "$root/usr/bin/fas-host")" = "$(readlink -f "$root/$private/fas-host")" ] ||
    fail "usr/bin/fas-host does not lead to $private/fas-host"
[ "$(readlink "$root/$private/libPkg_fas09600.so")" = libPkg_fas09600.so.6 ] &&
    [ "$(readlink "$root/$private/libPkg_fas09600.so.6")" = "libPkg_fas09600.so.$version" ] ||
    fail "the module's links are wrong"
[ ! -e "$root/var/lib/fas09600" ] || fail "the data directory belongs to postinst, not to the package"
grep -qx 'Exec=fas-host --config /etc/fas09600/fas09600.ini' "$root/usr/share/applications/fas09600.desktop" ||
    fail "the menu entry does not start the host on the system's configuration"

unit=$root/usr/lib/systemd/system/fas-appserver.service
for line in 'ExecStart=/usr/bin/fas-appserver --config /etc/fas09600/fas09600.ini' User=fas09600 Type=notify \
            NoNewPrivileges=yes ProtectSystem=strict ReadWritePaths=/var/lib/fas09600 PrivateTmp=yes; do
    grep -qx "$line" "$unit" || fail "the unit lacks $line"
done
# The template: the same unit, one server per loopback port.
template=$root/usr/lib/systemd/system/fas-appserver@.service
grep -qx 'ExecStart=/usr/bin/fas-appserver --config /etc/fas09600/fas09600.ini --listen 127.0.0.1:%i' "$template" ||
    fail "the template unit does not listen on its instance's port"
diff <(grep -v '^ExecStart=\|^Description=' "$unit") <(grep -v '^ExecStart=\|^Description=' "$template") >/dev/null ||
    fail "the template unit differs from the unit beyond its command and description"
# systemd checks the unit's keys and values offline; the program is the unpacked one.
if command -v systemd-analyze >/dev/null; then
    sed "s|^ExecStart=/usr/bin/|ExecStart=$root/usr/bin/|" "$unit" >"$work/fas-appserver.service"
    sed "s|^ExecStart=/usr/bin/|ExecStart=$root/usr/bin/|" "$template" >"$work/fas-appserver@9601.service"
    verdict=$(systemd-analyze verify "$work/fas-appserver.service" "$work/fas-appserver@9601.service" 2>&1) &&
        [ -z "$verdict" ] || fail "systemd-analyze verify: $verdict"
else
    echo "systemd-analyze is not installed here: the unit's keys are not checked"
fi
grep -qx 'url=/var/lib/fas09600/fas09600.sqlite' "$root/etc/fas09600/fas09600.ini" ||
    fail "the default configuration does not keep the database in /var/lib/fas09600"
grep -qx 'listen=127.0.0.1:9600' "$root/etc/fas09600/fas09600.ini" ||
    fail "the default configuration does not listen on loopback"

step "maintainer scripts"
# The server's postinst and postrm run against a scratch system root
# (DPKG_ROOT, honoured by deb-systemd-helper); the commands that would change
# this machine (adduser, chown, runuser ...) are stand-ins that only log.
stubs=$work/stubs
mkdir -p "$stubs"
for command in adduser getent install chown chmod runuser dpkg-statoverride systemctl deb-systemd-invoke; do
    printf '#!/bin/sh\necho "${0##*/} $*" >>"$STUB_LOG"\n[ "${0##*/} $1" != "dpkg-statoverride --list" ]\n' \
        >"$stubs/$command"
    chmod +x "$stubs/$command"
done
# deb-systemd-helper works only when dpkg runs the script.
export DPKG_MAINTSCRIPT_PACKAGE=fas09600-server
maintainer() { # sysroot script arguments...
    local sysroot=$1 script=$2
    shift 2
    DPKG_ROOT=$sysroot DPKG_MAINTSCRIPT_NAME=$script STUB_LOG=$sysroot/commands.log \
        PATH="$stubs:/usr/sbin:/usr/bin:/sbin:/bin" sh "$work/control/$script" "$@" || fail "$script $* failed"
}
helper() { DPKG_ROOT=$1 DPKG_MAINTSCRIPT_NAME=postinst deb-systemd-helper "${@:2}" >/dev/null || fail "deb-systemd-helper ${*:2}"; }
# case | what happens before the configure step | enabled after it
while IFS='|' read -r case before expected; do
    sysroot=$work/sysroot-${case// /-}
    mkdir -p "$sysroot/usr/lib/systemd/system"
    cp "$unit" "$sysroot/usr/lib/systemd/system/"
    eval "$before"
    maintainer "$sysroot" postinst configure ""
    wants=$sysroot/etc/systemd/system/multi-user.target.wants/fas-appserver.service
    enabled=no
    [ -L "$wants" ] && [ ! -L "$sysroot/etc/systemd/system/fas-appserver.service" ] && enabled=yes
    [ "$enabled" = "$expected" ] || fail "$case: the service is enabled: $enabled, expected $expected"
    grep -qx 'dpkg-statoverride --update --add root fas09600 0640 /etc/fas09600/fas09600.ini' \
        "$sysroot/commands.log" || fail "$case: postinst does not give the configuration to the group"
    echo "$case: enabled=$enabled"
done <<'TABLE'
first installation||no
reinstalled after the administrator enabled it|maintainer "$sysroot" postinst configure ""; helper "$sysroot" enable fas-appserver.service; maintainer "$sysroot" postrm remove|yes
reinstalled after the administrator left it disabled|maintainer "$sysroot" postinst configure ""; maintainer "$sysroot" postrm remove|no
reinstalled after the administrator disabled it|maintainer "$sysroot" postinst configure ""; helper "$sysroot" enable fas-appserver.service; helper "$sysroot" disable fas-appserver.service; maintainer "$sysroot" postrm remove|no
TABLE

step "libraries and hardening"
elves=()
while IFS= read -r -d '' file; do
    [ "$(head -c4 "$file" | od -An -c | tr -d ' ')" = '177ELF' ] && elves+=("$file")
done < <(find "$root" -type f -print0)
[ ${#elves[@]} -ge 9 ] || fail "only ${#elves[@]} ELF files in the packages"
for elf in "${elves[@]}"; do
    runpath=$(readelf -d "$elf" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p;s/.*(RPATH).*\[\(.*\)\]/\1/p')
    [[ "$runpath" != *"$build"* ]] || fail "$elf still looks in the build tree: $runpath"
    resolved=$(env -u LD_LIBRARY_PATH ldd "$elf")
    ! grep -q 'not found' <<<"$resolved" || fail "$elf: $(grep 'not found' <<<"$resolved")"
    while read -r library path; do
        [[ "$path" == "$root"/* ]] || fail "$elf takes $library from $path, not from the package"
    done < <(awk '/lib(fas|kor|Pkg_)/ {print $1, $3}' <<<"$resolved")
    # Debian's hardening: read-only relocations resolved at start, a stack protector.
    # (Whole outputs read first: grep -q would stop readelf with SIGPIPE under pipefail.)
    segments=$(readelf -lW "$elf")
    dynamic=$(readelf -dW "$elf")
    symbols=$(readelf -sW --dyn-syms "$elf")
    grep -q GNU_RELRO <<<"$segments" || fail "$elf has no RELRO"
    grep -Eq 'FLAGS.*\b(BIND_NOW|NOW)\b' <<<"$dynamic" || fail "$elf is not linked with BIND_NOW"
    grep -q '__stack_chk_fail' <<<"$symbols" || fail "$elf has no stack protector"
done
for program in usr/bin/fas-appserver usr/bin/fas-demo-data "$private/fas-host"; do
    symbols=$(readelf -sW --dyn-syms "$root/$program")
    grep -Eq '__[a-z_]+_chk@' <<<"$symbols" || fail "$program has no fortified calls"
    header=$(readelf -hW "$root/$program")
    grep -q 'DYN' <<<"$header" || fail "$program is not position-independent"
done

export -n LD_LIBRARY_PATH
unset LD_LIBRARY_PATH

step "--version"
programs=(usr/bin/fas-appserver usr/bin/fas-admin usr/bin/fas-demo-data usr/bin/fas-host)
for program in "${programs[@]}"; do
    # No display: the host must answer without one.
    answer=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/$program" --version 2>&1) ||
        fail "$program --version failed: $answer"
    [ "$answer" = "$(basename "$program") $version" ] || fail "$program --version answered: $answer"
done
help=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/usr/bin/fas-host" --help 2>&1) ||
    fail "fas-host --help failed without a display: $help"
grep -q -- '--config' <<<"$help" || fail "fas-host --help does not list its options: $help"

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

echo "PASS: the packages install and their programs run from the scratch root"
