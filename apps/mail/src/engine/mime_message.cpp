#include "engine/mime_message.h"

#include <gmime/gmime.h>

#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "engine/gmime_handles.h"
#include "engine/header_text.h"
#include "engine/html_to_text.h"
#include "engine/message_identity.h"
#include "engine/mime_parts.h"
#include "engine/part_content.h"
#include "engine/raw_message.h"
#include "engine/received_attachment.h"
#include "mailbox/ascii_text.h"
#include "vexa/xml_escape.h"

namespace mail::engine {

namespace {

// Message-ID and References feed the identity and the server search; they keep GLib's repair,
// which they have always had, so no stored message changes its key.
std::string identity_text(const char* s) {
  if (!s) return {};
  if (g_utf8_validate(s, -1, nullptr)) return s;
  GFreeString fixed(g_utf8_make_valid(s, -1));
  return fixed.get();
}

std::optional<std::string> first_reference(const char* header, bool last) {
  if (!header) return std::nullopt;
  GMimeReferences* refs = g_mime_references_parse(nullptr, header);
  if (!refs) return std::nullopt;
  std::optional<std::string> out;
  const int count = g_mime_references_length(refs);
  if (count > 0) {
    const char* id = g_mime_references_get_message_id(refs, last ? count - 1 : 0);
    if (id && *id) out = identity_text(id);
  }
  g_mime_references_free(refs);
  return out;
}

std::string_view raw_header(GMimeObject* object, const char* name) {
  GMimeHeaderList* headers = g_mime_object_get_header_list(object);
  GMimeHeader* header = headers ? g_mime_header_list_get_header(headers, name) : nullptr;
  const char* raw = header ? g_mime_header_get_raw_value(header) : nullptr;
  return raw ? std::string_view(raw) : std::string_view();
}

// The raw text after the header block's empty line.
std::string_view raw_body(std::string_view raw, gint64 headers_end) {
  if (headers_end < 0 || static_cast<std::size_t>(headers_end) >= raw.size()) return {};
  std::string_view rest = raw.substr(static_cast<std::size_t>(headers_end));
  if (rest.starts_with("\r\n")) return rest.substr(2);
  if (rest.starts_with("\n")) return rest.substr(1);
  return rest;
}

// The raw text as a GByteArray without copying it: the parser only reads, and a memory stream
// over a borrowed array hands out windows onto it. Declared before every GMime object of the
// parse, so it is released after them.
class BorrowedBytes {
 public:
  explicit BorrowedBytes(std::string_view bytes)
      : array_(g_byte_array_new_take(reinterpret_cast<guint8*>(const_cast<char*>(bytes.data())),
                                     bytes.size())) {}
  BorrowedBytes(const BorrowedBytes&) = delete;
  BorrowedBytes& operator=(const BorrowedBytes&) = delete;
  // Gives the bytes back instead of freeing them.
  ~BorrowedBytes() { g_byte_array_free(array_, FALSE); }
  GByteArray* array() const { return array_; }

 private:
  GByteArray* array_;
};

bool blank(std::string_view text) { return trim_ascii(text).empty(); }

// Sections of the body are separated by exactly one blank line.
void append_section(std::string& body, std::string text) {
  if (blank(text)) return;
  if (blank(body)) {
    body = std::move(text);
    return;
  }
  while (!body.empty() && body.back() == '\n') body.pop_back();
  body += "\n\n";
  body += text;
}

void append_preformatted(std::string& html, std::string_view text) {
  html += "\n<pre>";
  html += vexa::xml_escape::escape_text(text);
  html += "</pre>";
}

// Texts of the body parts, each decoded once even when both body lists hold it.
class PartTexts {
 public:
  const std::string& text(const BodyPart& part) {
    for (const auto& [key, value] : texts_) {
      if (key.part == part.part && key.loose_text.data() == part.loose_text.data()) return value;
    }
    texts_.emplace_back(part, part.part ? part_text(part.part) : loose_text(part.loose_text));
    return texts_.back().second;
  }
  // Plain text of a part: HTML converted.
  std::string plain(const BodyPart& part) {
    return part.is_html ? html_to_text(text(part)) : text(part);
  }

 private:
  std::vector<std::pair<BodyPart, std::string>> texts_;
};

void fill_bodies(const MessageParts& parts, MailMessage& out) {
  PartTexts texts;
  std::string body;
  for (const BodyPart& part : parts.text) append_section(body, texts.plain(part));

  const BodyPart* chosen = nullptr;
  for (const BodyPart& part : parts.html) {
    if (part.is_html && !blank(texts.text(part))) {
      chosen = &part;
      break;
    }
  }
  if (chosen) {
    std::string html = texts.text(*chosen);
    // Every other inline text reaches the HTML view too, after the chosen part.
    for (const BodyPart& part : parts.html) {
      if (&part == chosen || blank(texts.text(part))) continue;
      if (part.is_html) {
        html += '\n';
        html += texts.text(part);
      } else {
        append_preformatted(html, texts.text(part));
      }
    }
    // A plain alternative that is empty must not leave the list and search without text.
    if (blank(body)) body = html_to_text(texts.text(*chosen));
    if (parts.truncated) append_preformatted(html, kNestedTooDeeply);
    out.html = std::move(html);
  }
  if (parts.truncated) append_section(body, std::string(kNestedTooDeeply));
  out.body_text = std::move(body);
}

}  // namespace

void ensure_gmime() {
  static std::once_flag once;
  std::call_once(once, [] { g_mime_init(); });
}

MailMessage build_mail_message(std::string_view bytes, FolderRole folder, bool seen, bool starred,
                               std::optional<std::int64_t> internal_date_seconds,
                               std::int64_t fallback_now_seconds) {
  ensure_gmime();
  const RawMessage prepared(bytes);
  const std::string_view raw = prepared.bytes();
  const BorrowedBytes borrowed(raw);
  GObjectPtr<GMimeStream> stream(g_mime_stream_mem_new_with_byte_array(borrowed.array()));
  g_mime_stream_mem_set_owner(GMIME_STREAM_MEM(stream.get()), FALSE);
  GObjectPtr<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
  GObjectPtr<GMimeMessage> parsed(g_mime_parser_construct_message(parser.get(), nullptr));
  const gint64 headers_end = g_mime_parser_get_headers_end(parser.get());

  MailMessage out;
  out.folder = folder;
  out.seen = seen;
  out.starred = starred;
  out.subject = "(no subject)";
  out.from = MailAddress{"unknown@unknown", std::nullopt};
  std::int64_t seconds = internal_date_seconds.value_or(fallback_now_seconds);

  GMimeMessage* message = parsed.get();
  if (!message) {
    // The raw text is always made parseable first; should GMime still refuse it, the text
    // itself is the message.
    out.body_text = loose_text(raw);
    out.id = fallback_identity(IdentityFields{.body = raw});
    out.time = seconds / 60;
    return out;
  }
  GMimeObject* object = GMIME_OBJECT(message);

  std::vector<MailAddress> from = message_addresses(message, GMIME_ADDRESS_TYPE_FROM);
  if (!from.empty()) out.from = std::move(from.front());
  out.to = message_addresses(message, GMIME_ADDRESS_TYPE_TO);
  out.cc = message_addresses(message, GMIME_ADDRESS_TYPE_CC);
  if (std::optional<std::string> subject = message_subject(message)) {
    out.subject = std::move(*subject);
  }

  // An empty identifier ("<>") names nothing: it must not become a shared identity.
  if (const char* id = g_mime_message_get_message_id(message); id && !trim_ascii(id).empty()) {
    out.message_id = identity_text(id);
  }
  const char* id_header = g_mime_object_get_header(object, "Message-ID");
  std::string_view usable = id_header ? trim_ascii(id_header) : std::string_view();
  while (!usable.empty() && usable.front() == '<') usable.remove_prefix(1);
  while (!usable.empty() && usable.back() == '>') usable.remove_suffix(1);
  if (trim_ascii(usable).empty()) {
    out.id = fallback_identity(IdentityFields{
        .date = raw_header(object, "Date"),
        .from = raw_header(object, "From"),
        .to = raw_header(object, "To"),
        .subject = raw_header(object, "Subject"),
        .body = raw_body(raw, headers_end),
    });
  } else {
    out.id = message_id_from_header(id_header);
  }

  out.thread_key = first_reference(g_mime_object_get_header(object, "References"), false);
  if (!out.thread_key) {
    out.thread_key = first_reference(g_mime_object_get_header(object, "In-Reply-To"), true);
  }

  if (!internal_date_seconds) {
    if (GDateTime* date = g_mime_message_get_date(message)) seconds = g_date_time_to_unix(date);
  }
  out.time = seconds / 60;

  const MessageParts parts = sort_parts(g_mime_message_get_mime_part(message));
  fill_bodies(parts, out);
  out.attachments.reserve(parts.attachments.size());
  for (const AttachmentPart& part : parts.attachments) {
    out.attachments.push_back(received_attachment(part, raw));
  }
  return out;
}

}  // namespace mail::engine
