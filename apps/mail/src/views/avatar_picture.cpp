#include "views/avatar_picture.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <memory>

#include "mailbox/ascii_text.h"
#include "vexa/crypto.h"
#include "vexa/ui/avatar.h"
#include "vexa/ui/image_store.h"

namespace mail::views {
namespace {

constexpr std::string_view kPictureEndpoint = "https://www.gravatar.com/avatar/";

}  // namespace

std::string avatar_picture_url(std::string_view address) {
  return std::string(kPictureEndpoint) + vexa::crypto::md5_hex(ascii_lower(trim_ascii(address))) +
         "?s=96&d=404";
}

void draw_avatar(vexa::ui::Canvas& canvas, vexa::ui::ImageStore* images, vexa::ui::Point centre,
                 double radius, const AvatarContact& contact, const vexa::ui::Theme& theme) {
  if (!(radius > 0)) return;
  std::shared_ptr<vexa::ui::Image> picture;
  if (images != nullptr) {
    if (auto got = images->get(avatar_picture_url(contact.address)); got && *got) picture = *got;
  }
  if (!picture || picture->width() <= 0 || picture->height() <= 0) {
    vexa::ui::Avatar::draw_at(canvas, centre, 2 * radius, contact.name, contact.address,
                              contact.seed, theme);
    return;
  }
  // Cover the circle's bounding square, so a non-square picture never leaves a gap.
  const double scale = std::max(2 * radius / picture->width(), 2 * radius / picture->height());
  const double w = picture->width() * scale;
  const double h = picture->height() * scale;
  // A rounded square whose corner radius is half its side is the circle.
  canvas.push_clip_rounded(
      {centre.x - radius, centre.y - radius, centre.x + radius, centre.y + radius}, radius);
  canvas.draw_image(*picture,
                    {centre.x - w / 2, centre.y - h / 2, centre.x + w / 2, centre.y + h / 2});
  canvas.pop_clip();
}

}  // namespace mail::views
