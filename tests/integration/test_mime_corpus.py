"""The real-world MIME corpus through the real server: each message is appended to Dovecot as
its exact bytes, synced through the engine, and must give the record the corpus holds for it."""
import glob
import json
import os
import unittest

import engine
import mailservers

CORPUS = os.path.join(os.environ.get("VEXA_SOURCE_DIR", os.path.join(os.path.dirname(__file__),
                                                                      "..", "..")),
                      "tests", "mime_corpus")
NOW_MINUTES = 1_700_000_000 // 60
# A sync fetches at most 50 messages, so the corpus is spread over folders in batches.
FOLDERS = [("Archive", "archive"), ("Junk", "junk"), ("Sent", "sent"), ("Drafts", "drafts")]
BATCH = 40


def expected_record(path):
    """The corpus record with the fields it may leave out filled in (see its README)."""
    with open(path, encoding="utf-8") as f:
        e = json.load(f)
    defaults = {"to": [], "cc": [], "attachments": [], "html": None, "message_id": None,
                "thread_key": None, "seen": False, "starred": False, "time": NOW_MINUTES}
    for key, value in defaults.items():
        e.setdefault(key, value)
    return e


class MimeCorpusThroughTheServer(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.servers = mailservers.MailServers()
        cls.servers.start()

    @classmethod
    def tearDownClass(cls):
        cls.servers.stop()

    def test_every_message_gives_its_record(self):
        messages = sorted(glob.glob(os.path.join(CORPUS, "*.eml")))
        self.assertGreater(len(messages), 0, CORPUS)
        self.assertLessEqual(len(messages), BATCH * len(FOLDERS))
        expected = {}
        for i, path in enumerate(messages):
            mailbox, key = FOLDERS[i // BATCH]
            record = expected_record(path[:-len(".eml")] + ".json")
            with open(path, "rb") as f:
                raw = f.read()
            # INTERNALDATE wins over the Date header in a fetch, so it is set to the recorded
            # time; messages without a Date then get the time the corpus expects.
            self.servers.append(mailbox, raw, date_time=record["time"] * 60, exact=True)
            record["folder"] = key
            expected[os.path.basename(path)] = record

        worker = engine.Engine(self.servers)
        try:
            account = engine.account(self.servers)
            fetched = []
            for _, key in FOLDERS[:(len(messages) + BATCH - 1) // BATCH]:
                events = worker.run("sync", config=account, folder=key)
                self.assertEqual([e["event"] for e in events], ["Synced", "Finished"], events)
                fetched += events[0]["messages"]
        finally:
            worker.close()

        self.assertEqual(len(fetched), len(messages))
        by_id = {}
        for record in fetched:
            for attachment in record["attachments"]:
                del attachment["content_base64"]
            by_id[record["id"]] = record
        for name, record in expected.items():
            with self.subTest(name):
                got = by_id.get(record.get("id") or self.identity_of(record, fetched))
                self.assertIsNotNone(got, f"{name} was not fetched")
                self.assertEqual({k: got[k] for k in record}, record)
                self.assertEqual(set(got) - set(record), {"id"} - set(record))

    @staticmethod
    def identity_of(record, fetched):
        """Records with a Message-ID leave their id out; find it by that Message-ID."""
        for got in fetched:
            if got["message_id"] is not None and got["message_id"] == record["message_id"]:
                return got["id"]
        return None


if __name__ == "__main__":
    unittest.main()
