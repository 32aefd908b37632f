#!/usr/bin/env python3
"""A real SMTP server for the tests (aiosmtpd), on 127.0.0.1.

Each message it accepts is kept in --folder as NNNN.eml (the bytes received) and
NNNN.json, what Python's own e-mail parser reads in it: the envelope, the decoded
headers, the text, and each attachment's name and type with its bytes in
NNNN-K.bin. With --cert/--key it offers STARTTLS and requires it (or, with --tls,
speaks TLS from the start); with --user/--password it requires that login. --script
is a JSON file {"rcpt": [action, ...]}: one action per RCPT command, in order, then
"ok": "ok", "450" (try later), "550" (no such mailbox), "stall" (answers after
--stall seconds). The port is written to --port-file once it listens.
"""
import argparse, asyncio, json, os, socket, ssl, threading
from email import policy
from email.parser import BytesParser

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult


def parse_args():
    p = argparse.ArgumentParser()
    p.add_argument("--folder", required=True)
    p.add_argument("--port-file", required=True)
    p.add_argument("--port", type=int, default=0)
    p.add_argument("--script")
    p.add_argument("--cert")
    p.add_argument("--key")
    p.add_argument("--tls", action="store_true")
    p.add_argument("--user")
    p.add_argument("--password")
    p.add_argument("--stall", type=float, default=5.0)
    return p.parse_args()


ARGS = parse_args()
LOCK = threading.Lock()
COUNTERS = {"rcpt": 0, "message": 0}


def next_action(kind):
    script = {}
    if ARGS.script:
        with open(ARGS.script) as f:
            script = json.load(f)
    actions = script.get(kind, [])
    with LOCK:
        index = COUNTERS[kind]
        COUNTERS[kind] += 1
    return actions[index] if index < len(actions) else "ok"


def summary(data, envelope, session, number):
    message = BytesParser(policy=policy.default).parsebytes(data)
    body = message.get_body(("plain",))
    attachments = []
    for k, part in enumerate(message.iter_attachments(), 1):
        name = "%04d-%d.bin" % (number, k)
        with open(os.path.join(ARGS.folder, name), "wb") as f:
            f.write(part.get_payload(decode=True))
        attachments.append({"filename": part.get_filename(), "type": part.get_content_type(), "file": name})
    return {"eml": "%04d.eml" % number, "mail_from": envelope.mail_from, "rcpt_tos": envelope.rcpt_tos, "tls": bool(session.ssl) or ARGS.tls,  # implicit TLS leaves session.ssl unset
           
            "login": session.auth_data.login.decode() if session.authenticated else "",
            "from": str(message["From"]), "to": str(message["To"]), "subject": str(message["Subject"]),
            "date": message["Date"].datetime.isoformat() if message["Date"] else None, "message_id": str(message["Message-ID"]),
            "body": body.get_content() if body else None, "attachments": attachments}


class Handler:
    async def handle_RCPT(self, server, session, envelope, address, options):
        action = next_action("rcpt")
        if action == "450":
            return "450 4.2.0 <%s>: caixa temporariamente indisponível, tente mais tarde" % address
        if action == "550":
            return "550 5.1.1 <%s>: caixa postal inexistente" % address
        if action == "stall":
            await asyncio.sleep(ARGS.stall)
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        with LOCK:
            COUNTERS["message"] += 1
            number = COUNTERS["message"]
        data = envelope.original_content or envelope.content
        with open(os.path.join(ARGS.folder, "%04d.eml" % number), "wb") as f:
            f.write(data)
        with open(os.path.join(ARGS.folder, "%04d.json" % number), "w") as f:
            json.dump(summary(data, envelope, session, number), f)
        return "250 2.0.0 Ok: recebida"


def authenticator(server, session, envelope, mechanism, auth_data):
    ok = auth_data.login.decode() == ARGS.user and auth_data.password.decode() == ARGS.password
    return AuthResult(success=ok, auth_data=auth_data)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def main():
    os.makedirs(ARGS.folder, exist_ok=True)
    port = ARGS.port or free_port()
    kwargs = {}
    context = None
    if ARGS.cert:
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(ARGS.cert, ARGS.key)
        if not ARGS.tls:
            kwargs.update(tls_context=context, require_starttls=True)
    if ARGS.user:
        # aiosmtpd offers AUTH under implicit TLS only when told the channel is safe
        kwargs.update(authenticator=authenticator, auth_required=True, auth_require_tls=not ARGS.tls)
    controller = Controller(Handler(), hostname="127.0.0.1", port=port,
                            ssl_context=context if ARGS.tls else None, **kwargs)
    controller.start()
    with open(ARGS.port_file + ".tmp", "w") as f:
        f.write(str(port))
    os.replace(ARGS.port_file + ".tmp", ARGS.port_file)
    threading.Event().wait()


main()
