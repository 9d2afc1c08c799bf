#include "vexa/net/net.h"
#include "vexa/ui/uri.h"

namespace vexa::net::http {

std::string form_encode(std::string_view text) {
  // Form encoding is component encoding with each space written as '+'.
  std::string out;
  out.reserve(text.size());
  std::size_t start = 0;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    if (i < text.size() && text[i] != ' ') continue;
    out += ui::uri::encode_component(text.substr(start, i - start));
    if (i < text.size()) out += '+';
    start = i + 1;
  }
  return out;
}

}  // namespace vexa::net::http
