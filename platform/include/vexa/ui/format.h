#pragma once
#include <cstdint>
#include <string>

namespace vexa::ui::format {

// A byte count for people: "512 B", "1.5 KB", "2.0 MB", "1.0 GB" (steps of 1024).
std::string bytes(std::uint64_t count);

}  // namespace vexa::ui::format
