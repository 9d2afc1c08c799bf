#include "vexa/background_task.h"

#include <pthread.h>

#include <system_error>
#include <thread>

namespace vexa::detail {

std::expected<void, std::string> spawn_detached(std::string_view name, std::function<void()> body) {
  try {
    std::thread thread(std::move(body));
    // Linux keeps 15 bytes of a thread's name; enough to tell the threads apart in a debugger.
    const std::string short_name(name.substr(0, 15));
    pthread_setname_np(thread.native_handle(), short_name.c_str());
    thread.detach();
    return {};
  } catch (const std::system_error& e) {
    return std::unexpected(e.code().message());
  }
}

}  // namespace vexa::detail
