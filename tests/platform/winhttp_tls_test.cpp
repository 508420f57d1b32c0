// WinHTTP sessions ask for TLS 1.2 (and 1.3 where the system takes the flag), and an exchange
// with a server that speaks TLS 1.2 alone succeeds. The server is `openssl s_server -tls1_2`,
// started by winhttp_tls12_wine.sh, which passes its port in QV_TLS12_ONLY_PORT.
#include "platform/win32/winhttp_tls.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/http_transport.h"
#include "tests/support/test_server.h"

namespace qv::platform {
namespace {

TEST(WinHttpTls, SessionAsksForTls12AndNothingOlder) {
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
  ASSERT_TRUE(queried) << GetLastError();
  EXPECT_TRUE(protocols & WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2) << std::hex << protocols;
  const DWORD older = WINHTTP_FLAG_SECURE_PROTOCOL_SSL2 | WINHTTP_FLAG_SECURE_PROTOCOL_SSL3 |
                      WINHTTP_FLAG_SECURE_PROTOCOL_TLS1 | WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_1;
  EXPECT_EQ(protocols & older, 0u) << std::hex << protocols;
  // The 1.3 flag is in the value exactly when the system took it.
  EXPECT_EQ((protocols & 0x2000) != 0, request == win32::TlsRequest::Tls12And13)
      << std::hex << protocols;
  // A system that takes the request has nothing to say in the run log.
  EXPECT_EQ(TlsVersionNote(), "");
}

TEST(WinHttpTls, ExchangesWithATls12OnlyServer) {
  const char* port = std::getenv("QV_TLS12_ONLY_PORT");
  const test::TestServer server = test::FindTestServer();
  if (!port || !server.found) GTEST_SKIP() << "run by winhttp_tls12_wine.sh";
  HttpTransportRequest request;
  request.secure = true;
  request.host = "localhost";  // the name in the certificate: WinHTTP matches no IP names
  request.port = std::atoi(port);
  request.tls.caFile = server.caFile;
  HttpTransportResponse response;
  ASSERT_EQ(HttpTransport::Create()->Exchange(request, response), HttpFailure::None)
      << response.reason;
  // s_server -www answers with its status page, which names the protocol in use.
  EXPECT_NE(response.body.find("TLSv1.2"), std::string::npos) << response.body;
}

}  // namespace
}  // namespace qv::platform
