#pragma once
// The two-step permanent deletion of trashed mail: the checks before the confirmation opens,
// the confirmation sheet's texts, geometry, drawing and input.
#include <cstddef>
#include <cstdint>
#include <expected>
#include <string>

#include "state/mail_state.h"
#include "vexa/ui/canvas.h"
#include "vexa/ui/event.h"
#include "vexa/ui/widget.h"

namespace mail::core {

inline constexpr std::string_view kPurgeNothingSelected =
    "Select messages before deleting them permanently";
inline constexpr std::string_view kPurgeNotAllTrash =
    "Permanent deletion requires an all-Trash selection";
inline constexpr std::string_view kPurgeSelectionChanged =
    "Nothing was deleted; the selected messages changed before confirmation";

// The number of messages the confirmation will delete, or the status text that refuses it.
std::expected<std::size_t, std::string> check_bulk_purge(const MailState& state);

std::string purge_confirmation_text(std::size_t count);
std::string purge_accessible_description(std::size_t count);

struct PurgeSheetGeometry {
  vexa::ui::Rect sheet;
  vexa::ui::Rect confirm;
  vexa::ui::Rect cancel;
};
// Centred in the window; the buttons hang from the sheet's bottom-right corner.
PurgeSheetGeometry purge_sheet_geometry(vexa::ui::Rect window);

class BulkPurgeConfirmation {
 public:
  enum class Input : std::uint8_t { Swallowed, Confirm, Cancel };

  void open(std::size_t count) {
    open_ = true;
    count_ = count;
  }
  void close() { open_ = false; }
  bool is_open() const { return open_; }
  std::size_t count() const { return count_; }

  // Every event is consumed while the sheet is open; the caller confirms or closes.
  Input handle_event(const vexa::ui::Event& event, vexa::ui::Rect window) const;
  void draw(vexa::ui::Canvas& canvas, vexa::ui::Rect window, float text_scale) const;
  vexa::ui::AccessNode accessibility() const;

 private:
  bool open_ = false;
  std::size_t count_ = 0;
};

}  // namespace mail::core
