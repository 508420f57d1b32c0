// The spooler printer against a private CUPS scheduler (cups_fixture.sh) whose queues write
// to files. On Windows builds the same queues are reached through Wine's spooler.
#include "printer/spooler_printer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace qv {
namespace {

// Where the fixture put the queues' device files.
std::string DeviceFile(const std::string& queue) {
  const char* dir = std::getenv("QV_CUPS_DIR");
  return std::string(dir ? dir : "") + "/" + queue + ".out";
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// The scheduler prints asynchronously: wait until the device file holds `size` bytes.
std::string WaitForDevice(const std::string& queue, size_t size) {
  std::string bytes;
  for (int i = 0; i < 300; ++i) {
    bytes = ReadFile(DeviceFile(queue));
    if (bytes.size() >= size) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return bytes;
}

void ClearDevice(const std::string& queue) {
  std::ofstream(DeviceFile(queue), std::ios::binary | std::ios::trunc);
}

const PrinterInfo* Find(const std::vector<PrinterInfo>& printers, const std::string& name) {
  for (const PrinterInfo& p : printers) {
    if (p.printerName == name) return &p;
  }
  return nullptr;
}

class SpoolerPrinterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(std::getenv("QV_CUPS_DIR"), nullptr) << "run through ctest (CUPS fixture)";
  }
};

TEST_F(SpoolerPrinterTest, ListsTheInstalledQueues) {
  SpoolerPrinter printer;
  std::vector<PrinterInfo> records(3);  // replaced, not appended to
  const int count = printer.listPrinters(records);
  EXPECT_EQ(count, static_cast<int>(records.size()));
  const PrinterInfo* receipt = Find(records, "qv_receipt");
  const PrinterInfo* plain = Find(records, "qv_plain");
  // Under Wine the list is the one the session's first spooler user saw (CUPS_SERVER).
  ASSERT_NE(receipt, nullptr) << "the test queues are not in the system's printer list";
  ASSERT_NE(plain, nullptr);
  EXPECT_LT(plain - records.data(), receipt - records.data());  // the system's order
  EXPECT_FALSE(receipt->portName.empty());
#ifndef _WIN32
  EXPECT_EQ(receipt->portName, "parallel:" + DeviceFile("qv_receipt"));
  EXPECT_EQ(receipt->comment, "Quorvel test receipt");
  EXPECT_EQ(receipt->location, "Counter 1");
  EXPECT_EQ(plain->location, "");
#endif
}

TEST_F(SpoolerPrinterTest, PrintsOneRawJobWithTheExactBytes) {
  ClearDevice("qv_receipt");
  SpoolerPrinter printer;
  EXPECT_FALSE(printer.writeBytes("x"));  // nothing open yet
  std::string error = "untouched";
  ASSERT_TRUE(printer.open("qv_receipt", 80, error));
  EXPECT_EQ(error, "untouched");
  EXPECT_TRUE(printer.isOpen());
  EXPECT_EQ(printer.paperWidth(), 80);
  EXPECT_TRUE(printer.setBold(1));
  EXPECT_TRUE(printer.setAlignment(3));
  EXPECT_TRUE(printer.printText("合计 12.50", Newline::Yes));
  EXPECT_EQ(printer.queryStatus(0, false), "{}");  // requests go out, nothing is read
  EXPECT_TRUE(printer.setUnderline(2));
  EXPECT_TRUE(printer.close(1, 1));

  const std::string expected =
      "\x1b\x45\x01\x1b\x61\x02\xba\xcf\xbc\xc6 12.50\r\n"
      "\x1d\x72\x01\x1d\x72\x02\x1b\x76\x1d\x49\x41\x1b\x2d\x02\r\n\x1b\x6d";
  EXPECT_EQ(WaitForDevice("qv_receipt", expected.size()), expected);

  // Closed but still "open": later transfers fail instead of reaching a finished job.
  EXPECT_TRUE(printer.isOpen());
  EXPECT_FALSE(printer.writeBytes("x"));
  EXPECT_FALSE(printer.setBold(1));
  EXPECT_FALSE(printer.close(0, 0));
}

TEST_F(SpoolerPrinterTest, FinishedJobPrintsBeforeTheClose) {
  ClearDevice("qv_plain");
  SpoolerPrinter printer;
  std::string error;
  ASSERT_TRUE(printer.open("qv_plain", 80, error));
  EXPECT_TRUE(printer.printText("finish", Newline::No));
  EXPECT_TRUE(printer.finishJob());
  EXPECT_EQ(WaitForDevice("qv_plain", 6), "finish");
  EXPECT_FALSE(printer.writeBytes("x"));
  EXPECT_TRUE(printer.close(0, 0));  // reports the finish, sends nothing more
  EXPECT_FALSE(printer.close(0, 0));
}

// A spooler that takes every byte but refuses to end the document.
class RefusingSpooler : public platform::Spooler {
  class Job : public platform::SpoolJob {
    bool write(std::string_view) override { return true; }
    bool finish() override { return false; }
  };

 public:
  std::vector<PrinterInfo> listPrinters() override { return {}; }
  std::unique_ptr<platform::SpoolJob> startRawJob(const std::string&, std::string&) override {
    return std::make_unique<Job>();
  }
};

TEST(SpoolerPrinterJob, RefusedEndIsAFailure) {
  SpoolerPrinter printer(std::make_unique<RefusingSpooler>());
  std::string error;
  ASSERT_TRUE(printer.open("any", 80, error));
  EXPECT_TRUE(printer.printText("lost", Newline::Yes));
  EXPECT_FALSE(printer.finishJob());
  EXPECT_FALSE(printer.close(0, 0));
}

TEST_F(SpoolerPrinterTest, MissingPrinterGivesTheSystemsErrorText) {
  SpoolerPrinter printer;
  std::string error;
  EXPECT_FALSE(printer.open("qv_no_such_printer", 80, error));
  EXPECT_FALSE(printer.isOpen());
  EXPECT_FALSE(error.empty());
  EXPECT_NE(error, "但是未知错误类型");
  EXPECT_EQ(error.find("未知系统错误"), std::string::npos) << error;
  EXPECT_FALSE(printer.setBold(1));
  EXPECT_FALSE(printer.printQRCode("x", 2, 4, 1, 0));
  std::cout << "missing printer: " << error << "\n";
}

}  // namespace
}  // namespace qv
