#pragma once
// The loaded messages of every account: records by id, the accounts that hold each one, and the
// order in which they were added (conversations walk that order). The views see one account at
// a time, the store's scope: a record held only by other accounts is not found, listed or
// counted, so nothing can show it or act on it while another account is current.
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "mailbox/types.h"

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
  // A new id goes to the end of the order; a known id is replaced in full and keeps its place
  // and its owners. `owner` (an account id) joins the accounts holding the message. A record
  // without any owner is local (a draft, say) and visible in every scope.
  void merge(MailMessage message, std::optional<std::string_view> owner = std::nullopt);
  bool remove(const MessageId& id);
  void clear();

  // The account whose messages are seen; none sees every record.
  void set_scope(std::optional<std::string> account);
  const std::optional<std::string>& scope() const { return scope_; }

  // Records in scope.
  const MailMessage* find(const MessageId& id) const;
  MailMessage* find_mut(const MessageId& id);
  bool contains(const MessageId& id) const { return find(id) != nullptr; }
  std::size_t size() const;

  // Every record, whatever the scope (document reconciliation keeps all of them current).
  const MailMessage* find_any(const MessageId& id) const;
  MailMessage* find_any_mut(const MessageId& id);
  const std::vector<MessageId>& order() const { return order_; }

  // The accounts that fetched the message (empty for local records and unknown ids).
  const std::vector<std::string>& owners(const MessageId& id) const;
  bool owned_by(const MessageId& id, std::string_view account) const;

  // Advanced on every change, the scope's included, so views know when to recompute. Whoever
  // changes a record through find_mut must call touch().
  std::uint64_t change_counter() const { return changes_; }
  void touch() { changed(); }

  // Answers derived from the contents that the views ask for on every redraw (folder counts,
  // the reader's conversation), kept until the next change.
  struct Derived {
    std::array<std::optional<std::pair<std::size_t, std::size_t>>, 7> counts;  // total, unread
    std::optional<MessageId> conversation_of;
    std::vector<MessageId> conversation;
    std::optional<std::size_t> size;
  };
  Derived& derived() const { return derived_; }

  // Visits every record in scope, in order.
  template <typename F>
  void for_each(F&& f) const {
    for (const auto& id : order_) {
      auto it = entries_.find(id);
      if (it != entries_.end() && in_scope(it->second)) f(it->second.message);
    }
  }

 private:
  struct Entry {
    MailMessage message;
    std::vector<std::string> owners;
  };
  bool in_scope(const Entry& entry) const;
  void changed() {
    ++changes_;
    derived_ = Derived{};
  }

  std::unordered_map<MessageId, Entry, UuidHash> entries_;
  std::vector<MessageId> order_;
  std::optional<std::string> scope_;
  std::uint64_t changes_ = 0;
  mutable Derived derived_;
};

}  // namespace mail
