#include "mailbox/message_store.h"

#include <algorithm>

namespace mail {

namespace {

const std::vector<std::string> kNoOwners;

}  // namespace

void MessageStore::merge(MailMessage message, std::optional<std::string_view> owner) {
  const MessageId id = message.id;
  auto [it, inserted] = entries_.try_emplace(id);
  it->second.message = std::move(message);
  if (inserted) order_.push_back(id);
  if (owner && std::ranges::find(it->second.owners, *owner) == it->second.owners.end()) {
    it->second.owners.emplace_back(*owner);
  }
  changed();
}

bool MessageStore::remove(const MessageId& id) {
  if (entries_.erase(id) == 0) return false;
  // Removal is rare (purges, sent drafts); keep the order list free of dead ids.
  order_.erase(std::remove(order_.begin(), order_.end(), id), order_.end());
  changed();
  return true;
}

void MessageStore::clear() {
  entries_.clear();
  order_.clear();
  changed();
}

void MessageStore::set_scope(std::optional<std::string> account) {
  if (account == scope_) return;
  scope_ = std::move(account);
  changed();
}

bool MessageStore::in_scope(const Entry& entry) const {
  if (!scope_ || entry.owners.empty()) return true;
  return std::ranges::find(entry.owners, *scope_) != entry.owners.end();
}

const MailMessage* MessageStore::find(const MessageId& id) const {
  auto it = entries_.find(id);
  return it == entries_.end() || !in_scope(it->second) ? nullptr : &it->second.message;
}

MailMessage* MessageStore::find_mut(const MessageId& id) {
  auto it = entries_.find(id);
  return it == entries_.end() || !in_scope(it->second) ? nullptr : &it->second.message;
}

std::size_t MessageStore::size() const {
  if (!derived_.size) {
    std::size_t n = 0;
    for (const auto& [id, entry] : entries_) n += in_scope(entry) ? 1 : 0;
    derived_.size = n;
  }
  return *derived_.size;
}

const MailMessage* MessageStore::find_any(const MessageId& id) const {
  auto it = entries_.find(id);
  return it == entries_.end() ? nullptr : &it->second.message;
}

MailMessage* MessageStore::find_any_mut(const MessageId& id) {
  auto it = entries_.find(id);
  return it == entries_.end() ? nullptr : &it->second.message;
}

const std::vector<std::string>& MessageStore::owners(const MessageId& id) const {
  auto it = entries_.find(id);
  return it == entries_.end() ? kNoOwners : it->second.owners;
}

bool MessageStore::owned_by(const MessageId& id, std::string_view account) const {
  const auto& holders = owners(id);
  return std::ranges::find(holders, account) != holders.end();
}

}  // namespace mail
