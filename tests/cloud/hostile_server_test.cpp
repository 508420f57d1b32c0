// The HTTP client against a server that lies: cut-off answers, endless interim answers,
// broken framing, and certificates that a browser refuses. Each case is refused or accepted
// as a browser would, over the platform's own stack (libcurl with OpenSSL on Linux, WinHTTP
// under Wine, which skips what it cannot serve and says why).
#include <gtest/gtest.h>

#include <chrono>
#include <iostream>
#include <string>
#include <vector>

#include "cloud/http_client.h"
#include "tests/support/test_server.h"
#include "tests/support/under_wine.h"

namespace qv {
namespace {

class HostileServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server_ = test::FindTestServer();
    ASSERT_TRUE(server_.found) << "the https_server fixture did not run";
    transport_ = platform::HttpTransport::Create();
  }

  HttpRequestOutput Get(const std::string& url, int timeoutSeconds = 10) {
    HttpRequestInput in;
    in.Url = url;
    in.Tls.caFile = server_.caFile;
    in.TimeoutSeconds = timeoutSeconds;
    HttpRequestOutput out;
    HttpRequest(in, out, *transport_);
    return out;
  }

  // The number of the connection the next request goes out on.
  std::string Connection() { return Get(server_.Https("/conn")).Body; }

  test::TestServer server_;
  std::unique_ptr<platform::HttpTransport> transport_;
};

// Skips one case of a table under Wine, saying why.
bool SkippedUnderWine(const std::string& what, const char* why) {
  if (why == nullptr || !test::RunningUnderWine()) return false;
  std::cout << "skipped under Wine: " << what << ": " << why << "\n";
  return true;
}

TEST_F(HostileServerTest, CutOffAndMisframedAnswersAreRefused) {
  struct Case {
    std::string path;
    bool accepted;
    std::string body;                // when accepted
    const char* wineSkip = nullptr;  // why Wine's WinHTTP cannot serve the case
  };
  const char* kWineCut = "Wine's WinHTTP (8.0) ends a chunked body quietly at a TLS end";
  const char* kWineChunk = "Wine's WinHTTP (8.0) takes what it can read of a broken size line";
  for (const Case& c : std::vector<Case>{
           // A body cut off short of its length is no answer, whether the connection ended
           // with a reset or without TLS close_notify; a reset also ends a body that runs to
           // the connection's end.
           {"/cut?by=reset&framing=length", false, ""},
           {"/cut?by=reset&framing=chunked", false, ""},
           {"/cut?by=reset&framing=none", false, ""},
           {"/cut?by=close&framing=length", false, ""},
           {"/cut?by=close&framing=chunked", false, "", kWineCut},
           // A body that runs to the connection's end and ends without close_notify is taken
           // as browsers take it (many servers never send one); a cloud answer cut there is
           // no longer JSON and fails as such.
           {"/cut?by=close&framing=none", true, "{\"tasks\":[{\"id\":1},"},
           // A few interim answers are normal; an endless stream of them is refused at once
           // rather than at the end of the whole exchange's time.
           {"/interim?count=3", true, "final", "Wine's WinHTTP (8.0) fails at an interim answer"},
           {"/interim?count=100000", false, ""},
           // Chunk sizes: hex digits, optionally followed by blanks or an extension.
           {"/chunk-size?line=5", true, "hello"},
           {"/chunk-size?line=5+;ext=1", true, "hello"},
           {"/chunk-size?line=+5", false, "", kWineChunk},
           {"/chunk-size?line=zz", false, ""},
           {"/chunk-size?line=0x5", false, "", kWineChunk},
           // Sizes past 64 bits must not wrap around to a small one.
           {"/chunk-size?line=FFFFFFFFFFFFFFFFF", false, ""},
           {"/chunk-size?line=10000000000000005", false, "", kWineChunk},
           // A transfer coding other than chunked leaves the length to the connection's end
           // (RFC 9112); it is never taken from a Content-Length beside it.
           {"/te-length", false, "", "Wine's WinHTTP (8.0) reads such a body by its length"},
           {"/length-conflict", false, ""},
           {"/loop", false, ""},
       }) {
    if (SkippedUnderWine(c.path, c.wineSkip)) continue;
    const auto start = std::chrono::steady_clock::now();
    const HttpRequestOutput out = Get(server_.Https(c.path));
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(!out.Failed, c.accepted) << c.path << ": " << out.Status << " " << out.Reason;
    if (c.accepted) {
      EXPECT_EQ(out.Body, c.body) << c.path;
    } else {
      EXPECT_FALSE(out.Reason.empty()) << c.path;
    }
    // Refused at once, not at the exchange's time limit (40 s here).
    EXPECT_LT(seconds, 20.0) << c.path;
    // Whatever the answer left on the connection is never read as the next answer.
    const std::string next = Connection();
    EXPECT_EQ(next.rfind("connection ", 0), 0u) << c.path << ": " << next;
  }
}

TEST_F(HostileServerTest, NoConnectionIsUsedAgainAfterAFailure) {
  // /delay answers after the client gave up: a connection used again would deliver that late
  // answer to the next request.
  const std::string before = Connection();
  EXPECT_EQ(Connection(), before);  // kept between good exchanges
  const HttpRequestOutput late = Get(server_.Https("/delay?ms=3000"), 1);
  EXPECT_EQ(late.Status, kHttpNoResponse) << late.Reason;
  const std::string afterTimeout = Connection();
  EXPECT_NE(afterTimeout, before);
  EXPECT_EQ(afterTimeout.rfind("connection ", 0), 0u) << afterTimeout;

  if (test::RunningUnderWine()) return;  // Wine's WinHTTP (8.0) ends a body at a broken chunk
  const HttpRequestOutput broken = Get(server_.Https("/chunked?bad=1"));
  EXPECT_TRUE(broken.Failed);
  EXPECT_NE(Connection(), afterTimeout);
}

TEST_F(HostileServerTest, CertificatesAreJudgedAsBrowsersJudgeThem) {
  struct Case {
    std::string certificate;  // the fixture's name for it; empty: the server's own
    std::string host;
    bool accepted;
    const char* wineSkip = nullptr;
  };
  const char* kWineNames = "Wine's WinHTTP resolves no name under .localhost but localhost";
  const char* kWineAddress = "Wine's WinHTTP (8.0) matches no IP subjectAltName";
  const char* kWineUsage = "Wine's WinHTTP (8.0) accepts a leaf for client authentication only";
  const char* kWineSubject = "Wine's WinHTTP (8.0) matches the common name and DNS entries";
  for (const Case& c : std::vector<Case>{
           {"", "localhost", true},
           // A leaf for client authentication only, or whose key may only sign certificates,
           // is no server's certificate.
           {"eku-client-only", "localhost", false, kWineUsage},
           {"ku-cert-sign-only", "localhost", false},
           // A wildcard may stand for one label of a domain, never for a whole top-level one.
           {"wildcard-domain", "a.qv.localhost", true, kWineNames},
           {"wildcard-tld", "qv.localhost", false, kWineNames},
           // An address is matched against the addresses the certificate lists, never
           // against a name that spells one.
           {"ip-san", "127.0.0.1", true, kWineAddress},
           {"ip-as-dns-name", "127.0.0.1", false, kWineSubject},
           // The common name alone names no host.
           {"cn-only", "localhost", false, kWineSubject},
       }) {
    const std::string what = (c.certificate.empty() ? "own" : c.certificate) + " for " + c.host;
    if (SkippedUnderWine(what, c.wineSkip)) continue;
    const int port = c.certificate.empty() ? server_.httpsPort : server_.CertPort(c.certificate);
    ASSERT_NE(port, 0) << c.certificate << " is not served";
    const std::string url = "https://" + c.host + ":" + std::to_string(port) + "/status/200";
    const HttpRequestOutput direct = Get(url);
    EXPECT_EQ(direct.Status, c.accepted ? "200 OK" : kHttpSend) << what << ": " << direct.Reason;
    // The same check holds for the host a redirect leads to.
    const HttpRequestOutput redirected = Get(server_.Https("/redirect?to=" + url));
    EXPECT_EQ(redirected.Failed, !c.accepted) << what << " (redirected): " << redirected.Reason;
#ifndef _WIN32
    if (!c.accepted) {
      EXPECT_EQ(direct.Reason.rfind("证书验证失败：", 0), 0u) << what << ": " << direct.Reason;
    }
#endif
  }
}

TEST_F(HostileServerTest, CredentialsAndCookiesStayWithTheirOrigin) {
  if (test::RunningUnderWine()) {
    GTEST_SKIP() << "Wine's WinHTTP (8.0) sends the request's own header lines to every host";
  }
  // The same host keeps them across a redirect; another host (here the address, which the
  // certificate does not name, so verification is off) gets neither.
  struct Case {
    std::string to;
    bool kept;
  };
  for (const Case& c : std::vector<Case>{
           {"/echo", true},
           {"https://127.0.0.1:" + std::to_string(server_.httpsPort) + "/echo", false},
       }) {
    HttpRequestInput in;
    in.Url = server_.Https("/redirect?to=" + c.to);
    in.Tls = {.verify = false, .caFile = ""};
    in.Headers = "Authorization: Bearer secret\r\nCookie: session=secret";
    in.TimeoutSeconds = 10;
    HttpRequestOutput out;
    HttpRequest(in, out, *transport_);
    EXPECT_EQ(out.Status, "200 OK") << c.to << ": " << out.Reason;
    EXPECT_EQ(out.Body.find("\r\nAuthorization: Bearer secret\r\n") != std::string::npos, c.kept)
        << c.to << ": " << out.Body;
    EXPECT_EQ(out.Body.find("\r\nCookie: session=secret\r\n") != std::string::npos, c.kept)
        << c.to << ": " << out.Body;
  }
}

TEST_F(HostileServerTest, ANewConnectionResumesTheTlsSession) {
  if (test::RunningUnderWine()) GTEST_SKIP() << "Wine's WinHTTP keeps no TLS session per caller";
  EXPECT_EQ(Get(server_.Https("/tls")).Body, "new");
  EXPECT_EQ(Get(server_.Https("/close-after")).Status, "200 OK");
  EXPECT_EQ(Get(server_.Https("/tls")).Body, "resumed");
}

}  // namespace
}  // namespace qv
