"""Normal starts and the preview scenes, through the headless host."""
import unittest

import harness


class NormalStart(unittest.TestCase):
    def setUp(self):
        self.home = harness.Home()

    def tearDown(self):
        self.home.cleanup()

    def test_first_frame_connects_then_syncs_and_shows_the_answers(self):
        self.home.add_account()
        lines = harness.run(self.home, [{"frames": 1}, {"wait_idle": 8000}],
                            extra_env={"VEXA_LOG": "debug"})
        submitted = harness.logs(lines, "mail: command submitted")
        self.assertEqual([l["kind"] for l in submitted], ["0", "1"])
        finished = harness.logs(lines, "mail: request finished")
        self.assertEqual(sorted(l["request_id"] for l in finished),
                         sorted(l["request_id"] for l in submitted))
        shown = harness.statuses(lines)
        self.assertEqual(shown[0], "Syncing…")
        # The account's server does not exist: both commands fail with the classified text.
        self.assertIn("fetch: host not found — check the server address", shown)
        self.assertEqual(harness.answers(lines, "wait_idle")[0]["idle"], True)
        self.assertEqual(lines[-1], {"event": "done"})

    def test_no_account_shows_the_welcome_panel_and_connects_nothing(self):
        shot = self.home.path("first.png")
        lines = harness.run(self.home, [{"frames": 2}, {"screenshot": shot}],
                            extra_env={"VEXA_LOG": "debug"})
        self.assertEqual(harness.logs(lines, "mail: command submitted"), [])
        self.assertTrue(harness.answers(lines, "screenshot")[0]["ok"])
        with open(shot, "rb") as f:
            self.assertEqual(f.read(8), b"\x89PNG\r\n\x1a\n")


class Scenes(unittest.TestCase):
    SIZES = {
        "narrow": (560, 860), "narrow_detail": (560, 860), "narrow_drawer": (560, 860),
        "compose_narrow": (560, 860), "setup_narrow": (560, 860), "mid": (1000, 720),
        "compose": (1180, 820), "reply": (1180, 820), "setup": (1100, 780),
        "setup_add": (1100, 780), "setup_oauth": (1100, 780), "firstrun": (1100, 780),
        "error": (1100, 780), "html_mail": (1280, 820),
    }
    NAMES = ["wide", "narrow", "narrow_detail", "narrow_drawer", "mid", "compose",
             "compose_narrow", "setup", "setup_narrow", "setup_add", "setup_oauth", "firstrun",
             "html_mail", "search", "preview", "bulk", "bulk_purge_confirmation", "reply",
             "context_menu", "loading", "empty", "offline", "error"]

    def test_every_scene_starts_at_its_window_size(self):
        import struct
        home = harness.Home()
        try:
            for name in self.NAMES:
                shot = home.path(f"{name}.png")
                lines = harness.run(home, [{"frames": 2}, {"screenshot": shot}], args=["--scene", name])
                self.assertTrue(harness.answers(lines, "screenshot")[0]["ok"], name)
                with open(shot, "rb") as f:
                    header = f.read(24)
                width, height = struct.unpack(">II", header[16:24])
                self.assertEqual((width, height), self.SIZES.get(name, (1280, 800)), name)
            offline = harness.run(home, [{"frames": 2}], args=["--scene", "offline"])
            self.assertIn("You’re offline · Showing downloaded mail", harness.statuses(offline))
            loading = harness.run(home, [{"frames": 2}], args=["--scene", "loading"])
            self.assertIn("Syncing Inbox…", harness.statuses(loading))
        finally:
            home.cleanup()


if __name__ == "__main__":
    unittest.main()
