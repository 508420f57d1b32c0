#include "cloud/system_queries.h"

#include <gtest/gtest.h>

#include <regex>

namespace qv {
namespace {

// The real query on this machine: either nothing or six hex bytes joined by ":".
TEST(ReadMacAddress, GivesAnAddressTextOrNothing) {
  std::string mac = ReadMacAddress();
  if (!mac.empty()) {
    EXPECT_TRUE(std::regex_match(mac, std::regex("([0-9A-Fa-f]{2}:){5}[0-9A-Fa-f]{2}"))) << mac;
  }
}

}  // namespace
}  // namespace qv
