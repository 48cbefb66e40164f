#include "link/drivers/serial/port_names.h"

#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <utility>

namespace velomat {

namespace fs = std::filesystem;

long wholeNumber(std::string_view text) {
  if (text.empty() || text.size() > 9 || (text[0] == '0' && text.size() > 1)) return -1;
  long value = -1;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return -1;
  return value;
}

std::string configuredLink(const std::string& name, const PortPlaces& places) {
  if (places.configDir.empty()) return {};
  const fs::path link = fs::path(places.configDir) / name;
  std::error_code error;
  const fs::file_type type = fs::symlink_status(link, error).type();
  return type != fs::file_type::not_found && type != fs::file_type::none ? link.string() : std::string();
}

PortPlaces portPlacesFor(const char* xdgConfigHome, const char* home) {
  PortPlaces places;
  if (xdgConfigHome != nullptr && xdgConfigHome[0] == '/') {
    places.configDir = std::string(xdgConfigHome) + "/velomat";
  } else if (home != nullptr && home[0] == '/') {
    places.configDir = std::string(home) + "/.config/velomat";
  }
  return places;
}

PortPlaces systemPortPlaces() {
  return portPlacesFor(std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"));
}

PortResolver portResolver(PortPlaces places) {
  return [places = std::move(places)](int32_t portNumber) { return findSerialDevice(portNumber, places); };
}

PortResolver systemPortResolver() {
  return portResolver(systemPortPlaces());
}

}  // namespace velomat
