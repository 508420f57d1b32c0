// WinHTTP sessions ask for TLS 1.2 (and 1.3 where the system takes the flag), and an exchange
// with a server that speaks TLS 1.2 alone succeeds. The server is tls12_only_server.py,
// started by winhttp_tls12_wine.sh, which passes its port in QV_TLS12_ONLY_PORT.
#include "platform/win32/winhttp_tls.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/http_transport.h"
#include "tests/support/test_server.h"
#include "tests/support/under_wine.h"

namespace qv::platform {
namespace {

constexpr DWORD kTls12 = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2;
constexpr DWORD kBoth = kTls12 | win32::kSecureProtocolTls13;

TEST(WinHttpTls, AsksWithTls13ThenWithoutThenLeavesTheDefaults) {
  struct Case {
    const char* system;
    std::vector<DWORD> accepted;
    win32::TlsRequest result;
    std::vector<DWORD> tried;
  };
  for (const Case& c : std::vector<Case>{
           {"Windows 11", {kBoth, kTls12}, win32::TlsRequest::Tls12And13, {kBoth}},
           {"Windows 7 with KB3140245", {kTls12}, win32::TlsRequest::Tls12, {kBoth, kTls12}},
           {"Windows 7 without it", {}, win32::TlsRequest::SystemDefaults, {kBoth, kTls12}}}) {
    std::vector<DWORD> tried;
    const win32::TlsRequest result = win32::RequestModernTls([&](DWORD protocols) {
      tried.push_back(protocols);
      return std::find(c.accepted.begin(), c.accepted.end(), protocols) != c.accepted.end();
    });
    EXPECT_EQ(result, c.result) << c.system;
    EXPECT_EQ(tried, c.tried) << c.system;
  }
}

TEST(WinHttpTls, SessionTakesTheRequest) {
  HINTERNET session = WinHttpOpen(nullptr, WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                  WINHTTP_NO_PROXY_BYPASS, 0);
  ASSERT_NE(session, nullptr);
  const win32::TlsRequest request = win32::RequestModernTls(session);
  DWORD protocols = 0;
  DWORD size = sizeof protocols;
  const bool queried =
      WinHttpQueryOption(session, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, &size);
  WinHttpCloseHandle(session);

  ASSERT_NE(request, win32::TlsRequest::SystemDefaults);
  // A system that takes the request has nothing to say in the run log.
  EXPECT_EQ(TlsVersionNote(), "");
  if (!queried && test::RunningUnderWine()) {
    GTEST_SKIP() << "Wine 8's WinHttpQueryOption does not answer WINHTTP_OPTION_SECURE_PROTOCOLS";
  }
  ASSERT_TRUE(queried);
  EXPECT_EQ(protocols, request == win32::TlsRequest::Tls12And13 ? kBoth : kTls12)
      << std::hex << protocols;
}

TEST(WinHttpTls, ExchangesWithATls12OnlyServer) {
  const char* port = std::getenv("QV_TLS12_ONLY_PORT");
  const test::TestServer server = test::FindTestServer();
  if (!port || !server.found) GTEST_SKIP() << "run by winhttp_tls12_wine.sh";
  HttpTransportRequest request;
  request.secure = true;
  request.host = "localhost";  // the name in the certificate: WinHTTP matches no IP names
  request.port = std::atoi(port);
  request.timeoutMs = 10000;
  request.tls.caFile = server.caFile;
  HttpTransportResponse response;
  ASSERT_EQ(HttpTransport::Create()->Exchange(request, response), HttpFailure::None)
      << response.reason;
  // The server answers with the protocol of the connection.
  EXPECT_EQ(response.body, "TLSv1.2");
}

}  // namespace
}  // namespace qv::platform
