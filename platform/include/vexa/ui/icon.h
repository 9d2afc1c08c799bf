#pragma once
// The icon set: line drawings on a 24-unit grid, scaled to fit a square centred in the rectangle
// they are drawn into. One stroke weight for all of them, so a toolbar of icons reads as a set.
#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "vexa/ui/canvas.h"
#include "vexa/ui/geometry.h"

namespace vexa::ui {

enum class IconName : std::uint8_t {
  Inbox,
  Star,
  StarFilled,
  Sent,
  Drafts,
  Archive,
  Trash,
  Junk,
  Folder,
  Label,
  Reply,
  Forward,
  Envelope,  // also "mark unread"
  Refresh,
  Search,
  Close,  // also "clear"
  Back,
  Menu,
  Attachment,
  Compose,
  More,
  Check,
  Settings,
  ChevronDown,
  ChevronRight,
  Plus,
};

inline constexpr std::array kAllIcons = {
    IconName::Inbox,        IconName::Star,    IconName::StarFilled, IconName::Sent,
    IconName::Drafts,       IconName::Archive, IconName::Trash,      IconName::Junk,
    IconName::Folder,       IconName::Label,   IconName::Reply,      IconName::Forward,
    IconName::Envelope,     IconName::Refresh, IconName::Search,     IconName::Close,
    IconName::Back,         IconName::Menu,    IconName::Attachment, IconName::Compose,
    IconName::More,         IconName::Check,   IconName::Settings,   IconName::ChevronDown,
    IconName::ChevronRight, IconName::Plus,
};

struct Icon {
  // Draws the icon in `color`, fitted into `rect`; an empty rectangle draws nothing.
  static void draw(Canvas& canvas, IconName icon, Rect rect, Color color);

  // Stable lower-case names such as "star-filled", for scripts and logs.
  static std::string_view name(IconName icon);
  static std::optional<IconName> from_name(std::string_view name);
};

}  // namespace vexa::ui
