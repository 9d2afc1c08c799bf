#include <cairo.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>
#include <list>
#include <unordered_map>
#include <vector>

#include "vexa/ui/text.h"
#include "vexa/utf8.h"

namespace vexa::ui {
namespace {

constexpr std::size_t kCacheCapacity = 2048;
constexpr const char* kFamily = "Inter, sans-serif";
constexpr std::string_view kEllipsis = "…";
// Paragraphs read better with more air than a single line's box gives.
constexpr float kParagraphLineSpacing = 1.3f;

struct Key {
  std::string text;
  double pixel_size;
  FontWeight weight;
  double wrap_width;  // < 0: one line
  TextAlign align;
  bool operator==(const Key&) const = default;
};

struct KeyHash {
  std::size_t operator()(const Key& k) const {
    std::size_t h = std::hash<std::string>{}(k.text);
    auto mix = [&h](std::size_t v) { h ^= v + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2); };
    mix(std::hash<double>{}(k.pixel_size));
    mix(static_cast<std::size_t>(k.weight));
    mix(std::hash<double>{}(k.wrap_width));
    mix(static_cast<std::size_t>(k.align));
    return h;
  }
};

struct Shaped {
  PangoLayout* layout = nullptr;
  TextMetrics metrics;
};

// One per UI thread: pango's default font map is per thread, and so are its layouts.
class TextEngine {
 public:
  TextEngine() {
    context_ = pango_font_map_create_context(pango_cairo_font_map_get_default());
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    pango_cairo_context_set_font_options(context_, options);
    cairo_font_options_destroy(options);
    pango_context_set_round_glyph_positions(context_, FALSE);
  }
  ~TextEngine() {
    clear();
    g_object_unref(context_);
  }
  TextEngine(const TextEngine&) = delete;
  TextEngine& operator=(const TextEngine&) = delete;

  const Shaped& shape(Key key) {
    if (auto it = index_.find(key); it != index_.end()) {
      lru_.splice(lru_.begin(), lru_, it->second);
      return it->second->second;
    }
    Shaped shaped = make(key);
    lru_.emplace_front(std::move(key), shaped);
    index_.emplace(lru_.front().first, lru_.begin());
    while (lru_.size() > kCacheCapacity) {
      auto& last = lru_.back();
      g_object_unref(last.second.layout);
      index_.erase(last.first);
      lru_.pop_back();
    }
    return lru_.front().second;
  }

  void clear() {
    for (auto& entry : lru_) g_object_unref(entry.second.layout);
    lru_.clear();
    index_.clear();
  }
  std::size_t size() const { return lru_.size(); }

 private:
  Shaped make(const Key& key) {
    PangoLayout* layout = pango_layout_new(context_);
    PangoFontDescription* font = pango_font_description_from_string(kFamily);
    pango_font_description_set_absolute_size(font, std::max(1.0, key.pixel_size) * PANGO_SCALE);
    pango_font_description_set_weight(font, static_cast<PangoWeight>(key.weight));
    pango_layout_set_font_description(layout, font);
    pango_font_description_free(font);
    if (key.wrap_width >= 0) {
      pango_layout_set_width(layout, static_cast<int>(key.wrap_width * PANGO_SCALE));
      pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
      pango_layout_set_line_spacing(layout, kParagraphLineSpacing);
      pango_layout_set_alignment(layout, key.align == TextAlign::Center  ? PANGO_ALIGN_CENTER
                                         : key.align == TextAlign::Right ? PANGO_ALIGN_RIGHT
                                                                         : PANGO_ALIGN_LEFT);
    } else {
      pango_layout_set_single_paragraph_mode(layout, TRUE);
    }
    pango_layout_set_text(layout, key.text.data(), static_cast<int>(key.text.size()));
    PangoRectangle logical{};
    pango_layout_get_extents(layout, nullptr, &logical);
    Shaped shaped;
    shaped.layout = layout;
    shaped.metrics.width = static_cast<double>(logical.width) / PANGO_SCALE;
    shaped.metrics.height = static_cast<double>(logical.height) / PANGO_SCALE;
    shaped.metrics.baseline = static_cast<double>(pango_layout_get_baseline(layout)) / PANGO_SCALE;
    return shaped;
  }

  PangoContext* context_ = nullptr;
  std::list<std::pair<Key, Shaped>> lru_;
  std::unordered_map<Key, std::list<std::pair<Key, Shaped>>::iterator, KeyHash> index_;
};

TextEngine& engine() {
  thread_local TextEngine instance;
  return instance;
}

// Pango refuses invalid UTF-8; text from mail can be anything.
std::string valid_utf8(std::string_view text) { return vexa::utf8::repair(text); }

Key line_key(std::string text, double pixel_size, FontWeight weight) {
  return Key{std::move(text), pixel_size, weight, -1.0, TextAlign::Left};
}

void show(Canvas& canvas, PangoLayout* layout, double x, double y, Color color) {
  cairo_t* cr = canvas.native();
  cairo_save(cr);
  cairo_set_source_rgba(cr, color.r, color.g, color.b, color.a);
  cairo_move_to(cr, x, y);
  pango_cairo_show_layout(cr, layout);
  cairo_restore(cr);
}

}  // namespace

void TextRenderer::set_text_scale(float scale) {
  scale_ = std::isfinite(scale) && scale > 0 ? scale : 1.0f;
}

TextMetrics TextRenderer::measure(std::string_view text, double size) const {
  return measure_weighted(text, size, FontWeight::Regular);
}

TextMetrics TextRenderer::measure_weighted(std::string_view text, double size,
                                           FontWeight weight) const {
  return engine().shape(line_key(valid_utf8(text), scaled(size), weight)).metrics;
}

void TextRenderer::draw_text(Canvas& canvas, std::string_view text, double x, double y, double size,
                             Color color) const {
  draw_text_weighted(canvas, text, x, y, size, FontWeight::Regular, color);
}

void TextRenderer::draw_text_weighted(Canvas& canvas, std::string_view text, double x, double y,
                                      double size, FontWeight weight, Color color) const {
  if (text.empty()) return;
  const Shaped& shaped = engine().shape(line_key(valid_utf8(text), scaled(size), weight));
  show(canvas, shaped.layout, x, y, color);
}

std::string TextRenderer::elide_to_width(std::string_view text, double size,
                                         double max_width) const {
  return elide_to_width_weighted(text, size, FontWeight::Regular, max_width);
}

std::string TextRenderer::elide_to_width_weighted(std::string_view text, double size,
                                                  FontWeight weight, double max_width) const {
  const std::string whole = valid_utf8(text);
  const double pixel_size = scaled(size);
  auto width_of = [&](std::string s) {
    return engine().shape(line_key(std::move(s), pixel_size, weight)).metrics.width;
  };
  if (width_of(whole) <= max_width) return whole;

  // Character boundaries, so that a cut never splits a UTF-8 sequence.
  std::vector<std::size_t> cuts;
  for (const char* p = whole.c_str(); *p != '\0'; p = g_utf8_next_char(p)) {
    cuts.push_back(static_cast<std::size_t>(p - whole.c_str()));
  }
  auto candidate = [&](std::size_t count) {
    std::string prefix = whole.substr(0, cuts[count]);
    while (!prefix.empty() && (prefix.back() == ' ' || prefix.back() == '\t')) prefix.pop_back();
    prefix += kEllipsis;
    return prefix;
  };
  // Widths grow with the prefix length, so the longest fitting prefix is found by bisection.
  std::size_t lo = 0, hi = cuts.size() - 1;
  if (width_of(candidate(0)) > max_width) return {};
  while (lo < hi) {
    const std::size_t mid = (lo + hi + 1) / 2;
    if (width_of(candidate(mid)) <= max_width) {
      lo = mid;
    } else {
      hi = mid - 1;
    }
  }
  return candidate(lo);
}

TextMetrics TextRenderer::measure_wrapped(std::string_view text, double size, FontWeight weight,
                                          double max_width) const {
  Key key{valid_utf8(text), scaled(size), weight, std::max(0.0, max_width), TextAlign::Left};
  return engine().shape(std::move(key)).metrics;
}

void TextRenderer::draw_wrapped(Canvas& canvas, std::string_view text, double x, double y,
                                double size, FontWeight weight, double max_width, TextAlign align,
                                Color color) const {
  if (text.empty()) return;
  Key key{valid_utf8(text), scaled(size), weight, std::max(0.0, max_width), align};
  show(canvas, engine().shape(std::move(key)).layout, x, y, color);
}

void TextRenderer::clear_cache() { engine().clear(); }
std::size_t TextRenderer::cache_size() { return engine().size(); }

}  // namespace vexa::ui
