#include "engine/offline_backend.h"

#include <fmt/format.h>

#include <string>
#include <utility>

#include "engine/outgoing.h"
#include "mailbox/overloaded.h"

namespace mail::engine {

namespace {

constexpr std::string_view kLocalOnly = "Local change saved; it was not synchronized to IMAP";

}  // namespace

std::string_view OfflineBackend::failure_label(std::uint8_t command_kind) const {
  if (command_kind == 5) return "send";
  if (command_kind == 6) return "oauth";
  return "offline";
}

void OfflineBackend::handle(WorkerCommand command, const vexa::Sender<WorkerEvent>& events) {
  const std::uint8_t command_kind = kind(command);
  const RequestId id = request_id(command);
  const std::string label(failure_label(command_kind));
  auto fail = [&](std::string message) {
    events.send(Failed{command_kind, id, label, std::move(message)});
  };
  std::visit(
      Overloaded{
          [&](const Connect& c) {
            fail(fmt::format(
                "IMAP is unavailable for {}; rebuild with the live mail backend to connect",
                c.config.email));
          },
          [&](const SyncFolder& c) {
            fail(fmt::format("Cannot refresh {} for {} while IMAP is offline",
                             display_name(c.folder), c.config.email));
          },
          [&](const StoreFlags&) { fail(std::string(kLocalOnly)); },
          [&](const MoveMessage&) { fail(std::string(kLocalOnly)); },
          [&](const PurgeMessage&) { fail(std::string(kLocalOnly)); },
          [&](const Send& c) {
            // Built exactly as a real send would be, so a draft that could not be sent online
            // is caught here too.
            std::expected<std::string, std::string> bytes =
                assemble_outgoing(c.config, c.draft);
            if (!bytes) {
              fail(bytes.error());
              return;
            }
            fail(fmt::format("SMTP is offline; validated {} MIME bytes locally but did not send",
                             bytes->size()));
          },
          [&](const OAuthSignIn& c) {
            fail(fmt::format("OAuth sign-in for {} requires the live build", c.account_key));
          },
      },
      command);
}

}  // namespace mail::engine
