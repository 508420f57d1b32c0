#include "tools/sim/service_config.h"

#include <filesystem>
#include <fstream>

#include "platform/gbk.h"

namespace qv::sim {

std::string WinePath(const std::string& linuxPath) {
  std::string path = "Z:" + linuxPath;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

std::string WriteServiceConfig(const std::string& dir, const ServiceConfigValues& v,
                               std::string& error) {
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  const std::string path = (std::filesystem::path(dir) / "config.ini").string();
  const std::string text =
      "[set]\r\nsid=" + v.sid + "\r\nserver=" + v.server +
      "\r\nau_row=3\r\nusbbak=0\r\ndebug=1\r\ntime=" + std::to_string(v.pollSeconds) +
      "\r\nau_c=1\r\naurunpr=1\r\nurl=" + v.url + "\r\nca_file=" + v.caFile +
      "\r\ntls_verify=1\r\n";
  // The service reads its profile file in GBK.
  const std::string bytes = FromUtf8(text);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) {
    error = "cannot write " + path;
    return "";
  }
  return path;
}

}  // namespace qv::sim
