"""HTTPS servers on loopback that answer for real provider host names.

A throw-away CA issues a certificate for the names a test plays; the program trusts the CA
through SSL_CERT_FILE and reaches the servers through VEXA_TEST_HTTP_CONNECT_TO, which sends
requests for "host:443" to the loopback port while the URL, the TLS server name and the
certificate check stay those of the real host. No user setting does this; only tests set it.

    ca = TestCA()
    with HttpsServer(ca, ["autoconfig.example.test"], routes) as server:
        env = {"SSL_CERT_FILE": ca.bundle(), "VEXA_TEST_HTTP_CONNECT_TO": server.connect_to()}

`routes` maps a path (without the query) to a reply: a (status, body) or (status, body,
headers) tuple, or a callable taking the Request and returning such a tuple, or None to hold the
connection without answering (a stalled server). Unknown paths get 404.
"""
import http.server
import os
import secrets
import shutil
import ssl
import subprocess
import tempfile
import threading
import time
import urllib.parse


def _openssl(*args, cwd):
    subprocess.run(["openssl", *args], cwd=cwd, check=True, capture_output=True)


class TestCA:
    """A CA in a temporary directory; `issue` makes a server certificate for some names."""

    def __init__(self):
        self.dir = tempfile.mkdtemp(prefix="vexa-ca-")
        ec = ["-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"]
        self._ec = ec
        _openssl("req", "-x509", *ec, "-keyout", "ca.key", "-out", "ca.pem", "-days", "3",
                 "-subj", "/CN=Vexa Test HTTPS CA", "-addext",
                 "basicConstraints=critical,CA:TRUE", "-addext",
                 "keyUsage=critical,keyCertSign,cRLSign", cwd=self.dir)
        self.ca_file = os.path.join(self.dir, "ca.pem")
        self._count = 0

    def issue(self, names):
        self._count += 1
        stem = f"server{self._count}"
        sans = ",".join(f"DNS:{n}" for n in names) + ",IP:127.0.0.1"
        with open(os.path.join(self.dir, stem + ".ext"), "w") as f:
            f.write("basicConstraints=critical,CA:FALSE\nkeyUsage=critical,digitalSignature\n"
                    f"extendedKeyUsage=serverAuth\nsubjectAltName={sans}\n")
        _openssl("req", "-new", *self._ec, "-keyout", stem + ".key", "-out", stem + ".csr",
                 "-subj", f"/CN={names[0]}", cwd=self.dir)
        _openssl("x509", "-req", "-in", stem + ".csr", "-CA", "ca.pem", "-CAkey", "ca.key",
                 "-set_serial", str(secrets.randbits(63)), "-days", "3", "-extfile",
                 stem + ".ext", "-out", stem + ".pem", cwd=self.dir)
        return os.path.join(self.dir, stem + ".pem"), os.path.join(self.dir, stem + ".key")

    def bundle(self, *other_ca_files):
        """A CA file trusting this CA and the given ones (the mail servers' CA, say)."""
        path = os.path.join(self.dir, "bundle.pem")
        with open(path, "wb") as out:
            for name in (self.ca_file, *other_ca_files):
                with open(name, "rb") as f:
                    out.write(f.read())
        return path

    def cleanup(self):
        shutil.rmtree(self.dir, ignore_errors=True)


class Request:
    def __init__(self, method, target, headers, body):
        self.method = method
        self.target = target
        parts = urllib.parse.urlsplit(target)
        self.path = parts.path
        self.query = dict(urllib.parse.parse_qsl(parts.query, keep_blank_values=True))
        self.raw_query = parts.query
        self.headers = headers
        self.body = body
        self.host = headers.get("Host", "")
        self.at = time.monotonic()

    def form(self):
        return dict(urllib.parse.parse_qsl(self.body.decode(), keep_blank_values=True))


class HttpsServer:
    """A threaded HTTPS server for `names` with a route table; records every request."""

    def __init__(self, ca, names, routes, plain=False):
        self.names = list(names)
        self.routes = routes
        self.requests = []
        self._lock = threading.Lock()
        self._release = threading.Event()
        outer = self

        class Handler(http.server.BaseHTTPRequestHandler):
            protocol_version = "HTTP/1.1"

            def log_message(self, *args):
                pass

            def _serve(self):
                length = int(self.headers.get("Content-Length") or 0)
                body = self.rfile.read(length) if length else b""
                request = Request(self.command, self.path, dict(self.headers), body)
                with outer._lock:
                    outer.requests.append(request)
                reply = outer.routes.get(request.path, (404, b"not found"))
                if callable(reply):
                    reply = reply(request)
                if reply is None:
                    outer._release.wait(60)
                    self.close_connection = True
                    return
                status, payload = reply[0], reply[1]
                headers = reply[2] if len(reply) > 2 else {}
                if isinstance(payload, str):
                    payload = payload.encode()
                self.send_response(status)
                for name, value in headers.items():
                    self.send_header(name, value)
                self.send_header("Content-Length", str(len(payload)))
                self.send_header("Connection", "close")
                self.end_headers()
                self.wfile.write(payload)
                self.close_connection = True

            do_GET = _serve
            do_POST = _serve

        self._httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self._httpd.daemon_threads = True
        if not plain:
            cert, key = ca.issue(self.names)
            context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
            context.load_cert_chain(cert, key)
            self._httpd.socket = context.wrap_socket(self._httpd.socket, server_side=True)
        self.port = self._httpd.server_address[1]
        self._thread = threading.Thread(target=self._httpd.serve_forever, daemon=True)

    def __enter__(self):
        self._thread.start()
        return self

    def __exit__(self, *exc):
        self.close()

    def close(self):
        self._release.set()
        self._httpd.shutdown()
        self._httpd.server_close()

    def connect_to(self, names=None, port=443):
        """VEXA_TEST_HTTP_CONNECT_TO rules sending `names` (default: all of this server's) here."""
        return ",".join(f"{n}:{port}:127.0.0.1:{self.port}" for n in (names or self.names))

    def paths(self):
        with self._lock:
            return [r.path for r in self.requests]

    def hosts_and_paths(self):
        with self._lock:
            return [(r.host, r.target) for r in self.requests]
