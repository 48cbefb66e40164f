// The LPT port rule on Linux: a link of the user's, else the ppdev device of that number.
#include "link/drivers/parallel/parallel_port_names.h"

#include <filesystem>
#include <system_error>

namespace velomat {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kPrefix = "LPT";
constexpr std::string_view kDevicePrefix = "parport";

bool entryPresent(const fs::path& path) {
  std::error_code error;
  const fs::file_type type = fs::symlink_status(path, error).type();
  return type != fs::file_type::not_found && type != fs::file_type::none;
}

// The lowest N of the parportN in `devDir`, or -1.
long firstPortNumber(const std::string& devDir) {
  long first = -1;
  std::error_code error;
  for (fs::directory_iterator entry(devDir, error), end; !error && entry != end; entry.increment(error)) {
    const std::string name = entry->path().filename().string();
    if (name.substr(0, kDevicePrefix.size()) != kDevicePrefix) continue;
    const long n = wholeNumber(std::string_view(name).substr(kDevicePrefix.size()));
    if (n >= 0 && (first < 0 || n < first)) first = n;
  }
  return first;
}

}  // namespace

std::string findParallelDevice(std::string_view portName, const PortPlaces& places) {
  if (portName.substr(0, kPrefix.size()) != kPrefix) return {};
  const std::string_view digits = portName.substr(kPrefix.size());
  const long n = digits.empty() ? 0 : wholeNumber(digits);
  if (n < 0 || (!digits.empty() && n < 1)) return {};

  if (std::string link = configuredLink(portName, places); !link.empty()) return link;

  const long number = digits.empty() ? firstPortNumber(places.devDir) : n - 1;
  if (number < 0) return {};
  const fs::path device = fs::path(places.devDir) / (std::string(kDevicePrefix) + std::to_string(number));
  return entryPresent(device) ? device.string() : std::string();
}

}  // namespace velomat
