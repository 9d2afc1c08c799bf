#include "compose/draft.h"

#include <fmt/core.h>

namespace mail {
namespace {

using Json = nlohmann::json;

std::expected<std::string, std::string> required_string(const Json& object, const char* record,
                                                        const char* key) {
  const auto it = object.find(key);
  if (it == object.end()) return std::unexpected(fmt::format("{} is missing \"{}\"", record, key));
  if (!it->is_string()) {
    return std::unexpected(fmt::format("{} \"{}\" must be a string", record, key));
  }
  return it->get<std::string>();
}

std::expected<std::optional<std::string>, std::string> optional_string(const Json& object,
                                                                       const char* key) {
  const auto it = object.find(key);
  if (it == object.end() || it->is_null()) return std::optional<std::string>{};
  if (!it->is_string()) {
    return std::unexpected(fmt::format("draft \"{}\" must be a string or null", key));
  }
  return std::optional<std::string>{it->get<std::string>()};
}

Json optional_json(const std::optional<std::string>& value) {
  return value ? Json(*value) : Json(nullptr);
}

}  // namespace

Json to_json(const DraftAttachment& attachment) {
  Json out = Json::object();
  out["content_id"] = attachment.content_id;
  out["filename"] = attachment.filename;
  out["mime"] = attachment.mime;
  out["size"] = attachment.size;
  return out;
}

Json to_json(const DraftData& draft) {
  Json attachments = Json::array();
  for (const auto& attachment : draft.attachments) attachments.push_back(to_json(attachment));
  Json out = Json::object();
  out["to"] = draft.to;
  out["cc"] = draft.cc;
  out["bcc"] = draft.bcc;
  out["subject"] = draft.subject;
  out["body"] = draft.body;
  out["html_body"] = optional_json(draft.html_body);
  out["calendar_ics"] = optional_json(draft.calendar_ics);
  out["attachments"] = std::move(attachments);
  return out;
}

std::expected<DraftAttachment, std::string> draft_attachment_from_json(const Json& v) {
  if (!v.is_object()) return std::unexpected(std::string("attachment must be an object"));
  DraftAttachment out;
  for (auto [key, field] : {std::pair{"content_id", &out.content_id},
                            std::pair{"filename", &out.filename}, std::pair{"mime", &out.mime}}) {
    auto text = required_string(v, "attachment", key);
    if (!text) return std::unexpected(text.error());
    *field = std::move(*text);
  }
  const auto size = v.find("size");
  if (size == v.end()) return std::unexpected(std::string("attachment is missing \"size\""));
  // A negative or fractional size is not a byte count.
  if (size->is_number_unsigned()) {
    out.size = size->get<std::uint64_t>();
  } else if (size->is_number_integer() && size->get<std::int64_t>() >= 0) {
    out.size = static_cast<std::uint64_t>(size->get<std::int64_t>());
  } else {
    return std::unexpected(std::string("attachment \"size\" must be an unsigned integer"));
  }
  return out;
}

std::expected<DraftData, std::string> draft_from_json(const Json& v) {
  if (!v.is_object()) return std::unexpected(std::string("draft must be an object"));
  DraftData out;
  for (auto [key, field] :
       {std::pair{"to", &out.to}, std::pair{"cc", &out.cc}, std::pair{"bcc", &out.bcc},
        std::pair{"subject", &out.subject}, std::pair{"body", &out.body}}) {
    auto text = required_string(v, "draft", key);
    if (!text) return std::unexpected(text.error());
    *field = std::move(*text);
  }
  auto html = optional_string(v, "html_body");
  if (!html) return std::unexpected(html.error());
  out.html_body = std::move(*html);
  auto ics = optional_string(v, "calendar_ics");
  if (!ics) return std::unexpected(ics.error());
  out.calendar_ics = std::move(*ics);
  const auto list = v.find("attachments");
  if (list == v.end()) return std::unexpected(std::string("draft is missing \"attachments\""));
  if (!list->is_array()) {
    return std::unexpected(std::string("draft \"attachments\" must be an array"));
  }
  for (const auto& item : *list) {
    auto attachment = draft_attachment_from_json(item);
    if (!attachment) return std::unexpected(attachment.error());
    out.attachments.push_back(std::move(*attachment));
  }
  return out;
}

std::string attachments_to_json_text(const std::vector<DraftAttachment>& list) {
  nlohmann::ordered_json out = nlohmann::ordered_json::array();
  for (const auto& a : list) {
    nlohmann::ordered_json record;
    record["content_id"] = a.content_id;
    record["filename"] = a.filename;
    record["mime"] = a.mime;
    record["size"] = a.size;
    out.push_back(std::move(record));
  }
  // Replace rather than throw on a file name that is not UTF-8.
  return out.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

std::expected<std::vector<DraftAttachment>, std::string> attachments_from_json_text(
    std::string_view text) {
  const Json parsed = Json::parse(text, nullptr, /*allow_exceptions=*/false);
  if (parsed.is_discarded()) return std::unexpected(std::string("attachment list is not JSON"));
  if (!parsed.is_array()) {
    return std::unexpected(std::string("attachment list must be an array"));
  }
  std::vector<DraftAttachment> out;
  for (const auto& item : parsed) {
    auto attachment = draft_attachment_from_json(item);
    if (!attachment) return std::unexpected(attachment.error());
    out.push_back(std::move(*attachment));
  }
  return out;
}

}  // namespace mail
