#pragma once
// A message being written, and its staged attachments.
#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace mail {

struct DraftAttachment {
  std::string content_id;  // "mail-attachment:blake3:" + 64 lower-case hex digits
  std::string filename;
  std::string mime;
  std::uint64_t size = 0;
  friend bool operator==(const DraftAttachment&, const DraftAttachment&) = default;
};

struct DraftData {
  std::string to;
  std::string cc;
  std::string bcc;
  std::string subject;
  std::string body;
  std::optional<std::string> html_body;
  std::optional<std::string> calendar_ics;
  std::vector<DraftAttachment> attachments;
  friend bool operator==(const DraftData&, const DraftData&) = default;
};

// JSON forms: {"content_id","filename","mime","size"} and {"to","cc","bcc","subject","body",
// "html_body","calendar_ics","attachments"} in that order; absent optionals are written as null.
nlohmann::json to_json(const DraftAttachment& attachment);
nlohmann::json to_json(const DraftData& draft);
std::expected<DraftAttachment, std::string> draft_attachment_from_json(const nlohmann::json& v);
std::expected<DraftData, std::string> draft_from_json(const nlohmann::json& v);

// The attachment list as a JSON array text, and back (an invalid text is an error).
std::string attachments_to_json_text(const std::vector<DraftAttachment>& list);
std::expected<std::vector<DraftAttachment>, std::string> attachments_from_json_text(std::string_view text);

}  // namespace mail
