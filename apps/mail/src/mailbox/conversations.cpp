#include "mailbox/conversations.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "mailbox/ascii_text.h"

namespace mail {

namespace {

bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

bool starts_with_ci(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (ascii_lower(s[i]) != prefix[i]) return false;
  }
  return true;
}

bool in_folder(const MailMessage& m, FolderRole folder) {
  if (folder == FolderRole::Starred) return m.starred && m.folder != FolderRole::Trash;
  return m.folder == folder;
}

std::string own_key(const MailMessage& m) {
  if (auto id = normalized_identifier(m.message_id)) return *id;
  return uuid_text(m.id);
}

}  // namespace

std::vector<const MailMessage*> folder_contents(const MessageStore& store, FolderRole folder) {
  std::vector<const MailMessage*> out;
  store.for_each([&](const MailMessage& m) {
    if (in_folder(m, folder)) out.push_back(&m);
  });
  std::stable_sort(out.begin(), out.end(),
                   [](const MailMessage* a, const MailMessage* b) { return a->time > b->time; });
  return out;
}

std::optional<std::string> normalized_identifier(const std::optional<std::string>& header) {
  if (!header) return std::nullopt;
  std::string_view s = trim_ascii(*header);
  while (!s.empty() && s.front() == '<') s.remove_prefix(1);
  while (!s.empty() && s.back() == '>') s.remove_suffix(1);
  s = trim_ascii(s);
  if (s.empty()) return std::nullopt;
  return std::string(s);
}

std::string conversation_subject(std::string_view subject) {
  std::string_view s = trim_ascii(subject);
  for (;;) {
    std::size_t cut = 0;
    for (std::string_view prefix : {"re:", "fwd:", "fw:"}) {
      if (starts_with_ci(s, prefix)) {
        cut = prefix.size();
        break;
      }
    }
    if (cut == 0) break;
    s.remove_prefix(cut);
    while (!s.empty() && is_space(s.front())) s.remove_prefix(1);
  }
  return std::string(s);
}

std::vector<std::string> conversation_keys(const std::vector<const MailMessage*>& contents,
                                           const MessageStore& store) {
  // Later (older) messages overwrite earlier ones, so a repeated Message-ID names the oldest.
  std::unordered_map<std::string, MessageId> index;
  index.reserve(contents.size());
  for (const MailMessage* m : contents) {
    if (auto id = normalized_identifier(m->message_id))
      index.insert_or_assign(std::move(*id), m->id);
  }

  std::vector<std::string> keys;
  keys.reserve(contents.size());
  std::unordered_set<MessageId, UuidHash> visited;
  for (const MailMessage* m : contents) {
    visited.clear();
    const MailMessage* c = m;
    std::string key;
    for (;;) {
      if (!visited.insert(c->id).second) {
        key = own_key(*c);
        break;
      }
      auto parent_key = normalized_identifier(c->thread_key);
      if (!parent_key) {
        key = own_key(*c);
        break;
      }
      auto it = index.find(*parent_key);
      const MailMessage* parent = it == index.end() ? nullptr : store.find(it->second);
      if (parent == nullptr) {
        key = std::move(*parent_key);
        break;
      }
      c = parent;
    }
    keys.push_back(std::move(key));
  }
  return keys;
}

std::vector<Conversation> conversations(const MessageStore& store, FolderRole folder) {
  auto contents = folder_contents(store, folder);
  auto keys = conversation_keys(contents, store);

  struct Group {
    std::string key;
    std::vector<const MailMessage*> messages;
  };
  std::vector<Group> groups;
  std::unordered_map<std::string_view, std::size_t> by_key;
  by_key.reserve(contents.size());
  for (std::size_t i = 0; i < contents.size(); ++i) {
    auto [it, inserted] = by_key.try_emplace(keys[i], groups.size());
    if (inserted) groups.push_back(Group{keys[i], {}});
    groups[it->second].messages.push_back(contents[i]);
  }

  for (auto& g : groups) {
    std::sort(g.messages.begin(), g.messages.end(), [](const MailMessage* a, const MailMessage* b) {
      if (a->time != b->time) return a->time < b->time;
      return a->id < b->id;
    });
  }
  // Ties keep first-appearance order in the newest-first walk.
  std::stable_sort(groups.begin(), groups.end(), [](const Group& a, const Group& b) {
    return a.messages.back()->time > b.messages.back()->time;
  });

  std::vector<Conversation> out;
  out.reserve(groups.size());
  for (auto& g : groups) {
    Conversation c{std::move(g.key), conversation_subject(g.messages.front()->subject), {}};
    c.message_ids.reserve(g.messages.size());
    for (const MailMessage* m : g.messages) c.message_ids.push_back(m->id);
    out.push_back(std::move(c));
  }
  return out;
}

std::vector<VisibleEntry> folder_entries(const MessageStore& store, FolderRole folder) {
  std::vector<VisibleEntry> entries;
  for (const auto& c : conversations(store, folder)) {
    entries.push_back(VisibleEntry{c.message_ids.back(), c.message_ids.size()});
  }
  return entries;
}

std::optional<MessageId> top_message(const MessageStore& store, FolderRole folder) {
  auto entries = folder_entries(store, folder);
  if (entries.empty()) return std::nullopt;
  return entries.front().id;
}

std::vector<const MailMessage*> reader_conversation(const MessageStore& store,
                                                    const MessageId& id) {
  const MailMessage* selected = store.find(id);
  if (selected == nullptr) return {};
  MessageStore::Derived& derived = store.derived();
  if (derived.conversation_of == id) {
    std::vector<const MailMessage*> cached;
    cached.reserve(derived.conversation.size());
    for (const MessageId& member : derived.conversation) cached.push_back(store.find(member));
    return cached;
  }
  std::string subject = conversation_subject(selected->subject);
  std::vector<const MailMessage*> out;
  store.for_each([&](const MailMessage& m) {
    if (m.folder == selected->folder && conversation_subject(m.subject) == subject)
      out.push_back(&m);
  });
  std::stable_sort(out.begin(), out.end(),
                   [](const MailMessage* a, const MailMessage* b) { return a->time < b->time; });
  derived.conversation_of = id;
  derived.conversation.clear();
  for (const MailMessage* m : out) derived.conversation.push_back(m->id);
  return out;
}

FolderCounts folder_counts(const MessageStore& store, FolderRole folder) {
  auto& cached = store.derived().counts[code(folder)];
  if (cached) return FolderCounts{cached->first, cached->second};
  FolderCounts counts;
  store.for_each([&](const MailMessage& m) {
    if (!in_folder(m, folder)) return;
    ++counts.total;
    if (!m.seen) ++counts.unread;
  });
  cached = std::pair{counts.total, counts.unread};
  return counts;
}

}  // namespace mail
