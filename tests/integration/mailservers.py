"""Real mail servers on loopback for integration tests: Dovecot (IMAP, LMTP, SASL) and Postfix
(submission), with a throw-away CA, plus a fault-injecting TCP proxy.

Everything of one instance lives in its own temporary directory and listens on 127.0.0.1 ports
chosen at start, so several instances can run side by side. Needs root (both servers drop to
their own system users) and the Debian packages dovecot-imapd, dovecot-lmtpd, postfix, openssl.

    with MailServers() as servers:
        conn = servers.imap()            # logged-in imaplib.IMAP4_SSL trusting servers.ca_file
        uid = servers.append("INBOX", b"Subject: hi\\r\\n\\r\\nbody\\r\\n")
"""
import atexit
import contextlib
import email.parser
import email.policy
import imaplib
import os
import re
import secrets
import shutil
import signal
import smtplib
import socket
import ssl
import subprocess
import sys
import tempfile
import threading
import time

from proxy import Proxy, refuse_uid_expunge  # noqa: F401  (re-exported for tests)

MAILBOXES = ("INBOX", "Sent", "Drafts", "Archive", "Trash", "Junk")
_SPECIAL_USE = {"Sent": r"\Sent", "Drafts": r"\Drafts", "Archive": r"\Archive",
                "Trash": r"\Trash", "Junk": r"\Junk"}
_QUEUE_DIRS = [(name, "root", 0o700) for name in (
    "active", "bounce", "corrupt", "defer", "deferred", "flush", "hold", "incoming", "private",
    "saved", "trace")] + [("maildrop", "postdrop", 0o730), ("public", "postdrop", 0o710),
                          ("pid", "root", 0o755)]
_running = set()


def _stop_all():
    for servers in list(_running):
        servers.stop()


atexit.register(_stop_all)


# Runs beside the test process and stops the servers if that process dies without stop() (a
# kill -9 or a runner's timeout skips atexit). It waits on a pipe only the test process holds:
# end of file without the "all stopped" byte means the owner is gone.
_WATCHDOG = """
import os, shutil, signal, sys
if os.read(0, 1) != b"x":
    for pgid in map(int, sys.argv[2:]):
        try:
            os.killpg(pgid, signal.SIGKILL)
        except ProcessLookupError:
            pass
    if sys.argv[1]:
        shutil.rmtree(sys.argv[1], ignore_errors=True)
"""


class RefusedPort:
    """A loopback port that refuses connections for as long as this object is open.

    The port stays bound without listening, so a server that a parallel test starts cannot take
    it over and turn "connection refused" into some other answer."""

    def __init__(self):
        self._sock = socket.socket()
        self._sock.bind(("127.0.0.1", 0))
        self.port = self._sock.getsockname()[1]

    def __enter__(self):
        return self.port

    def __exit__(self, *exc):
        self._sock.close()


def _free_ports(count):
    socks = [socket.socket() for _ in range(count)]
    try:
        for s in socks:
            s.bind(("127.0.0.1", 0))
        return [s.getsockname()[1] for s in socks]
    finally:
        for s in socks:
            s.close()


def _wait_for_port(port, proc, what, log, timeout=10.0):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if proc.poll() is not None:
            raise RuntimeError(f"{what} exited with {proc.returncode}:\n{_tail(log)}")
        with contextlib.suppress(OSError), socket.create_connection(("127.0.0.1", port), 0.2):
            return
        time.sleep(0.01)
    raise RuntimeError(f"{what} did not listen on port {port}:\n{_tail(log)}")


def _live_group_members(pgid):
    """Processes of a group that still run; orphaned zombies wait for init and do not count."""
    live = []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open(f"/proc/{pid}/stat") as f:
                fields = f.read().rsplit(")", 1)[1].split()
        except OSError:
            continue
        if fields[0] != "Z" and int(fields[2]) == pgid:
            live.append(int(pid))
    return live


def _tail(path, size=4000):
    try:
        with open(path, "rb") as f:
            return f.read()[-size:].decode(errors="replace")
    except OSError:
        return "(no log)"


def _quote(mailbox):
    return '"' + mailbox.replace("\\", "\\\\").replace('"', '\\"') + '"'


def _openssl(*args, cwd):
    subprocess.run(["openssl", *args], cwd=cwd, check=True, capture_output=True)


class MailServers:
    """Dovecot and Postfix for one test user.

    Attributes after start(): root, ca_file, user, password, oauth_token, host ("localhost"),
    imap_port (implicit TLS), imap_untrusted_port (implicit TLS, certificate not from the CA),
    imap_noexpunge_port (implicit TLS, refuses every UID EXPUNGE with NO), smtp_tls_port
    (implicit TLS), smtp_starttls_port (STARTTLS required before AUTH and mail),
    smtp_nostarttls_port (offers AUTH but never STARTTLS), lmtp_port.
    Every address is accepted by the submission ports after AUTH and delivered over LMTP into
    that address's own mailbox: the test user's INBOX for `user`, `delivered(address)` for others.
    """

    def __init__(self, root=None, user="ada@example.test", smtp_tls_port=None, extra_users=()):
        # Clients choose implicit TLS by the port number (465), so a test of that path needs the
        # real port; only one instance on the machine can have it.
        self._fixed_smtp_tls_port = smtp_tls_port
        self._given_root = root
        self.root = None
        self.user = user
        self.password = "pw-" + secrets.token_hex(8)
        # More mail users, each with a password of its own: address -> password.
        self.extra_users = {address: "pw-" + secrets.token_hex(8) for address in extra_users}
        self.oauth_token = "oauth-" + secrets.token_hex(16)
        self.host = "localhost"
        self._procs = []
        self._proxies = []
        self._watchdog = None
        self._conn = None
        self._lock = threading.RLock()

    # -- lifecycle ---------------------------------------------------------------------------

    def __enter__(self):
        self.start()
        return self

    def __exit__(self, *exc):
        self.stop()

    def start(self):
        if os.geteuid() != 0:
            raise RuntimeError("MailServers needs root: Dovecot and Postfix start as root and "
                               "drop to their own users")
        if self._given_root:
            self.root = self._given_root
            os.makedirs(self.root, exist_ok=True)
        else:
            self.root = tempfile.mkdtemp(prefix="vexa-ms-")
        # Postfix and Dovecot's unprivileged processes must traverse every parent directory.
        os.chmod(self.root, 0o755)
        _running.add(self)
        try:
            self._make_certificates()
            for attempt in range(3):
                try:
                    self._start_servers()
                    break
                except RuntimeError:
                    # Another process may have taken a port between choosing and binding it.
                    self._kill_servers()
                    if attempt == 2:
                        raise
            self._start_watchdog()
            self._start_proxies()
        except BaseException:
            self.stop()
            raise
        return self

    def stop(self):
        with self._lock:
            if self._conn is not None:
                with contextlib.suppress(Exception):
                    self._conn.logout()
                self._conn = None
        for p in self._proxies:
            p.close()
        self._proxies = []
        self._kill_servers()
        self._stop_watchdog()
        _running.discard(self)
        if self.root and not self._given_root:
            shutil.rmtree(self.root, ignore_errors=True)
        self.root = None if not self._given_root else self.root

    def _start_watchdog(self):
        read_end, self._watchdog_pipe = os.pipe()
        doomed = "" if self._given_root else self.root
        self._watchdog = subprocess.Popen(
            [sys.executable, "-c", _WATCHDOG, doomed, *(str(p.pid) for p in self._procs)],
            stdin=read_end, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            start_new_session=True)
        os.close(read_end)

    def _stop_watchdog(self):
        if self._watchdog is None:
            return
        with contextlib.suppress(OSError):
            os.write(self._watchdog_pipe, b"x")
        os.close(self._watchdog_pipe)
        self._watchdog.wait()
        self._watchdog = None

    def _kill_servers(self):
        # Throw-away servers need no graceful shutdown (Dovecot's takes a second); their
        # children share the masters' process groups, so one signal per group stops everything.
        for proc in self._procs:
            with contextlib.suppress(ProcessLookupError):
                os.killpg(proc.pid, signal.SIGKILL)
        for proc in self._procs:
            proc.wait()
            deadline = time.monotonic() + 5
            while _live_group_members(proc.pid) and time.monotonic() < deadline:
                time.sleep(0.01)
        self._procs = []

    def _path(self, *parts):
        return os.path.join(self.root, *parts)

    # -- certificates --------------------------------------------------------------------------

    def _make_certificates(self):
        tls = self._path("tls")
        os.makedirs(tls, exist_ok=True)
        ec = ["-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"]
        _openssl("req", "-x509", *ec, "-keyout", "ca.key", "-out", "ca.pem", "-days", "3",
                 "-subj", "/CN=Vexa Test CA", "-addext", "basicConstraints=critical,CA:TRUE",
                 "-addext", "keyUsage=critical,keyCertSign,cRLSign", cwd=tls)
        with open(os.path.join(tls, "server.ext"), "w") as f:
            f.write("basicConstraints=critical,CA:FALSE\nkeyUsage=critical,digitalSignature\n"
                    "extendedKeyUsage=serverAuth\nsubjectAltName=DNS:localhost,IP:127.0.0.1\n"
                    "subjectKeyIdentifier=hash\nauthorityKeyIdentifier=keyid\n")
        _openssl("req", "-new", *ec, "-keyout", "server.key", "-out", "server.csr",
                 "-subj", "/CN=localhost", cwd=tls)
        _openssl("x509", "-req", "-in", "server.csr", "-CA", "ca.pem", "-CAkey", "ca.key",
                 "-set_serial", str(secrets.randbits(63)), "-days", "3", "-extfile", "server.ext",
                 "-out", "server.pem", cwd=tls)
        # Same names as the trusted certificate, so an issuer check is the only thing that fails.
        _openssl("req", "-x509", *ec, "-keyout", "untrusted.key", "-out", "untrusted.pem",
                 "-days", "3", "-subj", "/CN=localhost",
                 "-addext", "subjectAltName=DNS:localhost,IP:127.0.0.1", cwd=tls)
        # Read by the servers' unprivileged processes; these keys guard nothing beyond this run.
        for name in os.listdir(tls):
            os.chmod(os.path.join(tls, name), 0o644)
        self.ca_file = os.path.join(tls, "ca.pem")
        self._server_cert = (os.path.join(tls, "server.pem"), os.path.join(tls, "server.key"))
        self._untrusted_cert = (os.path.join(tls, "untrusted.pem"),
                                os.path.join(tls, "untrusted.key"))

    # -- servers -------------------------------------------------------------------------------

    def _start_servers(self):
        (self.imap_port, self.lmtp_port, self.smtp_tls_port, self.smtp_starttls_port,
         self.smtp_nostarttls_port) = _free_ports(5)
        if self._fixed_smtp_tls_port is not None:
            self.smtp_tls_port = self._fixed_smtp_tls_port
        self._write_dovecot_config()
        log = self._path("dovecot.log")
        proc = self._spawn(["dovecot", "-c", self._path("dovecot", "dovecot.conf"), "-F"], log)
        _wait_for_port(self.imap_port, proc, "dovecot", log)
        _wait_for_port(self.lmtp_port, proc, "dovecot", log)
        self._write_postfix_config()
        log = self.postfix_log_file
        etc = self._path("postfix", "etc")
        proc = self._spawn(["/usr/lib/postfix/sbin/master", "-c", etc, "-d"], log)
        for port in (self.smtp_tls_port, self.smtp_starttls_port, self.smtp_nostarttls_port):
            _wait_for_port(port, proc, "postfix", log)

    def _spawn(self, args, log):
        # A session of its own gives the master and its children one process group to kill.
        with open(log, "ab") as out:
            proc = subprocess.Popen(args, stdin=subprocess.DEVNULL, stdout=out,
                                    stderr=subprocess.STDOUT, start_new_session=True)
        self._procs.append(proc)
        return proc

    def _write_dovecot_config(self):
        d = self._path("dovecot")
        for sub in ("run", "state"):
            os.makedirs(os.path.join(d, sub), exist_ok=True)
        mail = self._path("mail")
        os.makedirs(mail, exist_ok=True)
        shutil.chown(mail, "dovecot", "dovecot")
        with open(os.path.join(d, "passwd"), "w") as f:
            f.write(f"{self.user}:{{PLAIN}}{self.password}\n")
            for address, password in self.extra_users.items():
                f.write(f"{address}:{{PLAIN}}{password}\n")
        # A bearer token is checked like a password, by a passdb only XOAUTH2 may consult.
        with open(os.path.join(d, "oauth-passwd"), "w") as f:
            f.write(f"{self.user}:{{PLAIN}}{self.oauth_token}\n")
        boxes = "".join(
            f"  mailbox {name} {{\n    auto = subscribe\n    special_use = {use}\n  }}\n"
            for name, use in _SPECIAL_USE.items())
        cert, key = self._server_cert
        conf = f"""\
protocols = imap lmtp
listen = 127.0.0.1
base_dir = {d}/run
state_dir = {d}/state
instance_name = dovecot-{os.path.basename(self.root)}
log_path = {self.root}/dovecot.log
ssl = required
ssl_cert = <{cert}
ssl_key = <{key}
default_login_user = dovenull
default_internal_user = dovecot
first_valid_uid = 1
auth_failure_delay = 0
auth_mechanisms = plain login xoauth2
auth_verbose = yes
mail_location = maildir:~/Maildir
mail_fsync = never
namespace inbox {{
  inbox = yes
{boxes}}}
passdb {{
  driver = passwd-file
  args = scheme=PLAIN username_format=%u {d}/passwd
  mechanisms = plain login
}}
passdb {{
  driver = passwd-file
  args = scheme=PLAIN username_format=%u {d}/oauth-passwd
  mechanisms = xoauth2
}}
# Reached only after the real passdbs refused: it still refuses, but tells the auth process to
# answer at once instead of batching failures for up to half a second.
passdb {{
  driver = static
  args = nopassword=y nodelay=yes
  result_success = continue-fail
}}
userdb {{
  driver = static
  args = uid=dovecot gid=dovecot home={mail}/%u allow_all_users=yes
}}
service imap-login {{
  inet_listener imap {{
    port = 0
  }}
  inet_listener imaps {{
    port = {self.imap_port}
    ssl = yes
  }}
}}
service lmtp {{
  inet_listener lmtp {{
    address = 127.0.0.1
    port = {self.lmtp_port}
  }}
}}
service auth {{
  unix_listener auth-postfix {{
    mode = 0666
  }}
}}
# Without the penalty socket the auth process skips its growing per-IP delay after failures,
# which would otherwise slow every later test once one has used a wrong password.
service anvil {{
  unix_listener anvil-auth-penalty {{
    mode = 0
  }}
}}
protocol lmtp {{
  postmaster_address = postmaster@example.test
}}
"""
        with open(os.path.join(d, "dovecot.conf"), "w") as f:
            f.write(conf)

    @property
    def postfix_log_file(self):
        return self._path("postfix.log")

    def _write_postfix_config(self):
        p = self._path("postfix")
        etc, queue, data = (os.path.join(p, s) for s in ("etc", "queue", "data"))
        for path in (etc, queue, data):
            os.makedirs(path, exist_ok=True)
        shutil.chown(data, "postfix", "postfix")
        # The queue layout `postfix check` would create, made here because that takes a second.
        for name, group, mode in _QUEUE_DIRS:
            path = os.path.join(queue, name)
            os.makedirs(path, exist_ok=True)
            if name != "pid":
                shutil.chown(path, "postfix", group)
            os.chmod(path, mode)
        cert, key = self._server_cert
        main = f"""\
compatibility_level = 3.6
queue_directory = {queue}
data_directory = {data}
meta_directory = /etc/postfix
command_directory = /usr/sbin
daemon_directory = /usr/lib/postfix/sbin
shlib_directory = /usr/lib/postfix
mail_owner = postfix
setgid_group = postdrop
maillog_file = {self.postfix_log_file}
maillog_file_prefixes = {self.root}
myhostname = mail.example.test
mydomain = example.test
myorigin = $mydomain
mydestination =
inet_interfaces = 127.0.0.1
inet_protocols = ipv4
mynetworks = 127.0.0.1/32
local_recipient_maps =
alias_maps =
alias_database =
local_transport = error:local delivery is disabled
default_transport = lmtp:inet:127.0.0.1:{self.lmtp_port}
relay_transport = $default_transport
lmtp_host_lookup = native
smtpd_peername_lookup = no
smtpd_error_sleep_time = 0
smtpd_relay_restrictions = permit_sasl_authenticated, reject_unauth_destination
smtpd_sasl_type = dovecot
smtpd_sasl_path = {self._path("dovecot", "run", "auth-postfix")}
smtpd_sasl_auth_enable = yes
smtpd_sasl_security_options = noanonymous
smtpd_tls_cert_file = {cert}
smtpd_tls_key_file = {key}
smtpd_tls_session_cache_database =
message_size_limit = 104857600
mailbox_size_limit = 0
queue_run_delay = 1s
minimal_backoff_time = 1s
maximal_backoff_time = 5s
biff = no
"""
        smtpd = "127.0.0.1:{port} inet n - n - - smtpd\n"
        master = (
            smtpd.format(port=self.smtp_tls_port)
            + "  -o smtpd_tls_wrappermode=yes\n  -o smtpd_tls_security_level=encrypt\n"
            + smtpd.format(port=self.smtp_starttls_port)
            + "  -o smtpd_tls_security_level=encrypt\n  -o smtpd_tls_auth_only=yes\n"
            + smtpd.format(port=self.smtp_nostarttls_port)
            + "  -o smtpd_tls_security_level=none\n  -o smtpd_tls_auth_only=no\n")
        for line in ("cleanup unix n - n - 0 cleanup", "qmgr unix n - n 300 1 qmgr",
                     "tlsmgr unix - - n 1000? 1 tlsmgr", "rewrite unix - - n - - trivial-rewrite",
                     "bounce unix - - n - 0 bounce", "defer unix - - n - 0 bounce",
                     "trace unix - - n - 0 bounce", "verify unix - - n - 1 verify",
                     "flush unix n - n 1000? 0 flush", "proxymap unix - - n - - proxymap",
                     "showq unix n - n - - showq", "error unix - - n - - error",
                     "retry unix - - n - - error", "discard unix - - n - - discard",
                     "lmtp unix - - n - - lmtp", "anvil unix - - n - 1 anvil",
                     "scache unix - - n - 1 scache", "postlog unix-dgram n - n - 1 postlogd"):
            master += line + "\n"
        with open(os.path.join(etc, "main.cf"), "w") as f:
            f.write(main)
        with open(os.path.join(etc, "master.cf"), "w") as f:
            f.write(master)
        # Postfix waits until a just-written main.cf is a couple of seconds old; backdate it.
        past = time.time() - 60
        for name in ("main.cf", "master.cf"):
            os.utime(os.path.join(etc, name), (past, past))

    def _start_proxies(self):
        noexpunge = self.proxy(self.imap_port, tls=True, client_filter=refuse_uid_expunge)
        untrusted = self.proxy(self.imap_port, tls=True, cert=self._untrusted_cert)
        self.imap_noexpunge_port = noexpunge.port
        self.imap_untrusted_port = untrusted.port

    # -- helpers for tests ---------------------------------------------------------------------

    def postfix_log(self):
        """Postfix's log so far (it has no syslog here), for failure messages."""
        return _tail(self.postfix_log_file, 1 << 20)

    def dovecot_log(self):
        return _tail(self._path("dovecot.log"), 1 << 20)

    def ssl_context(self):
        """A client context that trusts only the harness CA and checks the host name."""
        return ssl.create_default_context(cafile=self.ca_file)

    def proxy(self, port, tls=False, cert=None, client_filter=None):
        """A Proxy to one of the servers' ports, closed with the servers.

        With tls=True the proxy terminates TLS with the harness certificate (or `cert`, a
        (cert, key) pair) and talks TLS to the server, so it sees plaintext: byte triggers such
        as b"FETCH (" then work and byte counts are exact. Without it bytes are relayed as they
        are (TLS records included).
        """
        if tls:
            proxy = Proxy("127.0.0.1", port, tls=True, cert=cert or self._server_cert,
                          ca_file=self.ca_file, client_filter=client_filter)
        else:
            proxy = Proxy("127.0.0.1", port, client_filter=client_filter)
        self._proxies.append(proxy)
        return proxy

    def imap(self, port=None, user=None, secret=None):
        """A new imaplib.IMAP4_SSL connection, logged in as the test user."""
        conn = imaplib.IMAP4_SSL(self.host, port or self.imap_port, ssl_context=self.ssl_context(),
                                 timeout=30)
        conn.login(user or self.user, secret or self.password)
        return conn

    def smtp(self, kind="tls", login=True):
        """An smtplib connection to the "tls", "starttls" or "nostarttls" port, logged in."""
        ctx = self.ssl_context()
        if kind == "tls":
            conn = smtplib.SMTP_SSL(self.host, self.smtp_tls_port, context=ctx, timeout=30)
        else:
            port = self.smtp_starttls_port if kind == "starttls" else self.smtp_nostarttls_port
            conn = smtplib.SMTP(self.host, port, timeout=30)
            if kind == "starttls":
                conn.starttls(context=ctx)
        if login:
            conn.login(self.user, self.password)
        return conn

    @contextlib.contextmanager
    def _session(self):
        # One cached connection for the helpers below; reopened if a test or the server broke it.
        with self._lock:
            if self._conn is not None:
                try:
                    self._conn.noop()
                except (imaplib.IMAP4.error, OSError):
                    self._conn = None
            if self._conn is None:
                self._conn = self.imap()
            try:
                yield self._conn
            except (imaplib.IMAP4.abort, OSError):
                self._conn = None
                raise

    @staticmethod
    def _ok(result, what):
        typ, data = result
        if typ != "OK":
            raise RuntimeError(f"IMAP {what} failed: {typ} {data}")
        return data

    def _select(self, conn, mailbox, readonly=True):
        return self._ok(conn.select(_quote(mailbox), readonly=readonly), f"SELECT {mailbox}")

    def append(self, mailbox, raw, flags="", date_time=None, exact=False):
        """Appends a raw message and returns its UID (from APPENDUID).

        imaplib rewrites every line end to CRLF; with exact=True the bytes go to the server as
        they are, for messages whose line ends are the point."""
        flags = f"({flags})" if flags and not flags.startswith("(") else (flags or None)
        when = imaplib.Time2Internaldate(date_time) if date_time is not None else None
        with self._session() as conn:
            if exact:
                conn.literal = raw
                result = conn._simple_command("APPEND", _quote(mailbox), flags, when)
            else:
                result = conn.append(_quote(mailbox), flags, when, raw)
            data = self._ok(result, "APPEND")
        m = re.search(rb"\[APPENDUID \d+ (\d+)\]", data[0] or b"")
        if not m:
            raise RuntimeError(f"APPEND gave no APPENDUID: {data}")
        return int(m.group(1))

    def uids(self, mailbox, criteria="ALL"):
        """UIDs matching a SEARCH criteria string, in ascending order."""
        with self._session() as conn:
            self._select(conn, mailbox)
            data = self._ok(conn.uid("SEARCH", criteria), "UID SEARCH")
        return sorted(int(u) for u in (data[0] or b"").split())

    def flags(self, mailbox, uid):
        """The message's flags as a set of strings, e.g. {"\\Seen"}; None if the UID is gone.
        \\Recent is left out: it says which session saw the message first, not its state."""
        with self._session() as conn:
            self._select(conn, mailbox)
            data = self._ok(conn.uid("FETCH", str(uid), "(FLAGS)"), "UID FETCH FLAGS")
        for item in data:
            if isinstance(item, bytes) and b"FLAGS" in item:
                return {f.decode() for f in imaplib.ParseFlags(item)} - {"\\Recent"}
        return None

    def imap_store(self, mailbox, uid, op, flags):
        """UID STORE, e.g. imap_store("INBOX", 7, "+FLAGS", "\\Seen")."""
        flags = flags if flags.startswith("(") else f"({flags})"
        with self._session() as conn:
            self._select(conn, mailbox, readonly=False)
            self._ok(conn.uid("STORE", str(uid), op, flags), "UID STORE")

    def fetch(self, mailbox, uid):
        """The raw message (BODY.PEEK[], so \\Seen is untouched); None if the UID is gone."""
        with self._session() as conn:
            self._select(conn, mailbox)
            data = self._ok(conn.uid("FETCH", str(uid), "(BODY.PEEK[])"), "UID FETCH BODY")
        for item in data:
            if isinstance(item, tuple):
                return item[1]
        return None

    def messages(self, mailbox):
        """Every raw message of a mailbox in UID order."""
        return [self.fetch(mailbox, uid) for uid in self.uids(mailbox)]

    def mailboxes(self):
        """Names of every mailbox of the test user."""
        with self._session() as conn:
            data = self._ok(conn.list(), "LIST")
        names = []
        for line in data:
            m = re.match(rb'\([^)]*\) (?:"[^"]*"|NIL) (.*)$', line or b"")
            if m:
                names.append(m.group(1).strip(b'"').decode())
        return names

    def clear(self):
        """Empties the six standard mailboxes, deletes any other, and drops other users' mail."""
        with self._session() as conn:
            for name in sorted(self.mailboxes(), key=len, reverse=True):
                if name not in MAILBOXES:
                    conn.unsubscribe(_quote(name))
                    self._ok(conn.delete(_quote(name)), f"DELETE {name}")
            for name in MAILBOXES:
                data = self._select(conn, name, readonly=False)
                if int(data[0] or 0):
                    self._ok(conn.store("1:*", "+FLAGS.SILENT", r"(\Deleted)"), "STORE")
                    self._ok(conn.expunge(), "EXPUNGE")
                conn.subscribe(_quote(name))
            conn.close()
        mail = self._path("mail")
        for name in os.listdir(mail):
            if name != self.user and name not in self.extra_users:
                shutil.rmtree(os.path.join(mail, name), ignore_errors=True)

    def wait_for_inbox(self, want=1, timeout=15.0):
        """Polls the INBOX until it holds `want` messages (an int: at least that many) or
        `want(messages)` is true for the list of raw messages; returns that list."""
        deadline = time.monotonic() + timeout
        while True:
            msgs = self.messages("INBOX")
            if (len(msgs) >= want) if isinstance(want, int) else want(msgs):
                return msgs
            if time.monotonic() > deadline:
                raise TimeoutError(f"INBOX has {len(msgs)} messages after {timeout}s; postfix "
                                   f"log:\n{self.postfix_log()[-3000:]}")
            time.sleep(0.05)

    def wait_for_message(self, mailbox, subject, timeout=15.0):
        """Polls a mailbox for a message with this (decoded) Subject and returns it raw."""
        deadline = time.monotonic() + timeout
        while True:
            for raw in self.messages(mailbox):
                parsed = email.parser.BytesHeaderParser(policy=email.policy.default).parsebytes(raw)
                if parsed["Subject"] == subject:
                    return raw
            if time.monotonic() > deadline:
                raise TimeoutError(f"no message {subject!r} in {mailbox} after {timeout}s; "
                                   f"postfix log:\n{self.postfix_log()[-3000:]}")
            time.sleep(0.05)

    def delivered(self, address):
        """Raw messages delivered to another address's INBOX (read from its maildir)."""
        maildir = self._path("mail", address, "Maildir")
        found = []
        for sub in ("new", "cur"):
            path = os.path.join(maildir, sub)
            if os.path.isdir(path):
                for name in os.listdir(path):
                    with open(os.path.join(path, name), "rb") as f:
                        found.append((name, f.read()))
        return [raw for _, raw in sorted(found)]
