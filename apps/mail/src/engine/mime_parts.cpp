#include "engine/mime_parts.h"

#include <string>

#include "engine/media_type.h"
#include "mailbox/ascii_text.h"

namespace mail::engine {
namespace {

// GMime itself stops nesting at about a thousand levels; real mail never goes past a handful,
// so anything deeper than this is left out (and the reader says so).
constexpr int kMaxDepth = 64;

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

// A multipart whose boundary is missing or never matches has no parts; GMime keeps all of its
// text as the preamble.
std::string_view unsplit_text(GMimeMultipart* multipart) {
  const char* prologue = g_mime_multipart_get_prologue(multipart);
  if (!prologue || trim_ascii(prologue).empty()) return {};
  return prologue;
}

// Alternatives offer one body in two forms; a part only counts as body text when it is plain or
// HTML, is not marked as an attachment, and sits where a body can be. A null list means this
// branch of an alternative no longer contributes to it.
class Sorter {
 public:
  explicit Sorter(MessageParts& out) : out_(out) {}

  void walk(GMimeMultipart* parent, const std::vector<GMimeObject*>& parts,
            std::string_view multipart_subtype, bool in_alternative, std::vector<BodyPart>* text,
            std::vector<BodyPart>* html, int depth) {
    const std::size_t text_before = text ? text->size() : 0;
    const std::size_t html_before = html ? html->size() : 0;
    const bool alternative = multipart_subtype == "alternative";

    for (std::size_t i = 0; i < parts.size(); ++i) {
      GMimeObject* part = parts[i];
      if (GMIME_IS_MULTIPART(part)) {
        if (depth + 1 > kMaxDepth) {
          out_.truncated = true;
          continue;
        }
        GMimeMultipart* multipart = GMIME_MULTIPART(part);
        const int count = g_mime_multipart_get_count(multipart);
        if (count <= 0) {
          if (std::string_view loose = unsplit_text(multipart); !loose.empty()) {
            add_body(BodyPart{nullptr, loose, false}, alternative, in_alternative, text, html);
          }
          continue;
        }
        std::vector<GMimeObject*> children;
        children.reserve(static_cast<std::size_t>(count));
        for (int c = 0; c < count; ++c) children.push_back(g_mime_multipart_get_part(multipart, c));
        const std::string subtype = media_type(part).subtype;
        walk(multipart, children, subtype, in_alternative || subtype == "alternative", text, html,
             depth + 1);
        continue;
      }
      if (!GMIME_IS_PART(part)) {
        if (GMIME_IS_MESSAGE_PART(part)) out_.attachments.push_back({part, parent});
        continue;
      }
      const MediaType type = media_type(part);
      const bool plain = type.is("text", "plain");
      const bool is_html = type.is("text", "html");
      const bool body = !disposed_as_attachment(part) && (plain || is_html) &&
                        (i == 0 || (multipart_subtype != "related" && !attachment_name(part)));
      if (!body) {
        out_.attachments.push_back({part, parent});
        continue;
      }
      add_body(BodyPart{part, {}, is_html}, alternative, in_alternative, text, html);
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

 private:
  static void add_body(const BodyPart& part, bool alternative, bool in_alternative,
                       std::vector<BodyPart>*& text, std::vector<BodyPart>*& html) {
    if (alternative) {
      if (std::vector<BodyPart>* list = part.is_html ? html : text) list->push_back(part);
      return;
    }
    if (in_alternative) {
      if (!part.is_html) html = nullptr;
      if (part.is_html) text = nullptr;
    }
    if (text) text->push_back(part);
    if (html) html->push_back(part);
  }

  MessageParts& out_;
};

}  // namespace

MessageParts sort_parts(GMimeObject* body) {
  MessageParts out;
  if (!body) return out;
  Sorter(out).walk(nullptr, {body}, "mixed", false, &out.text, &out.html, 0);
  return out;
}

}  // namespace mail::engine
