#include "core/printer_status/printer_recheck.h"

#include <gtest/gtest.h>

#include "tests/fakes/loopback_printer.h"

namespace qv {
namespace {

// Addresses of this program's listeners; the Linux, 32-bit and 64-bit Windows runs each have
// their own so they may run side by side.
#if defined(_WIN64)
constexpr const char* kPrinterAddress = "127.0.0.133";
#elif defined(_WIN32)
constexpr const char* kPrinterAddress = "127.0.0.132";
#else
constexpr const char* kPrinterAddress = "127.0.0.131";
#endif
constexpr const char* kSilentAddress = "127.0.0.139";  // nothing listens here
constexpr int kPort = 9100;
const std::string kPaperQuestion = "\x1b\x76";

// The recheck asks the paper question and nothing else: not a byte that would print or cut.
TEST(PrinterRecheck, AsksThePaperQuestionOnlyAndReadsItsAnswer) {
  struct Case {
    const char* what;
    const char* answer;  // nullptr: the printer keeps quiet
    CheckOutcome outcome;
  };
  for (const Case& c : std::vector<Case>{
           {"paper back", "\x00", CheckOutcome::Ready},
           {"still out of paper", "\x0c", CheckOutcome::PaperOut},
           {"a temperature byte", "\x2d", CheckOutcome::Ready},
           {"no answer", nullptr, CheckOutcome::CannotTell},
       }) {
    SCOPED_TRACE(c.what);
    testing::LoopbackPrinter listener(kPrinterAddress, kPort);
    ASSERT_TRUE(listener.Listening());
    if (c.answer) listener.Answer(kPaperQuestion, std::string(c.answer, 1));
    NetworkPrinter printer;
    EXPECT_EQ(RecheckNetworkPrinter(printer, kPrinterAddress, kPort, 300), c.outcome);
    ASSERT_TRUE(listener.WaitForClosedJobs(1, 5000));
    EXPECT_EQ(listener.Bytes(), kPaperQuestion);
  }
  NetworkPrinter printer;
  EXPECT_EQ(RecheckNetworkPrinter(printer, kSilentAddress, kPort, 300), CheckOutcome::Unreachable);
}

}  // namespace
}  // namespace qv
