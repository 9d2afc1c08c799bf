#include "vexa/ui/format.h"

#include <fmt/format.h>

#include <cmath>
#include <iterator>

namespace vexa::ui::format {

std::string bytes(std::uint64_t count) {
  if (count < 1024) return fmt::format("{} B", count);
  static constexpr const char* kUnits[] = {"KB", "MB", "GB"};
  double value = static_cast<double>(count) / 1024.0;
  std::size_t unit = 0;
  // Compare after rounding so 1048575 bytes reads "1.0 MB", not "1024.0 KB".
  while (unit + 1 < std::size(kUnits) && std::round(value * 10.0) >= 10240.0) {
    value /= 1024.0;
    ++unit;
  }
  return fmt::format("{:.1f} {}", value, kUnits[unit]);
}

}  // namespace vexa::ui::format
