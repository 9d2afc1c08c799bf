#pragma once
// Contact avatars: a remote picture looked up by a hash of the address, with the initials
// badge whenever no picture is at hand. Drawing never waits for the network.
#include <cstdint>
#include <string>
#include <string_view>

#include "vexa/ui/canvas.h"
#include "vexa/ui/theme.h"

namespace vexa::ui {
class ImageStore;
}

namespace mail::views {

// The picture address for a contact: MD5 of the trimmed, lower-cased address.
std::string avatar_picture_url(std::string_view address);

struct AvatarContact {
  std::string_view name;
  std::string_view address;
  std::uint32_t seed = 0;
};

// `images` may be null (no store yet): the badge is drawn.
void draw_avatar(vexa::ui::Canvas& canvas, vexa::ui::ImageStore* images, vexa::ui::Point centre,
                 double radius, const AvatarContact& contact, const vexa::ui::Theme& theme);

}  // namespace mail::views
