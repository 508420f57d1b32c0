#include "platform/posix/system_info_sysfs.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

namespace qv::platform::posix {
namespace {

namespace fs = std::filesystem;

std::string ReadAttribute(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  while (!line.empty() && (line.back() == '\n' || line.back() == ' ')) line.pop_back();
  return line;
}

bool IsMacText(const std::string& text) {
  if (text.size() != 17 || text == "00:00:00:00:00:00") return false;
  for (size_t i = 0; i < text.size(); ++i) {
    bool colon = i % 3 == 2;
    if (colon != (text[i] == ':')) return false;
    if (!colon && !std::isxdigit(static_cast<unsigned char>(text[i]))) return false;
  }
  return true;
}

// The adapter sits on the PCI bus when its device's subsystem is "pci" (a USB adapter on a
// PCI host controller has the subsystem "usb").
bool OnPciBus(const fs::path& adapter) {
  std::error_code ec;
  fs::path subsystem = fs::read_symlink(adapter / "device" / "subsystem", ec);
  return !ec && subsystem.filename() == "pci";
}

constexpr const char* kLoopbackType = "772";  // ARPHRD_LOOPBACK

}  // namespace

std::string SysfsAdapterMac(const std::string& netDir) {
  std::error_code ec;
  std::vector<fs::path> adapters;
  for (const fs::directory_entry& entry : fs::directory_iterator(netDir, ec)) {
    adapters.push_back(entry.path());
  }
  std::sort(adapters.begin(), adapters.end());
  std::string pciMac, anyMac;
  for (const fs::path& adapter : adapters) {
    if (ReadAttribute(adapter / "type") == kLoopbackType) continue;
    if (ReadAttribute(adapter / "operstate") != "up") continue;
    std::string mac = ReadAttribute(adapter / "address");
    if (!IsMacText(mac)) continue;
    std::transform(mac.begin(), mac.end(), mac.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    if (pciMac.empty() && OnPciBus(adapter)) pciMac = mac;
    if (anyMac.empty()) anyMac = mac;
  }
  return pciMac.empty() ? anyMac : pciMac;
}

}  // namespace qv::platform::posix
