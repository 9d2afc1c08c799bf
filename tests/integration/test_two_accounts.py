"""Two accounts on two users of the test server, one message delivered to both: a change made
while the second account is current reaches only the second user's mailbox."""
import unittest

import harness
import mailservers
import test_live_engine
from test_document import message_key
from test_live_engine import message

BOB = "bob@example.test"


class TwoAccounts(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.servers = mailservers.MailServers(extra_users=(BOB,))
        cls.servers.start()
        test_live_engine.servers = cls.servers  # message() addresses the test user

    @classmethod
    def tearDownClass(cls):
        cls.servers.stop()

    def setUp(self):
        self.home = harness.Home()

    def tearDown(self):
        self.home.cleanup()

    def as_bob(self):
        return self.servers.imap(user=BOB, secret=self.servers.extra_users[BOB])

    def bob_uids(self, mailbox):
        conn = self.as_bob()
        try:
            conn.select(mailbox, readonly=True)
            _, data = conn.uid("SEARCH", "ALL")
            return [int(u) for u in data[0].split()]
        finally:
            conn.logout()

    def test_changes_reach_only_the_account_that_is_current(self):
        s = self.servers
        s.clear()
        shared = message("Shared announcement", message_id="<shared@t>")
        s.append("INBOX", shared)
        s.append("INBOX", message("For Ada only", message_id="<ada-only@t>"))
        conn = self.as_bob()
        try:
            conn.append("INBOX", None, None, shared)
        finally:
            conn.logout()

        server = dict(imap_host="localhost", imap_port=s.imap_port, smtp_host="localhost",
                      smtp_port=s.smtp_tls_port)
        self.home.add_accounts([dict(email=s.user, password=s.password, display_name="Ada",
                                     **server),
                                dict(email=BOB, password=s.extra_users[BOB], display_name="Bob",
                                     **server)])
        session = harness.Session(self.home, extra_env={"SSL_CERT_FILE": s.ca_file})
        try:
            def semantic(control, action="activate"):
                return session.command({"semantic": {"id": control, "action": action}})

            def settle():
                self.assertTrue(session.command({"wait_idle": 20000})["idle"])

            session.command({"frames": 1})
            settle()  # Ada's Inbox is synced
            # Bob's account: selecting it fetches its Inbox.
            self.assertTrue(semantic("mail.account:1")["accepted"])
            settle()

            # Ada's own message is out of reach while Bob's account is current.
            ada_only = message_key("<ada-only@t>")
            self.assertFalse(semantic(f"mail.message:{ada_only}")["accepted"])
            self.assertFalse(semantic(f"mail.reader:{ada_only}:archive")["accepted"])

            # The shared message, opened and archived under Bob's account.
            shared_key = message_key("<shared@t>")
            self.assertTrue(semantic(f"mail.message:{shared_key}")["accepted"])
            self.assertTrue(semantic(f"mail.reader:{shared_key}:archive")["accepted"])
            settle()
            self.assertEqual(self.bob_uids("INBOX"), [])
            self.assertEqual(len(self.bob_uids("Archive")), 1)

            # Deleted twice under Bob's account: to Trash, then permanently.
            semantic("mail.folder:1:archive")
            self.assertTrue(semantic(f"mail.reader:{shared_key}:delete")["accepted"])
            settle()
            semantic("mail.folder:1:trash")
            self.assertTrue(semantic(f"mail.reader:{shared_key}:delete")["accepted"])
            settle()
            self.assertEqual(self.bob_uids("Trash"), [])
            self.assertEqual(self.bob_uids("Archive"), [])
        finally:
            session.close()

        # Ada's mailbox is as it was: both messages in the Inbox, neither read.
        self.assertEqual(len(s.uids("INBOX")), 2)
        self.assertEqual(s.uids("INBOX", "UNSEEN"), s.uids("INBOX"))
        self.assertEqual(s.uids("Archive"), [])
        self.assertEqual(s.uids("Trash"), [])


if __name__ == "__main__":
    unittest.main()
