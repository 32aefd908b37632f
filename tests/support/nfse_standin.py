#!/usr/bin/env python3
"""A stand-in for the national NFS-e service, for the tests.

HTTPS with the client certificate checked against --client-ca; every DPS and event
request is checked against the national schema (xmllint) and its signature
(xmlsec1 --verify) before it is answered. What it answers is scripted by --script, a
JSON file: {"dps": [action, ...], "event": [action, ...]}, one action per new
document, in order (the last one repeats). Actions: "authorize", "register",
{"reject": [[code, text], ...]}, "5xx", "stall" (answers after --stall seconds),
"drop" (keeps the note, then closes the connection without answering). A DPS whose
Id already made a note is answered with E0014, as the service does. Each request
is one JSON line in --log. The port is written to --port-file.
"""
import argparse, base64, gzip, http.server, json, os, re, ssl, subprocess, tempfile, threading, time
from datetime import datetime, timezone

NS = "http://www.sped.fazenda.gov.br/nfse"


def parse_args():
    p = argparse.ArgumentParser()
    for name in ("cert", "key", "client-ca", "schemas", "script", "log", "port-file"):
        p.add_argument("--" + name, required=True)
    p.add_argument("--stall", type=float, default=5.0)
    p.add_argument("--no-verify", action="store_true", help="skip schema and signature checks")
    return p.parse_args()


ARGS = parse_args()
LOCK = threading.Lock()
NOTES = {}      # DPS Id -> (access key, NFS-e XML)
EVENTS = {}     # access key -> event XML
COUNTERS = {"dps": 0, "event": 0, "note": 0}


def action(kind):
    with open(ARGS.script) as f:
        script = json.load(f).get(kind) or (["authorize"] if kind == "dps" else ["register"])
    with LOCK:
        index = COUNTERS[kind]
        COUNTERS[kind] += 1
    return script[min(index, len(script) - 1)]


def log(entry):
    with LOCK, open(ARGS.log, "a") as f:
        f.write(json.dumps(entry) + "\n")


def check(xml, schema, element):
    """The problems of a signed document; empty when it validates and verifies."""
    if ARGS.no_verify:
        return ""
    with tempfile.NamedTemporaryFile(suffix=".xml", delete=False) as f:
        f.write(xml)
        path = f.name
    try:
        lint = subprocess.run(["xmllint", "--noout", "--schema", os.path.join(ARGS.schemas, schema), path],
                              capture_output=True, text=True)
        if lint.returncode != 0:
            return "schema: " + lint.stderr.strip()
        verify = subprocess.run(["xmlsec1", "--verify", "--trusted-pem", ARGS.client_ca,
                                 "--id-attr:Id", NS + ":" + element, path], capture_output=True, text=True)
        if verify.returncode != 0:
            return "signature: " + verify.stderr.strip()
        return ""
    finally:
        os.unlink(path)


def pack(xml):
    return base64.b64encode(gzip.compress(xml)).decode()


def envelope(**fields):
    body = {"tipoAmbiente": 2, "versaoAplicativo": "standin-1.0",
            "dataHoraProcessamento": datetime.now(timezone.utc).astimezone().isoformat()}
    body.update(fields)
    return body


def errors(pairs):
    return envelope(erros=[{"Codigo": c, "Descricao": d, "Complemento": None} for c, d in pairs])


def make_note(dps_id, dps_xml):
    with LOCK:
        COUNTERS["note"] += 1
        number = COUNTERS["note"]
    # municipality (7), environment (1), kind of registration (1), registration (14),
    # note number (13), year and month (4), a code (9) and a check digit (1)
    key = dps_id[3:10] + "2" + dps_id[10:25] + "%013d" % number + time.strftime("%y%m") + "%09d" % number + "0"
    inner = re.sub(rb"^<\?xml[^>]*\?>\s*", b"", dps_xml)
    note = (b'<?xml version="1.0" encoding="UTF-8"?><NFSe xmlns="' + NS.encode() + b'" versao="1.01">'
            b'<infNFSe Id="NFS' + key.encode() + b'"><nNFSe>' + str(number).encode() + b'</nNFSe>'
            + inner + b"</infNFSe></NFSe>")
    return key, note


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    disable_nagle_algorithm = True

    def log_message(self, *args):
        pass

    def answer(self, status, body):
        data = json.dumps(body).encode()
        self.send_response(status)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def document(self, field):
        length = int(self.headers.get("Content-Length", "0"))
        try:
            return gzip.decompress(base64.b64decode(json.loads(self.rfile.read(length))[field]))
        except Exception:
            return None

    def do_POST(self):
        path = self.path.split("/SefinNacional", 1)[-1]
        match = re.fullmatch(r"/nfse/(\d{50})/eventos", path)
        if path == "/nfse":
            self.receive_dps()
        elif match:
            self.receive_event(match.group(1))
        else:
            self.answer(404, errors([("E404", "recurso inexistente")]))

    def do_GET(self):
        path = self.path.split("/SefinNacional", 1)[-1]
        dps = re.fullmatch(r"/dps/(DPS\d{42})", path)
        nfse = re.fullmatch(r"/nfse/(\d{50})", path)
        log({"kind": "get", "path": path})
        with LOCK:
            by_key = {k: x for k, x in NOTES.values()}
            found = NOTES.get(dps.group(1)) if dps else None
        if found:
            self.answer(200, envelope(idDps=dps.group(1), chaveAcesso=found[0]))
        elif nfse and nfse.group(1) in by_key:
            self.answer(200, envelope(chaveAcesso=nfse.group(1), nfseXmlGZipB64=pack(by_key[nfse.group(1)])))
        else:
            self.answer(404, envelope(erro={"codigo": "E2406", "descricao": "Documento não encontrado."}))

    def receive_dps(self):
        xml = self.document("dpsXmlGZipB64")
        if xml is None:
            log({"kind": "dps", "problem": "unreadable"})
            return self.answer(400, errors([("E1225", "Falha ao descompactar XML Zip B64.")]))
        found = re.search(rb'<infDPS[^>]*Id="([^"]+)"', xml)
        dps_id = found.group(1).decode() if found else ""
        problem = check(xml, "DPS_v1.01.xsd", "infDPS")
        with LOCK:
            known = NOTES.get(dps_id)
        if problem:
            log({"kind": "dps", "id": dps_id, "problem": problem})
            return self.answer(400, errors([("E1226", "Estrutura mal formada: " + problem[:200])]))
        if known:
            log({"kind": "dps", "id": dps_id, "outcome": "duplicate"})
            return self.answer(400, errors([("E0014", "DPS já utilizada para gerar uma NFS-e.")]))
        act = action("dps")
        log({"kind": "dps", "id": dps_id, "outcome": act if isinstance(act, str) else "reject"})
        if isinstance(act, dict):
            return self.answer(400, errors(act["reject"]))
        if act == "5xx":
            return self.answer(503, {"mensagem": "Serviço indisponível"})
        if act == "stall":
            time.sleep(ARGS.stall)
            return self.answer(503, {"mensagem": "tempo esgotado"})
        key, note = make_note(dps_id, xml)
        with LOCK:
            NOTES[dps_id] = (key, note)
        if act == "drop":
            self.close_connection = True
            self.connection.shutdown(2)
            return
        self.answer(201, envelope(idDps=dps_id, chaveAcesso=key, nfseXmlGZipB64=pack(note), alertas=None))

    def receive_event(self, key):
        xml = self.document("pedidoRegistroEventoXmlGZipB64")
        problem = "unreadable" if xml is None else check(xml, "pedRegEvento_v1.01.xsd", "infPedReg")
        if problem:
            log({"kind": "event", "key": key, "problem": problem})
            return self.answer(400, errors([("E1226", "Estrutura mal formada: " + problem[:200])]))
        act = action("event")
        log({"kind": "event", "key": key, "outcome": act if isinstance(act, str) else "refuse"})
        if isinstance(act, dict):
            return self.answer(400, errors(act["reject"]))
        if act == "5xx":
            return self.answer(503, {"mensagem": "Serviço indisponível"})
        event = (b'<?xml version="1.0" encoding="UTF-8"?><evento xmlns="' + NS.encode() + b'" versao="1.01">'
                 b'<infEvento Id="EVT' + key.encode() + b'101101001">'
                 + re.sub(rb"^<\?xml[^>]*\?>\s*", b"", xml) + b"</infEvento></evento>")
        with LOCK:
            EVENTS[key] = event
        self.answer(201, envelope(eventoXmlGZipB64=pack(event)))


def main():
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(ARGS.cert, ARGS.key)
    context.verify_mode = ssl.CERT_REQUIRED
    context.load_verify_locations(ARGS.client_ca)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    server.socket = context.wrap_socket(server.socket, server_side=True)
    with open(ARGS.port_file + ".tmp", "w") as f:
        f.write(str(server.server_address[1]))
    os.rename(ARGS.port_file + ".tmp", ARGS.port_file)
    server.serve_forever()


if __name__ == "__main__":
    main()
