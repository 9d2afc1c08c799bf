#include "engine/html_to_text.h"

#include <libxml/HTMLparser.h>
#include <libxml/tree.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <string_view>
#include <vector>

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

bool skipped(std::string_view tag) {
  return tag == "head" || tag == "style" || tag == "script" || tag == "template" || tag == "title";
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

std::string_view name_of(const xmlNode* node) {
  return node->name ? std::string_view(reinterpret_cast<const char*>(node->name)) : "";
}

struct DocFree {
  void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};

}  // namespace

std::string html_to_text(std::string_view html) {
  if (html.empty()) return {};
  const int size = static_cast<int>(std::min<std::size_t>(html.size(), INT_MAX));
  std::unique_ptr<xmlDoc, DocFree> doc(htmlReadMemory(html.data(), size, nullptr, "UTF-8",
                                                      HTML_PARSE_RECOVER | HTML_PARSE_NOERROR |
                                                          HTML_PARSE_NOWARNING | HTML_PARSE_NONET |
                                                          HTML_PARSE_COMPACT));
  if (!doc) return {};

  TextSink sink;
  // Iterative walk: hostile mail can nest elements far deeper than the stack should go.
  struct Frame {
    const xmlNode* node;
    bool leaving;
  };
  std::vector<Frame> stack;
  int pre_depth = 0;
  for (const xmlNode* n = doc->children; n; n = n->next) {
    stack.push_back({n, false});
    while (!stack.empty()) {
      Frame frame = stack.back();
      stack.pop_back();
      const xmlNode* node = frame.node;
      if (node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE) {
        if (node->content) sink.text(reinterpret_cast<const char*>(node->content), pre_depth > 0);
        continue;
      }
      if (node->type != XML_ELEMENT_NODE && node->type != XML_HTML_DOCUMENT_NODE) continue;
      const std::string_view tag = name_of(node);
      if (frame.leaving) {
        sink.request(break_for(tag));
        if (tag == "pre") --pre_depth;
        if (tag == "td" || tag == "th") sink.space();
        continue;
      }
      if (skipped(tag)) continue;
      if (tag == "br") {
        sink.line_break();
        continue;
      }
      sink.request(break_for(tag));
      if (tag == "pre") ++pre_depth;
      if (tag == "li") sink.marker("\u2022 ");
      stack.push_back({node, true});
      std::size_t first = stack.size();
      for (const xmlNode* c = node->children; c; c = c->next) stack.push_back({c, false});
      std::reverse(stack.begin() + static_cast<std::ptrdiff_t>(first), stack.end());
    }
  }

  std::string text = sink.take();
  if (!vexa::utf8::is_valid(text)) text = vexa::utf8::repair(text);
  return text;
}

}  // namespace mail::engine
