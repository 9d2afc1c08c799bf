// Building MailMessage records from raw mail, next to two GMime baselines over the same bytes:
// the bare parse, which decodes nothing, and the parse plus decoding every leaf part's content,
// which is the least any client must do. The generated mailbox is mixed with the real-world
// corpus of tests/mime_corpus (digests, bounces, signed and malformed mail).
#include <benchmark/benchmark.h>
#include <gmime/gmime.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "engine/mime_message.h"

namespace {

constexpr int kCorpusSize = 1200;

const char* const kWords[] = {"orbit",   "harbor", "lisbon", "review", "design",  "invoice",
                              "spatial", "agenda", "sprint", "client", "poster",  "keyboard",
                              "release", "report", "tiles",  "coffee", "meeting", "launch"};

std::string words(std::mt19937& rng, std::size_t bytes) {
  std::uniform_int_distribution<std::size_t> pick(0, std::size(kWords) - 1);
  std::string out;
  std::size_t column = 0;
  while (out.size() < bytes) {
    const char* w = kWords[pick(rng)];
    out += w;
    column += std::char_traits<char>::length(w) + 1;
    if (column > 70) {
      out += "\r\n";
      column = 0;
    } else {
      out += ' ';
    }
  }
  return out;
}

std::string base64(std::mt19937& rng, std::size_t bytes) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::uniform_int_distribution<int> pick(0, 63);
  std::string out;
  const std::size_t chars = (bytes + 2) / 3 * 4;
  for (std::size_t i = 0; i < chars; ++i) {
    out += kAlphabet[pick(rng)];
    if (i % 76 == 75) out += "\r\n";
  }
  return out + "\r\n";
}

std::string headers(std::mt19937& rng, int n, bool encoded) {
  std::string h = "Date: Thu, 16 May 2024 08:" + std::to_string(10 + n % 50) + ":00 +0000\r\n";
  if (encoded) {
    h += "From: =?UTF-8?Q?Jos=C3=A9_=C3=81lvarez?= <jose" + std::to_string(n) +
         "@example.org>\r\n"
         "Subject: =?UTF-8?B?Q2Fmw6kgbWVudSDimJU=?= =?ISO-8859-1?Q?Gr=FC=DFe?= " +
         std::to_string(n) + "\r\n";
  } else {
    h += "From: Leo Brandt <leo" + std::to_string(n) +
         "@example.com>\r\nSubject: " + words(rng, 40) + "\r\n";
  }
  h += "To: Maya Okafor <maya@example.com>, Priya Raman <priya@example.com>\r\n"
       "Cc: Team: sam@example.com, ken@example.com;\r\n"
       "Message-ID: <bench-" +
       std::to_string(n) + "@example.com>\r\n";
  if (n % 3 == 0) {
    h += "References: <bench-" + std::to_string(n / 3) + "@example.com> <bench-" +
         std::to_string(n - 1) + "@example.com>\r\nIn-Reply-To: <bench-" + std::to_string(n - 1) +
         "@example.com>\r\n";
  }
  return h + "MIME-Version: 1.0\r\n";
}

std::string html_page(std::mt19937& rng, std::size_t bytes) {
  std::string html = "<!DOCTYPE html><html><head><style>p{margin:0}</style></head><body><table>";
  while (html.size() < bytes) {
    html += "<tr><td><img src=\"https://images.example.net/a.png\" alt=\"\"></td><td><p>" +
            words(rng, 200) + "&nbsp;<a href=\"https://example.net/x\">more</a></p></td></tr>\r\n";
  }
  return html + "</table></body></html>\r\n";
}

// Each real-world message as often as the generated mailbox's size allows for one in 15.
void mix_in_real_world(std::vector<std::string>& corpus) {
  std::vector<std::string> real;
  for (const auto& entry : std::filesystem::directory_iterator(VEXA_MIME_CORPUS_DIR)) {
    if (entry.path().extension() != ".eml") continue;
    std::ifstream in(entry.path(), std::ios::binary);
    real.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  std::ranges::sort(real);
  if (real.empty()) return;
  const std::size_t generated = corpus.size();
  for (std::size_t i = 0; i < generated / 15; ++i) {
    corpus.insert(corpus.begin() + static_cast<std::ptrdiff_t>(i * 16), real[i % real.size()]);
  }
}

std::vector<std::string> make_corpus() {
  std::mt19937 rng(20240516);
  std::uniform_int_distribution<std::size_t> small(200, 4000);
  std::uniform_int_distribution<std::size_t> large(4000, 100000);
  std::vector<std::string> corpus;
  corpus.reserve(kCorpusSize);
  for (int n = 0; n < kCorpusSize; ++n) {
    const bool encoded = n % 4 == 1;
    const std::size_t size = n % 10 == 0 ? large(rng) : small(rng);
    std::string m = headers(rng, n, encoded);
    switch (n % 4) {
      case 0:
        m += "Content-Type: text/plain; charset=utf-8\r\n\r\n" + words(rng, size);
        break;
      case 1:
        m += "Content-Type: text/html; charset=utf-8\r\n\r\n" + html_page(rng, size);
        break;
      case 2:
        m += "Content-Type: multipart/alternative; boundary=\"alt\"\r\n\r\n--alt\r\n"
             "Content-Type: text/plain; charset=utf-8\r\n\r\n" +
             words(rng, size / 2) + "\r\n--alt\r\nContent-Type: text/html; charset=utf-8\r\n\r\n" +
             html_page(rng, size / 2) + "\r\n--alt--\r\n";
        break;
      default:
        m += "Content-Type: multipart/mixed; boundary=\"mix\"\r\n\r\n--mix\r\n"
             "Content-Type: text/plain; charset=iso-8859-1\r\n"
             "Content-Transfer-Encoding: quoted-printable\r\n\r\nVoil=E0 the file.\r\n" +
             words(rng, 300) +
             "\r\n--mix\r\nContent-Type: application/pdf; name=\"report.pdf\"\r\n"
             "Content-Disposition: attachment; filename=\"report.pdf\"\r\n"
             "Content-Transfer-Encoding: base64\r\n\r\n" +
             base64(rng, size) + "--mix--\r\n";
        break;
    }
    corpus.push_back(std::move(m));
  }
  mix_in_real_world(corpus);
  return corpus;
}

const std::vector<std::string>& corpus() {
  static const std::vector<std::string> c = make_corpus();
  return c;
}

std::int64_t corpus_bytes() {
  std::int64_t total = 0;
  for (const std::string& m : corpus()) total += static_cast<std::int64_t>(m.size());
  return total;
}

void BM_BuildMailMessage(benchmark::State& state) {
  const auto& messages = corpus();
  std::int64_t built = 0;
  for (auto _ : state) {
    for (const std::string& raw : messages) {
      auto m = mail::engine::build_mail_message(raw, mail::FolderRole::Inbox, false, false,
                                                std::nullopt, 1'715'846'400);
      benchmark::DoNotOptimize(m);
      ++built;
    }
  }
  state.counters["messages/s"] =
      benchmark::Counter(static_cast<double>(built), benchmark::Counter::kIsRate);
  state.SetBytesProcessed(state.iterations() * corpus_bytes());
}
BENCHMARK(BM_BuildMailMessage)->Unit(benchmark::kMillisecond);

void BM_GMimeParseOnly(benchmark::State& state) {
  mail::engine::ensure_gmime();
  const auto& messages = corpus();
  std::int64_t parsed = 0;
  for (auto _ : state) {
    for (const std::string& raw : messages) {
      GMimeStream* stream = g_mime_stream_mem_new_with_buffer(raw.data(), raw.size());
      GMimeParser* parser = g_mime_parser_new_with_stream(stream);
      GMimeMessage* message = g_mime_parser_construct_message(parser, nullptr);
      benchmark::DoNotOptimize(message);
      parsed += message != nullptr;
      if (message) g_object_unref(message);
      g_object_unref(parser);
      g_object_unref(stream);
    }
  }
  state.counters["messages/s"] =
      benchmark::Counter(static_cast<double>(parsed), benchmark::Counter::kIsRate);
  state.SetBytesProcessed(state.iterations() * corpus_bytes());
}
BENCHMARK(BM_GMimeParseOnly)->Unit(benchmark::kMillisecond);

void decode_leaf(GMimeObject*, GMimeObject* part, gpointer sink) {
  if (!GMIME_IS_PART(part)) return;
  GMimeDataWrapper* content = g_mime_part_get_content(GMIME_PART(part));
  if (!content) return;
  GMimeStream* out = g_mime_stream_mem_new();
  g_mime_data_wrapper_write_to_stream(content, out);
  *static_cast<std::int64_t*>(sink) += g_mime_stream_length(out);
  g_object_unref(out);
}

// The honest baseline: every leaf part's content decoded to bytes, through GMime's own filters.
void BM_GMimeParseAndDecode(benchmark::State& state) {
  mail::engine::ensure_gmime();
  const auto& messages = corpus();
  std::int64_t parsed = 0;
  std::int64_t decoded_bytes = 0;
  for (auto _ : state) {
    for (const std::string& raw : messages) {
      GMimeStream* stream = g_mime_stream_mem_new_with_buffer(raw.data(), raw.size());
      GMimeParser* parser = g_mime_parser_new_with_stream(stream);
      GMimeMessage* message = g_mime_parser_construct_message(parser, nullptr);
      if (message) {
        g_mime_message_foreach(message, decode_leaf, &decoded_bytes);
        ++parsed;
        g_object_unref(message);
      }
      g_object_unref(parser);
      g_object_unref(stream);
    }
  }
  benchmark::DoNotOptimize(decoded_bytes);
  state.counters["messages/s"] =
      benchmark::Counter(static_cast<double>(parsed), benchmark::Counter::kIsRate);
  state.SetBytesProcessed(state.iterations() * corpus_bytes());
}
BENCHMARK(BM_GMimeParseAndDecode)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
