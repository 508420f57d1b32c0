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

#include "tests/support/under_wine.h"

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

#ifndef _WIN32
TEST_F(SpoolerPrinterTest, QueuesWithOddNamesAreListedAndPrintTo) {
  // Names CUPS accepts as they stand: one with characters a URI path must escape, one with a
  // byte that is no UTF-8 (listed as it is; the printer-list JSON replaces the byte).
  SpoolerPrinter printer;
  std::vector<PrinterInfo> records;
  printer.listPrinters(records);
  EXPECT_NE(Find(records, "b0{}[]<>"), nullptr);
  EXPECT_NE(Find(records, "qv_bad\xff"), nullptr);
  ClearDevice("odd");
  std::string error;
  ASSERT_TRUE(printer.open("b0{}[]<>", 80, error)) << error;
  EXPECT_TRUE(printer.printText("odd", Newline::No));
  EXPECT_TRUE(printer.close(0, 0));
  EXPECT_EQ(WaitForDevice("odd", 3), "odd");
}
#endif

TEST_F(SpoolerPrinterTest, FinishedJobPrintsBeforeTheClose) {
  ClearDevice("qv_plain");
  SpoolerPrinter printer;
  std::string error;
  ASSERT_TRUE(printer.open("qv_plain", 80, error));
  EXPECT_TRUE(printer.printText("finish", Newline::No));
  EXPECT_TRUE(printer.FinishJob());
  EXPECT_EQ(WaitForDevice("qv_plain", 6), "finish");
  EXPECT_FALSE(printer.writeBytes("x"));
  EXPECT_TRUE(printer.close(0, 0));  // reports the finish, sends nothing more
  EXPECT_FALSE(printer.close(0, 0));
}

// A spooler whose job refuses a chosen write or its end, and tells how the job ended.
class ScriptedSpooler : public platform::Spooler {
 public:
  struct Script {
    int refusedWrite = 0;  // 1-based; 0: every write is taken
    bool refusesEnd = false;
    std::string ending;  // "finished" or "aborted", once the job ended
  };
  explicit ScriptedSpooler(Script& script) : script_(script) {}
  std::vector<PrinterInfo> listPrinters() override { return {}; }
  std::unique_ptr<platform::SpoolJob> StartRawJob(const std::string&, std::string&) override {
    return std::make_unique<Job>(script_);
  }

 private:
  class Job : public platform::SpoolJob {
   public:
    explicit Job(Script& script) : script_(script) {}
    bool Write(std::string_view) override { return ++writes_ != script_.refusedWrite; }
    bool Finish() override {
      script_.ending = "finished";
      return !script_.refusesEnd;
    }
    bool Abort() override {
      script_.ending = "aborted";
      return true;
    }

   private:
    Script& script_;
    int writes_ = 0;
  };
  Script& script_;
};

TEST(SpoolerPrinterJob, RefusedWriteCancelsTheJobAndRefusedEndFailsIt) {
  struct Case {
    const char* name;
    int refusedWrite;
    bool refusesEnd;
    bool lastWrite;  // the third write's result
    bool closed;
    std::string ending;
  };
  for (const Case& c : std::vector<Case>{
           {"every write taken", 0, false, true, true, "finished"},
           {"end refused", 0, true, true, false, "finished"},
           // Half a ticket must not print: the job is cancelled, and nothing more goes to it.
           {"second write refused", 2, false, false, false, "aborted"},
       }) {
    SCOPED_TRACE(c.name);
    ScriptedSpooler::Script script{c.refusedWrite, c.refusesEnd, ""};
    SpoolerPrinter printer(std::make_unique<ScriptedSpooler>(script));
    std::string error;
    ASSERT_TRUE(printer.open("any", 80, error));
    EXPECT_TRUE(printer.setBold(1));
    (void)printer.printText("part", Newline::No);
    EXPECT_EQ(printer.cut(), c.lastWrite);
    EXPECT_EQ(printer.close(0, 0), c.closed);
    EXPECT_EQ(script.ending, c.ending);
  }
}

TEST_F(SpoolerPrinterTest, AbortedJobPrintsNothing) {
  if (test::RunningUnderWine()) {
    // Wine 8's AbortPrinter is a stub and its ClosePrinter hands every open job to CUPS;
    // on Windows AbortPrinter deletes the job's spool file.
    GTEST_SKIP() << "Wine cannot abort a spooler job";
  }
  ClearDevice("qv_plain");
  std::unique_ptr<platform::Spooler> spooler = platform::Spooler::Create();
  std::string error;
  std::unique_ptr<platform::SpoolJob> cancelled = spooler->StartRawJob("qv_plain", error);
  ASSERT_NE(cancelled, nullptr) << error;
  EXPECT_TRUE(cancelled->Write("half a ticket"));
  EXPECT_TRUE(cancelled->Abort());
  EXPECT_FALSE(cancelled->Write("x"));
  cancelled.reset();
  // Jobs print in order: once the next job is on the device, the cancelled one would be too.
  std::unique_ptr<platform::SpoolJob> next = spooler->StartRawJob("qv_plain", error);
  ASSERT_NE(next, nullptr) << error;
  EXPECT_TRUE(next->Write("whole"));
  EXPECT_TRUE(next->Finish());
  EXPECT_EQ(WaitForDevice("qv_plain", 5), "whole");
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
