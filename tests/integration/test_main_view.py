"""The main view through the headless driver on the sample mailbox: keys, clicks and overlays
change the document and report their status texts."""
import json
import unittest

import harness


def flags(doc):
    return doc.get("flags", {})


class MainView(unittest.TestCase):
    def setUp(self):
        self.home = harness.Home()
        self.docs = 0

    def tearDown(self):
        self.home.cleanup()

    def doc_command(self):
        self.docs += 1
        return {"doc": self.home.path(f"doc{self.docs}.json")}

    def read_doc(self, n):
        with open(self.home.path(f"doc{n}.json")) as f:
            return json.load(f)

    def run_scene(self, commands, scene="wide"):
        return harness.run(self.home, [{"frames": 2}, *commands], args=["--scene", scene])

    def test_archive_preview_and_open_from_the_keyboard(self):
        lines = self.run_scene([
            self.doc_command(),                         # 1: before
            {"key": "p"}, {"frames": 1}, self.doc_command(),      # 2: previewed
            {"key": "Enter"}, {"frames": 1}, self.doc_command(),  # 3: opened
            {"key": "e"}, {"frames": 1}, self.doc_command(),      # 4: archived
        ])
        before, previewed, opened, archived = (self.read_doc(n) for n in (1, 2, 3, 4))
        self.assertIn("Previewing without changing this message’s read state",
                      harness.statuses(lines))
        self.assertEqual(flags(previewed), flags(before), "a preview changes nothing")
        newly_read = [k for k, v in flags(opened).items()
                      if v["read"] and not flags(before)[k]["read"]]
        self.assertEqual(len(newly_read), 1, "Enter marks the previewed message read")
        moved = [k for k, v in flags(archived).items() if v["folder"] != flags(opened)[k]["folder"]]
        self.assertEqual(moved, newly_read)
        self.assertEqual(flags(archived)[moved[0]]["folder"], "archive")

    def test_keys_type_into_the_focused_search_field(self):
        # A press on the search field focuses it; "r" and "e" then type instead of replying and
        # archiving, so the document stays as it was.
        lines = self.run_scene([self.doc_command(), {"click": [470, 28]}, {"key": "r"},
                                {"key": "e"}, {"frames": 1}, self.doc_command()])
        self.assertTrue(all(a["consumed"] for a in harness.answers(lines, "key")))
        self.assertEqual(flags(self.read_doc(2)), flags(self.read_doc(1)))

    def test_bulk_delete_counts_only_what_moved_and_purge_needs_an_all_trash_selection(self):
        lines = self.run_scene([
            {"key": "x"}, {"click": [430, 236]}, {"click": [430, 315]},  # two Inbox rows
            {"click": [100, 394]}, {"click": [430, 236]},                # Trash, its first row
            {"key": "Delete", "shift": True}, {"frames": 1},
            {"key": "Delete"}, {"frames": 1}, self.doc_command(),
        ])
        shown = harness.statuses(lines)
        self.assertEqual(shown[:2], ["Permanent deletion requires an all-Trash selection",
                                     "Moved 2 messages to Trash"])
        self.assertEqual(sum(v["folder"] == "trash" for v in flags(self.read_doc(1)).values()), 4)

    def test_the_confirmation_sheet_buttons_at_their_rectangles(self):
        # 1280 × 800: the sheet is 420 × 206, centred; confirm spans 684..826 × 451..485,
        # cancel 588..674 over the same rows.
        cancelled = self.run_scene([{"click": [631, 468]}, {"frames": 1}, self.doc_command(),
                                    {"click": [755, 468]}, {"frames": 1}],
                                   scene="bulk_purge_confirmation")
        self.assertEqual(harness.statuses(cancelled), [], "cancel, then a press with no sheet")
        self.assertFalse(any(v.get("purged") for v in self.read_doc(1)["messages"].values()))

        confirmed = self.run_scene([{"click": [755, 468]}, {"frames": 1}, self.doc_command()],
                                   scene="bulk_purge_confirmation")
        self.assertEqual(harness.statuses(confirmed), ["Permanently deleted 2 trashed messages"])
        purged = [k for k, v in self.read_doc(2)["messages"].items() if v.get("purged")]
        self.assertEqual(len(purged), 2)

    def test_controls_by_identifier_through_the_driver(self):
        def semantic(control):
            return {"semantic": {"id": control, "action": "activate"}}
        lines = self.run_scene([semantic("mail.bulk:read"), semantic("mail.bulk:toggle"),
                                semantic("mail.bulk:select-all"), semantic("mail.bulk:unread"),
                                {"frames": 1}, self.doc_command()])
        self.assertEqual([a["accepted"] for a in harness.answers(lines, "semantic")],
                         [False, True, True, True], "bulk controls work only in bulk mode")
        shown = harness.statuses(lines)
        self.assertEqual(len(shown), 1)
        self.assertRegex(shown[0], r"^Marked \d+ messages unread$")
        # Select all takes one message per conversation row.
        marked = int(shown[0].split()[1])
        unread = [v for v in flags(self.read_doc(1)).values()
                  if v["folder"] == "inbox" and not v["read"]]
        self.assertGreaterEqual(len(unread), marked)

    def test_the_context_menu_of_an_inbox_message_has_no_move_to_inbox(self):
        path = self.home.path("a11y.json")
        self.run_scene([{"a11y": path}], scene="context_menu")
        with open(path) as f:
            menu = json.load(f)
        self.assertEqual(menu["name"], "Message actions")
        self.assertEqual([c["name"] for c in menu["children"]],
                         ["Reply", "Reply all", "Forward", "Mark read", "Star", "Archive",
                          "Delete", "Mark as junk"])


if __name__ == "__main__":
    unittest.main()
