#!/usr/bin/env python3
"""A stand-in for the wireless mail service, for tests.

provisioning_service.py <dir> [--watch PID]

Makes its certificates with `openssl` in <dir>: a test authority (ca.pem) and, under it,
a certificate for localhost, one for another name and an expired one; a self-issued
certificate and one from an authority nobody trusts. Serves on loopback ports:

  HTTP_PORT             plain HTTP
  HTTPS_PORT            HTTPS, certificate for localhost from the test authority
  HTTPS_WRONG_NAME_PORT certificate for another name
  HTTPS_EXPIRED_PORT    certificate that has expired
  HTTPS_SELF_PORT       self-issued certificate (unknown authority)
  HTTPS_OTHER_CA_PORT   certificate from an unknown authority that did not issue itself
  PROXY_PORT            a CONNECT proxy (each tunnel is logged to proxy.log)
  CLOSED_PORT           a port where nothing listens

and writes them, with CA_FILE, to <dir>/service.env. Every request is logged to
requests.log (one JSON object a line: path, headers, body). The answer follows the text of
<dir>/mode, read at each request:

  ok            /MobileReg: "0"; key requests: "<1000><Account Ready>"
  body:TEXT     status 200 and TEXT (\\n in TEXT is a line end)
  status:N      status N and a short body
  empty         status 200 and no body
  silent        no answer at all (the connection is held)
  close         the connection is closed without an answer
"""
import http.server
import json
import os
import select
import socket
import ssl
import subprocess
import sys
import threading
import time

DIR = os.path.abspath(sys.argv[1])
LOCK = threading.Lock()


def openssl(*args):
    subprocess.run(["openssl", *args], cwd=DIR, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)


def key_and_request(name, cn):
    openssl("req", "-new", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
            "-keyout", name + ".key", "-out", name + ".csr", "-subj", "/CN=" + cn)


def authority(name, cn):
    openssl("req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
            "-keyout", name + ".key", "-out", name + ".pem", "-subj", "/CN=" + cn, "-days", "30",
            "-addext", "basicConstraints=critical,CA:TRUE", "-addext", "keyUsage=critical,keyCertSign,cRLSign")


def signed(name, ca, san, start=None, end=None):
    ext = os.path.join(DIR, name + ".ext")
    with open(ext, "w") as f:
        f.write("subjectAltName=" + san + "\nbasicConstraints=CA:FALSE\n")
    if start is None:
        openssl("x509", "-req", "-in", name + ".csr", "-CA", ca + ".pem", "-CAkey", ca + ".key",
                "-CAcreateserial", "-days", "30", "-out", name + ".pem", "-extfile", ext)
        return
    # Fixed dates need the authority's own command and its small database.
    for f, text in (("index.txt", ""), ("serial", "1000\n")):
        with open(os.path.join(DIR, f), "w") as out:
            out.write(text)
    conf = os.path.join(DIR, "ca.cnf")
    with open(conf, "w") as f:
        f.write("[ca]\ndefault_ca=test\n[test]\ndatabase=%s/index.txt\nnew_certs_dir=%s\nserial=%s/serial\n"
                "certificate=%s/%s.pem\nprivate_key=%s/%s.key\ndefault_md=sha256\npolicy=any\n"
                "unique_subject=no\n[any]\ncommonName=supplied\n" % (DIR, DIR, DIR, DIR, ca, DIR, ca))
    openssl("ca", "-config", conf, "-batch", "-notext", "-startdate", start, "-enddate", end,
            "-in", name + ".csr", "-out", name + ".pem", "-extfile", ext)


def make_certificates():
    here = "DNS:localhost,IP:127.0.0.1"
    authority("ca", "Tessaline Test Authority")
    for name in ("good", "wrongname", "expired", "other"):
        key_and_request(name, "localhost")
    signed("good", "ca", here)
    key_and_request("wrongname", "elsewhere.test")
    signed("wrongname", "ca", "DNS:elsewhere.test")
    signed("expired", "ca", here, "20200101000000Z", "20200201000000Z")
    openssl("req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
            "-keyout", "self.key", "-out", "self.pem", "-subj", "/CN=localhost", "-days", "30",
            "-addext", "subjectAltName=" + here)
    authority("otherca", "Nobody Trusts Me")
    signed("other", "otherca", here)


def mode():
    try:
        with open(os.path.join(DIR, "mode")) as f:
            return f.read().strip()
    except OSError:
        return "ok"


class Service(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def do_POST(self):
        length = int(self.headers.get("Content-Length", "0") or 0)
        body = self.rfile.read(length).decode("latin-1") if length > 0 else ""
        with LOCK, open(os.path.join(DIR, "requests.log"), "a") as log:
            log.write(json.dumps({"path": self.path, "headers": dict(self.headers.items()), "body": body}) + "\n")
        m = mode()
        if m == "silent":
            time.sleep(60)
            return
        if m == "close":
            self.close_connection = True
            self.connection.shutdown(socket.SHUT_RDWR)
            return
        status, text = 200, ""
        if m == "ok":
            text = "0" if self.path == "/MobileReg" else "<1000><Account Ready>"
        elif m.startswith("body:"):
            text = m[5:].replace("\\n", "\n")
        elif m.startswith("status:"):
            status, text = int(m[7:]), "error"
        data = text.encode("latin-1")
        self.send_response(status)
        self.send_header("Content-Type", "text/plain")
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def __init__(self, tls=None):
        super().__init__(("127.0.0.1", 0), Service)
        self.tls = tls

    def get_request(self):
        conn, addr = self.socket.accept()
        if self.tls:
            conn.settimeout(10)
            try:
                conn = self.tls.wrap_socket(conn, server_side=True)
            except (ssl.SSLError, OSError):
                # The client refused the certificate: nothing more to say to it.
                conn.close()
                raise OSError("handshake refused")
        return conn, addr

    def handle_error(self, request, client_address):
        pass


def tls_context(name):
    ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    chain = os.path.join(DIR, name + ".pem")
    ctx.load_cert_chain(chain, os.path.join(DIR, name + ".key"))
    return ctx


def relay(a, b):
    try:
        while True:
            ready, _, _ = select.select([a, b], [], [], 60)
            if not ready:
                return
            for s in ready:
                data = s.recv(65536)
                if not data:
                    return
                (b if s is a else a).sendall(data)
    except OSError:
        pass
    finally:
        a.close()
        b.close()


def proxy_client(conn):
    head = b""
    while b"\r\n\r\n" not in head:
        data = conn.recv(4096)
        if not data:
            conn.close()
            return
        head += data
    line = head.split(b"\r\n", 1)[0].decode("latin-1")
    parts = line.split()
    with LOCK, open(os.path.join(DIR, "proxy.log"), "a") as log:
        log.write(line + "\n")
    if len(parts) != 3 or parts[0] != "CONNECT":
        conn.sendall(b"HTTP/1.1 405 Only CONNECT\r\nContent-Length: 0\r\n\r\n")
        conn.close()
        return
    host, _, port = parts[1].rpartition(":")
    try:
        upstream = socket.create_connection((host.strip("[]"), int(port)), timeout=10)
    except OSError:
        conn.sendall(b"HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\n\r\n")
        conn.close()
        return
    conn.sendall(b"HTTP/1.1 200 Connection established\r\n\r\n")
    upstream.settimeout(None)
    relay(conn, upstream)


def proxy_loop(listener):
    while True:
        conn, _ = listener.accept()
        threading.Thread(target=proxy_client, args=(conn,), daemon=True).start()


def main():
    os.makedirs(DIR, exist_ok=True)
    watch = int(sys.argv[sys.argv.index("--watch") + 1]) if "--watch" in sys.argv else None
    make_certificates()
    ports = {}
    servers = {"HTTP_PORT": Server()}
    for key, name in (("HTTPS_PORT", "good"), ("HTTPS_WRONG_NAME_PORT", "wrongname"),
                      ("HTTPS_EXPIRED_PORT", "expired"), ("HTTPS_SELF_PORT", "self"),
                      ("HTTPS_OTHER_CA_PORT", "other")):
        servers[key] = Server(tls_context(name))
    for key, server in servers.items():
        ports[key] = server.server_address[1]
        threading.Thread(target=server.serve_forever, daemon=True).start()
    listener = socket.socket()
    listener.bind(("127.0.0.1", 0))
    listener.listen(16)
    ports["PROXY_PORT"] = listener.getsockname()[1]
    threading.Thread(target=proxy_loop, args=(listener,), daemon=True).start()
    closed = socket.socket()
    closed.bind(("127.0.0.1", 0))  # bound, never listening: connections are refused
    ports["CLOSED_PORT"] = closed.getsockname()[1]
    env = os.path.join(DIR, "service.env")
    with open(env + ".tmp", "w") as f:
        for key, port in ports.items():
            f.write("%s=%d\n" % (key, port))
        f.write("CA_FILE=%s\n" % os.path.join(DIR, "ca.pem"))
    os.rename(env + ".tmp", env)
    while True:
        time.sleep(0.5)
        if watch is not None:
            try:
                os.kill(watch, 0)
            except OSError:
                return


if __name__ == "__main__":
    main()
