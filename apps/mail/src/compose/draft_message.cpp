#include "compose/draft_message.h"

#include "compose/recipients.h"
#include "mailbox/ascii_text.h"

namespace mail::compose {
namespace {

std::vector<MailAddress> addresses(std::string_view typed) {
  std::vector<MailAddress> out;
  for (Recipient& r : parse_recipients(typed)) {
    out.push_back(MailAddress{std::move(r.address), std::move(r.name)});
  }
  return out;
}

}  // namespace

MailMessage message_from_draft(const DraftData& draft, const MailAddress& sender, FolderRole folder,
                               const MessageId& id, std::int64_t minute) {
  MailMessage m;
  m.id = id;
  m.folder = folder;
  m.seen = true;
  m.time = minute;
  m.from = sender;
  m.to = addresses(draft.to);
  m.cc = addresses(draft.cc);
  m.subject = trim_ascii(draft.subject).empty() ? "(no subject)" : draft.subject;
  m.body_text = draft.body;
  m.html = draft.html_body;
  return m;
}

}  // namespace mail::compose
