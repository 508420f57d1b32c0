// What printing one receipt costs: building its ESC/POS bytes, and the whole network job
// (connect, send, close) against a printer on a loopback address.
#include <benchmark/benchmark.h>

#include <string>
#include <string_view>

#include "printer/escpos.h"
#include "printer/network_printer.h"
#include "tests/fakes/loopback_printer.h"

namespace qv {
namespace {

// A printer whose transfers only count bytes, so the figure is the byte building alone.
class CountingPrinter : public EscPosPrinter {
 public:
  CountingPrinter() : EscPosPrinter(ClosedQrCode::Refuse) { SetOpen(true); }
  size_t bytes = 0;

 protected:
  bool Transfer(std::string_view data) override {
    bytes += data.size();
    return true;
  }
  bool ReleaseTransport() override { return true; }
};

constexpr int kLines = 40;
// About 90 GBK bytes a line, so the whole receipt is about 4 KB.
constexpr std::string_view kChineseLine =
    "宫保鸡丁（微辣，少油，不要花生） x2   单价￥28.00   小计￥56.00   桌号12 备注：打包带走";
// The same length without characters to convert: shows what the conversion costs.
constexpr std::string_view kAsciiLine =
    "Kung Pao chicken (mild, less oil, no peanuts) x2 each 28.00 sum 56.00 table 12 take away";

// The print path's calls for one receipt: per line bold, alignment, size and the text with
// its line end; then the feed and the cut.
void PrintReceipt(EscPosPrinter& printer, std::string_view text) {
  for (int i = 0; i < kLines; ++i) {
    printer.setBold(i % 5 == 0 ? 1 : 0);
    printer.setAlignment(i == 0 ? 2 : 1);
    printer.setCharacterSize(i == 0 ? 1 : 0, i == 0 ? 1 : 0, 1);
    printer.printText(text, Newline::Yes);
  }
  printer.lineFeed(4);
  printer.cut();
}

void BM_BuildReceiptBytes(benchmark::State& state, std::string_view text) {
  CountingPrinter printer;
  for (auto _ : state) {
    PrintReceipt(printer, text);
  }
  benchmark::DoNotOptimize(printer.bytes);
  state.counters["bytes_per_receipt"] =
      static_cast<double>(printer.bytes) / static_cast<double>(state.iterations());
}
BENCHMARK_CAPTURE(BM_BuildReceiptBytes, chinese, kChineseLine);
BENCHMARK_CAPTURE(BM_BuildReceiptBytes, ascii, kAsciiLine);

// Connect (without the ping: it measures the system's ICMP, not ours), send the receipt,
// close; the listener runs on its own thread like a printer on the network.
void BM_NetworkReceipt(benchmark::State& state) {
  testing::LoopbackPrinter listener("127.0.0.31", 9100);
  if (!listener.Listening()) {
    state.SkipWithError("cannot listen on 127.0.0.31:9100");
    return;
  }
  NetworkPrinter printer;
  CountingPrinter sizer;
  PrintReceipt(sizer, kChineseLine);
  for (auto _ : state) {
    if (!printer.connect("127.0.0.31", 9100, 0, 400, 80)) {
      state.SkipWithError("connect failed");
      return;
    }
    PrintReceipt(printer, kChineseLine);
    printer.close(0, 0);
  }
  state.counters["bytes_per_receipt"] = static_cast<double>(sizer.bytes);
}
BENCHMARK(BM_NetworkReceipt)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly();

}  // namespace
}  // namespace qv
