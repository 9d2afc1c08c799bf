#pragma once
// The main view under the root's overlays: the navigation shell with the folder sidebar, the
// message list and the reader. It lays the shell out in a tree of its own every pass, publishes
// the layout flags and the shell control rectangle into MailState, and carries out the shell
// intents (show the reader, show the list, close the drawer).
#include <memory>
#include <string>

#include "state/mail_state.h"
#include "vexa/ui/nav_shell.h"
#include "vexa/ui/widget.h"
#include "views/pane.h"
#include "views/pane_host.h"

namespace mail::core {

class MainView {
 public:
  MainView(SharedState state, views::PaneHost& host);

  // Root layout pass steps: breakpoint, flags, the shell's own tree, the first snap, the
  // control rectangle.
  void layout(vexa::ui::Rect root, const vexa::ui::FrameContext& ctx);
  void draw(vexa::ui::Canvas& canvas);
  vexa::ui::EventResult handle_event(const vexa::ui::Event& event, vexa::persist::Document& doc);
  void sync(vexa::persist::Document& doc, const vexa::ui::FrameContext& ctx);
  bool needs_redraw() const;
  void reset_redraw();
  bool needs_animation_frame() const;

  void show_reader();
  void show_list();
  void close_drawer();

  // "folders, message list, and reading pane", "folder drawer", "reading pane", "message list".
  std::string current_view() const;

  vexa::ui::NavShell& shell() { return *shell_; }
  views::Pane& sidebar() { return *sidebar_; }
  views::Pane& list() { return *list_; }
  views::Pane& reader() { return *reader_; }

 private:
  void publish_flags(double root_width);
  void lay_out_shell(vexa::ui::Rect root, const vexa::ui::FrameContext& ctx);

  SharedState state_;
  std::unique_ptr<vexa::ui::NavShell> shell_;
  views::Pane* sidebar_ = nullptr;
  views::Pane* list_ = nullptr;
  views::Pane* reader_ = nullptr;
  bool snap_pending_ = true;
};

}  // namespace mail::core
