#pragma once
// The loaded messages of the selected account: records by id plus the order in which they were
// added (conversations walk that order).
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

#include "mailbox/types.h"
#include "store/stored_config.h"

namespace mail {

struct UuidHash {
  std::size_t operator()(const Uuid& id) const noexcept {
    std::uint64_t h = 0;
    for (int i = 0; i < 8; ++i) h = h << 8 | id[i];
    std::uint64_t l = 0;
    for (int i = 8; i < 16; ++i) l = l << 8 | id[i];
    return static_cast<std::size_t>(h ^ (l * 0x9e3779b97f4a7c15ULL));
  }
};

class MessageStore {
 public:
  MessageStore() = default;
  explicit MessageStore(StoredConfig config) : config_(std::move(config)) {}

  const StoredConfig& config() const { return config_; }
  void set_config(StoredConfig config) { config_ = std::move(config); }

  // A new id goes to the end of the order; a known id is replaced in full and keeps its place.
  void merge(MailMessage message);
  bool remove(const MessageId& id);
  void clear();

  const MailMessage* find(const MessageId& id) const;
  MailMessage* find_mut(const MessageId& id);
  bool contains(const MessageId& id) const { return messages_.contains(id); }
  const std::vector<MessageId>& order() const { return order_; }
  std::size_t size() const { return messages_.size(); }

  // Advanced on every change so views know when to recompute. Whoever changes a record through
  // find_mut must call touch().
  std::uint64_t change_counter() const { return changes_; }
  void touch() { changed(); }

  // Answers derived from the contents that the views ask for on every redraw (folder counts,
  // the reader's conversation), kept until the next change.
  struct Derived {
    std::array<std::optional<std::pair<std::size_t, std::size_t>>, 7> counts;  // total, unread
    std::optional<MessageId> conversation_of;
    std::vector<MessageId> conversation;
  };
  Derived& derived() const { return derived_; }

  // Visits every message in order.
  template <typename F>
  void for_each(F&& f) const {
    for (const auto& id : order_) {
      if (auto it = messages_.find(id); it != messages_.end()) f(it->second);
    }
  }

 private:
  StoredConfig config_;
  std::unordered_map<MessageId, MailMessage, UuidHash> messages_;
  std::vector<MessageId> order_;
  std::uint64_t changes_ = 0;
  mutable Derived derived_;

  void changed() {
    ++changes_;
    derived_ = Derived{};
  }
};

}  // namespace mail
