#include "mailbox/local_search.h"

#include <algorithm>
#include <string>

#include "mailbox/ascii_text.h"

namespace mail {
namespace {

// ASCII folding only: byte-wise, so multi-byte UTF-8 sequences stay intact and still match
// themselves exactly.
std::string lower(std::string_view s) { return ascii_lower(s); }

bool contains(std::string_view haystack, const std::string& needle) {
  return lower(haystack).find(needle) != std::string::npos;
}

bool matches(const MailMessage& m, const std::string& needle) {
  const std::string_view sender =
      m.from.name && !m.from.name->empty() ? std::string_view(*m.from.name) : m.from.address;
  return contains(m.subject, needle) || contains(sender, needle) ||
         contains(m.from.address, needle) || contains(m.body_text, needle);
}

}  // namespace

bool search_query_blank(std::string_view query) { return trim_ascii(query).empty(); }

std::vector<VisibleEntry> local_search(const MessageStore& store, std::string_view query) {
  const std::string needle = lower(trim_ascii(query));
  if (needle.empty()) return {};
  std::vector<const MailMessage*> found;
  found.reserve(std::min<std::size_t>(kSearchResultLimit, 64));
  std::size_t examined = 0;
  const auto& order = store.order();
  for (auto it = order.rbegin(); it != order.rend(); ++it) {
    if (examined == kSearchExamineLimit || found.size() == kSearchResultLimit) break;
    const MailMessage* m = store.find(*it);
    if (m == nullptr || m->folder == FolderRole::Trash) continue;
    ++examined;
    if (matches(*m, needle)) found.push_back(m);
  }
  std::stable_sort(found.begin(), found.end(),
                   [](const MailMessage* a, const MailMessage* b) { return a->time > b->time; });
  std::vector<VisibleEntry> entries;
  entries.reserve(found.size());
  for (const MailMessage* m : found) entries.push_back(VisibleEntry{m->id, 1});
  return entries;
}

}  // namespace mail
