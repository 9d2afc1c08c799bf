"""The mail-server harness itself: the servers answer as the app's tests expect them to."""
import base64
import imaplib
import os
import smtplib
import socket
import ssl
import unittest

import mailservers

servers = None


def setUpModule():
    global servers
    servers = mailservers.MailServers().start()


def tearDownModule():
    servers.stop()


def message(subject, body="hello\r\n", to="ada@example.test"):
    return (f"From: ada@example.test\r\nTo: {to}\r\nSubject: {subject}\r\n"
            f"Message-ID: <{subject.replace(' ', '.')}@example.test>\r\n\r\n{body}").encode()


def xoauth2(user, token):
    return f"user={user}\x01auth=Bearer {token}\x01\x01".encode()


class Imap(unittest.TestCase):
    def setUp(self):
        servers.clear()

    def test_login_over_tls_shows_mailboxes_and_capabilities(self):
        conn = servers.imap()
        try:
            capabilities = conn.capability()[1][0].split()
            self.assertIn(b"MOVE", capabilities)
            self.assertIn(b"UIDPLUS", capabilities)
            typ, lines = conn.lsub()
            self.assertEqual(typ, "OK")
        finally:
            conn.logout()
        self.assertEqual(sorted(servers.mailboxes()), sorted(mailservers.MAILBOXES))
        subscribed = {l.rsplit(b" ", 1)[1].strip(b'"').decode() for l in lines}
        self.assertEqual(subscribed, set(mailservers.MAILBOXES))

    def test_credentials(self):
        user, password, token = servers.user, servers.password, servers.oauth_token
        cases = [  # (mechanism, user, secret, accepted)
            ("LOGIN", user, password, True),
            ("LOGIN", user, "wrong", False),
            ("LOGIN", "nobody@example.test", password, False),
            ("LOGIN", user, token, False),
            ("XOAUTH2", user, token, True),
            ("XOAUTH2", user, "wrong", False),
            ("XOAUTH2", user, password, False),
        ]
        for mechanism, login, secret, accepted in cases:
            with self.subTest(mechanism=mechanism, login=login, secret=secret[:6]):
                conn = imaplib.IMAP4_SSL(servers.host, servers.imap_port,
                                         ssl_context=servers.ssl_context(), timeout=10)
                def authenticate():
                    if mechanism == "LOGIN":
                        return conn.login(login, secret)
                    return conn.authenticate("XOAUTH2", lambda _: xoauth2(login, secret))

                try:
                    if accepted:
                        self.assertEqual(authenticate()[0], "OK")
                    else:
                        with self.assertRaisesRegex(imaplib.IMAP4.error, "AUTHENTICATIONFAILED"):
                            authenticate()
                finally:
                    conn.shutdown()

    def test_append_then_read_back_and_clear(self):
        first = servers.append("Archive", message("one"), flags="\\Seen \\Flagged")
        second = servers.append("Archive", message("two"), date_time=1700000000)
        self.assertLess(first, second)
        self.assertEqual(servers.uids("Archive"), [first, second])
        self.assertEqual(servers.uids("Archive", "UNSEEN"), [second])
        self.assertEqual(servers.flags("Archive", first), {"\\Seen", "\\Flagged"})
        self.assertIn(b"Subject: two", servers.fetch("Archive", second))
        self.assertEqual(servers.flags("Archive", second), set(), "fetch must not set \\Seen")
        self.assertIsNone(servers.fetch("Archive", second + 100))

        conn = servers.imap()
        conn.create("Projects")
        conn.logout()
        servers.clear()
        self.assertEqual(servers.uids("Archive"), [])
        self.assertNotIn("Projects", servers.mailboxes())

    def test_untrusted_port_fails_verification(self):
        with self.assertRaises(ssl.SSLCertVerificationError):
            imaplib.IMAP4_SSL(servers.host, servers.imap_untrusted_port,
                              ssl_context=servers.ssl_context(), timeout=10)

    def test_noexpunge_port_refuses_uid_expunge_and_keeps_the_message(self):
        uid = servers.append("INBOX", message("keep me"))
        conn = servers.imap(port=servers.imap_noexpunge_port)
        try:
            conn.select("INBOX")
            self.assertEqual(conn.uid("STORE", str(uid), "+FLAGS.SILENT", r"(\Deleted)")[0], "OK")
            self.assertEqual(conn.uid("EXPUNGE", str(uid)),
                             ("NO", [b"[CANNOT] UID EXPUNGE refused"]))
            # The session goes on: other commands still reach the server.
            self.assertEqual(conn.uid("SEARCH", "ALL")[1][0].split(), [str(uid).encode()])
        finally:
            conn.logout()
        self.assertEqual(servers.flags("INBOX", uid), {"\\Deleted"})


class RefuseUidExpunge(unittest.TestCase):
    def test_only_whole_uid_expunge_commands_are_answered(self):
        cases = [  # (client chunks, forwarded, replied)
            ([b"a1 UID EXPUNGE 4:7\r\n"], b"", b"a1 NO [CANNOT] UID EXPUNGE refused\r\n"),
            ([b"a1 uid expunge 4\r\n"], b"", b"a1 NO [CANNOT] UID EXPUNGE refused\r\n"),
            ([b"a1 UID EXP", b"UNGE 4\r\na2 NOOP\r\n"], b"a2 NOOP\r\n",
             b"a1 NO [CANNOT] UID EXPUNGE refused\r\n"),
            ([b"a1 EXPUNGE\r\n"], b"a1 EXPUNGE\r\n", b""),
            ([b"a1 UID FETCH 1 (FLAGS)\r\n"], b"a1 UID FETCH 1 (FLAGS)\r\n", b""),
            # Message text inside a literal, and the command's tail after it, are not commands.
            ([b"a1 APPEND INBOX {18}\r\n", b"b2 UID EXPUNGE 1\r\n", b"\r\n"],
             b"a1 APPEND INBOX {18}\r\nb2 UID EXPUNGE 1\r\n\r\n", b""),
            ([b"a1 APPEND INBOX {4+}\r\nxy\r\n {5}\r\n", b"abcde", b"\r\na2 UID EXPUNGE 9\r\n"],
             b"a1 APPEND INBOX {4+}\r\nxy\r\n {5}\r\nabcde\r\n",
             b"a2 NO [CANNOT] UID EXPUNGE refused\r\n"),
        ]
        for chunks, forwarded, replied in cases:
            with self.subTest(chunks=chunks):
                refuse = mailservers.refuse_uid_expunge()
                out = [refuse(c) for c in chunks]
                self.assertEqual(b"".join(f for f, _ in out), forwarded)
                self.assertEqual(b"".join(r for _, r in out), replied)


class Smtp(unittest.TestCase):
    def setUp(self):
        servers.clear()

    def test_submission_delivers_into_the_inbox(self):
        for kind in ("tls", "starttls"):
            with self.subTest(kind=kind):
                servers.clear()
                with servers.smtp(kind) as conn:
                    conn.sendmail(servers.user, [servers.user, "bob@example.test"],
                                  message(f"via {kind}"))
                inbox = servers.wait_for_inbox(1)
                self.assertEqual(len(inbox), 1)
                self.assertIn(f"Subject: via {kind}".encode(), inbox[0])
                servers.wait_for_inbox(lambda _: servers.delivered("bob@example.test"))
                self.assertIn(f"Subject: via {kind}".encode(),
                              servers.delivered("bob@example.test")[0])

    def test_xoauth2_submission(self):
        with servers.smtp("tls", login=False) as conn:
            conn.ehlo()
            self.assertIn("XOAUTH2", conn.esmtp_features["auth"].split())
            code, _ = conn.docmd("AUTH", "XOAUTH2 " + base64.b64encode(
                xoauth2(servers.user, servers.oauth_token)).decode())
            self.assertEqual(code, 235)

    def test_wrong_password_is_535_on_every_port(self):
        for kind in ("tls", "starttls", "nostarttls"):
            with self.subTest(kind=kind), servers.smtp(kind, login=False) as conn:
                with self.assertRaises(smtplib.SMTPAuthenticationError) as caught:
                    conn.login(servers.user, "wrong")
                self.assertEqual(caught.exception.smtp_code, 535)

    def test_tls_offers_by_port(self):
        with smtplib.SMTP(servers.host, servers.smtp_starttls_port, timeout=10) as conn:
            conn.ehlo()
            self.assertTrue(conn.has_extn("starttls"))
            self.assertFalse(conn.has_extn("auth"), "AUTH must wait for TLS")
            with self.assertRaises(smtplib.SMTPSenderRefused):
                conn.sendmail(servers.user, [servers.user], message("clear"))
        with servers.smtp("nostarttls", login=False) as conn:
            conn.ehlo()
            self.assertFalse(conn.has_extn("starttls"))
            self.assertTrue(conn.has_extn("auth"), "a careless client would send its password")

    def test_unauthenticated_mail_is_refused(self):
        with servers.smtp("tls", login=False) as conn:
            with self.assertRaises(smtplib.SMTPRecipientsRefused):
                conn.sendmail(servers.user, [servers.user], message("anonymous"))


class ProxyModes(unittest.TestCase):
    """LMTP greets in plain text, so it shows exactly which bytes a raw proxy let through."""

    def setUp(self):
        self.proxy = servers.proxy(servers.lmtp_port)

    def tearDown(self):
        self.proxy.close()

    def connect(self):
        sock = socket.create_connection(("127.0.0.1", self.proxy.port), timeout=5)
        self.addCleanup(sock.close)
        return sock

    @staticmethod
    def read_all(sock):
        data = b""
        while chunk := sock.recv(4096):
            data += chunk
        return data

    def test_stall_holds_new_and_open_connections_until_pass(self):
        open_conn = self.connect()
        self.assertTrue(open_conn.recv(100).startswith(b"220 "))
        self.proxy.set_mode("stall")
        new_conn = self.connect()
        open_conn.sendall(b"LHLO client\r\n")
        for sock in (new_conn, open_conn):
            sock.settimeout(0.3)
            with self.assertRaises(socket.timeout):
                sock.recv(100)
        self.proxy.set_mode("pass")
        for sock, start in ((new_conn, b"220 "), (open_conn, b"250-")):
            sock.settimeout(5)
            self.assertTrue(sock.recv(100).startswith(start))
        self.assertEqual(self.proxy.connections, 2)

    def read_line(self, sock):
        data = b""
        while not data.endswith(b"\n"):
            data += sock.recv(1)
        return data

    def test_cut_after_server_bytes_on_the_chosen_connection(self):
        reference = self.connect()
        greeting = self.read_line(reference)
        reference.sendall(b"LHLO client\r\n")
        reply = reference.recv(1000)
        cases = [  # (trigger, nbytes, bytes the cut connection gets after the greeting)
            (None, 5, None),
            (b"250-", 4, reply[:reply.index(b"250-") + 8]),
        ]
        for trigger, nbytes, after_greeting in cases:
            with self.subTest(trigger=trigger, nbytes=nbytes):
                cuts = self.proxy.cuts
                self.proxy.set_mode("cut_after_server_bytes", nbytes=nbytes, trigger=trigger,
                                    connection=self.proxy.connections + 2)
                spared, cut = self.connect(), self.connect()
                if after_greeting is None:
                    self.assertEqual(self.read_all(cut), greeting[:nbytes])
                else:
                    self.assertEqual(self.read_line(cut), greeting)
                    cut.sendall(b"LHLO client\r\n")
                    self.assertEqual(self.read_all(cut), after_greeting)
                self.assertEqual(self.proxy.cuts, cuts + 1)
                self.assertEqual(self.read_line(spared), greeting)
                self.proxy.set_mode("pass")

    def test_tls_proxy_cuts_inside_a_fetched_literal(self):
        servers.clear()
        uid = servers.append("INBOX", message("big", "x" * 200 + "\r\n") * 100)
        proxy = servers.proxy(servers.imap_port, tls=True)
        self.addCleanup(proxy.close)
        proxy.set_mode("cut_after_server_bytes", nbytes=5000, trigger=b"FETCH (")
        conn = servers.imap(port=proxy.port)
        conn.select("INBOX")
        with self.assertRaises((imaplib.IMAP4.abort, OSError)):
            conn.uid("FETCH", str(uid), "(BODY.PEEK[])")
        conn.shutdown()
        self.assertEqual(proxy.cuts, 1)
        proxy.set_mode("pass")
        conn = servers.imap(port=proxy.port)
        conn.select("INBOX")
        typ, data = conn.uid("FETCH", str(uid), "(BODY.PEEK[])")
        conn.logout()
        self.assertEqual(data[0][1], servers.fetch("INBOX", uid))


class Instances(unittest.TestCase):
    def test_a_second_instance_runs_beside_and_stops_cleanly(self):
        other = mailservers.MailServers().start()
        try:
            ports = {other.imap_port, other.smtp_tls_port, other.lmtp_port}
            self.assertFalse(ports & {servers.imap_port, servers.smtp_tls_port,
                                      servers.lmtp_port})
            self.assertEqual(other.uids("INBOX"), [])
            pids = [p.pid for p in other._procs]
            root = other.root
        finally:
            other.stop()
        self.assertEqual([mailservers._live_group_members(pid) for pid in pids], [[], []])
        self.assertFalse(os.path.exists(root))
        servers.imap().logout()


if __name__ == "__main__":
    unittest.main()
