#pragma once
// Named start-up states over the built-in sample mailbox, for previews, screenshots and tests.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/mail_app.h"
#include "vexa/ui/launch.h"

namespace mail::core {

const std::vector<std::string>& scene_names();
// Window size of a scene; "wide" when none is given, 1280 × 800 for unknown names.
std::pair<std::uint32_t, std::uint32_t> scene_window_size(const std::optional<std::string>& scene);
// Builds the root for a scene in a fresh temporary directory (its document lives there too).
vexa::ui::LaunchedRoot build_scene(const std::optional<std::string>& scene);
// The sample state every scene but "firstrun" starts from.
SharedState sample_state();

}  // namespace mail::core
