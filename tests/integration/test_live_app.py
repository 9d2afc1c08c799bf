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


if __name__ == "__main__":
    unittest.main()
