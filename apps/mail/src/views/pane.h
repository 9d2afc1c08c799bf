#pragma once
// One pane of the main view (folder sidebar, message list or reader). A pane lays itself out as
// a list of hit regions each time it gets its rectangle; drawing paints the same regions,
// tooltips and presses are resolved against them.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "state/mail_state.h"
#include "vexa/ui/text_input.h"
#include "vexa/ui/widget.h"
#include "views/pane_host.h"

namespace mail::views {

enum class PaneKind : std::uint8_t { Sidebar = 0, List = 1, Reader = 2 };

enum class RegionKind : std::uint8_t {
  ComposeButton = 0,
  AccountRow = 1,
  AccountExpander = 2,
  AccountSettings = 3,
  AddAccount = 4,
  FolderRow = 5,
  MessageRow = 6,
  RowStar = 7,
  SearchField = 8,
  ClearSearch = 9,
  Refresh = 10,
  BulkToggle = 11,
  SelectAll = 12,
  BulkButton = 13,
  Reply = 14,
  Archive = 15,
  Delete = 16,
  Star = 17,
  MarkUnread = 18,
};

struct HitRegion {
  vexa::ui::Rect rect;
  RegionKind kind = RegionKind::ComposeButton;
  std::size_t account = 0;                // account rows, expanders, settings, folder rows
  FolderRole folder = FolderRole::Inbox;  // folder rows
  MessageId message{};                    // message rows and star controls
  BulkAction bulk = BulkAction::Archive;  // bulk buttons
};

// Measured from real text by the list draw; layout uses the defaults until the first draw.
struct ListMetrics {
  double row_height = 79;
  double star_offset = 59.6875;  // row top to the star control's centre
  double control_height = 32;    // list header controls
  double header_height = 56;
  // The rest is for drawing only.
  double sender_line_height = 0;
  double subject_line_top = 0;
  double subject_line_height = 0;
  double snippet_line_top = 0;
  double snippet_line_height = 0;
  double avatar_centre_offset = 0;
  double avatar_radius = 17;
};

class Pane : public vexa::ui::Widget {
 public:
  Pane(PaneKind kind, core::SharedState state, PaneHost& host);
  ~Pane() override;

  std::string_view type_name() const override;  // "MailSidebar", "MailList", "MailReader"
  std::string_view test_id() const;             // "mail_sidebar", "mail_list", "mail_reader"
  PaneKind kind() const { return kind_; }

  void sync(vexa::persist::Document& doc, const vexa::ui::FrameContext& ctx) override;
  std::expected<vexa::ui::LayoutNode, std::string> build_layout(
      vexa::ui::LayoutEngine& engine, const vexa::ui::FrameContext& ctx) override;
  // Stores the rectangle and rebuilds the hit regions (the rectangle is the one given, not
  // the node's: the shell places its children itself).
  void apply_layout(const vexa::ui::LayoutEngine& engine, vexa::ui::Rect rect) override;
  void draw(vexa::ui::Canvas& canvas) override;
  vexa::ui::EventResult handle_event(const vexa::ui::Event& event,
                                     vexa::persist::Document& doc) override;
  bool needs_animation_frame() const override;
  bool needs_redraw() const override;
  void reset_redraw() override;

  // Rebuilds the regions from the current rectangle and state (also done before every event).
  void layout_regions();
  const std::vector<HitRegion>& regions() const { return regions_; }
  // The tooltip for the region under the last pointer position; nullopt over nothing.
  std::optional<std::string> tooltip() const;
  const ListMetrics& metrics() const { return metrics_; }
  void set_text_scale(float scale) { text_scale_ = scale; }
  vexa::ui::TextInput* search_input() { return search_.get(); }
  // The reader's attachment chips as last drawn, with each attachment's index.
  const std::vector<std::pair<vexa::ui::Rect, std::size_t>>& attachment_regions() const {
    return attachment_regions_;
  }

 private:
  struct Impl;
  PaneKind kind_;
  core::SharedState state_;
  PaneHost& host_;
  std::vector<HitRegion> regions_;
  ListMetrics metrics_;
  float text_scale_ = 1.0f;
  bool redraw_ = true;
  std::unique_ptr<vexa::ui::TextInput> search_;
  // Swipe and press state (list pane).
  bool pressed_on_row_ = false;
  vexa::ui::Point press_{};
  MessageId pressed_id_{};
  bool swipe_active_ = false;
  MessageId swiped_id_{};
  double swipe_offset_ = 0;
  // Produced by the reader's draw.
  std::vector<std::pair<vexa::ui::Rect, std::size_t>> attachment_regions_;
  std::optional<vexa::ui::Rect> banner_;
  bool remote_images_ = false;
};

}  // namespace mail::views
