#pragma once
// Repairs, before parsing, the shapes of raw mail that the MIME parser would otherwise lose
// whole: CR-only line ends (the parser splits lines at LF only, so everything reads as one
// header), text with no header lines at all, and a header block that runs into the body without
// the empty line (the parser drops every line after it). Well-formed mail passes unchanged and
// uncopied.
#include <string>
#include <string_view>

namespace mail::engine {

class RawMessage {
 public:
  explicit RawMessage(std::string_view raw);
  RawMessage(const RawMessage&) = delete;
  RawMessage& operator=(const RawMessage&) = delete;

  // What the parser should read.
  std::string_view bytes() const { return repaired_.empty() ? original_ : repaired_; }

 private:
  std::string_view original_;
  std::string repaired_;
};

}  // namespace mail::engine
