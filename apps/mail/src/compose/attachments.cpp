#include "compose/attachments.h"

#include <fmt/core.h>

#include <algorithm>
#include <array>
#include <unordered_set>
#include <utility>

#include "compose/utf8_text.h"
#include "mailbox/ascii_text.h"
#include "vexa/blobstore.h"

namespace mail::compose {
namespace {

std::string_view last_path_component(std::string_view name) {
  const std::size_t cut = name.find_last_of("/\\");
  return cut == std::string_view::npos ? name : name.substr(cut + 1);
}

std::string or_default_name(std::string name) {
  if (name.empty() || name == "." || name == "..") return "attachment";
  return name;
}

// Indexes of the records that a normalised list keeps, in order.
std::vector<std::size_t> kept_indexes(const std::vector<DraftAttachment>& list) {
  std::vector<std::size_t> kept;
  std::unordered_set<std::string_view> seen;
  std::uint64_t total = 0;
  for (std::size_t i = 0; i < list.size(); ++i) {
    const DraftAttachment& a = list[i];
    if (!is_valid(a) || seen.contains(a.content_id) || kept.size() >= kMaxDraftAttachments ||
        total + a.size > kMaxDraftTotalBytes) {
      continue;
    }
    seen.insert(a.content_id);
    total += a.size;  // each size is at most 32 MiB, so the sum cannot overflow
    kept.push_back(i);
  }
  return kept;
}

}  // namespace

bool is_content_identity(std::string_view text) {
  return text.starts_with(kContentIdPrefix) &&
         vexa::blobstore::is_hash_text(text.substr(kContentIdPrefix.size()));
}

std::string content_identity_for(std::string_view hash) {
  return std::string(kContentIdPrefix) + std::string(hash);
}

std::string mime_type_for(std::string_view filename) {
  static constexpr std::array<std::pair<std::string_view, std::string_view>, 23> kTable{{
      {"pdf", "application/pdf"},
      {"png", "image/png"},
      {"jpg", "image/jpeg"},
      {"jpeg", "image/jpeg"},
      {"gif", "image/gif"},
      {"svg", "image/svg+xml"},
      {"txt", "text/plain"},
      {"log", "text/plain"},
      {"md", "text/markdown"},
      {"csv", "text/csv"},
      {"html", "text/html"},
      {"htm", "text/html"},
      {"ics", "text/calendar"},
      {"zip", "application/zip"},
      {"tar", "application/x-tar"},
      {"gz", "application/gzip"},
      {"doc", "application/msword"},
      {"docx", "application/msword"},
      {"xls", "application/vnd.ms-excel"},
      {"xlsx", "application/vnd.ms-excel"},
      {"ppt", "application/vnd.ms-powerpoint"},
      {"pptx", "application/vnd.ms-powerpoint"},
      {"json", "application/json"},
  }};
  const std::size_t dot = filename.rfind('.');
  const std::string key =
      ascii_lower(dot == std::string_view::npos ? filename : filename.substr(dot + 1));
  for (const auto& [k, mime] : kTable) {
    if (k == key) return std::string(mime);
  }
  return "application/octet-stream";
}

bool is_valid(const DraftAttachment& a) {
  if (!is_content_identity(a.content_id)) return false;
  if (a.filename.empty() || count_chars(a.filename) > kMaxFilenameChars) return false;
  for (std::size_t i = 0; i < a.filename.size();) {
    const CodePoint cp = decode_at(a.filename, i);
    if (cp.value == '/' || cp.value == '\\' || is_control(cp.value)) return false;
    i += cp.length;
  }
  if (count_chars(a.mime) > kMaxMimeChars || a.mime.find('/') == std::string::npos) return false;
  return a.size <= kMaxAttachmentBytes;
}

std::vector<DraftAttachment> normalize_attachments(std::vector<DraftAttachment> list) {
  std::vector<DraftAttachment> out;
  for (std::size_t i : kept_indexes(list)) out.push_back(std::move(list[i]));
  return out;
}

bool add_attachment(std::vector<DraftAttachment>& list, DraftAttachment attachment) {
  std::vector<DraftAttachment> candidate = list;
  candidate.push_back(std::move(attachment));
  const std::vector<std::size_t> kept = kept_indexes(candidate);
  // Refused unless the new record itself survives (an equal earlier record does not count).
  if (kept.empty() || kept.back() != candidate.size() - 1) return false;
  list = normalize_attachments(std::move(candidate));
  return true;
}

std::expected<std::vector<std::uint8_t>, std::string> load_for_sending(const DraftAttachment& a) {
  if (!is_valid(a)) {
    return std::unexpected(fmt::format("attachment {} has invalid metadata", a.filename));
  }
  const std::string_view id = a.content_id;
  if (!id.starts_with(kContentIdPrefix) ||
      !vexa::blobstore::is_hash_text(id.substr(kContentIdPrefix.size()))) {
    return std::unexpected(fmt::format("attachment {} has invalid content identity", a.filename));
  }
  const std::string_view hash = id.substr(kContentIdPrefix.size());
  std::optional<std::vector<std::uint8_t>> bytes = vexa::blobstore::get(hash);
  if (!bytes) {
    return std::unexpected(
        fmt::format("attachment {} is not available on this device yet", a.filename));
  }
  if (bytes->size() > kMaxAttachmentBytes || bytes->size() != a.size ||
      !vexa::blobstore::verify(hash, *bytes)) {
    return std::unexpected(fmt::format("attachment {} failed integrity validation", a.filename));
  }
  return std::move(*bytes);
}

std::string staged_name(std::string_view picked) {
  const std::string_view name = first_chars(last_path_component(picked), kMaxFilenameChars);
  return or_default_name(std::string(trim(name)));
}

std::string suggested_save_name(std::string_view name) {
  const std::string cleaned = remove_controls(trim(last_path_component(name)), false);
  std::string out;
  for (std::size_t i = 0; i < cleaned.size();) {
    const std::size_t length = decode_at(cleaned, i).length;
    if (out.size() + length > kMaxSuggestedNameBytes) break;
    out.append(cleaned, i, length);
    i += length;
  }
  return or_default_name(std::move(out));
}

}  // namespace mail::compose
