#include "vexa/ui/image_store.h"

#include <cairo.h>
#include <curl/curl.h>
#include <fmt/format.h>
#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "vexa/channel.h"
#include "vexa/net/net.h"

namespace vexa::ui {
namespace {

constexpr std::uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};

struct ReadCursor {
  std::span<const std::uint8_t> bytes;
  std::size_t offset = 0;
};

cairo_status_t read_from_span(void* closure, unsigned char* data, unsigned int length) {
  auto* cursor = static_cast<ReadCursor*>(closure);
  if (cursor->bytes.size() - cursor->offset < length) return CAIRO_STATUS_READ_ERROR;
  std::memcpy(data, cursor->bytes.data() + cursor->offset, length);
  cursor->offset += length;
  return CAIRO_STATUS_SUCCESS;
}

bool is_web_url(const std::string& url) {
  auto starts = [&](std::string_view prefix) {
    if (url.size() < prefix.size()) return false;
    return std::equal(prefix.begin(), prefix.end(), url.begin(), [](char a, char b) {
      return a == std::tolower(static_cast<unsigned char>(b));
    });
  };
  return starts("https://") || starts("http://");
}

struct Fetch {
  std::string body;
  std::size_t limit = 0;
  bool too_large = false;
  const std::atomic<bool>* stopping = nullptr;
};

size_t on_body(char* data, size_t size, size_t count, void* closure) {
  auto* fetch = static_cast<Fetch*>(closure);
  const size_t n = size * count;
  if (fetch->body.size() + n > fetch->limit) {
    fetch->too_large = true;
    return 0;  // aborts the transfer
  }
  fetch->body.append(data, n);
  return n;
}

int on_progress(void* closure, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  const auto* fetch = static_cast<Fetch*>(closure);
  return fetch->stopping->load() ? 1 : 0;
}

}  // namespace

Image::Image(cairo_surface_t* surface) : surface_(surface) {
  if (surface_ != nullptr) {
    width_ = cairo_image_surface_get_width(surface_);
    height_ = cairo_image_surface_get_height(surface_);
  }
}

Image::~Image() {
  if (surface_ != nullptr) cairo_surface_destroy(surface_);
}

std::expected<std::shared_ptr<Image>, std::string> Image::decode(
    std::span<const std::uint8_t> bytes) {
  if (bytes.size() < sizeof(kPngSignature) ||
      std::memcmp(bytes.data(), kPngSignature, sizeof(kPngSignature)) != 0) {
    return std::unexpected(std::string("unsupported image format (only PNG is decoded)"));
  }
  ReadCursor cursor{bytes};
  cairo_surface_t* surface = cairo_image_surface_create_from_png_stream(read_from_span, &cursor);
  const cairo_status_t status = cairo_surface_status(surface);
  if (status != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(surface);
    return std::unexpected(
        fmt::format("could not decode the image: {}", cairo_status_to_string(status)));
  }
  return std::make_shared<Image>(surface);
}

struct ImageStore::Impl {
  struct Result {
    std::string url;
    std::expected<std::shared_ptr<Image>, std::string> image;
  };
  struct Entry {
    State state = State::Unknown;
    std::shared_ptr<Image> image;
    std::string error;
  };

  ImageStoreOptions options;
  net::ClientConfig tls;
  Sender<std::string> requests;
  Receiver<Result> results;
  std::atomic<bool> stopping{false};
  std::thread worker;
  std::map<std::string, Entry> entries;
  std::uint64_t revision = 0;
  std::size_t pending = 0;

  void drain() {
    std::optional<Result> result;
    while (results.try_recv(result) == TryRecv::Value) {
      Entry& entry = entries[result->url];
      if (result->image) {
        entry.state = State::Ready;
        entry.image = std::move(*result->image);
      } else {
        entry.state = State::Failed;
        entry.error = std::move(result->image.error());
      }
      if (pending > 0) --pending;
      ++revision;
      result.reset();
    }
  }

  static std::expected<std::shared_ptr<Image>, std::string> fetch(
      const std::string& url, const ImageStoreOptions& options, const net::ClientConfig& tls,
      const std::atomic<bool>& stopping) {
    CURL* curl = curl_easy_init();
    if (curl == nullptr) return std::unexpected(std::string("could not start an HTTP request"));
    Fetch fetch;
    fetch.limit = options.max_bytes;
    fetch.stopping = &stopping;
    char error[CURL_ERROR_SIZE] = {};
    const long timeout = static_cast<long>(std::max<std::int64_t>(1, options.timeout.count()));
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 3L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, timeout);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, std::min(timeout, 5000L));
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(options.max_bytes));
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, on_body);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &fetch);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, on_progress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &fetch);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, error);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "vexa-image-store");
    if (!tls.ca_file.empty()) curl_easy_setopt(curl, CURLOPT_CAINFO, tls.ca_file.c_str());
    if (!tls.ca_dir.empty()) curl_easy_setopt(curl, CURLOPT_CAPATH, tls.ca_dir.c_str());
    const CURLcode rc = curl_easy_perform(curl);
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_cleanup(curl);

    if (fetch.too_large || rc == CURLE_FILESIZE_EXCEEDED) {
      return std::unexpected(fmt::format("image larger than {} bytes", options.max_bytes));
    }
    if (rc != CURLE_OK) {
      return std::unexpected(std::string(error[0] != '\0' ? error : curl_easy_strerror(rc)));
    }
    if (status < 200 || status > 299) return std::unexpected(fmt::format("HTTP status {}", status));
    return Image::decode(
        std::span(reinterpret_cast<const std::uint8_t*>(fetch.body.data()), fetch.body.size()));
  }

  void start() {
    static std::once_flag curl_ready;
    std::call_once(curl_ready, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    tls = net::client_config();
    auto [request_tx, request_rx] = make_channel<std::string>();
    auto [result_tx, result_rx] = make_channel<Result>();
    requests = std::move(request_tx);
    results = std::move(result_rx);
    worker = std::thread([this, rx = std::move(request_rx), tx = std::move(result_tx)]() mutable {
      pthread_setname_np(pthread_self(), "vexa-images");
      while (auto url = rx.recv()) {
        if (stopping.load()) break;
        tx.send(Result{*url, fetch(*url, options, tls, stopping)});
      }
    });
  }
};

ImageStore::ImageStore(ImageStoreOptions options) : impl_(std::make_unique<Impl>()) {
  impl_->options = options;
  impl_->start();
}

ImageStore::~ImageStore() {
  impl_->stopping.store(true);
  impl_->requests.reset();
  if (impl_->worker.joinable()) impl_->worker.join();
}

std::shared_ptr<ImageStore> ImageStore::new_store(ImageStoreOptions options) {
  return std::make_shared<ImageStore>(options);
}

std::optional<std::shared_ptr<Image>> ImageStore::get(const std::string& url) {
  impl_->drain();
  auto it = impl_->entries.find(url);
  if (it != impl_->entries.end()) {
    if (it->second.state == State::Ready) return it->second.image;
    return std::nullopt;
  }
  Impl::Entry& entry = impl_->entries[url];
  if (!is_web_url(url)) {
    entry.state = State::Failed;
    entry.error = "only http and https images are loaded";
    return std::nullopt;
  }
  entry.state = State::Loading;
  ++impl_->pending;
  if (!impl_->requests.send(url)) {
    entry.state = State::Failed;
    entry.error = "the image loader is not running";
    --impl_->pending;
  }
  return std::nullopt;
}

std::uint64_t ImageStore::revision() {
  impl_->drain();
  return impl_->revision;
}

std::size_t ImageStore::pending() {
  impl_->drain();
  return impl_->pending;
}

ImageStore::State ImageStore::state(const std::string& url) {
  impl_->drain();
  auto it = impl_->entries.find(url);
  return it == impl_->entries.end() ? State::Unknown : it->second.state;
}

std::optional<std::string> ImageStore::error(const std::string& url) {
  impl_->drain();
  auto it = impl_->entries.find(url);
  if (it == impl_->entries.end() || it->second.state != State::Failed) return std::nullopt;
  return it->second.error;
}

}  // namespace vexa::ui
