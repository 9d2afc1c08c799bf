#pragma once
// Draft attachment records: their limits, validity, list normalisation and content loading.
#include <cstdint>
#include <expected>
#include <string>
#include <string_view>
#include <vector>

#include "compose/draft.h"

namespace mail::compose {

inline constexpr std::uint64_t kMaxAttachmentBytes = 33554432;
inline constexpr std::size_t kMaxDraftAttachments = 16;
inline constexpr std::uint64_t kMaxDraftTotalBytes = 134217728;
inline constexpr std::size_t kMaxFilenameChars = 180;
inline constexpr std::size_t kMaxMimeChars = 127;
inline constexpr std::size_t kMaxSuggestedNameBytes = 240;

inline constexpr std::string_view kContentIdPrefix = "mail-attachment:blake3:";
inline constexpr std::string_view kAttachmentRefused =
    "Attachment is invalid, duplicated, or exceeds Mail's draft limits";

// "mail-attachment:blake3:" followed by exactly 64 lower-case hex digits.
bool is_content_identity(std::string_view text);
std::string content_identity_for(std::string_view hash);

// Type by the lower-cased text after the last "." (the whole name when there is none).
std::string mime_type_for(std::string_view filename);

bool is_valid(const DraftAttachment& attachment);

// Keeps, in order, the valid records with distinct content that fit the count and total limits.
std::vector<DraftAttachment> normalize_attachments(std::vector<DraftAttachment> list);

// Appends when the normalised list still holds the new record; otherwise leaves the list as it
// was and returns false (the caller reports kAttachmentRefused).
bool add_attachment(std::vector<DraftAttachment>& list, DraftAttachment attachment);

// The verified content of a staged attachment, read from the blob store.
std::expected<std::vector<std::uint8_t>, std::string> load_for_sending(
    const DraftAttachment& attachment);

// Name a picked file is staged under: its last path component, at most 180 characters, trimmed;
// "attachment" when nothing usable is left.
std::string staged_name(std::string_view picked);

// Name offered when saving a received attachment: last path component, trimmed, control
// characters removed, at most 240 bytes of whole UTF-8 characters.
std::string suggested_save_name(std::string_view name);

}  // namespace mail::compose
