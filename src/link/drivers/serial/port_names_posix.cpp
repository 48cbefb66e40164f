// The COM port rule on Linux: a link of the user's, else the n-th serial device present.
#include "link/drivers/serial/port_names.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <tuple>
#include <vector>

namespace velomat {

namespace fs = std::filesystem;

namespace {

// The number k of "ttyS7" and the like, or -1. "ttyS0" has the number 0.
long deviceNumber(std::string_view name, std::string_view prefix) {
  if (name.size() <= prefix.size() || name.substr(0, prefix.size()) != prefix) return -1;
  return wholeNumber(name.substr(prefix.size()));
}

// The kernel makes ttyS0..ttyS<n> whether or not a UART is there; its "type" is 0 (unknown) then.
// sysfs tells without touching the port; only where it does not is the port itself asked.
bool hasUart(const PortPlaces& places, const std::string& name) {
  std::ifstream typeFile(fs::path(places.ttyClassDir) / name / "type");
  long type = 0;
  if (typeFile >> type) return type != 0;
  return places.askPort && places.askPort((fs::path(places.devDir) / name).string());
}

}  // namespace

bool uartBehind(const std::string& devicePath) {
  const int fd = ::open(devicePath.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno == EBUSY;  // held exclusively (TIOCEXCL) by another program
  serial_struct info{};
  const bool uart = ioctl(fd, TIOCGSERIAL, &info) == 0 && info.type != PORT_UNKNOWN;
  ::close(fd);
  return uart;
}

std::string findSerialDevice(int32_t portNumber, const PortPlaces& places) {
  if (portNumber < 1) return {};
  if (std::string link = configuredLink("COM" + std::to_string(portNumber), places); !link.empty()) {
    return link;
  }

  const std::string_view families[] = {"ttyUSB", "ttyACM", "ttyS"};
  std::vector<std::tuple<size_t, long, std::string>> found;  // family, number, name
  std::error_code error;
  for (fs::directory_iterator entry(places.devDir, error), end; !error && entry != end;
       entry.increment(error)) {
    const std::string name = entry->path().filename().string();
    for (size_t family = 0; family < std::size(families); ++family) {
      const long k = deviceNumber(name, families[family]);
      if (k < 0) continue;
      if (families[family] == "ttyS" && !hasUart(places, name)) continue;
      found.emplace_back(family, k, name);
    }
  }
  const auto n = static_cast<size_t>(portNumber);
  if (n > found.size()) return {};
  std::sort(found.begin(), found.end());
  return (fs::path(places.devDir) / std::get<2>(found[n - 1])).string();
}

}  // namespace velomat
