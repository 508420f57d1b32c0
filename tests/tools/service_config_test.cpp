#include "tools/sim/service_config.h"
#include "platform/gbk.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace qv::sim {
namespace {

TEST(ServiceConfig, WritesAGbkProfileThatPointsAtTheSimulator) {
  const auto dir = std::filesystem::temp_directory_path() / "qv-sim-config-test" / "程序";
  std::filesystem::remove_all(dir.parent_path());
  ServiceConfigValues values{"门店01", "localhost:8443", "/tmp/证书/ca.pem",
                             "http://127.0.0.1:8480/", 3};
  std::string error;
  const std::string path = WriteServiceConfig(dir.string(), values, error);
  ASSERT_EQ(error, "");
  std::ifstream in(path, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  EXPECT_EQ(ToUtf8(bytes.str()),
            "[set]\r\nsid=门店01\r\nserver=localhost:8443\r\nau_row=3\r\nusbbak=0\r\ndebug=1\r\n"
            "time=3\r\nau_c=1\r\naurunpr=1\r\nurl=http://127.0.0.1:8480/\r\n"
            "ca_file=/tmp/证书/ca.pem\r\ntls_verify=1\r\n");
  EXPECT_EQ(bytes.str().find("门店"), std::string::npos);  // GBK, not UTF-8
  std::filesystem::remove_all(dir.parent_path());
  EXPECT_EQ(WinePath("/tmp/sim/certs/ca.pem"), "Z:\\tmp\\sim\\certs\\ca.pem");
}

}  // namespace
}  // namespace qv::sim
