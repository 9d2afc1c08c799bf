// The context menu, the shortcut reference and the controls reached by identifier.
#include <gtest/gtest.h>

#include "commands_fixture.h"
#include "overlays/context_menu.h"
#include "overlays/shortcut_reference.h"

namespace mail::core::testing {
namespace {

using views::MessageAction;
using Overlays = CommandsFixture;

std::vector<std::string> entry_names(const vexa::ui::AccessNode& menu) {
  std::vector<std::string> names;
  for (const auto& child : menu.children) names.push_back(child.name);
  return names;
}

TEST_F(Overlays, MenuOffersMoveToInboxOnlyOutsideTheInbox) {
  struct Case {
    std::string_view subject;
    bool move_to_inbox;
  };
  for (const Case& c : std::vector<Case>{{kParcel, false}, {kPromo, true}}) {
    SCOPED_TRACE(c.subject);
    state->queue(intent::OpenContextMenu{id_of(c.subject), 100, 100});
    app->dispatch_intents(doc.get());
    const vexa::ui::AccessNode menu = app->accessibility();
    EXPECT_EQ(menu.name, "Message actions");
    const auto names = entry_names(menu);
    EXPECT_EQ(std::count(names.begin(), names.end(), "Move to Inbox"), c.move_to_inbox ? 1 : 0);
    EXPECT_EQ(names.front(), "Reply");
    EXPECT_EQ(names.back(), "Mark as junk");
    EXPECT_EQ(menu.children[0].id, "mail.context:" + key_of(id_of(c.subject)) + ":0");
    key("Escape");
    EXPECT_FALSE(app->context_menu_layer().is_open());
  }
}

TEST_F(Overlays, MenuFocusKeysWrap) {
  struct Case {
    std::vector<std::string> keys;
    std::size_t focused;
  };
  // Inbox message: eight entries.
  const std::vector<Case> cases = {
      {{"Down"}, 1},        {{"Tab", "Tab"}, 2},  {{"Up"}, 7},      {{"End"}, 7},
      {{"End", "Down"}, 0}, {{"End", "Home"}, 0}, {{"x", "F5"}, 0},
  };
  for (const Case& c : cases) {
    state->queue(intent::OpenContextMenu{id_of(kParcel), 10, 10});
    app->dispatch_intents(doc.get());
    for (const auto& k : c.keys) EXPECT_EQ(key(k), vexa::ui::EventResult::Consumed) << k;
    ASSERT_TRUE(app->context_menu_layer().is_open());
    EXPECT_EQ(app->context_menu_layer().state()->focused, c.focused)
        << ::testing::PrintToString(c.keys);
    app->dispatch_intents(doc.get());
    key("Escape");
  }
  EXPECT_TRUE(sent().empty()) << "other keys are swallowed";
}

TEST_F(Overlays, MenuLetterKeysRunTheirEntries) {
  const MessageId id = id_of(kParcel);
  struct Case {
    std::string key;
    std::uint8_t command;  // the worker command kind; 255 for none
  };
  for (const Case& c : std::vector<Case>{{"u", 2}, {"S", 2}, {"Space", 255}, {"e", 3}}) {
    SCOPED_TRACE(c.key);
    state->queue(intent::OpenContextMenu{id, 10, 10});
    app->dispatch_intents(doc.get());
    key(c.key, c.key == "S");
    EXPECT_FALSE(app->context_menu_layer().is_open()) << "activating closes the menu";
    const auto kinds = sent_kinds();
    if (c.command == 255) {
      EXPECT_TRUE(kinds.empty());
      EXPECT_TRUE(app->core().composer().open) << "Space runs the focused Reply";
      app->core().composer().open = false;
    } else {
      EXPECT_EQ(kinds, (std::vector<std::uint8_t>{c.command}));
    }
  }
  EXPECT_FALSE(message(id).seen);
  EXPECT_TRUE(message(id).starred);
  EXPECT_EQ(message(id).folder, FolderRole::Archive);
}

TEST_F(Overlays, MenuEntryForAMessageThatWentAway) {
  const MessageId id = id_of(kParcel);
  state->queue(intent::OpenContextMenu{id, 10, 10});
  app->dispatch_intents(doc.get());
  state->messages.remove(id);
  key("Delete");
  EXPECT_FALSE(app->context_menu_layer().is_open());
  EXPECT_EQ(state->status, "That message is no longer available.");
  EXPECT_TRUE(sent().empty());
}

TEST_F(Overlays, MenuPointerPressesActivateOrClose) {
  const MessageId id = id_of(kParcel);
  const vexa::ui::Rect window{0, 0, 1280, 800};
  const vexa::ui::Rect menu = context_menu_rect({200, 100}, 8, window, 1.0f);
  const vexa::ui::Rect archive_row = context_menu_row(menu, 5, 1.0f);
  state->queue(intent::OpenContextMenu{id, 200, 100});
  app->dispatch_intents(doc.get());
  press(archive_row.left + 5, archive_row.top + 5);
  EXPECT_EQ(message(id).folder, FolderRole::Archive);
  EXPECT_FALSE(app->context_menu_layer().is_open());

  state->queue(intent::OpenContextMenu{id, 200, 100});
  app->dispatch_intents(doc.get());
  press(archive_row.left + 5, archive_row.top + 5, vexa::ui::PointerButton::Secondary);
  EXPECT_FALSE(app->context_menu_layer().is_open()) << "any other button closes";
  EXPECT_EQ(sent_kinds(), (std::vector<std::uint8_t>{3}));
}

TEST(ContextMenuPlacement, StaysInsideTheWindow) {
  const vexa::ui::Rect window{0, 0, 1000, 700};
  struct Case {
    const char* name;
    vexa::ui::Point at;
    float scale;
    vexa::ui::Rect expected;
  };
  // Eight entries: 248 × 342 at scale 1; the scale is clamped to 2 for the size.
  const std::vector<Case> cases = {
      {"as asked", {100, 50}, 1.0f, {100, 50, 348, 392}},
      {"bottom-right corner", {995, 695}, 1.0f, {1000 - 8 - 248, 700 - 8 - 342, 992, 692}},
      {"beyond the top-left", {-50, -50}, 1.0f, {4, 4, 252, 346}},
      {"large text", {0, 0}, 3.0f, {4, 4, 4 + 496, 4 + 684}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(context_menu_rect(c.at, 8, window, c.scale), c.expected) << c.name;
  }
  // A window too small for the menu keeps it 4 from the left and top.
  const vexa::ui::Rect tiny = context_menu_rect({50, 50}, 8, {0, 0, 100, 100}, 1.0f);
  EXPECT_EQ(tiny.left, 4);
  EXPECT_EQ(tiny.top, 4);
  EXPECT_EQ(context_menu_row({0, 0, 248, 342}, 2, 1.0f), (vexa::ui::Rect{6, 120, 242, 156}));
}

TEST_F(Overlays, ShortcutReferenceOpensClosesAndHoldsInput) {
  EXPECT_EQ(key("?"), vexa::ui::EventResult::Consumed);
  ASSERT_TRUE(app->shortcut_reference().is_open());
  EXPECT_EQ(app->accessibility().name, "Mail keyboard shortcuts");
  const MessageId selected = *state->selected_message;
  key("e");
  EXPECT_EQ(message(selected).folder, FolderRole::Inbox) << "keys stop at the reference";
  key("?");
  EXPECT_FALSE(app->shortcut_reference().is_open());
  key("?");
  key("Escape");
  EXPECT_FALSE(app->shortcut_reference().is_open());
  key("?");
  press(640, 400);  // inside the sheet
  EXPECT_TRUE(app->shortcut_reference().is_open());
  press(2, 2);
  EXPECT_FALSE(app->shortcut_reference().is_open());
}

TEST(ShortcutReferenceLayout, CompactBelowTheBreakpoint) {
  struct Case {
    double width;
    float scale;
    bool compact;
    double row_height;
  };
  for (const Case& c : std::vector<Case>{{619, 1.0f, true, 43},
                                         {620, 1.0f, false, 27},
                                         {1000, 2.0f, true, 86},
                                         {1240, 2.0f, false, 54}}) {
    ShortcutReference reference;
    reference.open();
    reference.place({0, 0, c.width, 900}, c.scale);
    EXPECT_EQ(reference.compact(), c.compact) << c.width << " at " << c.scale;
    EXPECT_EQ(reference.row_height(), c.row_height);
    EXPECT_EQ(reference.frame().title(), c.compact ? "Shortcuts" : "Keyboard shortcuts");
  }
}

TEST(ShortcutReferenceLayout, ScrollIsClampedToTheLastRow) {
  ShortcutReference reference;
  reference.open();
  reference.place({0, 0, 400, 300}, 1.0f);  // compact: 11 rows of 43 do not fit
  const double max = reference.max_scroll();
  ASSERT_GT(max, 0);
  EXPECT_DOUBLE_EQ(max, 11 * 43 - reference.layout().content.height());
  struct Step {
    vexa::ui::ScrollEvent scroll;
    double scale_factor;
    double expected;
  };
  const std::vector<Step> steps = {
      {{0, 1, 0, 0, true}, 1.0, 36},      // one line
      {{0, 20, 0, 0, false}, 2.0, 46},    // pixels are physical
      {{0, 100, 0, 0, true}, 1.0, max},   // clamped at the bottom
      {{0, -1000, 0, 0, false}, 1.0, 0},  // and at the top
  };
  for (const Step& s : steps) {
    EXPECT_EQ(reference.handle_event(s.scroll, s.scale_factor), vexa::ui::EventResult::Consumed);
    EXPECT_DOUBLE_EQ(reference.scroll(), s.expected);
  }
  reference.close();
  reference.open();
  EXPECT_EQ(reference.scroll(), 0);
}

TEST_F(Overlays, ControlsByIdentifier) {
  app->main_view().shell().snap_sidebar(true);
  const std::string parcel = key_of(id_of(kParcel));
  const std::string selected = key_of(*state->selected_message);
  struct Case {
    std::string id;
    std::string action;
    bool accepted;
  };
  const std::vector<Case> cases = {
      {"mail.reader:" + parcel + ":star", "activate", false},  // not the selected message
      {"mail.reader:" + selected + ":star", "activate", true},
      {"mail.reader:" + selected + ":star", "focus", false},
      {"mail.reader:" + selected.substr(0, 35) + ":star", "activate", false},
      {"mail.reader:" + selected + ":save-attachment:0", "activate", false},  // none
      {"mail.bulk:archive", "activate", false},                               // only in bulk mode
      {"mail.bulk-purge:confirm", "activate", false},
      {"mail.context:" + parcel + ":0", "activate", false},
      {"mail.account:2", "activate", false},
      {"mail.account:0", "collapse", true},
      {"mail.account:0", "collapse", false},
      {"mail.folder:0:junk", "activate", false},  // collapsed
      {"mail.account:0", "expand", true},
      {"mail.folder:0:Junk", "activate", false},
      {"mail.folder:0:junk", "activate", true},
      {"mail.compose:send", "activate", false},
      {"mail.message:" + parcel, "activate", false},  // not in the Junk list
      {"mail.bulk:toggle", "activate", true},
      {"mail.bulk:select-all", "activate", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(semantic(c.id, c.action), c.accepted) << c.id << " " << c.action;
  }
  EXPECT_EQ(state->current_folder, FolderRole::Junk);
  EXPECT_NE(app->main_view().shell().sidebar_mode(), vexa::ui::SidebarMode::Open)
      << "opening a folder closes the drawer";
  EXPECT_EQ(state->bulk_selection.size(), 2u) << "both Junk messages";
  EXPECT_EQ(sent_kinds(), (std::vector<std::uint8_t>{2})) << "the star toggle";
}

TEST_F(Overlays, MessageControlOpensTogglesOrEditsDrafts) {
  const MessageId parcel = id_of(kParcel);
  ASSERT_TRUE(semantic("mail.message:" + key_of(parcel)));
  EXPECT_EQ(state->selected_message, parcel);
  EXPECT_TRUE(app->main_view().shell().detail_shown());
  semantic("mail.bulk:toggle");
  ASSERT_TRUE(semantic("mail.message:" + key_of(parcel)));
  ASSERT_TRUE(semantic("mail.message:" + key_of(parcel)));
  EXPECT_TRUE(state->bulk_selection.empty()) << "a second activation removes it again";
}

TEST_F(Overlays, ContextControlsWhileTheMenuIsOpen) {
  const MessageId id = id_of(kParcel);
  state->queue(intent::OpenContextMenu{id, 10, 10});
  app->dispatch_intents(doc.get());
  const std::string prefix = "mail.context:" + key_of(id) + ":";
  EXPECT_FALSE(semantic(prefix + "8", "focus")) << "an Inbox message has eight entries";
  EXPECT_TRUE(semantic(prefix + "4", "focus"));
  EXPECT_EQ(app->context_menu_layer().state()->focused, 4u);
  EXPECT_TRUE(semantic(prefix + "4"));
  EXPECT_TRUE(message(id).starred);
  EXPECT_FALSE(semantic(prefix + "4")) << "the menu closed";
}

}  // namespace
}  // namespace mail::core::testing
