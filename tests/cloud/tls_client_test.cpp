// What the Linux transport does about TLS itself, where WinHTTP has the system do it: fetching
// the system's roots, matching an address against the certificate, resuming sessions.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "cloud/http_client.h"
#include "platform/posix/tls_roots.h"
#include "tests/support/test_server.h"

namespace qv {
namespace {

class TlsClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server_ = test::FindTestServer();
    ASSERT_TRUE(server_.found) << "the https_server fixture did not run";
    transport_ = platform::HttpTransport::Create();
  }

  HttpRequestOutput Get(const std::string& path, const std::string& caFile) {
    HttpRequestInput in;
    in.Url = server_.Https(path);
    in.Tls.caFile = caFile;
    in.TimeoutSeconds = 10;
    HttpRequestOutput out;
    HttpRequest(in, out, *transport_);
    return out;
  }

  test::TestServer server_;
  std::unique_ptr<platform::HttpTransport> transport_;
};

TEST_F(TlsClientTest, SystemRootsComeFromTheBundleAsAChainNeedsThem) {
  // A bundle like the system's with the test root among the others, and no ca_file.
  const std::string bundle = server_.caFile + ".bundle";
  {
    std::ofstream out(bundle, std::ios::binary);
    std::ifstream system("/etc/ssl/certs/ca-certificates.crt", std::ios::binary);
    if (system) out << system.rdbuf();
    out << std::ifstream(server_.caFile, std::ios::binary).rdbuf();
  }
  ::setenv("SSL_CERT_FILE", bundle.c_str(), 1);
  // The server hangs up after this answer: the next request needs a new connection.
  const HttpRequestOutput trusted = Get("/close-after", "");
  ::setenv("SSL_CERT_FILE", "/dev/null", 1);
  // The root found stays trusted; a new transport without it in the bundle trusts nothing.
  const HttpRequestOutput again = Get("/status/200", "");
  transport_ = platform::HttpTransport::Create();
  const HttpRequestOutput untrusted = Get("/status/200", "");
  ::unsetenv("SSL_CERT_FILE");

  EXPECT_EQ(trusted.Status, "200 OK") << trusted.Reason;
  EXPECT_EQ(again.Status, "200 OK") << again.Reason;
  EXPECT_EQ(untrusted.Status, kHttpSend);
  EXPECT_NE(untrusted.Reason.find("证书验证失败"), std::string::npos) << untrusted.Reason;
}

TEST_F(TlsClientTest, ANewConnectionResumesTheSession) {
  EXPECT_EQ(Get("/tls", server_.caFile).Body, "new");
  EXPECT_EQ(Get("/close-after", server_.caFile).Status, "200 OK");
  EXPECT_EQ(Get("/tls", server_.caFile).Body, "resumed");
}

TEST(TlsNames, AnAddressMatchesOnlyTheAddressesTheCertificateLists) {
  static const char kPem[] =
      "-----BEGIN CERTIFICATE-----\n"
      "MIIBvDCCAWGgAwIBAgIUZKV9cbupDQlqfI+K8amROqEsDeAwCgYIKoZIzj0EAwIw\n"
      "GDEWMBQGA1UEAwwNcHJpbnRlciBjbG91ZDAgFw0yNjEyMTEwMTI1MjJaGA8yMTI2\n"
      "MTExNzAxMjUyMlowGDEWMBQGA1UEAwwNcHJpbnRlciBjbG91ZDBZMBMGByqGSM49\n"
      "AgEGCCqGSM49AwEHA0IABP4s8KGPR/Bhj6cmcBodbCmRLfgd1D9sYIfRW6e6JxlV\n"
      "Wx3A/tcZ1Q1OsWHEv9KGnR3pKSCqST2l8JIx5AF4xlCjgYYwgYMwHQYDVR0OBBYE\n"
      "FGHUGsj6X2kbhqc+aq0C4xkNES27MB8GA1UdIwQYMBaAFGHUGsj6X2kbhqc+aq0C\n"
      "4xkNES27MA8GA1UdEwEB/wQFMAMBAf8wMAYDVR0RBCkwJ4INY2xvdWQuZXhhbXBs\n"
      "ZYcEwAACB4cQIAENuAAAAAAAAAAAAAAABzAKBggqhkjOPQQDAgNJADBGAiEA31pG\n"
      "s7DA8mSKPaQnTx7LYd6vwosCGsiNsiD3uj2gWugCIQDPoo00EKKI2Y9/WyGC62Dh\n"
      "Q+VT++Wew5CeZ5XZ2lYKZw==\n"
      "-----END CERTIFICATE-----\n";
  mbedtls_x509_crt certificate;
  mbedtls_x509_crt_init(&certificate);
  ASSERT_EQ(mbedtls_x509_crt_parse(&certificate, reinterpret_cast<const unsigned char*>(kPem),
                                   sizeof kPem),
            0);
  for (const auto& [host, named] : std::initializer_list<std::pair<const char*, bool>>{
           {"192.0.2.7", true},
           {"2001:db8::7", true},
           {"192.0.2.8", false},
           {"2001:db8::8", false},
           {"cloud.example", false},  // a name is mbed TLS's to match, not this check's
       }) {
    EXPECT_EQ(platform::posix::CertificateNamesAddress(certificate, host), named) << host;
  }
  mbedtls_x509_crt_free(&certificate);
}

}  // namespace
}  // namespace qv
