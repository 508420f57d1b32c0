// The parallel-port printer: its use of the port layer, and real writes through device files.
#include "printer/lpt_printer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "tests/fakes/temp_dir.h"

namespace qv {
namespace {

// Port layer that records the calls the printer makes.
class RecordingPorts : public platform::LptPorts {
 public:
  struct Log {
    std::vector<std::string> calls;
    int openResult = 7;
    int writeResult = 1;
  };
  explicit RecordingPorts(std::shared_ptr<Log> log) : log_(std::move(log)) {}
  int OpenPort(const std::string& portName) override {
    log_->calls.push_back("open " + portName);
    return log_->openResult;
  }
  int WritePort(int handle, std::string_view bytes) override {
    log_->calls.push_back("write " + std::to_string(handle) + " " + std::string(bytes));
    return log_->writeResult;
  }
  void ClosePort(int handle) override { log_->calls.push_back("close " + std::to_string(handle)); }
  void SetDevicePath(const std::string& portName, const std::string& path) override {
    log_->calls.push_back("path " + portName + " " + path);
  }

 private:
  std::shared_ptr<Log> log_;
};

std::string ReadFile(const std::string& path) {
  std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(std::filesystem::u8path(path), std::ios::binary) << bytes;
}

TEST(LptPrinter, OnlyPortsOneAndTwoReachThePortLayer) {
  auto log = std::make_shared<RecordingPorts::Log>();
  LptPrinter printer(std::make_unique<RecordingPorts>(log));
  EXPECT_FALSE(printer.open(3, 80));
  EXPECT_FALSE(printer.open(0, 80));
  EXPECT_TRUE(log->calls.empty());
  EXPECT_FALSE(printer.isOpen());

  EXPECT_TRUE(printer.open(2, 80));
  EXPECT_TRUE(printer.isOpen());
  // A refused port number leaves the open port alone.
  EXPECT_FALSE(printer.open(3, 80));
  EXPECT_TRUE(printer.isOpen());
  EXPECT_TRUE(printer.cut());
  EXPECT_EQ(log->calls, (std::vector<std::string>{"open LPT2", "write 7 \x1b\x6d"}));
}

TEST(LptPrinter, FailedOpenAndWritesShowInTheResults) {
  auto log = std::make_shared<RecordingPorts::Log>();
  log->openResult = -1;
  LptPrinter printer(std::make_unique<RecordingPorts>(log));
  EXPECT_FALSE(printer.open(1, 80));
  EXPECT_FALSE(printer.isOpen());
  EXPECT_FALSE(printer.setBold(1));

  log->openResult = 4;
  log->writeResult = 0;
  ASSERT_TRUE(printer.open(1, 80));
  EXPECT_FALSE(printer.setBold(1));
  // The status requests go out through the port; nothing can be read back.
  EXPECT_EQ(printer.queryStatus(0, false), "{}");
  EXPECT_EQ(log->calls.back(), "write 4 \x1d\x49\x41");
  // Closing always succeeds once the port was open, and lets the port go.
  EXPECT_TRUE(printer.close(0, 0));
  EXPECT_EQ(log->calls.back(), "close 4");
  EXPECT_TRUE(printer.isOpen());
}

TEST(LptPrinter, WritesTheBytesToTheConfiguredDevice) {
  testing::TempDir dir;
  // Not "lpt1.out": Windows reads LPT1 with any extension as the port itself.
  const std::string lpt1 = dir.Path() + "/port1.out";
  const std::string lpt2 = dir.Path() + "/port2.out";
  WriteFile(lpt1, "");
  WriteFile(lpt2, "");
  LptPrinter printer;
  printer.SetPortPaths(lpt1, lpt2);

  for (int copy = 0; copy < 2; ++copy) {
    ASSERT_TRUE(printer.open(2, 80));
    EXPECT_TRUE(printer.setAlignment(2));
    EXPECT_TRUE(printer.printText("谢谢惠顾", Newline::Yes));
    EXPECT_TRUE(printer.close(1, 1));
    EXPECT_FALSE(printer.setBold(1));  // the port is closed
  }
  const std::string job = "\x1b\x61\x01\xd0\xbb\xd0\xbb\xbb\xdd\xb9\xcb\r\n\r\n\x1b\x6d";
  EXPECT_EQ(ReadFile(lpt2), job + job);  // each job follows the last
  EXPECT_EQ(ReadFile(lpt1), "");
}

TEST(LptPrinter, MissingPortFailsToOpenWithoutCreatingIt) {
  testing::TempDir dir;
  const std::string missing = dir.Path() + "/no-such-port";
  LptPrinter printer;
  printer.SetPortPaths(missing, missing);
  EXPECT_FALSE(printer.open(1, 80));
  EXPECT_FALSE(printer.open(2, 80));
  EXPECT_FALSE(printer.isOpen());
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::u8path(missing)));
}

// The system's own port name (\\.\LPT1 on Windows). The Windows test run points Wine's LPT1
// at a file and names it in QV_LPT1_FILE; elsewhere there is no port to try.
TEST(LptPrinter, SystemPortLpt1) {
  const char* file = std::getenv("QV_LPT1_FILE");
  if (file == nullptr) GTEST_SKIP() << "no LPT1 device for this run";
  WriteFile(file, "");
  LptPrinter printer;
  ASSERT_TRUE(printer.open(1, 80));
  EXPECT_TRUE(printer.printText("LPT1", Newline::Yes));
  EXPECT_TRUE(printer.close(0, 1));
  EXPECT_EQ(ReadFile(file), "LPT1\r\n\x1b\x6d");
}

}  // namespace
}  // namespace qv
