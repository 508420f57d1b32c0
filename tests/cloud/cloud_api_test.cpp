// The three cloud requests as the loopback server receives them.
#include "cloud/cloud_api.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cloud/envelope.h"
#include "tests/fakes/fake_clock.h"
#include "tests/support/test_server.h"
#include "util/text.h"

namespace qv {
namespace {

struct Line {
  std::string name, value;
  bool operator==(const Line&) const = default;
};

struct Received {
  std::string requestLine;
  std::vector<Line> headers;  // without the headers the platform adds
  std::string contentLength;
  std::string body;
};

Received Parse(const std::string& raw) {
  Received r;
  size_t headEnd = raw.find("\r\n\r\n");
  r.body = raw.substr(headEnd + 4);
  size_t at = raw.find("\r\n");
  r.requestLine = raw.substr(0, at);
  for (at += 2; at < headEnd;) {
    size_t end = raw.find("\r\n", at);
    std::string line = raw.substr(at, end - at);
    at = end + 2;
    size_t colon = line.find(':');
    size_t value = line.find_first_not_of(' ', colon + 1);
    Line l{line.substr(0, colon), value == std::string::npos ? "" : line.substr(value)};
    if (l.name == "Content-Length") r.contentLength = l.value;
    // Added by the HTTP stack itself (WinHTTP adds Connection: Keep-Alive).
    if (l.name != "Host" && l.name != "Content-Length" && l.name != "Connection") {
      r.headers.push_back(l);
    }
  }
  return r;
}

class CloudApiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server_ = test::FindTestServer();
    ASSERT_TRUE(server_.found) << "the https_server fixture did not run";
    settings_ = {
        .server = server_.HttpsHost(), .token = "null", .sid = "91001", .caFile = server_.caFile};
    auto clock = std::make_unique<testing::FakeClock>(LocalTime{2023, 11, 15, 6, 13, 20, 0});
    api_ = CloudApi::Create([this] { return settings_; }, platform::HttpTransport::Create(),
                            std::move(clock),
                            [this](const std::string& line) { notes_.push_back(line); });
  }

  // The entry header must be one of the eight values the digit draw allows.
  static void ExpectEntry(const std::string& value, const std::string& sid) {
    bool matched = false;
    for (int r = 2; r <= 9; ++r)
      matched = matched || value == ComposeEntryValue(sid, r, "1700000000");
    EXPECT_TRUE(matched) << value;
  }

  test::TestServer server_;
  CloudSettings settings_;
  std::unique_ptr<CloudApi> api_;
  std::vector<std::string> notes_;  // failure lines, in order
};

const std::vector<Line> kDefaults = {
    {"Accept", "text/html, application/xhtml+xml, */*"},
    {"Accept-Encoding", "identity"},
    {"Accept-Language", "zh-cn"},
    {"Content-Type", "application/x-www-form-urlencoded"},
    {"Cache-Control", "no-cache"},
};

TEST_F(CloudApiTest, PollSendsTheStoreHeadersInWireOrderAndNoBody) {
  Received r = Parse(api_->RequestWaitingTasks());
  EXPECT_EQ(r.requestLine, "POST /api/v2/common/local/print/wait HTTP/1.1");
  ASSERT_EQ(r.headers.size(), 9u);
  std::vector<Line> expected = {{"User-Agent", kCloudUserAgent},
                                {"Storeid", "91001"},
                                {"X-Token", "null"},
                                {"Entry", r.headers[3].value}};
  expected.insert(expected.end(), kDefaults.begin(), kDefaults.end());
  EXPECT_EQ(r.headers, expected);
  ExpectEntry(r.headers[3].value, "91001");
  EXPECT_EQ(r.contentLength, "0");
  EXPECT_EQ(r.body, "");
}

TEST_F(CloudApiTest, ReportCarriesKeyAndOutcomeAndTokenOnlyInTheBody) {
  settings_.sid = "92002";  // read afresh for every request (store IDs no other test uses:
                            // the test server scripts answers per store)
  Received r = Parse(api_->SendPrintResult("abc", false));
  EXPECT_EQ(r.requestLine, "POST /api/v2/common/local/print/report HTTP/1.1");
  ASSERT_EQ(r.headers.size(), 10u);
  std::vector<Line> expected = {{"User-Agent", kCloudUserAgent},
                                {"Storeid", "92002"},
                                {"Entry", r.headers[2].value},
                                {"Uk", "abc"},
                                {"Stat", "-1"}};
  expected.insert(expected.end(), kDefaults.begin(), kDefaults.end());
  EXPECT_EQ(r.headers, expected);
  ExpectEntry(r.headers[2].value, "92002");
  EXPECT_EQ(r.body, "X-Token=1");

  EXPECT_NE(api_->SendPrintResult("k", true).find("\r\nStat: 1\r\n"), std::string::npos);
}

TEST_F(CloudApiTest, PrinterListBodyIsSentUnescaped) {
  PrinterListFields f{
      .times = "1700000000", .mac = "00:1A:2B:3C:4D:5E", .md5 = "0123", .plist = "W10=&x"};
  Received r = Parse(api_->SendPrinterList(f));
  EXPECT_EQ(r.requestLine, "POST /api/v2/common/local/print/chk HTTP/1.1");
  EXPECT_EQ(r.headers[2], (Line{"X-Token", "null"}));
  EXPECT_EQ(r.body, "X-Token=1&times=1700000000&mac=00:1A:2B:3C:4D:5E&md5=0123&plist=W10=&x");
  EXPECT_EQ(CloudApi::PrinterListBody(f), r.body);
}

TEST_F(CloudApiTest, ShortStoreIdStillSendsTheEntryHeaderEmpty) {
  settings_.sid = "abc";
  Received r = Parse(api_->RequestWaitingTasks());
  ASSERT_GE(r.headers.size(), 4u);
  EXPECT_EQ(r.headers[3].name, "Entry");
  EXPECT_EQ(r.headers[3].value, "");
}

TEST_F(CloudApiTest, FailedExchangeGivesAnEmptyAnswerAndNotesTheTransportsReason) {
  settings_.server = "localhost:1";
  EXPECT_EQ(api_->RequestWaitingTasks(), "");
  settings_.server = server_.HttpsHost();
  settings_.caFile.clear();  // the test root is not trusted by the system
  EXPECT_EQ(api_->RequestWaitingTasks(), "");
  ASSERT_EQ(notes_.size(), 2u);
  for (const std::string& line : notes_) {
    EXPECT_EQ(line.rfind("云端请求[/api/v2/common/local/print/wait]失败：711 发送请求失败!（", 0),
              0u)
        << line;
  }
}

TEST_F(CloudApiTest, LineBreakInAHeaderValueKeepsTheRequestFromGoingOut) {
  // A store ID from config.ini or a task key from the cloud must not add header lines: the
  // report's outcome could be forged.
  const std::string smuggled = "\r\nX-Smuggled: yes";
  settings_.sid = "91001" + smuggled;
  EXPECT_EQ(api_->RequestWaitingTasks(), "");
  settings_.sid = "91001";
  EXPECT_EQ(api_->SendPrintResult("k" + smuggled, true), "");
  EXPECT_EQ(api_->SendPrintResult(std::string("k\0", 2), true), "");
  EXPECT_EQ(notes_, (std::vector<std::string>{
                        "云端请求[/api/v2/common/local/print/wait]未发送：请求头 Storeid "
                        "含回车、换行或空字符",
                        "云端请求[/api/v2/common/local/print/report]未发送：请求头 uk "
                        "含回车、换行或空字符",
                        "云端请求[/api/v2/common/local/print/report]未发送：请求头 uk "
                        "含回车、换行或空字符"}));
  // The clean request still goes out.
  EXPECT_NE(api_->SendPrintResult("k", true).find("\r\nUk: k\r\n"), std::string::npos);
}

}  // namespace
}  // namespace qv
