#pragma once
// Sorts the parts of a parsed message into what the reader shows as its body (in plain and in
// HTML form) and what it lists as attachments.
#include <gmime/gmime.h>

#include <string_view>
#include <vector>

namespace mail::engine {

// One candidate for the body: a leaf part, or the preamble text of a multipart whose boundary
// never matched (`part` null), which is all that is left of such a message.
struct BodyPart {
  GMimeObject* part = nullptr;
  std::string_view loose_text;
  bool is_html = false;
};

struct AttachmentPart {
  GMimeObject* part = nullptr;
  GMimeMultipart* parent = nullptr;  // null for a message whose whole body is the attachment
};

struct MessageParts {
  std::vector<BodyPart> text;  // the body as plain text, in message order
  std::vector<BodyPart> html;  // the body where HTML is preferred, in message order
  std::vector<AttachmentPart> attachments;
  bool truncated = false;  // parts nested past the depth limit were left out
};

MessageParts sort_parts(GMimeObject* body);

}  // namespace mail::engine
