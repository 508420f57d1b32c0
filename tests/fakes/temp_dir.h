// A fresh directory for one test, removed with its files afterwards.
#pragma once

#include <filesystem>
#include <random>
#include <string>

namespace qv::testing {

class TempDir {
 public:
  TempDir() {
    std::random_device rd;
    const auto base = std::filesystem::temp_directory_path();
    path_ = base / ("qv-test-" + std::to_string(rd()) + std::to_string(rd()));
    std::filesystem::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The directory as a UTF-8 path text.
  std::string Path() const {
    const std::u8string u8 = path_.u8string();
    return std::string(u8.begin(), u8.end());
  }

 private:
  std::filesystem::path path_;
};

}  // namespace qv::testing
