#pragma once
// Process entry: the launch description and the normal start-up on the user's own accounts.
#include "vexa/ui/launch.h"

namespace mail::core {

inline constexpr const char* kAppId = "io.vexa.mail";

vexa::ui::LaunchedRoot build_normal_root();
vexa::ui::LaunchDescription launch_description();
int run(int argc, char** argv);

}  // namespace mail::core
