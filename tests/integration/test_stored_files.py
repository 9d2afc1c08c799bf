"""Broken account files at a normal start: what can be read loads, the status line says what
could not be, and nothing overwrites the file that could not be read."""
import json
import os
import stat
import unittest

import harness


class BrokenStoredFiles(unittest.TestCase):
    def setUp(self):
        self.home = harness.Home()
        self.accounts = os.path.join(self.home.accounts_dir, "accounts.json")
        self.vault = os.path.join(self.home.accounts_dir, "vault.json")

    def tearDown(self):
        self.home.cleanup()

    def start(self):
        return harness.run(self.home, [{"frames": 2}, {"wait_idle": 8000}])

    def read(self, path):
        with open(path, "rb") as f:
            return f.read()

    def test_an_unreadable_account_file_is_named_and_left_alone(self):
        os.makedirs(self.home.accounts_dir, exist_ok=True)
        for broken, reason in ((b'{"accounts": [', "it is not valid JSON"),
                               (b'{"accounts": {}}', '"accounts" is not a list'),
                               (b'{"accounts": [], "accounts": []}', "appears twice")):
            with self.subTest(reason):
                with open(self.accounts, "wb") as f:
                    f.write(broken)
                shown = harness.statuses(self.start())
                self.assertTrue(shown, "the reason reaches the screen, not only the log")
                self.assertIn(self.accounts, shown[0])
                self.assertIn(reason, shown[0])
                self.assertEqual(self.read(self.accounts), broken)

    def test_one_damaged_account_hides_no_other_and_survives_the_start(self):
        self.home.add_accounts([dict(email="ann@example.com"), dict(email="bo@example.com")],
                               active=1)
        with open(self.accounts) as f:
            store = json.load(f)
        # A hand edit gone wrong in the first record: a port written as text.
        text = json.dumps(store)
        typo = text.replace('"imap_port": 993', '"imap_port": "993"', 1)
        self.assertNotEqual(typo, text)
        with open(self.accounts, "w") as f:
            f.write(typo)
        vault_before = self.read(self.vault)
        lines = self.start()
        shown = harness.statuses(lines)
        self.assertTrue(any("ann@example.com" in s for s in shown), shown)
        self.assertEqual(len(harness.logs(lines, "mail: could not read an account")), 1)
        # The readable account is the one in use: it syncs (and fails, its server is fake).
        self.assertIn("fetch: host not found — check the server address", shown)
        with open(self.accounts) as f:
            after = f.read()
        self.assertIn('"imap_port": "993"', after, "the damaged record is kept as written")
        self.assertEqual(self.read(self.vault), vault_before, "its password stays")

    def test_an_unreadable_vault_loads_the_accounts_without_secrets(self):
        self.home.add_account(email="ann@example.com")
        with open(self.vault, "wb") as f:
            f.write(b'{"ann@example.com": ')
        accounts_before = self.read(self.accounts)
        shown = harness.statuses(self.start())
        self.assertIn("Passwords couldn’t be loaded", shown[0])
        self.assertIn(self.vault, shown[0])
        self.assertIn("fetch: no password set for this account", shown)
        self.assertEqual(self.read(self.vault), b'{"ann@example.com": ')
        self.assertEqual(self.read(self.accounts), accounts_before)

    def test_a_vault_readable_by_others_is_made_private(self):
        self.home.add_account(email="ann@example.com")
        os.chmod(self.vault, 0o644)
        lines = self.start()
        self.assertEqual(stat.S_IMODE(os.stat(self.vault).st_mode), 0o600)
        self.assertEqual(len(harness.logs(
            lines, "accounts: the secret vault was readable by others; made private")), 1)


if __name__ == "__main__":
    unittest.main()
