// Server bytes into the response parser and readers. The input is fed once whole and once in
// chunks whose sizes come from the input itself; both must frame the same responses and fail
// alike.
#include <imap/command.h>
#include <imap/response.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

void append_value(std::string& out, const imap::Value& v) {
  out += static_cast<char>('0' + static_cast<int>(v.type));
  out += std::to_string(v.text.size());
  out += ':';
  out += v.text;
  out += '(';
  for (const imap::Value& item : v.items) append_value(out, item);
  out += ')';
}

std::string fingerprint(const imap::Response& r) {
  std::string out;
  out += static_cast<char>('0' + static_cast<int>(r.type));
  out += r.tag + '|' + r.keyword + '|' + (r.number ? std::to_string(*r.number) : "-") + '|';
  for (const imap::Value& v : r.data) append_value(out, v);
  out += '|' + r.code + '|' + r.text;
  return out;
}

void exercise_readers(const imap::Response& r) {
  (void)imap::read_capabilities(r);
  (void)imap::read_list(r);
  (void)imap::read_search(r);
  if (auto f = imap::read_fetch(r); f && f->internal_date) {
    (void)imap::parse_internal_date(*f->internal_date);
  }
  for (const imap::Value& v : r.data) {
    if (v.type == imap::Value::Type::String) (void)imap::parse_internal_date(v.text);
  }
}

// Small limits so that the limit paths are reached by short inputs.
constexpr imap::ParserLimits kLimits{
    .max_line = 512, .max_literal = 4096, .max_depth = 16, .max_response = 8192};

std::vector<std::string> frame(std::string_view input, std::size_t seed, bool chunked,
                               bool& failed) {
  imap::ResponseParser parser(kLimits);
  std::vector<std::string> out;
  failed = false;
  std::size_t at = 0;
  while (at < input.size() && !failed) {
    std::size_t n = input.size() - at;
    if (chunked) {
      seed = seed * 6364136223846793005u + 1442695040888963407u;
      n = std::min(n, static_cast<std::size_t>(1 + (seed >> 59)));
    }
    parser.feed(input.substr(at, n));
    at += n;
    while (true) {
      auto next = parser.next();
      if (!next) {
        failed = true;
        break;
      }
      if (!*next) break;
      exercise_readers(**next);
      out.push_back(fingerprint(**next));
    }
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  std::size_t seed = 0;
  for (std::size_t i = 0; i < std::min<std::size_t>(size, 8); ++i) seed = seed * 131 + data[i];

  bool whole_failed = false;
  bool chunked_failed = false;
  const auto whole = frame(input, seed, false, whole_failed);
  const auto chunked = frame(input, seed, true, chunked_failed);
  // Framing does not depend on how the bytes arrive.
  if (whole != chunked || whole_failed != chunked_failed) std::abort();

  if (auto r = imap::parse_response(input, kLimits)) exercise_readers(*r);
  (void)imap::parse_internal_date(input);
  (void)imap::is_sequence_set(input);
  const imap::Arg arg = imap::Arg::astring(input);
  (void)imap::build_command("A1", "LOGIN", {arg, imap::Arg::string(input)});
  return 0;
}

#include "fuzz_replay.h"
