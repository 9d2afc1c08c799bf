#pragma once
// Files of apps/mail/resources embedded into the program at build time (the message catalogue
// and the sample mailbox), so the program needs no installed data files.
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

namespace mail::resources {

std::optional<std::string_view> find(std::string_view name);
// Every embedded file as (file name, bytes), sorted by file name.
const std::vector<std::pair<std::string_view, std::string_view>>& all();

}  // namespace mail::resources
