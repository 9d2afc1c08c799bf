#pragma once
// Images loaded by URL without ever blocking the UI thread: the first `get` of a URL starts a
// fetch on the store's worker thread and answers "not yet"; once the picture has arrived and
// decoded, `get` answers it from memory and `revision` has advanced so the UI knows to redraw.
// A URL that failed (network, HTTP status, size, undecodable data) stays failed for the life of
// the store, so a broken avatar is not fetched again every frame.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <memory>
#include <optional>
#include <span>
#include <string>

extern "C" {
typedef struct _cairo_surface cairo_surface_t;
}

namespace vexa::ui {

class Image {
 public:
  // Takes ownership of an image surface.
  explicit Image(cairo_surface_t* surface);
  ~Image();
  Image(const Image&) = delete;
  Image& operator=(const Image&) = delete;

  int width() const { return width_; }
  int height() const { return height_; }
  cairo_surface_t* native() const { return surface_; }

  // PNG bytes to an image; the error says why they could not be decoded.
  static std::expected<std::shared_ptr<Image>, std::string> decode(
      std::span<const std::uint8_t> bytes);

 private:
  cairo_surface_t* surface_;
  int width_ = 0;
  int height_ = 0;
};

struct ImageStoreOptions {
  std::chrono::milliseconds timeout{std::chrono::seconds(10)};
  std::size_t max_bytes = 4 * 1024 * 1024;
};

class ImageStore {
 public:
  enum class State : std::uint8_t { Unknown = 0, Loading = 1, Ready = 2, Failed = 3 };

  explicit ImageStore(ImageStoreOptions options = {});
  ~ImageStore();
  ImageStore(const ImageStore&) = delete;
  ImageStore& operator=(const ImageStore&) = delete;

  static std::shared_ptr<ImageStore> new_store(ImageStoreOptions options = {});

  // Never blocks. Only http and https URLs are fetched; anything else fails at once.
  std::optional<std::shared_ptr<Image>> get(const std::string& url);
  // Advances each time a fetch finishes (success or failure).
  std::uint64_t revision();
  // Fetches started and not yet finished.
  std::size_t pending();
  State state(const std::string& url);
  // Why a URL failed, when it did.
  std::optional<std::string> error(const std::string& url);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace vexa::ui
