#include "engine/header_text.h"

#include <cstring>

#include "engine/encoded_words.h"
#include "engine/gmime_handles.h"
#include "vexa/utf8.h"

namespace mail::engine {
namespace {

// Group members cannot nest in valid mail; the bound only stops hostile input recursing.
constexpr int kMaxGroupDepth = 64;

const char* header_name(GMimeAddressType type) {
  switch (type) {
    case GMIME_ADDRESS_TYPE_SENDER:
      return "Sender";
    case GMIME_ADDRESS_TYPE_FROM:
      return "From";
    case GMIME_ADDRESS_TYPE_REPLY_TO:
      return "Reply-To";
    case GMIME_ADDRESS_TYPE_TO:
      return "To";
    case GMIME_ADDRESS_TYPE_CC:
      return "Cc";
    case GMIME_ADDRESS_TYPE_BCC:
      return "Bcc";
  }
  return "";
}

// The raw value with lossy encoded words rewritten, or nullopt when GMime's own reading stands.
std::optional<std::string> rewritten_header(GMimeMessage* message, const char* name) {
  GMimeHeaderList* headers = g_mime_object_get_header_list(GMIME_OBJECT(message));
  GMimeHeader* header = headers ? g_mime_header_list_get_header(headers, name) : nullptr;
  const char* raw = header ? g_mime_header_get_raw_value(header) : nullptr;
  if (!raw || !std::strstr(raw, "=?")) return std::nullopt;
  std::optional<std::string> rewritten = rewrite_unconvertible_words(raw);
  if (!rewritten) return std::nullopt;
  GFreeString unfolded(g_mime_utils_header_unfold(rewritten->c_str()));
  return std::string(unfolded.get() ? unfolded.get() : "");
}

void collect(InternetAddressList* list, std::vector<MailAddress>& out, int depth) {
  if (!list || depth > kMaxGroupDepth) return;
  const int count = internet_address_list_length(list);
  for (int i = 0; i < count; ++i) {
    InternetAddress* address = internet_address_list_get_address(list, i);
    if (INTERNET_ADDRESS_IS_GROUP(address)) {
      collect(internet_address_group_get_members(INTERNET_ADDRESS_GROUP(address)), out, depth + 1);
      continue;
    }
    if (!INTERNET_ADDRESS_IS_MAILBOX(address)) continue;
    MailAddress entry;
    const char* addr = internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(address));
    entry.address = vexa::utf8::repair(addr ? addr : "");
    if (const char* name = internet_address_get_name(address); name && *name) {
      entry.name = vexa::utf8::repair(name);
    }
    out.push_back(std::move(entry));
  }
}

}  // namespace

std::optional<std::string> message_subject(GMimeMessage* message) {
  if (std::optional<std::string> rewritten = rewritten_header(message, "Subject")) {
    GFreeString decoded(g_mime_utils_header_decode_text(nullptr, rewritten->c_str()));
    return vexa::utf8::repair(decoded.get() ? decoded.get() : "");
  }
  const char* subject = g_mime_message_get_subject(message);
  if (!subject) return std::nullopt;
  return vexa::utf8::repair(subject);
}

std::vector<MailAddress> message_addresses(GMimeMessage* message, GMimeAddressType type) {
  std::vector<MailAddress> out;
  if (std::optional<std::string> rewritten = rewritten_header(message, header_name(type))) {
    GObjectPtr<InternetAddressList> list(internet_address_list_parse(nullptr, rewritten->c_str()));
    collect(list.get(), out, 0);
    return out;
  }
  collect(g_mime_message_get_addresses(message, type), out, 0);
  return out;
}

}  // namespace mail::engine
