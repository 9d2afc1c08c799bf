"""A loopback TCP proxy that injects faults (stalls, cuts) into mail connections, and a filter
that makes an IMAP server look as if it refused UID EXPUNGE."""
import contextlib
import re
import select
import socket
import ssl
import threading

class refuse_uid_expunge:  # noqa: N801  (used like a function: a per-connection filter factory)
    """Client->server filter for Proxy: answers every UID EXPUNGE command itself with
    "<tag> NO [CANNOT] UID EXPUNGE refused" and forwards everything else. It follows IMAP
    literals, so message text that looks like the command is passed through untouched."""

    _command = re.compile(rb"(\S+) UID EXPUNGE(?:\s|$)", re.IGNORECASE)
    _literal = re.compile(rb"\{(\d+)\+?\}\r?\n$")

    def __init__(self):
        self._buffer = b""
        self._literal_left = 0
        self._continuation = False  # the next line continues a command after a literal

    def __call__(self, data):
        self._buffer += data
        forward, reply = bytearray(), bytearray()
        while self._buffer:
            if self._literal_left:
                chunk = self._buffer[:self._literal_left]
                self._buffer = self._buffer[len(chunk):]
                self._literal_left -= len(chunk)
                forward += chunk
                continue
            end = self._buffer.find(b"\n")
            if end < 0:
                break
            line, self._buffer = self._buffer[:end + 1], self._buffer[end + 1:]
            m = None if self._continuation else self._command.match(line)
            if m:
                reply += m.group(1) + b" NO [CANNOT] UID EXPUNGE refused\r\n"
                continue
            literal = self._literal.search(line)
            self._literal_left = int(literal.group(1)) if literal else 0
            self._continuation = bool(literal)
            forward += line
        return bytes(forward), bytes(reply)


class Proxy:
    """Loopback TCP proxy for fault injection, one thread per connection.

    Attributes: port, connections (accepted so far), cuts (connections closed by the cut mode).
    Modes, settable at any time with set_mode(); they apply to open connections too:
      "pass"   relay both ways.
      "stall"  move nothing: new connections are accepted but get no TLS handshake, no server
               connection and no byte; open ones stop relaying. Nothing is lost: switching back
               to "pass" resumes the streams.
      "cut_after_server_bytes"  relay, and once `nbytes` bytes have gone server->client since
               the mode was set (counted after the end of the first `trigger`, if given) close
               both sides at once. `connection=k` limits the cut to the k-th accepted
               connection (1-based; `proxy.connections + 1` is the next one).
    With tls=True the proxy terminates the client's TLS with `cert` (a (cert, key) pair) and
    opens its own TLS to the target (trusting `ca_file`), so triggers see plaintext such as
    b"FETCH (". Without TLS termination the proxy only sees TLS records: a trigger cannot match,
    so count bytes instead and pick nbytes well inside the transfer to break (for example half
    of a multi-megabyte message fetched on that connection; the handshake is a few kilobytes).
    `client_filter` is a factory of per-connection callables data -> (forward, reply), used
    on client->server bytes (see refuse_uid_expunge).
    """

    MODES = ("pass", "stall", "cut_after_server_bytes")

    def __init__(self, target_host, target_port, tls=False, cert=None, ca_file=None,
                 server_hostname="localhost", client_filter=None):
        self._target = (target_host, target_port)
        self._server_hostname = server_hostname
        self._filter_factory = client_filter
        self._server_ctx = self._client_ctx = None
        if tls:
            self._server_ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
            self._server_ctx.load_cert_chain(*cert)
            if ca_file:
                self._client_ctx = ssl.create_default_context(cafile=ca_file)
            else:
                self._client_ctx = ssl._create_unverified_context()
        self.connections = 0
        self.cuts = 0
        self._cond = threading.Condition()
        self._settings = ("pass", 0, None, None)
        self._generation = 0
        self._closed = False
        self._sockets = set()
        self._threads = []
        self._listener = socket.create_server(("127.0.0.1", 0))
        self.port = self._listener.getsockname()[1]
        self._spawn(self._accept_loop)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    @property
    def mode(self):
        return self._settings[0]

    @mode.setter
    def mode(self, mode):
        self.set_mode(mode)

    def cut_after_server_bytes(self, nbytes, trigger=None, connection=None):
        self.set_mode("cut_after_server_bytes", nbytes, trigger, connection)

    def set_mode(self, mode, nbytes=0, trigger=None, connection=None):
        if mode not in self.MODES:
            raise ValueError(f"unknown proxy mode {mode!r}")
        with self._cond:
            self._settings = (mode, nbytes, trigger, connection)
            self._generation += 1
            self._cond.notify_all()

    def close(self):
        with self._cond:
            self._closed = True
            self._cond.notify_all()
            sockets = list(self._sockets)
        with contextlib.suppress(OSError):
            self._listener.close()
        for s in sockets:
            # The plain shutdown wakes the relay thread, which then closes the socket itself.
            with contextlib.suppress(OSError):
                socket.socket.shutdown(s, socket.SHUT_RDWR)
        for t in self._threads:
            t.join(timeout=5)

    def _spawn(self, target, *args):
        thread = threading.Thread(target=target, args=args, daemon=True)
        self._threads.append(thread)
        thread.start()

    def _track(self, sock, old=None):
        with self._cond:
            self._sockets.discard(old)
            if self._closed:
                raise OSError("proxy closed")
            self._sockets.add(sock)
        return sock

    def _accept_loop(self):
        while not self._closed:
            try:
                if not select.select([self._listener], [], [], 0.2)[0]:
                    continue
                client, _ = self._listener.accept()
            except (OSError, ValueError):
                return
            with self._cond:
                self.connections += 1
                number = self.connections
            self._spawn(self._handle, client, number)

    def _handle(self, client, number):
        upstream = None
        try:
            self._track(client)
            with self._cond:
                while self._settings[0] == "stall" and not self._closed:
                    self._cond.wait(0.5)
            if self._server_ctx:
                client.settimeout(10)
                client = self._track(self._server_ctx.wrap_socket(client, server_side=True),
                                     client)
            upstream = self._track(socket.create_connection(self._target, 10))
            if self._client_ctx:
                upstream = self._track(self._client_ctx.wrap_socket(
                    upstream, server_hostname=self._server_hostname), upstream)
            self._relay(client, upstream, number)
        except (OSError, ssl.SSLError, ValueError):
            pass
        finally:
            for s in (client, upstream):
                if s is not None:
                    with self._cond:
                        self._sockets.discard(s)
                    with contextlib.suppress(OSError):
                        s.close()

    def _relay(self, client, upstream, number):
        client.setblocking(False)
        upstream.setblocking(False)
        client_filter = self._filter_factory() if self._filter_factory else None
        generation, armed, counted, tail = None, False, 0, b""
        while True:
            with self._cond:
                while self._settings[0] == "stall" and not self._closed:
                    self._cond.wait(0.5)
                if self._closed:
                    return
                mode, nbytes, trigger, only = self._settings
                if generation != self._generation:
                    generation, armed, counted, tail = self._generation, trigger is None, 0, b""
            cutting = mode == "cut_after_server_bytes" and only in (None, number)
            ready = [s for s in (client, upstream) if isinstance(s, ssl.SSLSocket) and s.pending()]
            if not ready:
                ready = select.select([client, upstream], [], [], 0.2)[0]
            for s in ready:
                data = self._recv(s)
                if data is None:
                    continue
                if not data:
                    return
                if s is client:
                    if client_filter:
                        data, reply = client_filter(data)
                        self._send_all(client, reply)
                    self._send_all(upstream, data)
                    continue
                if cutting:
                    if not armed:
                        buf = tail + data
                        at = buf.find(trigger)
                        if at < 0:
                            tail = buf[-(len(trigger) - 1):] if len(trigger) > 1 else b""
                            self._send_all(client, data)
                            continue
                        armed, counted = True, len(buf) - at - len(trigger)
                        if counted >= nbytes:
                            self._cut(client, data[:len(data) - (counted - nbytes)])
                            return
                    elif counted + len(data) >= nbytes:
                        self._cut(client, data[:nbytes - counted])
                        return
                    else:
                        counted += len(data)
                self._send_all(client, data)

    def _cut(self, client, last):
        self._send_all(client, last)
        with self._cond:
            self.cuts += 1

    @staticmethod
    def _recv(s):
        try:
            return s.recv(65536)
        except (ssl.SSLWantReadError, ssl.SSLWantWriteError, BlockingIOError, InterruptedError):
            return None
        except (ConnectionError, ssl.SSLError):
            return b""

    def _send_all(self, s, data):
        view = memoryview(data)
        while view:
            if self._closed:
                raise OSError("proxy closed")
            try:
                view = view[s.send(view):]
            except (ssl.SSLWantWriteError, BlockingIOError, InterruptedError):
                select.select([], [s], [], 0.5)
            except ssl.SSLWantReadError:
                select.select([s], [], [], 0.5)
