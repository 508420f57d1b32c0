// The sysfs reading behind the MAC address on Linux, over a tree built by the test.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/posix/system_info_sysfs.h"
#include "tests/fakes/temp_dir.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

struct Adapter {
  std::string name, type, operstate, address, bus;  // bus: "pci", "usb" or "" (virtual)
};

void Make(const fs::path& net, const Adapter& a) {
  fs::path dir = net / a.name;
  fs::create_directories(dir);
  std::ofstream(dir / "type") << a.type << "\n";
  std::ofstream(dir / "operstate") << a.operstate << "\n";
  std::ofstream(dir / "address") << a.address << "\n";
  if (!a.bus.empty()) {
    fs::path device = net / ".." / "devices" / a.name;
    fs::create_directories(device);
    fs::create_directory_symlink(fs::path("/sys/bus") / a.bus, device / "subsystem");
    fs::create_directory_symlink(device, dir / "device");
  }
}

TEST(SysfsAdapterMac, PrefersConnectedPciAdapters) {
  struct Case {
    std::vector<Adapter> adapters;
    std::string expected;
  };
  const Adapter lo{"lo", "772", "unknown", "00:00:00:00:00:00", ""};
  for (const Case& c : std::vector<Case>{
           {{lo, {"eth0", "1", "up", "02:fc:00:00:00:0a", "pci"}}, "02:FC:00:00:00:0A"},
           // A USB adapter first by name still loses to the PCI one.
           {{lo,
             {"a_usb", "1", "up", "aa:aa:aa:aa:aa:aa", "usb"},
             {"eth1", "1", "up", "bb:bb:bb:bb:bb:bb", "pci"}},
            "BB:BB:BB:BB:BB:BB"},
           // No connected PCI adapter: any connected one.
           {{{"eth0", "1", "down", "bb:bb:bb:bb:bb:bb", "pci"},
             {"wwan0", "1", "up", "cc:cc:cc:cc:cc:cc", "usb"}},
            "CC:CC:CC:CC:CC:CC"},
           // Loopback, adapters without an address and ones not up give nothing.
           {{lo,
             {"tun0", "65534", "up", "", ""},
             {"eth0", "1", "dormant", "dd:dd:dd:dd:dd:dd", "pci"}},
            ""},
           {{}, ""},
       }) {
    testing::TempDir tmp;
    fs::path net = fs::path(tmp.Path()) / "net";
    fs::create_directories(net);
    for (const Adapter& a : c.adapters) Make(net, a);
    EXPECT_EQ(platform::posix::SysfsAdapterMac(net.string()), c.expected);
  }
  EXPECT_EQ(platform::posix::SysfsAdapterMac("/nonexistent/net"), "");
}

}  // namespace
}  // namespace qv
