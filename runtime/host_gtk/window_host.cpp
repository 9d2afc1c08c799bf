#include "window_host.h"

#include <fmt/format.h>
#include <glib-unix.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <optional>

#include "frame_loop.h"
#include "vexa/log.h"
#include "window_input.h"

namespace vexa::ui {
namespace {

constexpr const char* kTarget = "vexa::host";
constexpr const char* kFallbackAppId = "io.vexa.app";

std::string env_or_empty(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

class WindowHost {
 public:
  WindowHost(WindowApp& app, std::unique_ptr<Widget> root, std::unique_ptr<persist::Document> doc,
             const WindowOptions& options)
      : app_(app), options_(options), loop_(std::move(root), std::move(doc), options.size, 1.0) {}

  ~WindowHost() {
    app_.set_title_listener(nullptr);
    stop_timers();
  }

  int run() {
    std::string id = options_.app_id;
    if (!g_application_id_is_valid(id.c_str())) id = kFallbackAppId;
    // Every launch is its own window: a second start must not hand its scene to the first.
    GtkApplication* gtk_app = gtk_application_new(id.c_str(), G_APPLICATION_NON_UNIQUE);
    app_ref_ = gtk_app;
    g_signal_connect(gtk_app, "activate", G_CALLBACK(on_activate), this);
    const guint term = g_unix_signal_add(SIGTERM, on_signal, this);
    const guint interrupt = g_unix_signal_add(SIGINT, on_signal, this);
    char program[] = "vexa";
    char* argv[] = {program, nullptr};
    const int status = g_application_run(G_APPLICATION(gtk_app), 1, argv);
    g_source_remove(term);
    g_source_remove(interrupt);
    stop_timers();
    loop_.close();
    // Still open when the loop was stopped without a close (a quit before the window closed).
    input_.reset();
    if (window_ != nullptr) gtk_window_destroy(GTK_WINDOW(window_));
    app_ref_ = nullptr;
    g_object_unref(gtk_app);
    return status;
  }

 private:
  static void on_activate(GtkApplication* gtk_app, gpointer self) {
    static_cast<WindowHost*>(self)->build_window(gtk_app);
  }

  void build_window(GtkApplication* gtk_app) {
    if (window_ != nullptr) {
      gtk_window_present(GTK_WINDOW(window_));
      return;
    }
    window_ = gtk_application_window_new(gtk_app);
    GtkWindow* window = GTK_WINDOW(window_);
    gtk_window_set_title(window, app_.window_title().c_str());
    app_.set_title_listener([this](const std::string& title) {
      if (window_ != nullptr) gtk_window_set_title(GTK_WINDOW(window_), title.c_str());
    });
    gtk_window_set_default_size(window, static_cast<int>(options_.size.width),
                                static_cast<int>(options_.size.height));
    gtk_window_set_resizable(window, options_.resizable);
    gtk_window_set_decorated(window, options_.decorated);
    if (options_.fullscreen) gtk_window_fullscreen(window);

    area_ = gtk_drawing_area_new();
    gtk_widget_set_hexpand(area_, TRUE);
    gtk_widget_set_vexpand(area_, TRUE);
    gtk_widget_set_focusable(area_, TRUE);
    gtk_drawing_area_set_draw_func(GTK_DRAWING_AREA(area_), on_draw, this, nullptr);
    g_signal_connect(area_, "resize", G_CALLBACK(on_resize), this);
    g_signal_connect(area_, "notify::scale-factor", G_CALLBACK(on_scale_changed), this);
    gtk_window_set_child(window, area_);

    g_signal_connect(window_, "close-request", G_CALLBACK(on_close_request), this);
    g_signal_connect(window_, "notify::is-active", G_CALLBACK(on_active_changed), this);
    g_signal_connect(window_, "destroy", G_CALLBACK(on_destroy), this);

    input_ = std::make_unique<WindowInput>(
        window_, area_, [this](const Event& event) { return deliver(event); },
        [this] { return loop_.scale_factor(); });

    gtk_window_present(window);
    gtk_widget_grab_focus(area_);
    request_frame();
  }

  EventResult deliver(const Event& event) {
    const EventResult result = loop_.deliver(event);
    if (const auto* key = std::get_if<KeyEvent>(&event)) {
      log::debug(kTarget, "window: key",
                 {{"key", key->key},
                  {"pressed", key->pressed ? "true" : "false"},
                  {"consumed", result == EventResult::Consumed ? "true" : "false"}});
    }
    request_frame();
    return result;
  }

  // One frame at the next display refresh; the tick keeps running only while the root asks.
  void request_frame() {
    if (tick_id_ != 0 || area_ == nullptr || !loop_.open()) return;
    tick_id_ = gtk_widget_add_tick_callback(area_, on_tick, this, nullptr);
  }

  static gboolean on_tick(GtkWidget*, GdkFrameClock*, gpointer self) {
    return static_cast<WindowHost*>(self)->tick() ? G_SOURCE_CONTINUE : G_SOURCE_REMOVE;
  }

  bool tick() {
    if (!loop_.open()) {
      tick_id_ = 0;
      return false;
    }
    loop_.run_frame();
    if (loop_.wants_draw()) gtk_widget_queue_draw(area_);
    const FramePlan plan = loop_.plan();
    if (plan.tick) return true;
    tick_id_ = 0;
    schedule_wakeup(plan.wakeup);
    return false;
  }

  void schedule_wakeup(std::optional<Clock::time_point> at) {
    if (wakeup_id_ != 0) {
      g_source_remove(wakeup_id_);
      wakeup_id_ = 0;
    }
    if (!at) return;
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*at - Clock::now());
    const auto ms = static_cast<guint>(std::max<std::int64_t>(0, wait.count()));
    wakeup_id_ = g_timeout_add(ms, on_wakeup, this);
  }

  static gboolean on_wakeup(gpointer self) {
    auto* host = static_cast<WindowHost*>(self);
    host->wakeup_id_ = 0;
    host->request_frame();
    return G_SOURCE_REMOVE;
  }

  void stop_timers() {
    if (tick_id_ != 0 && area_ != nullptr) gtk_widget_remove_tick_callback(area_, tick_id_);
    tick_id_ = 0;
    if (wakeup_id_ != 0) g_source_remove(wakeup_id_);
    wakeup_id_ = 0;
  }

  static void on_draw(GtkDrawingArea*, cairo_t* cr, int width, int height, gpointer self) {
    auto* host = static_cast<WindowHost*>(self);
    if (!host->loop_.open()) return;
    host->loop_.set_scale_factor(gtk_widget_get_scale_factor(host->area_));
    host->loop_.resize(Size{static_cast<double>(width), static_cast<double>(height)});
    host->loop_.draw(cr);
    if (!host->first_frame_logged_) {
      host->first_frame_logged_ = true;
      log::debug(kTarget, "window: first frame",
                 {{"width", fmt::format("{}", width)},
                  {"height", fmt::format("{}", height)},
                  {"scale", fmt::format("{}", host->loop_.scale_factor())}});
    }
  }

  static void on_resize(GtkDrawingArea*, int width, int height, gpointer self) {
    auto* host = static_cast<WindowHost*>(self);
    host->loop_.resize(Size{static_cast<double>(width), static_cast<double>(height)});
    host->request_frame();
  }

  static void on_scale_changed(GObject*, GParamSpec*, gpointer self) {
    auto* host = static_cast<WindowHost*>(self);
    host->loop_.set_scale_factor(gtk_widget_get_scale_factor(host->area_));
    gtk_widget_queue_draw(host->area_);
    host->request_frame();
  }

  static void on_active_changed(GObject*, GParamSpec*, gpointer self) {
    auto* host = static_cast<WindowHost*>(self);
    if (host->input_) host->input_->set_focus(gtk_window_is_active(GTK_WINDOW(host->window_)));
  }

  // The root goes first, so that the mail worker ends while the window is still closing.
  static gboolean on_close_request(GtkWindow*, gpointer self) {
    auto* host = static_cast<WindowHost*>(self);
    host->stop_timers();
    host->loop_.close();
    // The input method lets go of the area while it still exists.
    host->input_.reset();
    log::debug(kTarget, "window: closed");
    return FALSE;
  }

  static void on_destroy(GtkWidget*, gpointer self) {
    auto* host = static_cast<WindowHost*>(self);
    // The area's tick callbacks go with it.
    host->tick_id_ = 0;
    host->stop_timers();
    host->input_.reset();
    host->area_ = nullptr;
    host->window_ = nullptr;
  }

  static gboolean on_signal(gpointer self) {
    auto* host = static_cast<WindowHost*>(self);
    if (host->window_ != nullptr) {
      gtk_window_close(GTK_WINDOW(host->window_));
    } else if (host->app_ref_ != nullptr) {
      g_application_quit(G_APPLICATION(host->app_ref_));
    }
    return G_SOURCE_CONTINUE;
  }

  WindowApp& app_;
  WindowOptions options_;
  FrameLoop loop_;
  GtkApplication* app_ref_ = nullptr;
  GtkWidget* window_ = nullptr;
  GtkWidget* area_ = nullptr;
  std::unique_ptr<WindowInput> input_;
  guint tick_id_ = 0;
  guint wakeup_id_ = 0;
  bool first_frame_logged_ = false;
};

}  // namespace

std::expected<void, std::string> open_window_display() {
  const std::string x11 = env_or_empty("DISPLAY");
  const std::string wayland = env_or_empty("WAYLAND_DISPLAY");
  if (x11.empty() && wayland.empty()) {
    return std::unexpected("no display found (DISPLAY and WAYLAND_DISPLAY are unset)");
  }
  // Number formatting elsewhere assumes the C locale; the window needs none of GTK's own texts.
  gtk_disable_setlocale();
  if (!gtk_init_check()) {
    return std::unexpected(
        fmt::format("could not open the display \"{}\"", wayland.empty() ? x11 : wayland));
  }
  return {};
}

int run_window(WindowApp& app, std::unique_ptr<Widget> root, std::unique_ptr<persist::Document> doc,
               const WindowOptions& options) {
  WindowHost host(app, std::move(root), std::move(doc), options);
  return host.run();
}

}  // namespace vexa::ui
