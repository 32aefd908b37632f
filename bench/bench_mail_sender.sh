#!/usr/bin/env bash
# Messages per second of the mail sender to a local SMTP server (aiosmtpd), one
# connection kept open. Then the server alone, fed by Python's smtplib over one
# connection, for the server's own pace. Usage: bench_mail_sender.sh [N]
set -euo pipefail
build=${BUILD_DIR:-build}
n=${1:-1000}
"$build/bin/bench_mail_sender" "$n"
here=$(cd "$(dirname "$0")/.." && pwd)
dir=$(mktemp -d)
trap 'kill $pid 2>/dev/null; rm -rf "$dir"' EXIT
/usr/bin/python3 "$here/tests/support/mail_server.py" --folder "$dir/r" --port-file "$dir/port" &
pid=$!
while [ ! -s "$dir/port" ]; do sleep 0.1; done
/usr/bin/python3 - "$(cat "$dir/port")" "$n" <<'PY'
import smtplib, sys, time
from email.message import EmailMessage
port, n = int(sys.argv[1]), int(sys.argv[2])
s = smtplib.SMTP("127.0.0.1", port)
start = time.monotonic()
for i in range(n):
    m = EmailMessage()
    m["From"], m["To"], m["Subject"] = "faturamento@exemplo.com.br", "cliente%d@exemplo.com.br" % i, "Fatura nº %d" % i
    m.set_content("Segue a fatura nº %d.\n" % i)
    m.add_attachment(b"x" * 2048, maintype="application", subtype="pdf", filename="fatura-%d.pdf" % i)
    s.send_message(m)
s.quit()
t = time.monotonic() - start
print("the server alone (smtplib): %d messages in %.2f s: %.1f messages/s" % (n, t, n / t))
PY
