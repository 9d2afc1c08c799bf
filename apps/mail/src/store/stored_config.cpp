#include "store/stored_config.h"

#include <fmt/format.h>

#include <limits>
#include <set>
#include <vector>

namespace mail {

namespace {

std::string_view auth_text(AuthMethod auth) {
  return auth == AuthMethod::OAuth ? "OAuth" : "Password";
}

std::expected<std::string, std::string> string_field(const nlohmann::json& object,
                                                     const char* key) {
  auto it = object.find(key);
  if (it == object.end()) return std::unexpected(fmt::format("missing \"{}\"", key));
  if (!it->is_string()) return std::unexpected(fmt::format("\"{}\" must be a string", key));
  return it->get<std::string>();
}

std::expected<bool, std::string> bool_field(const nlohmann::json& object, const char* key) {
  auto it = object.find(key);
  if (it == object.end()) return std::unexpected(fmt::format("missing \"{}\"", key));
  if (!it->is_boolean()) return std::unexpected(fmt::format("\"{}\" must be true or false", key));
  return it->get<bool>();
}

std::expected<std::uint16_t, std::string> port_field(const nlohmann::json& object,
                                                     const char* key) {
  auto it = object.find(key);
  if (it == object.end()) return std::unexpected(fmt::format("missing \"{}\"", key));
  // 993.0 or -1 must not be silently converted into some other port.
  bool in_range = false;
  if (it->is_number_unsigned()) {
    in_range = it->get<std::uint64_t>() <= std::numeric_limits<std::uint16_t>::max();
  } else if (it->is_number_integer()) {
    const auto value = it->get<std::int64_t>();
    in_range = value >= 0 && value <= std::numeric_limits<std::uint16_t>::max();
  }
  if (!in_range) {
    return std::unexpected(fmt::format("\"{}\" must be an integer from 0 to 65535", key));
  }
  return static_cast<std::uint16_t>(it->get<std::uint64_t>());
}

}  // namespace

nlohmann::json to_json(const StoredConfig& config) {
  nlohmann::json out = nlohmann::json::object();
  out["display_name"] = config.display_name;
  out["email"] = config.email;
  out["imap_host"] = config.imap_host;
  out["imap_port"] = config.imap_port;
  out["imap_tls"] = config.imap_tls;
  out["smtp_host"] = config.smtp_host;
  out["smtp_port"] = config.smtp_port;
  out["smtp_tls"] = config.smtp_tls;
  out["username"] = config.username;
  out["auth"] = auth_text(config.auth);
  return out;
}

std::expected<StoredConfig, std::string> stored_config_from_json(const nlohmann::json& value) {
  if (!value.is_object()) return std::unexpected(std::string("settings are not a JSON object"));
  StoredConfig config;
  std::string error;
  auto take = [&error](auto result, auto& field) {
    if (!error.empty()) return;
    if (result) {
      field = *result;
    } else {
      error = result.error();
    }
  };
  take(string_field(value, "display_name"), config.display_name);
  take(string_field(value, "email"), config.email);
  take(string_field(value, "imap_host"), config.imap_host);
  take(port_field(value, "imap_port"), config.imap_port);
  take(bool_field(value, "imap_tls"), config.imap_tls);
  take(string_field(value, "smtp_host"), config.smtp_host);
  take(port_field(value, "smtp_port"), config.smtp_port);
  take(bool_field(value, "smtp_tls"), config.smtp_tls);
  take(string_field(value, "username"), config.username);
  if (!error.empty()) return std::unexpected(error);

  auto auth = value.find("auth");
  if (auth == value.end()) {
    config.auth = AuthMethod::Password;
  } else if (auth->is_string() && *auth == "Password") {
    config.auth = AuthMethod::Password;
  } else if (auth->is_string() && *auth == "OAuth") {
    config.auth = AuthMethod::OAuth;
  } else {
    return std::unexpected(std::string("\"auth\" must be \"Password\" or \"OAuth\""));
  }
  return config;
}

std::expected<StoredConfig, std::string> parse_stored_config(std::string_view text) {
  // nlohmann keeps the last of two equal keys; a record with two "email" values is ambiguous,
  // so every open object's keys are tracked while parsing.
  std::vector<std::set<std::string>> open_objects;
  std::string duplicate;
  auto track = [&](int /*depth*/, nlohmann::json::parse_event_t event, nlohmann::json& parsed) {
    using Event = nlohmann::json::parse_event_t;
    if (event == Event::object_start) {
      open_objects.emplace_back();
    } else if (event == Event::object_end) {
      if (!open_objects.empty()) open_objects.pop_back();
    } else if (event == Event::key && !open_objects.empty()) {
      auto key = parsed.get<std::string>();
      if (!open_objects.back().insert(key).second && duplicate.empty()) duplicate = key;
    }
    return true;
  };
  nlohmann::json value;
  try {
    value = nlohmann::json::parse(text.begin(), text.end(), track);
  } catch (const nlohmann::json::exception& e) {
    return std::unexpected(fmt::format("settings are not valid JSON: {}", e.what()));
  }
  if (!duplicate.empty()) return std::unexpected(fmt::format("duplicate key \"{}\"", duplicate));
  return stored_config_from_json(value);
}

}  // namespace mail
