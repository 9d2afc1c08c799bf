#include "mailbox/message_store.h"

#include <algorithm>

namespace mail {

void MessageStore::merge(MailMessage message) {
  MessageId id = message.id;
  auto [it, inserted] = messages_.insert_or_assign(id, std::move(message));
  if (inserted) order_.push_back(id);
  changed();
}

bool MessageStore::remove(const MessageId& id) {
  if (messages_.erase(id) == 0) return false;
  // Removal is rare (purges, sent drafts); keep the order list free of dead ids.
  order_.erase(std::remove(order_.begin(), order_.end(), id), order_.end());
  changed();
  return true;
}

void MessageStore::clear() {
  messages_.clear();
  order_.clear();
  changed();
}

const MailMessage* MessageStore::find(const MessageId& id) const {
  auto it = messages_.find(id);
  return it == messages_.end() ? nullptr : &it->second;
}

MailMessage* MessageStore::find_mut(const MessageId& id) {
  auto it = messages_.find(id);
  return it == messages_.end() ? nullptr : &it->second;
}

}  // namespace mail
