#include "engine/media_type.h"

#include <algorithm>
#include <string_view>

#include "mailbox/ascii_text.h"

namespace mail::engine {
namespace {

constexpr std::size_t kMaxDeclaredType = 127;

// RFC 2045 token characters: printable ASCII without spaces and tspecials.
bool is_token_char(char c) {
  if (c <= ' ' || c >= 127) return false;
  constexpr std::string_view kSpecials = "()<>@,;:\\\"/[]?=";
  return kSpecials.find(c) == std::string_view::npos;
}

std::string lower(std::string_view s) { return ascii_lower(s); }

// "type/subtype" at the start of a raw Content-Type value, as RFC 2045 writes it.
std::optional<MediaType> parse_raw(std::string_view value) {
  std::string_view s = trim_ascii(value);
  std::size_t i = 0;
  while (i < s.size() && is_token_char(s[i])) ++i;
  if (i == 0 || i >= s.size() || s[i] != '/') return std::nullopt;
  const std::size_t slash = i++;
  while (i < s.size() && is_token_char(s[i])) ++i;
  if (i == slash + 1) return std::nullopt;
  return MediaType{lower(s.substr(0, slash)), lower(s.substr(slash + 1, i - slash - 1))};
}

MediaType gmime_type(GMimeObject* object) {
  GMimeContentType* type = g_mime_object_get_content_type(object);
  const char* t = type ? g_mime_content_type_get_media_type(type) : nullptr;
  const char* s = type ? g_mime_content_type_get_media_subtype(type) : nullptr;
  return MediaType{lower(t ? t : ""), lower(s ? s : "")};
}

bool well_formed(const MediaType& m) {
  return !m.type.empty() && !m.subtype.empty() && std::ranges::all_of(m.type, is_token_char) &&
         std::ranges::all_of(m.subtype, is_token_char);
}

}  // namespace

MediaType media_type(GMimeObject* object) {
  MediaType parsed = gmime_type(object);
  if (well_formed(parsed) && !parsed.is("application", "octet-stream")) return parsed;
  // GMime's application/octet-stream may be its verdict on a header it could not read.
  const char* raw = g_mime_object_get_header(object, "Content-Type");
  if (!raw) return well_formed(parsed) ? parsed : MediaType{"text", "plain"};
  if (std::optional<MediaType> declared = parse_raw(raw)) return *declared;
  return MediaType{"text", "plain"};
}

std::optional<std::string> declared_type(GMimeObject* object) {
  // Without a header a part has its context's default: text/plain, or message/rfc822 inside a
  // digest. Only the latter says more than the file name can.
  if (!g_mime_object_get_header(object, "Content-Type")) {
    if (GMIME_IS_MESSAGE_PART(object)) return std::string("message/rfc822");
    return std::nullopt;
  }
  const MediaType declared = media_type(object);
  if (declared.is("application", "octet-stream")) return std::nullopt;
  std::string text = declared.type + "/" + declared.subtype;
  if (text.size() > kMaxDeclaredType) return std::nullopt;
  return text;
}

}  // namespace mail::engine
