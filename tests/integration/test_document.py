"""The persistent document through the driver: actions are durable once answered."""
import email
import glob
import json
import os
import time
import unittest

import harness


def message_key(message_id):
    """The message key of a Message-ID: two FNV-1a 64-bit hashes, big-endian, as a UUID text."""
    s = message_id.strip().lstrip("<").rstrip(">").encode()
    a, b = 0xCBF29CE484222325, 0x0102030405060708
    for c in s:
        a = ((a ^ c) * 0x100000001B3) & 0xFFFFFFFFFFFFFFFF
        b = ((b ^ c) * 0x100000001B3) & 0xFFFFFFFFFFFFFFFF
    h = f"{a:016x}{b:016x}"
    return f"{h[0:8]}-{h[8:12]}-{h[12:16]}-{h[16:20]}-{h[20:32]}"


def create_folder(folder_id, name):
    return {"invoke": {"type": "mail.action",
                       "value": {"CreateFolder": {"id": folder_id, "name": name}}}}


class Document(unittest.TestCase):
    def setUp(self):
        self.home = harness.Home()
        self.home.add_account()

    def tearDown(self):
        self.home.cleanup()

    def doc(self, lines_or_none=None):
        path = self.home.path("doc.json")
        lines = harness.run(self.home, [{"frames": 1}, {"doc": path}])
        self.assertTrue(harness.answers(lines, "doc")[0]["ok"])
        with open(path) as f:
            return json.load(f)

    def test_action_is_visible_and_survives_a_restart(self):
        path = self.home.path("doc.json")
        lines = harness.run(self.home, [{"frames": 1}, create_folder("f-1", "  Receipts  "),
                                        {"doc": path}])
        self.assertTrue(harness.answers(lines, "invoke")[0]["ok"])
        with open(path) as f:
            self.assertEqual(json.load(f)["folders"], {"f-1": "Receipts"})
        self.assertEqual(self.doc()["folders"], {"f-1": "Receipts"})

    def test_answered_action_survives_kill_9(self):
        for attempt in range(3):
            session = harness.Session(self.home)
            session.command({"frames": 1})
            answer = session.command(create_folder(f"k-{attempt}", f"Kept {attempt}"))
            self.assertTrue(answer["ok"])
            session.kill()
        folders = self.doc()["folders"]
        self.assertEqual(folders, {f"k-{i}": f"Kept {i}" for i in range(3)})

    def test_rejected_purge_reports_and_changes_nothing(self):
        before = self.doc()
        lines = harness.run(self.home, [
            {"frames": 1},
            {"invoke": {"type": "mail.action", "value": {"Purge": {"ids": []}}}},
            {"invoke": {"type": "mail.action",
                        "value": {"Purge": {"ids": ["00000000-0000-4000-8000-000000000000"]}}}},
        ])
        for answer in harness.answers(lines, "invoke"):
            self.assertFalse(answer["ok"])
            self.assertEqual(answer["error"],
                             "every message must still be present in Trash before permanent deletion")
        self.assertEqual(self.doc(), before)

    def test_read_flag_of_a_sample_message_follows_the_action(self):
        sample = sorted(glob.glob(os.path.join(os.environ["VEXA_SOURCE_DIR"],
                                               "apps/mail/resources/sample/*.eml")))
        with open(sample[0], "rb") as f:
            key = message_key(email.message_from_binary_file(f)["Message-ID"])
        path = self.home.path("scene.json")
        lines = harness.run(self.home, [
            {"frames": 1},
            {"invoke": {"type": "mail.action", "value": {"SetRead": {"ids": [key], "read": False}}}},
            {"doc": path},
        ], args=["--scene", "wide"])
        self.assertTrue(harness.answers(lines, "invoke")[0]["ok"])
        with open(path) as f:
            doc = json.load(f)
        self.assertIs(doc["flags"][key]["read"], False)
        self.assertIs(doc["messages"][key]["present"], True)


if __name__ == "__main__":
    unittest.main()
