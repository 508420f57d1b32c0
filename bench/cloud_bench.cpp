// Costs of one cloud request: the text work around it (header block, cookie merge, entry
// value) and a whole HTTPS exchange on loopback against tests/support/test_https_server
// (start it with tests/support/https_server_fixture.sh and set QV_TEST_HTTPS_DIR).
#include <benchmark/benchmark.h>

#include "cloud/cloud_api.h"
#include "cloud/envelope.h"
#include "cloud/http_client.h"
#include "cloud/http_text.h"
#include "tests/support/test_server.h"

namespace qv {
namespace {

void BM_RequestTextLogic(benchmark::State& state) {
  FieldList headers;
  headers.Add("User-Agent", kCloudUserAgent);
  headers.Add("Storeid", "10001");
  headers.Add("X-Token", "null");
  headers.Add("entry", "MwMTAMTcwMDAwMDAwMAwMDE");
  const std::string block = headers.ToHeaderBlock();
  const std::string answer =
      "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nSet-Cookie: sess=abc; Path=/\r\n"
      "Set-Cookie: lang=zh; HttpOnly\r\nContent-Length: 20\r\n\r\n";
  for (auto _ : state) {
    std::string h = BuildHeaderBlock(block, "sess=old; theme=dark", {.method = 1});
    ResponseCookies c = ScanResponseHeaders(answer);
    std::string merged = MergeCookies("sess=old; theme=dark", c.cookies);
    benchmark::DoNotOptimize(h);
    benchmark::DoNotOptimize(merged);
  }
}
BENCHMARK(BM_RequestTextLogic);

void BM_MakeEntryValue(benchmark::State& state) {
  const LocalTime now{2026, 3, 7, 9, 5, 4, 321};
  for (auto _ : state) benchmark::DoNotOptimize(MakeEntryValue("10001", now));
}
BENCHMARK(BM_MakeEntryValue);

void BM_HttpsPollExchange(benchmark::State& state) {
  test::TestServer server = test::FindTestServer();
  if (!server.found) {
    state.SkipWithError("QV_TEST_HTTPS_DIR does not name a running test server");
    return;
  }
  CloudSettings settings{
      .server = server.HttpsHost(), .token = "null", .sid = "10001", .caFile = server.caFile};
  auto api = CloudApi::Create([&] { return settings; }, platform::HttpTransport::Create(),
                              platform::Clock::Create());
  for (auto _ : state) {
    std::string answer = api->RequestWaitingTasks();
    if (answer.empty()) state.SkipWithError("exchange failed");
    benchmark::DoNotOptimize(answer);
  }
}
BENCHMARK(BM_HttpsPollExchange)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace
}  // namespace qv
