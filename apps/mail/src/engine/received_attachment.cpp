#include "engine/received_attachment.h"

#include <string>
#include <string_view>

#include "compose/attachments.h"
#include "compose/utf8_text.h"
#include "engine/header_text.h"
#include "engine/media_type.h"
#include "engine/part_content.h"
#include "mailbox/ascii_text.h"
#include "vexa/utf8.h"

namespace mail::engine {
namespace {

constexpr std::string_view kUnnamed = "attachment.bin";
constexpr std::string_view kMessageSuffix = ".eml";

const char* declared_name(GMimeObject* object) {
  if (GMIME_IS_PART(object)) return g_mime_part_get_filename(GMIME_PART(object));
  if (const char* name = g_mime_object_get_content_disposition_parameter(object, "filename")) {
    return name;
  }
  return g_mime_object_get_content_type_parameter(object, "name");
}

// A file name from a subject: no path separators or control characters, trimmed, and short
// enough for a draft attachment's name once the suffix is on.
std::string name_from_subject(std::string_view subject) {
  std::string name;
  for (std::size_t i = 0; i < subject.size();) {
    const compose::CodePoint cp = compose::decode_at(subject, i);
    if (cp.value == '/' || cp.value == '\\') {
      name.push_back('_');
    } else if (!compose::is_control(cp.value)) {
      name.append(subject.substr(i, cp.length));
    }
    i += cp.length;
  }
  std::string_view trimmed = compose::trim(name);
  const std::size_t room = compose::kMaxFilenameChars - kMessageSuffix.size();
  std::string cut(compose::first_chars(trimmed, room));
  cut = std::string(compose::trim(cut));
  if (cut.empty() || cut == "." || cut == "..") cut = "attachment";
  return cut + std::string(kMessageSuffix);
}

std::string attachment_file_name(GMimeObject* part) {
  if (const char* name = declared_name(part); name && !trim_ascii(name).empty()) {
    return vexa::utf8::repair(name);
  }
  if (GMIME_IS_MESSAGE_PART(part)) {
    GMimeMessage* inner = g_mime_message_part_get_message(GMIME_MESSAGE_PART(part));
    return name_from_subject(inner ? message_subject(inner).value_or("") : "");
  }
  return std::string(kUnnamed);
}

// Where an enclosed message's text stands in `raw`: from its first header to the line end before
// the enclosing multipart's next boundary (RFC 2046 gives that line end to the boundary).
std::optional<std::string_view> enclosed_text(const AttachmentPart& part, std::string_view raw) {
  GMimeMessage* inner = g_mime_message_part_get_message(GMIME_MESSAGE_PART(part.part));
  GMimeHeaderList* headers = inner ? g_mime_object_get_header_list(GMIME_OBJECT(inner)) : nullptr;
  if (!headers || g_mime_header_list_get_count(headers) == 0) return std::nullopt;
  const gint64 offset = g_mime_header_get_offset(g_mime_header_list_get_header_at(headers, 0));
  if (offset < 0 || static_cast<std::size_t>(offset) >= raw.size()) return std::nullopt;
  const std::size_t begin = static_cast<std::size_t>(offset);
  if (!part.parent) return raw.substr(begin);
  const char* boundary = g_mime_multipart_get_boundary(part.parent);
  if (!boundary || !*boundary) return std::nullopt;
  const std::string delimiter = std::string("\n--") + boundary;
  std::size_t end = raw.find(delimiter, begin);
  if (end == std::string_view::npos) return std::nullopt;
  if (end > begin && raw[end - 1] == '\r') --end;
  return raw.substr(begin, end - begin);
}

std::vector<std::uint8_t> attachment_content(const AttachmentPart& part, std::string_view raw) {
  if (GMIME_IS_MESSAGE_PART(part.part)) {
    if (std::optional<std::string_view> text = enclosed_text(part, raw)) {
      return std::vector<std::uint8_t>(text->begin(), text->end());
    }
  }
  // GMime's own writing, for the rare enclosed message that cannot be found in the raw text.
  return part_bytes(part.part);
}

}  // namespace

MessageAttachment received_attachment(const AttachmentPart& source, std::string_view raw) {
  GMimeObject* part = source.part;
  MessageAttachment attachment;
  attachment.filename = attachment_file_name(part);
  std::optional<std::string> declared = declared_type(part);
  attachment.mime = declared ? std::move(*declared) : compose::mime_type_for(attachment.filename);
  attachment.content = attachment_content(source, raw);
  attachment.size = attachment.content.size();
  attachment.downloaded = attachment.size != 0;
  return attachment;
}

}  // namespace mail::engine
