#include "engine/html_to_text.h"

#include <libxml/HTMLparser.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "engine/charset_text.h"
#include "mailbox/ascii_text.h"
#include "vexa/utf8.h"

namespace mail::engine {

namespace {

enum class Break { None, Line, Paragraph };

Break break_for(std::string_view tag) {
  static constexpr std::string_view kParagraph[] = {"p",  "h1", "h2",         "h3",  "h4",
                                                    "h5", "h6", "blockquote", "pre", "ul",
                                                    "ol", "dl", "table",      "hr",  "figure"};
  static constexpr std::string_view kLine[] = {
      "div",    "li",     "tr",      "dt",     "dd",      "section", "article",
      "header", "footer", "address", "center", "caption", "main",    "nav",
      "aside",  "form",   "tbody",   "thead",  "tfoot",   "details", "summary"};
  if (std::ranges::find(kParagraph, tag) != std::end(kParagraph)) return Break::Paragraph;
  if (std::ranges::find(kLine, tag) != std::end(kLine)) return Break::Line;
  return Break::None;
}

bool is_space(unsigned char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

// Collects text with collapsed white space; breaks are requested and only written once the next
// visible text arrives, so trailing and repeated breaks never pile up.
class TextSink {
 public:
  void request(Break b) {
    int lines = b == Break::Paragraph ? 2 : b == Break::Line ? 1 : 0;
    pending_lines_ = std::max(pending_lines_, lines);
  }
  void line_break() { pending_lines_ = std::min(pending_lines_ + 1, 2); }
  void space() { pending_space_ = true; }

  void text(std::string_view s, bool preformatted) {
    for (std::size_t i = 0; i < s.size(); ++i) {
      unsigned char c = static_cast<unsigned char>(s[i]);
      // No-break spaces are layout glue in mail HTML; as text they only hinder wrapping and search.
      if (c == 0xC2 && i + 1 < s.size() && static_cast<unsigned char>(s[i + 1]) == 0xA0) {
        ++i;
        c = ' ';
      }
      if (preformatted) {
        if (c == '\r') continue;
        if (c == '\n') {
          line_break();
          continue;
        }
        flush();
        out_.push_back(static_cast<char>(c));
        continue;
      }
      if (is_space(c)) {
        pending_space_ = true;
        continue;
      }
      flush();
      // Copy the whole run of ordinary bytes up to the next space or no-break space at once.
      std::size_t end = i + 1;
      while (end < s.size() && !is_space(static_cast<unsigned char>(s[end])) &&
             static_cast<unsigned char>(s[end]) != 0xC2) {
        ++end;
      }
      out_.append(s, i, end - i);
      i = end - 1;
    }
  }

  void marker(std::string_view m) {
    flush();
    out_.append(m);
  }

  std::string take() {
    while (!out_.empty() && is_space(static_cast<unsigned char>(out_.back()))) out_.pop_back();
    return std::move(out_);
  }

 private:
  void flush() {
    if (out_.empty()) {
      pending_lines_ = 0;
      pending_space_ = false;
      return;
    }
    if (pending_lines_ > 0) {
      while (!out_.empty() && out_.back() == ' ') out_.pop_back();
      out_.append(static_cast<std::size_t>(pending_lines_), '\n');
    } else if (pending_space_ && out_.back() != '\n') {
      out_.push_back(' ');
    }
    pending_lines_ = 0;
    pending_space_ = false;
  }

  std::string out_;
  int pending_lines_ = 0;
  bool pending_space_ = false;
};

// A numeric character reference's value as HTML decodes it: 0x80-0x9F are read as
// Windows-1252, and what is no character becomes U+FFFD.
char32_t numeric_reference(std::uint32_t value) {
  if (value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0xFFFD;
  if (value >= 0x80 && value <= 0x9F) return windows_1252(static_cast<unsigned char>(value));
  return value;
}

bool is_ascii_alpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool is_ascii_alnum(char c) { return is_ascii_alpha(c) || (c >= '0' && c <= '9'); }

struct Reference {
  std::string text;
  std::size_t end;  // just after the reference
};

// The character reference at `at` (an '&'): numeric, or named as in HTML 4 (libxml2's table)
// plus &apos;, with or without its ';'. nullopt when it is a literal ampersand.
std::optional<Reference> character_reference(std::string_view s, std::size_t at) {
  std::size_t i = at + 1;
  Reference out;
  if (i < s.size() && s[i] == '#') {
    ++i;
    const bool hex = i < s.size() && (s[i] == 'x' || s[i] == 'X');
    if (hex) ++i;
    const std::size_t digits = i;
    std::uint32_t value = 0;
    while (i < s.size() && (hex ? std::isxdigit(static_cast<unsigned char>(s[i]))
                                : std::isdigit(static_cast<unsigned char>(s[i])))) {
      const char c = ascii_lower(s[i]);
      const auto d = static_cast<std::uint32_t>(c <= '9' ? c - '0' : c - 'a' + 10);
      value = std::min<std::uint32_t>(value * (hex ? 16 : 10) + d, 0x110000);
      ++i;
    }
    if (i == digits) return std::nullopt;
    if (i < s.size() && s[i] == ';') ++i;
    vexa::utf8::append_code_point(out.text, numeric_reference(value));
    out.end = i;
    return out;
  }
  std::size_t end = i;
  while (end < s.size() && end - i < 32 && is_ascii_alnum(s[end])) ++end;
  if (end == i) return std::nullopt;
  const std::string name(s.substr(i, end - i));
  char32_t cp = 0;
  if (name == "apos") {
    cp = '\'';
  } else if (const htmlEntityDesc* entity =
                 htmlEntityLookup(reinterpret_cast<const xmlChar*>(name.c_str()))) {
    cp = entity->value;
  }
  if (cp == 0) return std::nullopt;
  if (end < s.size() && s[end] == ';') ++end;
  vexa::utf8::append_code_point(out.text, cp);
  out.end = end;
  return out;
}

// Text with its character references decoded and no markup in it (a textarea's content).
std::string decode_references(std::string_view s) {
  std::string out;
  std::size_t at = 0;
  while (at < s.size()) {
    const std::size_t amp = s.find('&', at);
    if (amp == std::string_view::npos) {
      out.append(s.substr(at));
      break;
    }
    out.append(s.substr(at, amp - at));
    if (std::optional<Reference> r = character_reference(s, amp)) {
      out += r->text;
      at = r->end;
    } else {
      out.push_back('&');
      at = amp + 1;
    }
  }
  return out;
}

// Elements whose content is raw text up to their own end tag, and whether that text is shown.
struct RawTextElement {
  std::string_view name;
  bool shown;
  bool references;  // character references are decoded in it
};
constexpr RawTextElement kRawText[] = {
    {"script", false, false},  {"style", false, false},    {"iframe", false, false},
    {"noembed", false, false}, {"noframes", false, false}, {"noscript", false, false},
    {"title", false, true},    {"textarea", true, true},   {"xmp", true, false}};

// Walks the document once, like the tokenizer of the HTML standard at the level text extraction
// needs: text and character references, start and end tags with their attributes skipped (quoted
// values may hold '>'), comments, raw-text elements. No tree is built; block elements only
// request line breaks, so markup that does not nest cleanly still yields its text.
class Converter {
 public:
  explicit Converter(std::string_view html) : s_(html) {}

  std::string run() {
    while (at_ < s_.size()) {
      const std::size_t next = next_markup(at_);
      text(s_.substr(at_, next - at_));
      at_ = next;
      if (at_ >= s_.size()) break;
      if (s_[at_] == '&') {
        reference();
      } else {
        markup();
      }
    }
    return sink_.take();
  }

 private:
  std::size_t next_markup(std::size_t from) const {
    while (from < s_.size() && s_[from] != '<' && s_[from] != '&') ++from;
    return from;
  }

  void text(std::string_view t) {
    if (t.empty() || template_depth_ > 0) return;
    if (drop_newline_) {
      // A line feed right after <pre> is not part of its content.
      drop_newline_ = false;
      if (t.front() == '\n') t.remove_prefix(1);
    }
    sink_.text(t, pre_depth_ > 0);
  }

  // At '&': a character reference, or a literal ampersand.
  void reference() {
    if (std::optional<Reference> r = character_reference(s_, at_)) {
      text(r->text);
      at_ = r->end;
      return;
    }
    text("&");
    ++at_;
  }

  // At '<'.
  void markup() {
    const std::size_t i = at_ + 1;
    if (s_.compare(at_, 4, "<!--") == 0) {
      // Searching from the first '-' also ends "<!-->" and "<!--->", as HTML does.
      const std::size_t end = s_.find("-->", at_ + 2);
      at_ = end == std::string_view::npos ? s_.size() : end + 3;
      return;
    }
    if (i < s_.size() && (s_[i] == '!' || s_[i] == '?')) {
      skip_past('>', i);  // doctype, CDATA and processing instructions: nothing to show
      return;
    }
    if (i < s_.size() && s_[i] == '/') {
      if (i + 1 < s_.size() && is_ascii_alpha(s_[i + 1])) {
        const std::string name = tag_name(i + 1);
        skip_past('>', at_);
        end_tag(name);
      } else {
        skip_past('>', i);
      }
      return;
    }
    if (i < s_.size() && is_ascii_alpha(s_[i])) {
      const std::string name = tag_name(i);
      skip_attributes();
      start_tag(name);
      return;
    }
    text("<");
    ++at_;
  }

  // The lower-cased name at `from`; leaves at_ after it.
  std::string tag_name(std::size_t from) {
    std::size_t end = from;
    while (end < s_.size() && !is_space(static_cast<unsigned char>(s_[end])) && s_[end] != '/' &&
           s_[end] != '>') {
      ++end;
    }
    std::string name(s_.substr(from, end - from));
    for (char& c : name) c = ascii_lower(c);
    at_ = end;
    return name;
  }

  void skip_past(char c, std::size_t from) {
    const std::size_t end = s_.find(c, from);
    at_ = end == std::string_view::npos ? s_.size() : end + 1;
  }

  // From after a start tag's name to after its '>', a quoted value being skipped whole.
  void skip_attributes() {
    bool value_next = false;
    while (at_ < s_.size()) {
      const char c = s_[at_];
      if (c == '>') {
        ++at_;
        return;
      }
      if (c == '=') {
        value_next = true;
      } else if (value_next && (c == '"' || c == '\'')) {
        const std::size_t close = s_.find(c, at_ + 1);
        at_ = close == std::string_view::npos ? s_.size() : close + 1;
        value_next = false;
        continue;
      } else if (!is_space(static_cast<unsigned char>(c))) {
        value_next = false;
      }
      ++at_;
    }
  }

  void start_tag(const std::string& name) {
    for (const RawTextElement& raw : kRawText) {
      if (name == raw.name) {
        raw_text(raw);
        return;
      }
    }
    if (name == "plaintext") {
      text(s_.substr(at_));
      at_ = s_.size();
      return;
    }
    if (name == "template") {
      ++template_depth_;
      return;
    }
    if (template_depth_ > 0) return;
    if (name == "br") {
      sink_.line_break();
      return;
    }
    sink_.request(break_for(name));
    if (name == "pre" || name == "listing") {
      ++pre_depth_;
      drop_newline_ = true;
    }
    if (name == "li") sink_.marker("\u2022 ");
  }

  void end_tag(const std::string& name) {
    if (name == "template") {
      if (template_depth_ > 0) --template_depth_;
      return;
    }
    if (template_depth_ > 0 || name == "br") return;
    sink_.request(break_for(name));
    if ((name == "pre" || name == "listing") && pre_depth_ > 0) --pre_depth_;
    if (name == "td" || name == "th") sink_.space();
  }

  // After a raw-text element's start tag: its content runs to "</name" (any case).
  void raw_text(const RawTextElement& raw) {
    std::size_t end = at_;
    for (;;) {
      end = s_.find("</", end);
      if (end == std::string_view::npos) {
        end = s_.size();
        break;
      }
      std::size_t k = 0;
      while (k < raw.name.size() && end + 2 + k < s_.size() &&
             ascii_lower(s_[end + 2 + k]) == raw.name[k]) {
        ++k;
      }
      const std::size_t after = end + 2 + k;
      if (k == raw.name.size() &&
          (after >= s_.size() || is_space(static_cast<unsigned char>(s_[after])) ||
           s_[after] == '/' || s_[after] == '>')) {
        break;
      }
      end += 2;
    }
    if (raw.shown && template_depth_ == 0) {
      sink_.request(Break::Line);
      if (raw.references) {
        sink_.text(decode_references(s_.substr(at_, end - at_)), true);
      } else {
        sink_.text(s_.substr(at_, end - at_), true);
      }
      sink_.request(Break::Line);
    }
    at_ = end;
    if (at_ < s_.size()) skip_past('>', at_);
  }

  std::string_view s_;
  std::size_t at_ = 0;
  TextSink sink_;
  int pre_depth_ = 0;
  int template_depth_ = 0;
  bool drop_newline_ = false;
};

}  // namespace

std::string html_to_text(std::string_view html) {
  if (html.empty()) return {};
  std::string text = Converter(html).run();
  if (!vexa::utf8::is_valid(text)) text = vexa::utf8::repair(text);
  return text;
}

}  // namespace mail::engine
