#include "engine/mime_message.h"

#include <gmime/gmime.h>

#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "compose/attachments.h"
#include "engine/html_to_text.h"
#include "mailbox/ascii_text.h"

namespace mail::engine {

namespace {

// GMime itself stops nesting at about a thousand levels; real mail never goes past a handful,
// so anything deeper than this is ignored rather than walked.
constexpr int kMaxDepth = 64;

template <typename T>
struct GObjectPtr {
  explicit GObjectPtr(T* p = nullptr) : ptr(p) {}
  GObjectPtr(const GObjectPtr&) = delete;
  GObjectPtr& operator=(const GObjectPtr&) = delete;
  ~GObjectPtr() {
    if (ptr) g_object_unref(ptr);
  }
  T* get() const { return ptr; }
  T* ptr;
};

struct GFreeString {
  explicit GFreeString(char* p) : ptr(p) {}
  GFreeString(const GFreeString&) = delete;
  GFreeString& operator=(const GFreeString&) = delete;
  ~GFreeString() { g_free(ptr); }
  char* ptr;
};

// Header values and part texts reach the UI, the document and JSON: all must be valid UTF-8.
std::string valid_utf8(std::string_view s) {
  if (g_utf8_validate(s.data(), static_cast<gssize>(s.size()), nullptr)) return std::string(s);
  GFreeString fixed(g_utf8_make_valid(s.data(), static_cast<gssize>(s.size())));
  return fixed.ptr;
}

std::string valid_utf8(const char* s) {
  return s ? valid_utf8(std::string_view(s)) : std::string();
}

std::string unix_newlines(std::string text) {
  std::size_t cr = text.find("\r\n");
  if (cr == std::string::npos) return text;
  std::string out;
  out.reserve(text.size());
  std::size_t from = 0;
  while (cr != std::string::npos) {
    out.append(text, from, cr - from);
    from = cr + 1;  // keep the '\n'
    cr = text.find("\r\n", from);
  }
  out.append(text, from, std::string::npos);
  return out;
}

void collect_addresses(InternetAddressList* list, std::vector<MailAddress>& out, int depth = 0) {
  if (!list || depth > kMaxDepth) return;
  const int count = internet_address_list_length(list);
  for (int i = 0; i < count; ++i) {
    InternetAddress* address = internet_address_list_get_address(list, i);
    if (INTERNET_ADDRESS_IS_GROUP(address)) {
      collect_addresses(internet_address_group_get_members(INTERNET_ADDRESS_GROUP(address)), out,
                        depth + 1);
      continue;
    }
    if (!INTERNET_ADDRESS_IS_MAILBOX(address)) continue;
    MailAddress entry;
    entry.address =
        valid_utf8(internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(address)));
    if (const char* name = internet_address_get_name(address); name && *name) {
      entry.name = valid_utf8(name);
    }
    out.push_back(std::move(entry));
  }
}

std::vector<std::uint8_t> decoded_bytes(GMimeObject* object) {
  GObjectPtr<GMimeStream> stream(g_mime_stream_mem_new());
  if (GMIME_IS_PART(object)) {
    GMimeDataWrapper* content = g_mime_part_get_content(GMIME_PART(object));
    if (!content) return {};
    if (g_mime_data_wrapper_write_to_stream(content, stream.get()) < 0) return {};
  } else if (GMIME_IS_MESSAGE_PART(object)) {
    GMimeMessage* inner = g_mime_message_part_get_message(GMIME_MESSAGE_PART(object));
    if (!inner) return {};
    if (g_mime_object_write_to_stream(GMIME_OBJECT(inner), nullptr, stream.get()) < 0) return {};
  } else {
    return {};
  }
  GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(stream.get()));
  if (!bytes) return {};
  return std::vector<std::uint8_t>(bytes->data, bytes->data + bytes->len);
}

std::string part_text(GMimeObject* object) {
  if (GMIME_IS_TEXT_PART(object)) {
    GFreeString text(g_mime_text_part_get_text(GMIME_TEXT_PART(object)));
    if (text.ptr) return unix_newlines(valid_utf8(text.ptr));
  }
  auto bytes = decoded_bytes(object);
  return unix_newlines(
      valid_utf8(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size())));
}

bool is_type(GMimeObject* object, const char* type, const char* subtype) {
  GMimeContentType* content_type = g_mime_object_get_content_type(object);
  return content_type && g_mime_content_type_is_type(content_type, type, subtype);
}

const char* attachment_name(GMimeObject* object) {
  if (GMIME_IS_PART(object)) return g_mime_part_get_filename(GMIME_PART(object));
  if (const char* name = g_mime_object_get_content_disposition_parameter(object, "filename")) {
    return name;
  }
  return g_mime_object_get_content_type_parameter(object, "name");
}

bool disposed_as_attachment(GMimeObject* object) {
  GMimeContentDisposition* disposition = g_mime_object_get_content_disposition(object);
  return disposition && g_mime_content_disposition_is_attachment(disposition);
}

// Sorts leaf parts into the text body list, the HTML body list and the attachments, the way
// a reader expects: alternatives offer one body in two forms, and a part only counts as body
// text when it is plain or HTML, is not marked as an attachment, and sits where a body can be.
// A null list means this branch of an alternative no longer contributes to it.
struct BodyLists {
  std::vector<GMimeObject*> text;
  std::vector<GMimeObject*> html;
  std::vector<GMimeObject*> attachments;
};

void walk(const std::vector<GMimeObject*>& parts, std::string_view multipart_subtype,
          bool in_alternative, std::vector<GMimeObject*>* text, std::vector<GMimeObject*>* html,
          std::vector<GMimeObject*>& attachments, int depth) {
  const std::size_t text_before = text ? text->size() : 0;
  const std::size_t html_before = html ? html->size() : 0;
  const bool alternative = multipart_subtype == "alternative";

  for (std::size_t i = 0; i < parts.size(); ++i) {
    GMimeObject* part = parts[i];
    if (GMIME_IS_MULTIPART(part)) {
      if (depth + 1 > kMaxDepth) continue;
      GMimeMultipart* multipart = GMIME_MULTIPART(part);
      std::vector<GMimeObject*> children;
      const int count = g_mime_multipart_get_count(multipart);
      children.reserve(static_cast<std::size_t>(count > 0 ? count : 0));
      for (int c = 0; c < count; ++c) children.push_back(g_mime_multipart_get_part(multipart, c));
      GMimeContentType* type = g_mime_object_get_content_type(part);
      const char* sub = type ? g_mime_content_type_get_media_subtype(type) : nullptr;
      std::string subtype;
      if (sub) {
        GFreeString lower(g_ascii_strdown(sub, -1));
        subtype = lower.ptr;
      }
      walk(children, subtype, in_alternative || subtype == "alternative", text, html, attachments,
           depth + 1);
      continue;
    }
    if (!GMIME_IS_PART(part)) {
      if (GMIME_IS_MESSAGE_PART(part)) attachments.push_back(part);
      continue;
    }
    const bool plain = is_type(part, "text", "plain");
    const bool is_html = is_type(part, "text", "html");
    const bool body = !disposed_as_attachment(part) && (plain || is_html) &&
                      (i == 0 || (multipart_subtype != "related" && !attachment_name(part)));
    if (!body) {
      attachments.push_back(part);
      continue;
    }
    if (alternative) {
      if (std::vector<GMimeObject*>* list = plain ? text : html) list->push_back(part);
      continue;
    }
    if (in_alternative) {
      if (plain) html = nullptr;
      if (is_html) text = nullptr;
    }
    if (text) text->push_back(part);
    if (html) html->push_back(part);
  }

  // An alternative that offered only one form still gives that form to both lists.
  if (alternative && text && html) {
    const std::size_t text_after = text->size();
    const std::size_t html_after = html->size();
    if (text_after == text_before && html_after != html_before) {
      text->insert(text->end(), html->begin() + static_cast<std::ptrdiff_t>(html_before),
                   html->end());
    } else if (html_after == html_before && text_after != text_before) {
      html->insert(html->end(), text->begin() + static_cast<std::ptrdiff_t>(text_before),
                   text->begin() + static_cast<std::ptrdiff_t>(text_after));
    }
  }
}

std::optional<std::string> first_reference(const char* header, bool last) {
  if (!header) return std::nullopt;
  GMimeReferences* refs = g_mime_references_parse(nullptr, header);
  if (!refs) return std::nullopt;
  std::optional<std::string> out;
  const int count = g_mime_references_length(refs);
  if (count > 0) {
    const char* id = g_mime_references_get_message_id(refs, last ? count - 1 : 0);
    if (id && *id) out = valid_utf8(id);
  }
  g_mime_references_free(refs);
  return out;
}

MessageAttachment make_attachment(GMimeObject* part) {
  MessageAttachment attachment;
  const char* name = attachment_name(part);
  attachment.filename = name && *name ? valid_utf8(name) : std::string("attachment.bin");
  attachment.mime = mail::compose::mime_type_for(attachment.filename);
  attachment.content = decoded_bytes(part);
  attachment.size = attachment.content.size();
  attachment.downloaded = attachment.size != 0;
  return attachment;
}

}  // namespace

void ensure_gmime() {
  static std::once_flag once;
  std::call_once(once, [] { g_mime_init(); });
}

std::optional<MailMessage> build_mail_message(std::string_view raw, FolderRole folder, bool seen,
                                              bool starred,
                                              std::optional<std::int64_t> internal_date_seconds,
                                              std::int64_t fallback_now_seconds) {
  ensure_gmime();
  if (raw.empty()) return std::nullopt;
  GObjectPtr<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(raw.data(), raw.size()));
  GObjectPtr<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
  GObjectPtr<GMimeMessage> parsed(g_mime_parser_construct_message(parser.get(), nullptr));
  GMimeMessage* message = parsed.get();
  if (!message) return std::nullopt;
  GMimeObject* object = GMIME_OBJECT(message);

  MailMessage out;
  out.folder = folder;
  out.seen = seen;
  out.starred = starred;

  std::vector<MailAddress> from;
  collect_addresses(g_mime_message_get_from(message), from);
  out.from = from.empty() ? MailAddress{"unknown@unknown", std::nullopt} : std::move(from.front());
  collect_addresses(g_mime_message_get_to(message), out.to);
  collect_addresses(g_mime_message_get_cc(message), out.cc);

  const char* subject = g_mime_message_get_subject(message);
  out.subject = subject ? valid_utf8(subject) : std::string("(no subject)");

  // An empty identifier ("<>") names nothing: it must not become a shared identity.
  if (const char* id = g_mime_message_get_message_id(message); id && !trim_ascii(id).empty()) {
    out.message_id = valid_utf8(id);
  }
  const char* id_header = g_mime_object_get_header(object, "Message-ID");
  std::string_view usable = id_header ? trim_ascii(id_header) : std::string_view();
  while (!usable.empty() && usable.front() == '<') usable.remove_prefix(1);
  while (!usable.empty() && usable.back() == '>') usable.remove_suffix(1);
  out.id = trim_ascii(usable).empty() ? new_uuid_v4() : message_id_from_header(id_header);

  out.thread_key = first_reference(g_mime_object_get_header(object, "References"), false);
  if (!out.thread_key) {
    out.thread_key = first_reference(g_mime_object_get_header(object, "In-Reply-To"), true);
  }

  std::int64_t seconds = fallback_now_seconds;
  if (internal_date_seconds) {
    seconds = *internal_date_seconds;
  } else if (GDateTime* date = g_mime_message_get_date(message)) {
    seconds = g_date_time_to_unix(date);
  }
  out.time = seconds / 60;

  BodyLists lists;
  if (GMimeObject* body = g_mime_message_get_mime_part(message)) {
    walk({body}, "mixed", false, &lists.text, &lists.html, lists.attachments, 0);
  }
  for (GMimeObject* part : lists.text) {
    const bool is_html = is_type(part, "text", "html");
    std::string text = part_text(part);
    out.body_text = is_html ? html_to_text(text) : std::move(text);
    break;
  }
  for (GMimeObject* part : lists.html) {
    if (!is_type(part, "text", "html")) continue;
    std::string html = part_text(part);
    if (!trim_ascii(html).empty()) out.html = std::move(html);
    break;
  }
  for (GMimeObject* part : lists.attachments) out.attachments.push_back(make_attachment(part));
  return out;
}

}  // namespace mail::engine
