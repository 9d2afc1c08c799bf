#pragma once
// Requests that panes, scenes and handlers queue for the root's dispatcher.
#include <cstddef>
#include <cstdint>
#include <string>
#include <variant>

#include "engine/worker_protocol.h"
#include "mailbox/types.h"

namespace mail::core {

namespace intent {
struct ShowReader {};
struct ShowList {};
struct CloseDrawer {};
struct ComposeNew {};
struct Reply {
  MessageId id;
};
struct ReplyAll {
  MessageId id;
};
struct Forward {
  MessageId id;
};
struct EditDraft {
  MessageId id;
};
struct OpenContextMenu {
  MessageId id;
  double x;
  double y;
};
struct OpenAccountSetup {
  bool edit;
  std::size_t account_index;
};
struct SaveAttachment {
  MessageId id;
  std::size_t index;
};
struct Command {
  engine::WorkerCommand command;
};
struct SetStatus {
  std::string text;
};
struct ConfirmBulkPurge {};
}  // namespace intent

using ViewIntent =
    std::variant<intent::ShowReader, intent::ShowList, intent::CloseDrawer, intent::ComposeNew,
                 intent::Reply, intent::ReplyAll, intent::Forward, intent::EditDraft,
                 intent::OpenContextMenu, intent::OpenAccountSetup, intent::SaveAttachment,
                 intent::Command, intent::SetStatus, intent::ConfirmBulkPurge>;

inline std::uint8_t kind(const ViewIntent& i) { return static_cast<std::uint8_t>(i.index()); }

}  // namespace mail::core
