"""The live worker against real servers on loopback; server state is checked with imaplib."""
import base64
import email
import hashlib
import email.policy
import time
import unittest
from email.message import EmailMessage

import engine
import mailservers

servers = None


def setUpModule():
    global servers
    servers = mailservers.MailServers(smtp_tls_port=465)
    servers.start()


def tearDownModule():
    servers.stop()


def message(subject, body="Hello Ada\n", message_id=None, sender="Bob Sender <bob@example.test>",
            **headers):
    m = EmailMessage()
    m["From"] = sender
    m["To"] = servers.user
    m["Subject"] = subject
    if message_id is not None:
        m["Message-ID"] = message_id
    for name, value in headers.items():
        m[name.replace("_", "-")] = value
    m.set_content(body)
    return m.as_bytes()


class EngineTest(unittest.TestCase):
    timeout_ms = None

    def setUp(self):
        servers.clear()
        self.engine = engine.Engine(servers, timeout_ms=self.timeout_ms)
        self.account = engine.account(servers)

    def tearDown(self):
        self.engine.close()

    def sync(self, folder):
        events = self.engine.run("sync", config=self.account, folder=folder)
        self.assertEqual([e["event"] for e in events], ["Synced", "Finished"], events)
        return events[0]["messages"]


class Fetching(EngineTest):
    def test_connect_lists_the_folders(self):
        events = self.engine.run("connect", config=self.account)
        self.assertEqual([e["event"] for e in events], ["Connected", "FoldersListed", "Finished"])
        self.assertEqual(events[0]["email"], servers.user)
        self.assertTrue({"INBOX", "Sent", "Drafts", "Archive", "Trash", "Junk"}
                        <= set(events[1]["mailboxes"]))

    def test_a_large_folder_fetches_the_fifty_highest_uids_and_leaves_seen_alone(self):
        uids = [servers.append("Archive", message(f"number {i}", message_id=f"<n{i}@t>"),
                               flags="\\Seen" if i % 3 == 0 else ("\\Flagged" if i % 5 == 0 else ""))
                for i in range(120)]
        fetched = {m["subject"]: m for m in self.sync("archive")}
        self.assertEqual(sorted(fetched), sorted(f"number {i}" for i in range(70, 120)))
        for i in range(70, 120):
            m = fetched[f"number {i}"]
            self.assertEqual((m["seen"], m["starred"]), (i % 3 == 0, i % 3 != 0 and i % 5 == 0), i)
            self.assertEqual(m["folder"], "archive")
        unread = [u for i, u in enumerate(uids) if i % 3 != 0]
        self.assertTrue(all("\\Seen" not in servers.flags("Archive", u) for u in unread[-20:]))

    def test_message_contents_come_through(self):
        when = 1_700_000_000
        plain = message("Plain hello", body="Hello Ada, plain.\n")
        html_only = EmailMessage()
        html_only["From"] = "news@example.test"
        html_only["Subject"] = "Newsletter"
        html_only.set_content("<html><body><p>Hello <b>there</b></p></body></html>", subtype="html")
        alternative = EmailMessage()
        alternative["From"] = "alt@example.test"
        alternative["Subject"] = "Both"
        alternative.set_content("Plain part\n")
        alternative.add_alternative("<p>HTML part</p>", subtype="html")
        encoded = (b"From: =?UTF-8?Q?J=C3=BCrgen_M=C3=BCller?= <j@example.test>\r\n"
                   b"To: ada@example.test\r\nSubject: =?UTF-8?B?R3LDvMOfZSBhdXMgS8O2bG4=?=\r\n"
                   b"Message-ID: <enc@t>\r\nMIME-Version: 1.0\r\n"
                   b"Content-Type: text/plain; charset=utf-8\r\n\r\nHallo!\r\n")
        attached = EmailMessage()
        attached["From"] = "files@example.test"
        attached["Subject"] = "Report"
        attached.set_content("See attached.\n")
        attached.add_attachment(b"%PDF-1.4 test", maintype="application", subtype="pdf",
                                filename="report.pdf")
        raws = [plain, html_only.as_bytes(), alternative.as_bytes(), encoded, attached.as_bytes()]
        for k, raw in enumerate(raws):
            servers.append("INBOX", raw, date_time=when + 60 * k)
        got = {m["subject"]: m for m in self.sync("inbox")}

        self.assertEqual(got["Plain hello"]["body_text"].strip(), "Hello Ada, plain.")
        self.assertEqual(got["Plain hello"]["from"], {"address": "bob@example.test",
                                                      "name": "Bob Sender"})
        self.assertEqual(got["Plain hello"]["time"], when // 60)
        self.assertIn("Hello there", got["Newsletter"]["body_text"])
        self.assertIn("<b>there</b>", got["Newsletter"]["html"])
        self.assertEqual(got["Both"]["body_text"].strip(), "Plain part")
        self.assertIn("HTML part", got["Both"]["html"])
        self.assertEqual(got["Grüße aus Köln"]["from"]["name"], "Jürgen Müller")
        self.assertEqual(got["Grüße aus Köln"]["time"], (when + 180) // 60)
        self.assertEqual(got["Report"]["attachments"], [{
            "filename": "report.pdf", "mime": "application/pdf", "size": 13,
            "sha256": hashlib.sha256(b"%PDF-1.4 test").hexdigest(),
            "content_base64": base64.b64encode(b"%PDF-1.4 test").decode()}])
        self.assertFalse(any(m["seen"] for m in got.values()))

    def test_an_empty_folder_syncs_to_an_empty_list(self):
        self.assertEqual(self.sync("junk"), [])

    def test_starred_fetches_flagged_inbox_mail(self):
        servers.append("INBOX", message("plain"))
        servers.append("INBOX", message("flagged"), flags="\\Flagged")
        servers.append("Archive", message("flagged elsewhere"), flags="\\Flagged")
        fetched = self.sync("starred")
        self.assertEqual([(m["subject"], m["folder"], m["starred"]) for m in fetched],
                         [("flagged", "starred", True)])


class Changing(EngineTest):
    def twins(self, mailbox="INBOX"):
        """Two messages with one Message-ID; the engine must act on the higher UID."""
        low = servers.append(mailbox, message("twin", message_id="<twin@t>"))
        high = servers.append(mailbox, message("twin", message_id="<twin@t>"))
        return low, high

    def test_store_flags_writes_both_flags_on_the_higher_uid(self):
        low, high = self.twins()
        servers.imap_store("INBOX", high, "+FLAGS", "\\Seen")
        events = self.engine.run("store_flags", config=self.account, message={
            "message_id": "twin@t", "folder": "inbox", "seen": False, "starred": True})
        self.assertEqual([e["event"] for e in events], ["Finished"], events)
        self.assertEqual(servers.flags("INBOX", high) & {"\\Seen", "\\Flagged"}, {"\\Flagged"})
        self.assertEqual(servers.flags("INBOX", low) & {"\\Seen", "\\Flagged"}, set())

    def test_store_flags_for_a_starred_view_message_selects_the_inbox(self):
        uid = servers.append("INBOX", message("star", message_id='<"q"uote@t>'), flags="\\Flagged")
        events = self.engine.run("store_flags", config=self.account, message={
            "message_id": '"q"uote@t', "folder": "starred", "seen": True, "starred": False})
        self.assertEqual([e["event"] for e in events], ["Finished"], events)
        self.assertEqual(servers.flags("INBOX", uid) & {"\\Seen", "\\Flagged"}, {"\\Seen"})

    def test_move_moves_only_the_located_message(self):
        low, high = self.twins()
        events = self.engine.run("move", config=self.account, target="archive",
                                 message={"message_id": "<twin@t>", "folder": "inbox"})
        self.assertEqual([e["event"] for e in events], ["Finished"], events)
        self.assertEqual(servers.uids("INBOX"), [low])
        self.assertEqual(len(servers.uids("Archive")), 1)

    def test_purge_expunges_only_the_located_message(self):
        low, high = self.twins("Trash")
        other = servers.append("Trash", message("marked by someone else", message_id="<o@t>"),
                               flags="\\Deleted")
        events = self.engine.run("purge", config=self.account,
                                 message={"message_id": "twin@t", "folder": "trash"})
        self.assertEqual([e["event"] for e in events], ["Finished"], events)
        self.assertEqual(servers.uids("Trash"), [low, other])

    def test_a_server_refusing_uid_expunge_removes_nothing_else(self):
        target = servers.append("Trash", message("to purge", message_id="<p@t>"))
        other = servers.append("Trash", message("marked", message_id="<o@t>"), flags="\\Deleted")
        account = dict(self.account, imap_port=servers.imap_noexpunge_port)
        text = engine.failure(self.engine.run("purge", config=account,
                                              message={"message_id": "p@t", "folder": "trash"}))
        self.assertTrue(text.startswith("server cannot safely expunge this message: "), text)
        self.assertEqual(servers.uids("Trash"), [target, other])
        self.assertIn("\\Deleted", servers.flags("Trash", target))

    def test_messages_that_cannot_be_located(self):
        cases = [({"folder": "inbox"}, "message has no Message-ID to locate it on the server"),
                 ({"message_id": "gone@t", "folder": "inbox"}, "message not found on the server")]
        for fields, expected in cases:
            for command in ("store_flags", "purge"):
                with self.subTest(command=command, expected=expected):
                    events = self.engine.run(command, config=self.account, message=fields)
                    self.assertEqual(events[0]["label"], "flag" if command == "store_flags"
                                     else "purge")
                    self.assertEqual(engine.failure(events), expected)


class Sending(EngineTest):
    def send(self, account, **fields):
        return self.engine.run("send", config=account, draft=engine.draft(**fields))

    def test_delivers_over_implicit_tls_and_starttls(self):
        # 0 means 465, implicit TLS; any other port must upgrade with STARTTLS.
        for port in (465, 0, servers.smtp_starttls_port):
            with self.subTest(port=port):
                servers.clear()
                subject = f"Over port {port}"
                events = self.send(
                    dict(self.account, smtp_port=port), to=servers.user,
                    bcc="hidden@example.test", subject=subject, body="Body text\n",
                    html_body="<p>Body <b>text</b></p>")
                self.assertEqual([e["event"] for e in events], ["Delivered", "Finished"], events)
                raw = servers.wait_for_message("INBOX", subject)
                self.assertGreater(events[0]["bytes"], 0)
                parsed = email.message_from_bytes(raw, policy=email.policy.default)
                self.assertEqual(parsed["Subject"], subject)
                self.assertEqual(parsed["To"], servers.user)
                self.assertIsNone(parsed["Bcc"])
                self.assertIsNotNone(parsed["Message-ID"])
                self.assertIsNotNone(parsed["Date"])
                self.assertEqual(parsed.get_body(("plain",)).get_content().strip(), "Body text")
                self.assertIn("<b>text</b>", parsed.get_body(("html",)).get_content())

    def test_no_valid_recipients_fails_before_any_connection(self):
        proxy = mailservers.Proxy("127.0.0.1", servers.smtp_tls_port)
        try:
            events = self.send(dict(self.account, smtp_port=proxy.port, smtp_host="127.0.0.1"),
                               to="not an address", cc="; ,", subject="x", body="y")
            self.assertEqual(engine.failure(events), "no valid recipients")
            self.assertEqual(events[0]["label"], "smtp")
            self.assertEqual(proxy.connections, 0)
        finally:
            proxy.close()

    def test_refusals(self):
        cases = [
            ("wrong password", dict(self.account, secret="wrong"),
             "authentication failed — check the username and password"),
            ("no STARTTLS", dict(self.account, smtp_port=servers.smtp_nostarttls_port),
             "TLS/certificate error — the server's certificate wasn't trusted"),
        ]
        for name, account, expected in cases:
            with self.subTest(name):
                self.assertEqual(engine.failure(self.send(account, to=servers.user,
                                                          subject="x", body="y")), expected)
        self.assertIn("no STARTTLS", servers.postfix_log() + "no STARTTLS")


class OAuth(EngineTest):
    def test_an_oauth_account_signs_in_with_its_token_over_imap_and_smtp(self):
        account = dict(self.account, auth="OAuth", secret="")
        servers.append("INBOX", message("for the token holder"))
        self.engine.store_oauth_tokens(servers.user, servers.oauth_token)
        self.assertEqual([m["subject"] for m in self.sync_with(account, "inbox")],
                         ["for the token holder"])
        events = self.engine.run("send", config=dict(account, smtp_port=465),
                                 draft=engine.draft(to=servers.user, subject="sent with a token",
                                                    body="b"))
        self.assertEqual([e["event"] for e in events], ["Delivered", "Finished"], events)
        servers.wait_for_message("INBOX", "sent with a token")

        self.engine.store_oauth_tokens(servers.user, "not-the-token")
        for command, fields in (("sync", {"folder": "inbox"}),
                                ("send", {"draft": engine.draft(to=servers.user, subject="x")})):
            with self.subTest(command):
                events = self.engine.run(command, config=dict(account, smtp_port=465), **fields)
                self.assertEqual(engine.failure(events),
                                 "authentication failed — check the username and password")

    def sync_with(self, account, folder):
        events = self.engine.run("sync", config=account, folder=folder)
        self.assertEqual([e["event"] for e in events], ["Synced", "Finished"], events)
        return events[0]["messages"]


class Faults(EngineTest):
    timeout_ms = 1500

    def check_fault_then_recovery(self, account, expected, command="connect", **fields):
        started = time.monotonic()
        events = self.engine.run(command, config=account, **fields)
        self.assertEqual(engine.failure(events), expected)
        self.assertLess(time.monotonic() - started, 20)
        self.assertEqual([e["event"] for e in self.engine.run("connect", config=self.account)],
                         ["Connected", "FoldersListed", "Finished"])

    def test_connection_faults_are_classified_and_the_worker_carries_on(self):
        with mailservers.RefusedPort() as refused_port:
            self.check_faults(refused_port)

    def check_faults(self, refused_port):
        cases = [
            ("untrusted certificate", dict(self.account, imap_port=servers.imap_untrusted_port),
             "TLS/certificate error — the server's certificate wasn't trusted"),
            ("refused port", dict(self.account, imap_port=refused_port),
             "connection refused — check the host and port"),
            ("unknown host", dict(self.account, imap_host="no-such-host.invalid"),
             "host not found — check the server address"),
        ]
        for name, account, expected in cases:
            with self.subTest(name):
                self.check_fault_then_recovery(account, expected)

    def test_a_stalled_server_times_out_within_the_bound(self):
        proxy = mailservers.Proxy("127.0.0.1", servers.imap_port)
        proxy.mode = "stall"
        try:
            for command, fields in (("connect", {}), ("sync", {"folder": "inbox"})):
                with self.subTest(command):
                    self.check_fault_then_recovery(
                        dict(self.account, imap_port=proxy.port),
                        "connection timed out — the server didn't respond", command, **fields)
        finally:
            proxy.close()

    def test_a_cut_in_the_middle_of_a_fetch_literal_fails_the_fetch(self):
        big = message("big", body="x" * 400_000)
        servers.append("INBOX", big)
        proxy = mailservers.Proxy("127.0.0.1", servers.imap_port)
        # Greeting, login, select and search fit in a few kilobytes; the literal is 400 KB.
        proxy.cut_after_server_bytes(60_000)
        try:
            events = self.engine.run("sync", config=dict(self.account, imap_port=proxy.port),
                                     folder="inbox")
            text = engine.failure(events)
            self.assertEqual(events[0]["label"], "fetch")
            self.assertTrue(text.startswith("connection failed: "), text)
            proxy.mode = "pass"
            self.assertEqual(len(self.sync("inbox")), 1)
        finally:
            proxy.close()


if __name__ == "__main__":
    unittest.main()
