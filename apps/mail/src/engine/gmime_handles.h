#pragma once
// Owning handles for the GLib and GMime objects the MIME code creates, so every early return
// releases them.
#include <glib-object.h>
#include <glib.h>

#include <utility>

namespace mail::engine {

template <typename T>
class GObjectPtr {
 public:
  explicit GObjectPtr(T* p = nullptr) : ptr_(p) {}
  GObjectPtr(const GObjectPtr&) = delete;
  GObjectPtr& operator=(const GObjectPtr&) = delete;
  GObjectPtr(GObjectPtr&& other) noexcept : ptr_(std::exchange(other.ptr_, nullptr)) {}
  GObjectPtr& operator=(GObjectPtr&& other) noexcept {
    if (this != &other) {
      reset();
      ptr_ = std::exchange(other.ptr_, nullptr);
    }
    return *this;
  }
  ~GObjectPtr() { reset(); }
  T* get() const { return ptr_; }
  explicit operator bool() const { return ptr_ != nullptr; }
  void reset() {
    if (ptr_) g_object_unref(ptr_);
    ptr_ = nullptr;
  }

 private:
  T* ptr_;
};

class GFreeString {
 public:
  explicit GFreeString(char* p) : ptr_(p) {}
  GFreeString(const GFreeString&) = delete;
  GFreeString& operator=(const GFreeString&) = delete;
  ~GFreeString() { g_free(ptr_); }
  const char* get() const { return ptr_; }

 private:
  char* ptr_;
};

}  // namespace mail::engine
