// The network printer against TCP listeners on loopback addresses.
#include "printer/network_printer.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/fakes/loopback_printer.h"

namespace qv {
namespace {

using testing::LoopbackPrinter;

// Addresses of this program's listeners; other test programs use other ones, and the
// Linux, 32-bit and 64-bit Windows runs each have their own so they may run side by side.
#if defined(_WIN64)
constexpr const char* kPrinterAddress = "127.0.0.23";
#elif defined(_WIN32)
constexpr const char* kPrinterAddress = "127.0.0.22";
#else
constexpr const char* kPrinterAddress = "127.0.0.21";
#endif
constexpr const char* kSilentAddress = "127.0.0.29";  // nothing listens here
constexpr int kPort = 9100;

std::string B(std::initializer_list<int> bytes) {
  std::string out;
  for (int b : bytes) out += static_cast<char>(b);
  return out;
}

// The system's sockets, with the ping answered as a test says and every call counted.
class ScriptedNetwork : public platform::Network {
 public:
  struct Log {
    std::vector<int> pingTimeouts;
    std::vector<int> connectTimeouts;
  };
  ScriptedNetwork(std::shared_ptr<Log> log, platform::PingResult::Status ping)
      : log_(std::move(log)), ping_(ping) {}

  std::unique_ptr<platform::TcpConnection> ConnectTcp(const std::string& ipv4, int port,
                                                      int timeoutMs) override {
    log_->connectTimeouts.push_back(timeoutMs);
    return real_->ConnectTcp(ipv4, port, timeoutMs);
  }
  platform::PingResult Ping(const std::string&, int timeoutMs) override {
    log_->pingTimeouts.push_back(timeoutMs);
    return {ping_, ping_ == platform::PingResult::Status::Reply ? 0 : -1};
  }

 private:
  std::unique_ptr<platform::Network> real_ = platform::Network::Create();
  std::shared_ptr<Log> log_;
  platform::PingResult::Status ping_;
};

class NetworkPrinterTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(listener_.Listening()) << "cannot listen on 9100"; }
  LoopbackPrinter listener_{kPrinterAddress, kPort, LoopbackPrinter::ReceiveBuffer::Small};
};

TEST_F(NetworkPrinterTest, PrintsTheExactBytesAndClosesWithFeedAndCut) {
  NetworkPrinter printer;
  ASSERT_TRUE(printer.connect(kPrinterAddress, kPort, 400, 400, 80));
  EXPECT_TRUE(printer.isOpen());
  EXPECT_EQ(printer.paperWidth(), 80);
  EXPECT_TRUE(printer.setBold(1));
  EXPECT_TRUE(printer.setAlignment(2));
  EXPECT_TRUE(printer.setCharacterSize(1, 1, 1));
  EXPECT_TRUE(printer.printText("合计", Newline::Yes));
  EXPECT_TRUE(printer.setEscHashMode(0x1ff));
  EXPECT_TRUE(printer.printRasterImage("\xaa\x55", 2, 1, 3));
  EXPECT_TRUE(printer.close(2, 1));
  ASSERT_TRUE(listener_.WaitForClosedJobs(1, 5000));

  const std::string expected =
      B({0x1b, 0x45, 1,    0x1b, 0x61, 1,    0x1d, 0x21, 0x11, 0xba, 0xcf, 0xbc, 0xc6,
         '\r', '\n', 0x1b, 0x23, 0xff, 0x1b, 0x61, 2,    0x1d, 0x76, 0x30, 0,    2,
         0,    1,    0,    0xaa, 0x55, '\r', '\n', '\r', '\n', 0x1b, 0x6d});
  EXPECT_EQ(listener_.Jobs(), std::vector<std::string>{expected});

  // Still "open" after close, but nothing reaches the printer any more.
  EXPECT_TRUE(printer.isOpen());
  EXPECT_FALSE(printer.setBold(1));
  EXPECT_FALSE(printer.close(0, 0));
  EXPECT_EQ(listener_.Bytes(), expected);
}

TEST_F(NetworkPrinterTest, RefusedConnectionLeavesThePrinterClosed) {
  NetworkPrinter printer;
  ASSERT_TRUE(printer.connect(kPrinterAddress, kPort, 400, -5, 80));
  EXPECT_EQ(printer.ioTimeoutMs(), 0);  // negative means no limit

  EXPECT_FALSE(printer.connect(kSilentAddress, kPort, 400, 400, 58));
  EXPECT_FALSE(printer.isOpen());
  EXPECT_EQ(printer.Address(), kSilentAddress);
  EXPECT_EQ(printer.paperWidth(), 58);
  EXPECT_FALSE(printer.setBold(1));
  EXPECT_FALSE(printer.printText("x", Newline::Yes));
  EXPECT_FALSE(printer.close(0, 0));
}

TEST_F(NetworkPrinterTest, ReachabilityCheckDecidesWhetherToConnect) {
  using Status = platform::PingResult::Status;
  struct Case {
    const char* name;
    Status ping;
    int pingTimeoutMs;
    bool connected;
    std::vector<int> pings;
    std::vector<int> connects;  // the probe (ping timeout) and the connect (3 s)
  };
  for (const Case& c : std::vector<Case>{
           {"answers", Status::Reply, 400, true, {400}, {3000}},
           {"silent", Status::NoReply, 400, false, {400}, {}},
           {"no ping at 1 ms", Status::NoReply, 1, true, {}, {3000}},
           {"no ping at 0 ms", Status::NoReply, 0, true, {}, {3000}},
           {"no ICMP rights", Status::NoPermission, 400, true, {400}, {400, 3000}},
       }) {
    SCOPED_TRACE(c.name);
    auto log = std::make_shared<ScriptedNetwork::Log>();
    NetworkPrinter printer(std::make_unique<ScriptedNetwork>(log, c.ping));
    EXPECT_EQ(printer.connect(kPrinterAddress, kPort, c.pingTimeoutMs, 400, 80), c.connected);
    EXPECT_EQ(printer.isOpen(), c.connected);
    EXPECT_EQ(log->pingTimeouts, c.pings);
    EXPECT_EQ(log->connectTimeouts, c.connects);
    // A failed reachability check changes nothing else.
    EXPECT_EQ(printer.Address(), c.connected ? kPrinterAddress : "");
    EXPECT_EQ(printer.paperWidth(), c.connected ? 80 : 0);
  }
}

TEST_F(NetworkPrinterTest, WithoutIcmpRightsAClosedPortCountsAsUnreachable) {
  auto log = std::make_shared<ScriptedNetwork::Log>();
  NetworkPrinter printer(
      std::make_unique<ScriptedNetwork>(log, platform::PingResult::Status::NoPermission));
  EXPECT_FALSE(printer.connect(kSilentAddress, kPort, 400, 400, 80));
  EXPECT_EQ(log->connectTimeouts, std::vector<int>{400});
}

TEST_F(NetworkPrinterTest, RealPingReachesLoopbackAndNamesNeverConnect) {
  NetworkPrinter printer;
  EXPECT_TRUE(printer.connect(kPrinterAddress, kPort, 1000, 400, 80));
  // "localhost" answers the ping, but TCP takes dotted addresses only.
  EXPECT_FALSE(printer.connect("localhost", kPort, 1000, 400, 80));
  EXPECT_EQ(printer.Address(), "localhost");
  EXPECT_FALSE(printer.isOpen());
}

TEST_F(NetworkPrinterTest, StalledPrinterFailsTheSendAfterTheTimeout) {
  NetworkPrinter printer;
  ASSERT_TRUE(printer.connect(kPrinterAddress, kPort, 0, 200, 80));
  listener_.Stall();
  // Far more than the socket buffers hold, so the send must wait for the printer.
  const std::string image(16 << 20, '\x01');
  EXPECT_FALSE(printer.printRasterImage(image, 1, 1, 1));
}

TEST_F(NetworkPrinterTest, SlowPrinterGetsEveryByteOrTheSendFails) {
  listener_.ReadSlowly(8192, 2);
  std::string image(1 << 20, '\0');
  for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<char>(i * 7);

  NetworkPrinter patient;  // no I/O limit: waits until all bytes are taken
  ASSERT_TRUE(patient.connect(kPrinterAddress, kPort, 0, 0, 80));
  EXPECT_TRUE(patient.printRasterImage(image, 1, 1, 0));
  EXPECT_TRUE(patient.close(0, 0));
  ASSERT_TRUE(listener_.WaitForClosedJobs(1, 20000));
  EXPECT_EQ(listener_.Bytes(), B({0x1d, 0x76, 0x30, 0, 1, 0, 1, 0}) + image);

  // With a limit shorter than the printer's pauses, part of the data is not success.
  listener_.ReadSlowly(4096, 500);
  NetworkPrinter hurried;
  ASSERT_TRUE(hurried.connect(kPrinterAddress, kPort, 0, 100, 80));
  EXPECT_FALSE(hurried.printRasterImage(std::string(16 << 20, 'x'), 1, 1, 0));
}

TEST(NetworkPrinterSlow, KeepsSendingWhileThePrinterReadsAndResetsATicketGivenUp) {
  struct Case {
    const char* name;
    size_t chunk;  // what the printer reads at a time
    int delayMs;   // and how long it waits between reads
    size_t ticketBytes;
    size_t pieceBytes;  // sent at a time: a receipt's operations, or an image in one piece
    LoopbackPrinter::ReceiveBuffer buffer;
    bool delivered;
  };
  using Buffer = LoopbackPrinter::ReceiveBuffer;
  for (const Case& c : std::vector<Case>{
           // Slower than any send may take: given up, and the rest must never print.
           {"100 bytes a second", 10, 100, 200 << 10, 4 << 10, Buffer::Small, false},
           // An image far larger than the socket buffers: its send takes many times the I/O
           // limit, but the printer takes bytes all the time.
           {"3 MB a second", 64 << 10, 20, 16 << 20, 16 << 20, Buffer::System, true},
       }) {
    SCOPED_TRACE(c.name);
    LoopbackPrinter listener(kPrinterAddress, kPort, c.buffer);
    ASSERT_TRUE(listener.Listening());
    listener.ReadSlowly(c.chunk, c.delayMs);
    NetworkPrinter printer;
    ASSERT_TRUE(printer.connect(kPrinterAddress, kPort, 0, 400, 80));
    std::string ticket;
    bool sent = true;
    for (size_t i = 0; sent && ticket.size() < c.ticketBytes; ++i) {
      const std::string piece(c.pieceBytes, static_cast<char>('a' + i % 26));
      ticket += piece;
      sent = printer.printText(piece, Newline::No);
    }
    const bool confirmed = sent && printer.DeliveryConfirmed();
    EXPECT_EQ(confirmed, c.delivered);
    if (!confirmed) {
      // However fast the printer reads from now on, it gets nothing more of the ticket.
      listener.ReadSlowly(65536, 0);
      ASSERT_TRUE(listener.WaitForClosedJobs(1, 5000));
#ifndef _WIN32
      // Under Wine the listener's recv ends with 0 after the reset, as after an orderly end;
      // there only the bytes tell.
      EXPECT_EQ(listener.ResetJobs(), 1u);
#endif
      EXPECT_LT(listener.Bytes().size(), ticket.size());
      EXPECT_EQ(ticket.compare(0, listener.Bytes().size(), listener.Bytes()), 0);
      EXPECT_FALSE(printer.close(0, 0));
    } else {
      EXPECT_TRUE(printer.close(0, 0));
      ASSERT_TRUE(listener.WaitForClosedJobs(1, 5000));
      EXPECT_EQ(listener.ResetJobs(), 0u);
      EXPECT_EQ(listener.Bytes(), ticket + "\x1b\x76");
    }
  }
}

TEST_F(NetworkPrinterTest, AnswerLeftUnreadDoesNotCostTheJobsLastBytes) {
  // The printer answers a status question inside the job; nobody reads the answer. A close
  // with unread bytes would reset the connection and drop what still waits to be sent.
  listener_.Answer("\x1b\x76", std::string(1, '\0'));
  listener_.ReadSlowly(8192, 2);
  const std::string rest(512 << 10, 'r');
  NetworkPrinter printer;
  ASSERT_TRUE(printer.connect(kPrinterAddress, kPort, 0, 0, 80));
  ASSERT_TRUE(printer.printText("\x1b\x76", Newline::No));
  ASSERT_TRUE(printer.printText(rest, Newline::No));
  EXPECT_TRUE(printer.close(0, 0));
  ASSERT_TRUE(listener_.WaitForClosedJobs(1, 20000));
  EXPECT_EQ(listener_.Bytes().size(), 2 + rest.size());
}

TEST(NetworkPrinterDelivery, ConfirmedOnlyByAnAnswerOrTheAcknowledgementOfEveryByte) {
  enum class Printer { Answers, NeverAnswers, StopsReading, HangsUp };
  struct Case {
    const char* name;
    Printer printer;
    size_t ticketBytes;
    bool confirmed;
  };
  // 12 KB is more than the stand-in's small receive buffer and less than what our side
  // buffers: the send succeeds whether or not the printer takes the bytes. A printer that
  // hangs up must do so with bytes unread, so it gets more than any buffer holds.
  for (const Case& c : std::vector<Case>{
           {"answers the question after the ticket", Printer::Answers, 12 << 10, true},
           {"reads everything, answers nothing", Printer::NeverAnswers, 12 << 10, true},
           {"stops reading with the ticket unread", Printer::StopsReading, 12 << 10, false},
           {"hangs up with the ticket unread", Printer::HangsUp, 256 << 10, false},
       }) {
    SCOPED_TRACE(c.name);
    LoopbackPrinter listener(kPrinterAddress, kPort, LoopbackPrinter::ReceiveBuffer::Small);
    ASSERT_TRUE(listener.Listening());
    if (c.printer == Printer::Answers) listener.Answer("\x1b\x76", std::string(1, '\0'));
    if (c.printer == Printer::StopsReading) listener.Stall();
    if (c.printer == Printer::HangsUp) listener.CloseAfter(10);
    NetworkPrinter printer;
    ASSERT_TRUE(printer.connect(kPrinterAddress, kPort, 0, 1000, 80));
    const std::string ticket(c.ticketBytes, 't');
    const bool sent = printer.printText(ticket, Newline::No);
#ifndef _WIN32
    // Under Wine the zero send buffer is the host's smallest, which may not hold it all.
    if (c.printer != Printer::HangsUp) {
      EXPECT_TRUE(sent);
    }
#endif
    if (c.printer == Printer::HangsUp) {
      ASSERT_TRUE(listener.WaitForClosedJobs(1, 5000));
    }
    EXPECT_EQ(sent && printer.DeliveryConfirmed(), c.confirmed);
    (void)printer.close(0, 0);
    if (c.confirmed) {
      ASSERT_TRUE(listener.WaitForClosedJobs(1, 5000));
      EXPECT_EQ(listener.Jobs().back(), ticket + "\x1b\x76");
    }
  }
}

TEST(NetworkPrinterDelivery, LateAnswerToTheQuestionBeforeTheTicketConfirmsNothing) {
  // The printer answers the paper question only after the short wait for it, then reads
  // nothing more: its late answer is not the answer to the question after the ticket.
  LoopbackPrinter listener(kPrinterAddress, kPort, LoopbackPrinter::ReceiveBuffer::Small);
  ASSERT_TRUE(listener.Listening());
  listener.Answer("\x1b\x76", std::string(1, '\0'));
  listener.AnswerAfter(400);
  NetworkPrinter printer;
  ASSERT_TRUE(printer.connect(kPrinterAddress, kPort, 0, 1000, 80));
  EXPECT_EQ(printer.ReadPaperState(100), NetworkPrinter::PaperState::Unknown);
  listener.Stall();  // takes effect once it has read the question and answered it
  const bool sent = printer.printText(std::string(12 << 10, 't'), Newline::No);
#ifndef _WIN32
  EXPECT_TRUE(sent);
#endif
  EXPECT_FALSE(sent && printer.DeliveryConfirmed());
}

TEST_F(NetworkPrinterTest, PrinterHangingUpMidJobFailsSendsWithoutKillingTheProcess) {
  listener_.CloseAfter(10);
  NetworkPrinter printer;
  ASSERT_TRUE(printer.connect(kPrinterAddress, kPort, 0, 1000, 80));
  ASSERT_TRUE(printer.printText("0123456789", Newline::No));
  // Held bytes go out before the driver waits for the printer; it hangs up on them.
  EXPECT_EQ(printer.ReadPaperState(100), NetworkPrinter::PaperState::Unknown);
  ASSERT_TRUE(listener_.WaitForClosedJobs(1, 5000));
  // The first sends after the hang-up may still be buffered; a later one must fail.
  bool failed = false;
  for (int i = 0; i < 50 && !failed; ++i) {
    failed = !printer.printText(std::string(4096, 'x'), Newline::Yes);
  }
  EXPECT_TRUE(failed);
  EXPECT_EQ(listener_.Bytes(), "0123456789\x1b\x76");
}

TEST(NetworkPrinterStatus, CheckStatusTextReadsThePaperSensor) {
  struct Case {
    std::string reply;  // empty: the printer does not answer
    std::string text;
    std::string lastError;
  };
  for (const Case& c : std::vector<Case>{
           {std::string(1, '\0'), "打印机正常", ""},
           {"\x0c", "缺纸或纸盖开启", ""},
           {std::string("\x0c\0", 2), "其他错误", "\x0c"},
           {"ERR", "其他错误", "ERR"},
           {"", "通讯故障或超时", ""},
       }) {
    SCOPED_TRACE(c.text);
    LoopbackPrinter listener(kPrinterAddress, kPort);
    ASSERT_TRUE(listener.Listening());
    if (!c.reply.empty()) listener.Answer("\x1b\x76", c.reply);
    NetworkPrinter printer;
    ASSERT_TRUE(printer.connect(kPrinterAddress, kPort, 0, 300, 80));
    EXPECT_EQ(printer.checkStatusText(1000), c.text);
    EXPECT_EQ(printer.lastError(), c.lastError);
  }
  NetworkPrinter neverConnected;
  EXPECT_EQ(neverConnected.checkStatusText(200), "通讯故障或超时");
}

TEST(NetworkPrinterStatus, PaperStateIsOutOnlyForTheOneByteAnswer0C) {
  using State = NetworkPrinter::PaperState;
  struct Case {
    std::string reply;  // empty: the printer does not answer
    State state;
  };
  for (const Case& c : std::vector<Case>{
           {std::string(1, '\0'), State::Present},
           {"\x0c", State::Out},
           {"\x2d", State::Present},  // a print-head temperature of 45 has bits 2 and 3 set
           {"\x2f", State::Present},
           {std::string("\x0c\0", 2), State::Present},  // not the one-byte answer
           {"\x03", State::Present},
           {"", State::Unknown},
       }) {
    SCOPED_TRACE(::testing::PrintToString(c.reply));
    LoopbackPrinter listener(kPrinterAddress, kPort);
    ASSERT_TRUE(listener.Listening());
    if (!c.reply.empty()) listener.Answer("\x1b\x76", c.reply);
    NetworkPrinter printer;
    ASSERT_TRUE(printer.connect(kPrinterAddress, kPort, 0, 300, 80));
    EXPECT_EQ(printer.ReadPaperState(c.reply.empty() ? 100 : 2000), c.state);
    EXPECT_TRUE(printer.close(0, 0));
    ASSERT_TRUE(listener.WaitForClosedJobs(1, 5000));
    EXPECT_EQ(listener.Bytes(), "\x1b\x76");
  }
  NetworkPrinter neverConnected;
  EXPECT_EQ(neverConnected.ReadPaperState(100), State::Unknown);
}

TEST(NetworkPrinterStatus, QueryStatusReadsEachReply) {
  LoopbackPrinter listener(kPrinterAddress, kPort);
  ASSERT_TRUE(listener.Listening());
  listener.Answer("\x1d\x72\x01", "\x16");
  listener.Answer("\x1d\x72\x02", "\x04");
  listener.Answer("\x1b\x76", "\x2d");
  listener.Answer("\x1d\x49\x41", std::string("QV-80\0", 6));
  NetworkPrinter printer;
  ASSERT_TRUE(printer.connect(kPrinterAddress, kPort, 0, 300, 80));
  EXPECT_EQ(printer.queryStatus(3, true), "{\"打印头温度\":45}");
  EXPECT_EQ(printer.queryStatus(2, false),
            "{\"联机状态\":真,\"错误标志\":真,\"低纸预警\":假,\"缺纸状态\":假,"
            "\"钱箱状态\":真,\"切刀故障\":假,\"打印头温度\":45,\"固件版本\":\"QV-80\"}");
}

}  // namespace
}  // namespace qv
