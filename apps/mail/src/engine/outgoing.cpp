#include "engine/outgoing.h"

#include <gmime/gmime.h>

#include <memory>
#include <mutex>
#include <string_view>

#include "compose/attachments.h"
#include "engine/envelope.h"
#include "compose/recipients.h"
#include "mailbox/types.h"

namespace mail::engine {

namespace {

struct GObjectUnref {
  void operator()(void* object) const {
    if (object != nullptr) g_object_unref(object);
  }
};
template <typename T>
using GPtr = std::unique_ptr<T, GObjectUnref>;

void ensure_gmime() {
  static std::once_flag once;
  std::call_once(once, [] { g_mime_init(); });
}

// Header values come from single-line inputs but also from automation; a CR or LF reaching a
// header would let the text start a header of its own (a Bcc, for instance).
std::string header_safe(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    out.push_back(c < 0x20 || c == 0x7f ? ' ' : ch);
  }
  return out;
}

// The editor produces LF; pasted text may carry CRLF. One convention in, CRLF out.
std::string unix_newlines(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out.push_back(text[i]);
  }
  return out;
}

void set_content(GMimePart* part, std::string_view bytes) {
  GPtr<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(bytes.data(), bytes.size()));
  GPtr<GMimeDataWrapper> wrapper(
      g_mime_data_wrapper_new_with_stream(stream.get(), GMIME_CONTENT_ENCODING_DEFAULT));
  g_mime_part_set_content(part, wrapper.get());
}

// Set by hand: g_mime_text_part_set_text would re-encode text that fits into ISO-8859-1.
GPtr<GMimeObject> text_part(const char* subtype, std::string_view text) {
  GMimeTextPart* part = g_mime_text_part_new_with_subtype(subtype);
  set_content(GMIME_PART(part), unix_newlines(text));
  g_mime_text_part_set_charset(part, "utf-8");
  g_mime_part_set_content_encoding(GMIME_PART(part), GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE);
  return GPtr<GMimeObject>(GMIME_OBJECT(part));
}

GPtr<GMimeObject> attachment_part(std::string_view mime, const std::string& filename,
                                  std::string_view bytes) {
  const std::string type = mime.find_first_of("\r\n") == std::string_view::npos
                               ? std::string(mime)
                               : std::string("application/octet-stream");
  GMimePart* part = g_mime_part_new();
  GPtr<GMimeContentType> content_type(g_mime_content_type_parse(nullptr, type.c_str()));
  g_mime_object_set_content_type(GMIME_OBJECT(part), content_type.get());
  set_content(part, bytes);
  g_mime_part_set_filename(part, header_safe(filename).c_str());
  g_mime_part_set_content_encoding(part, GMIME_CONTENT_ENCODING_BASE64);
  return GPtr<GMimeObject>(GMIME_OBJECT(part));
}

void add_mailbox(InternetAddressList* list, const std::optional<std::string>& name,
                 const std::string& address) {
  const std::string safe_name = name ? header_safe(*name) : std::string();
  const std::string safe_address = header_safe(address);
  GPtr<InternetAddress> mailbox(
      internet_address_mailbox_new(name ? safe_name.c_str() : nullptr, safe_address.c_str()));
  internet_address_list_add(list, mailbox.get());
}

// The right-hand side of a Message-ID is the sender's domain when it is a plain host name.
std::string message_id_domain(std::string_view email) {
  const auto at = email.rfind('@');
  std::string_view domain =
      at == std::string_view::npos ? std::string_view() : email.substr(at + 1);
  while (!domain.empty() && (domain.back() == ' ' || domain.back() == '\t')) {
    domain.remove_suffix(1);
  }
  bool plain = !domain.empty();
  for (char c : domain) {
    plain = plain && ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                      c == '-' || c == '.');
  }
  return plain ? std::string(domain) : std::string("localhost");
}

std::string serialise(GMimeMessage* message) {
  GMimeFormatOptions* options = g_mime_format_options_new();
  g_mime_format_options_set_newline_format(options, GMIME_NEWLINE_FORMAT_DOS);
  // No Bcc is ever put on the message; hiding it as well keeps it out should one appear.
  g_mime_format_options_add_hidden_header(options, "Bcc");
  GPtr<GMimeStream> stream(g_mime_stream_mem_new());
  const auto written = g_mime_object_write_to_stream(GMIME_OBJECT(message), options, stream.get());
  g_mime_format_options_free(options);
  if (written < 0) return {};
  g_mime_stream_flush(stream.get());
  GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(stream.get()));
  return std::string(reinterpret_cast<const char*>(bytes->data), bytes->len);
}

}  // namespace

std::expected<std::string, std::string> assemble_outgoing(const StoredConfig& account,
                                                          const DraftData& draft) {
  ensure_gmime();
  GPtr<GMimeMessage> message(g_mime_message_new(TRUE));

  const std::string sender_name =
      account.display_name.empty() ? account.email : account.display_name;
  add_mailbox(g_mime_message_get_from(message.get()), sender_name, account.email);
  g_mime_message_set_subject(message.get(), header_safe(draft.subject).c_str(), "utf-8");

  for (const auto& [field, type] :
       {std::pair{&draft.to, GMIME_ADDRESS_TYPE_TO}, std::pair{&draft.cc, GMIME_ADDRESS_TYPE_CC}}) {
    for (const auto& recipient : compose::parse_recipients(*field)) {
      // A piece that is not an address is not sent to either (the envelope drops it too), and
      // written raw it could unbalance quotes and change how the rest of the header reads.
      if (!parse_plain_address(recipient.address)) continue;
      add_mailbox(g_mime_message_get_addresses(message.get(), type), recipient.name,
                  recipient.address);
    }
  }
  // draft.bcc is deliberately not read: Bcc recipients belong to the envelope alone.

  GDateTime* now = g_date_time_new_now_local();
  g_mime_message_set_date(message.get(), now);
  g_date_time_unref(now);
  const std::string message_id = uuid_text(new_uuid_v4()) + "@" + message_id_domain(account.email);
  g_mime_message_set_message_id(message.get(), message_id.c_str());

  GPtr<GMimeObject> body = text_part("plain", draft.body);
  if (draft.html_body) {
    GPtr<GMimeMultipart> alternative(g_mime_multipart_new_with_subtype("alternative"));
    g_mime_multipart_add(alternative.get(), body.get());
    g_mime_multipart_add(alternative.get(), text_part("html", *draft.html_body).get());
    body.reset(GMIME_OBJECT(alternative.release()));
  }

  if (!draft.attachments.empty() || draft.calendar_ics) {
    GPtr<GMimeMultipart> mixed(g_mime_multipart_new_with_subtype("mixed"));
    g_mime_multipart_add(mixed.get(), body.get());
    for (const auto& attachment : draft.attachments) {
      auto content = compose::load_for_sending(attachment);
      if (!content) return std::unexpected(content.error());
      const std::string_view bytes(reinterpret_cast<const char*>(content->data()), content->size());
      g_mime_multipart_add(mixed.get(),
                           attachment_part(attachment.mime, attachment.filename, bytes).get());
    }
    if (draft.calendar_ics) {
      auto invitation = attachment_part("text/calendar; method=REQUEST; charset=utf-8",
                                        "invitation.ics", *draft.calendar_ics);
      g_mime_multipart_add(mixed.get(), invitation.get());
    }
    body.reset(GMIME_OBJECT(mixed.release()));
  }
  g_mime_message_set_mime_part(message.get(), body.get());

  std::string bytes = serialise(message.get());
  if (bytes.empty()) return std::unexpected(std::string("could not serialise the message"));
  return bytes;
}

}  // namespace mail::engine
