#include "engine/part_content.h"

#include <cstring>

#include "engine/base64_content.h"
#include "engine/charset_text.h"
#include "engine/gmime_handles.h"
#include "vexa/utf8.h"

namespace mail::engine {
namespace {

// A part's content as it stands in the message, still transfer-encoded. Parts parsed from a
// memory stream are windows onto the message's own buffer, so no copy is made for them;
// otherwise the content is read into `storage`.
std::string_view encoded_content(GMimeStream* stream, std::string& storage) {
  if (!stream) return {};
  const gint64 length = g_mime_stream_length(stream);
  if (GMIME_IS_STREAM_MEM(stream) && length >= 0) {
    GByteArray* buffer = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(stream));
    g_mime_stream_reset(stream);
    const gint64 start = g_mime_stream_tell(stream);
    if (buffer && start >= 0 && start + length <= static_cast<gint64>(buffer->len)) {
      return std::string_view(reinterpret_cast<const char*>(buffer->data) + start,
                              static_cast<std::size_t>(length));
    }
  }
  g_mime_stream_reset(stream);
  char chunk[16384];
  for (;;) {
    const gssize n = g_mime_stream_read(stream, chunk, sizeof chunk);
    if (n <= 0) break;
    storage.append(chunk, static_cast<std::size_t>(n));
  }
  return storage;
}

void append_decoded_by_gmime(GMimeDataWrapper* content, std::vector<std::uint8_t>& out) {
  GObjectPtr<GMimeStream> stream(g_mime_stream_mem_new());
  if (g_mime_data_wrapper_write_to_stream(content, stream.get()) < 0) return;
  GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(stream.get()));
  if (bytes) out.insert(out.end(), bytes->data, bytes->data + bytes->len);
}

// Bytes of a leaf part: identity encodings as a view of the encoded content (`out` untouched),
// the others decoded into `out`.
std::string_view leaf_content(GMimePart* part, std::string& storage,
                              std::vector<std::uint8_t>& out) {
  GMimeDataWrapper* content = g_mime_part_get_content(part);
  if (!content) return {};
  switch (g_mime_data_wrapper_get_encoding(content)) {
    case GMIME_CONTENT_ENCODING_BASE64:
      // GMime drops the bytes of a last group that lacks its padding.
      append_base64_decoded(encoded_content(g_mime_data_wrapper_get_stream(content), storage), out);
      break;
    case GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE: {
      // GMime's own decoder, straight from the message's buffer into ours.
      const std::string_view in = encoded_content(g_mime_data_wrapper_get_stream(content), storage);
      GMimeEncoding state;
      g_mime_encoding_init_decode(&state, GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE);
      out.resize(g_mime_encoding_outlen(&state, in.size()));
      const std::size_t n =
          g_mime_encoding_flush(&state, in.data(), in.size(), reinterpret_cast<char*>(out.data()));
      out.resize(n);
      break;
    }
    case GMIME_CONTENT_ENCODING_UUENCODE:
      append_decoded_by_gmime(content, out);
      break;
    default:
      return encoded_content(g_mime_data_wrapper_get_stream(content), storage);
  }
  return std::string_view(reinterpret_cast<const char*>(out.data()), out.size());
}

// A copy with CRLF turned into LF; runs between CRs are copied whole.
std::string lf_copy(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t from = 0;
  for (;;) {
    const std::size_t cr = text.find('\r', from);
    if (cr == std::string_view::npos) break;
    out.append(text.substr(from, cr - from));
    if (cr + 1 >= text.size() || text[cr + 1] != '\n') out.push_back('\r');
    from = cr + 1;
  }
  out.append(text.substr(from));
  return out;
}

// No NUL: it ends the text for every C interface behind us.
void replace_nul(std::string& text) {
  if (text.find('\0') == std::string::npos) return;
  std::string out;
  out.reserve(text.size() + 16);
  for (const char c : text) {
    if (c == '\0') {
      out += "\xEF\xBF\xBD";
    } else {
      out.push_back(c);
    }
  }
  text = std::move(out);
}

// UTF-8 with LF line ends, from bytes in `charset`.
std::string text_of(std::string_view bytes, std::string_view charset) {
  std::string text;
  if (reads_as_utf8(charset) && vexa::utf8::is_valid(bytes)) {
    text = lf_copy(bytes);  // the common case: one copy, nothing to decode
  } else {
    text = lf_copy(decode_charset(bytes, charset));
  }
  replace_nul(text);
  return text;
}

}  // namespace

std::vector<std::uint8_t> part_bytes(GMimeObject* object) {
  std::vector<std::uint8_t> out;
  if (GMIME_IS_PART(object)) {
    std::string storage;
    const std::string_view content = leaf_content(GMIME_PART(object), storage, out);
    if (out.empty() && !content.empty()) out.assign(content.begin(), content.end());
    return out;
  }
  if (GMIME_IS_MESSAGE_PART(object)) {
    GMimeMessage* inner = g_mime_message_part_get_message(GMIME_MESSAGE_PART(object));
    if (!inner) return out;
    GObjectPtr<GMimeStream> stream(g_mime_stream_mem_new());
    if (g_mime_object_write_to_stream(GMIME_OBJECT(inner), nullptr, stream.get()) < 0) return out;
    GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(stream.get()));
    if (bytes) out.assign(bytes->data, bytes->data + bytes->len);
  }
  return out;
}

std::string part_text(GMimeObject* object) {
  if (!GMIME_IS_PART(object)) return {};
  std::vector<std::uint8_t> decoded;
  std::string storage;
  const std::string_view content = leaf_content(GMIME_PART(object), storage, decoded);
  const char* charset = g_mime_object_get_content_type_parameter(object, "charset");
  return text_of(content, charset ? charset : "");
}

std::string loose_text(std::string_view bytes) { return text_of(bytes, ""); }

}  // namespace mail::engine
