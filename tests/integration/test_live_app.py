"""A normal start of the app on an account at the test servers, through the headless host."""
import json
import unittest

import harness
import mailservers
from test_document import message_key
from test_live_engine import message


class LiveStart(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.servers = mailservers.MailServers()
        cls.servers.start()
        import test_live_engine
        test_live_engine.servers = cls.servers  # message() addresses the test user

    @classmethod
    def tearDownClass(cls):
        cls.servers.stop()

    def setUp(self):
        self.home = harness.Home()

    def tearDown(self):
        self.home.cleanup()

    def test_start_syncs_the_inbox_into_the_document(self):
        s = self.servers
        s.clear()
        flags = {"a@t": "", "b@t": "\\Seen", "c@t": "\\Flagged", "d@t": "\\Seen \\Flagged"}
        for mid, f in flags.items():
            s.append("INBOX", message(f"subject {mid}", message_id=f"<{mid}>"), flags=f)
        self.home.add_account(email=s.user, password=s.password, display_name="Ada",
                              imap_host="localhost", imap_port=s.imap_port,
                              smtp_host="localhost", smtp_port=s.smtp_tls_port)
        path = self.home.path("doc.json")
        lines = harness.run(self.home, [{"frames": 1}, {"wait_idle": 20000}, {"doc": path}],
                            extra_env={"SSL_CERT_FILE": s.ca_file})
        shown = harness.statuses(lines)
        self.assertEqual(shown[0], "Syncing…")
        self.assertIn("Synced 4 messages", shown)
        self.assertTrue(harness.answers(lines, "wait_idle")[0]["idle"])
        with open(path) as f:
            doc = json.load(f)
        for mid, f in flags.items():
            key = message_key(mid)
            self.assertIs(doc["messages"][key]["present"], True, mid)
            self.assertEqual((doc["flags"][key]["read"], doc["flags"][key]["starred"]),
                             ("\\Seen" in f, "\\Flagged" in f), mid)
        # The fetch peeked: nothing became read on the server.
        self.assertEqual([u for u in s.uids("INBOX", "UNSEEN")].__len__(), 2)


    def start_session(self, subjects):
        """Seeds the Inbox (the first subject newest) and starts the app synced on it."""
        s = self.servers
        s.clear()
        # The arrival time orders the list, so each message arrives a minute apart.
        for n, subject in reversed(list(enumerate(subjects))):
            s.append("INBOX", message(subject, message_id=f"<{subject}@t>"),
                     date_time=1_765_400_000 - 60 * n)
        self.home.add_account(email=s.user, password=s.password, display_name="Ada",
                              imap_host="localhost", imap_port=s.imap_port,
                              smtp_host="localhost", smtp_port=s.smtp_tls_port)
        session = harness.Session(self.home, extra_env={"SSL_CERT_FILE": s.ca_file})
        session.command({"frames": 1})
        self.assertTrue(session.command({"wait_idle": 20000})["idle"])
        return session

    def uid_of(self, mailbox, subject):
        conn = self.servers.imap()
        try:
            conn.select(mailbox)
            _, data = conn.uid("SEARCH", "HEADER", "Message-ID", f"{subject}@t")
            found = data[0].split()
            return int(found[-1]) if found else None
        finally:
            conn.logout()

    def test_keyboard_changes_reach_the_server(self):
        session = self.start_session(["first", "second", "third"])
        try:
            for key in ("Enter", "s", "e", "Delete"):
                session.command({"key": key})
            self.assertTrue(session.command({"wait_idle": 20000})["idle"])
        finally:
            session.close()
        s = self.servers
        first = self.uid_of("Archive", "first")
        self.assertIsNotNone(first, "e archived the opened message")
        self.assertTrue({"\\Seen", "\\Flagged"} <= s.flags("Archive", first))
        self.assertIsNotNone(self.uid_of("Trash", "second"), "Delete moved the next one")
        self.assertEqual(sorted(self.uid_of("INBOX", x) is not None for x in
                                ("first", "second", "third")), [False, False, True])
        self.assertEqual(harness.statuses(session.lines)[-1:], [None], "no failure was shown")

    def test_a_server_failure_keeps_the_local_change_and_says_why(self):
        session = self.start_session(["gone", "stays"])
        conn = self.servers.imap()
        conn.select("INBOX")
        conn.uid("STORE", str(self.uid_of("INBOX", "gone")), "+FLAGS.SILENT", "(\\Deleted)")
        conn.expunge()
        conn.logout()
        path = self.home.path("after.json")
        try:
            session.command({"key": "e"})
            self.assertTrue(session.command({"wait_idle": 20000})["idle"])
            session.command({"doc": path})
        finally:
            session.close()
        self.assertIn("move: message not found on the server", harness.statuses(session.lines))
        with open(path) as f:
            doc = json.load(f)
        self.assertEqual(doc["flags"][message_key("gone@t")]["folder"], "archive")


if __name__ == "__main__":
    unittest.main()
