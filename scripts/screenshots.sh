#!/usr/bin/env bash
# Makes the pictures of the clerk's guide (docs/images/*.png) from the real
# screens: a demo database, the application server and fas-host on a virtual
# display (xvfb-run), driven by the host's --click and --screenshot and by key
# presses sent with xdotool. Run it again after a change of the screens.
#   build/ must hold a build (scripts/build.sh); BUILD_DIR=... another one.
#   SHOTS_DIR=... writes the pictures elsewhere (default docs/images).
# Each step waits long enough on a slow machine; SHOTS_STEP_MS stretches them.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
out=${SHOTS_DIR:-$root/docs/images}
step=${SHOTS_STEP_MS:-1500}
for program in fas-host fas-appserver fas-demo-data; do
  [ -x "$build/bin/$program" ] || { echo "screenshots: build first ($build/bin/$program)" >&2; exit 1; }
done
for tool in xvfb-run xdotool; do
  command -v "$tool" >/dev/null || { echo "screenshots: $tool is missing (scripts/install-deps.sh)" >&2; exit 1; }
done
mkdir -p "$out"
work=$(mktemp -d)
server=""
cleanup() {
  [ -n "$server" ] && kill "$server" 2>/dev/null && wait "$server" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

"$build/bin/fas-demo-data" --database "$work/demo.sqlite" --rows 300 >/dev/null
"$build/bin/fas-appserver" --database "$work/demo.sqlite" --listen 127.0.0.1:0 >"$work/server.out" 2>&1 &
server=$!
address=""
for _ in $(seq 1 100); do
  address=$(grep -o 'http://[0-9.]*:[0-9]*' "$work/server.out" | head -1 | sed 's#http://##' || true)
  [ -n "$address" ] && break
  sleep 0.1
done
[ -n "$address" ] || { echo "screenshots: the application server did not start" >&2; cat "$work/server.out" >&2; exit 1; }

# The timeline, in milliseconds after the host's start: the host's own clicks and
# pictures, and the keys the session below sends to the focused window.
t=$((2 * step))
host_args=(--database "$work/demo.sqlite" --server "$address" --open)
keys=()
# A host action after keys waits a step: the keys' clock may start up to half a
# second after the host's (xdotool's --sync looks twice a second).
after_keys=0
click() { [ "$after_keys" = 1 ] && t=$((t + step)); after_keys=0; host_args+=(--click "$t:$1"); t=$((t + 200)); }
shot() { t=$((t + step)); host_args+=(--screenshot "$t:$out/$1.png"); t=$((t + 300)); }
key() { keys+=("$t:$*"); t=$((t + 250)); after_keys=1; }

# The filter: every service type it offers (Manutenção is ticked already), the
# pending items of every company and client.
for box in chbMaoObra chbCustomizacao chbLicencaUso; do click "$box"; done
shot filtro
click sbtConfirma
t=$((t + step))
shot previa
key mouse 660 261 # the title "Valor Total": the rows by their totals
shot ordenado
key mouse 660 278 # back to the first row
key space; key Down; key space; key Down; key Down; key space
shot marcados
key mouse 200 350 # a cell of "Cliente": the find looks in the current column
click sbtProcurar
key type araujo; key Return
shot procurar
key Escape
click mnuExportar
shot exportar
key Escape
click sbtGerarNF
t=$((t + step))
shot gerado
key Return
key Return
shot formulario
# The history of generations, with the run just made, and the reversal's question.
click mnuHistorico
t=$((t + step))
shot historico
click sbtEstornarGeracao
key type Cliente pediu outra data
shot estorno
key Escape
click sbtAjuda
shot guia
host_args+=(--quit-after $((t + step)))

# The session on the virtual display: the host in the background, the keys at
# their moments (counted, like the host's, from the main window's showing), sent
# to whichever window has the focus.
cat > "$work/session.sh" <<'SESSION'
#!/usr/bin/env bash
set -u
host=$1; shift
keys_file=$1; shift
"$host" "$@" &
pid=$!
# The host's moments count from its window's showing; so do the keys.
xdotool search --sync --name '^Faturamento de Serviços$' >/dev/null
start=$(date +%s%3N)
while IFS= read -r entry; do
  at=${entry%%:*}; what=${entry#*:}
  now=$(( $(date +%s%3N) - start ))
  [ "$now" -lt "$at" ] && sleep "$(awk -v ms=$((at - now)) 'BEGIN { print ms / 1000 }')"
  case $what in
    type\ *) xdotool type --delay 50 "${what#type }" ;;
    mouse\ *) xdotool mousemove ${what#mouse } click 1 ;;
    *) xdotool key "$what" ;;
  esac
done < "$keys_file"
wait "$pid"
SESSION
printf '%s\n' "${keys[@]}" > "$work/keys"
HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" QT_QPA_PLATFORM=xcb LC_ALL=C.UTF-8 \
  xvfb-run -a -s "-screen 0 1120x780x24" bash "$work/session.sh" "$build/bin/fas-host" "$work/keys" "${host_args[@]}" \
  2>"$work/host.log" || true
if grep -q 'FAILED\|NOT FOUND' "$work/host.log" || ! grep -q 'screenshot' "$work/host.log"; then
  echo "screenshots: the host run went wrong:" >&2; cat "$work/host.log" >&2; exit 1
fi
grep 'screenshot\|click' "$work/host.log"
