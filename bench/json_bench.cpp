// Reading one poll answer: parse the answer, read code and total, and read the seven fields
// of every task (the JSON text of each member's sub-document, or the text form for the two
// text values), by path text with data taken out as a document of its own (ReadPollAnswer),
// and as polling reads it, each task found once and data read in place
// (ReadPollAnswerInPlace). The answer holds 20
// tasks, each with a print content of 30 lines sent as a string holding the JSON array, as
// the cloud sends it.
#include <benchmark/benchmark.h>

#include <string>

// Texts are built with append rather than chains of "+": GCC 12 at -O3 reports a false
// -Wrestrict on "literal" + std::to_string(...).

#include "util/json/document.h"
#include "util/json/node.h"

namespace {

std::string PrintContent() {
  qv::JsonDocument lines;
  lines.Parse("[]");
  for (int i = 0; i < 30; ++i) {
    std::string line = R"({"type":1,"bold":)";
    line.append(std::to_string(i % 2)).append(R"(,"align":)").append(std::to_string(i % 3 + 1));
    line.append(R"(,"widthEnlarge":1,"heightEnlarge":1,"text":"宫保鸡丁(微辣) x)");
    line.append(std::to_string(i + 1)).append(R"(        ¥28.00"})");
    lines.AddElement("", line, qv::JsonValueKind::Json);
  }
  return lines.ToText();
}

std::string PollAnswer() {
  qv::JsonDocument answer;
  answer.SetNumber("code", 200);
  answer.SetNumber("total", 20);
  answer.SetText("data", "[]", qv::JsonValueKind::Json);
  const std::string content = PrintContent();
  for (int i = 0; i < 20; ++i) {
    qv::JsonDocument task;
    task.SetNumber("app_id", 10001);
    task.SetText("store_id", std::string("S").append(std::to_string(1000 + i)));
    task.SetText("uni_key",
                 std::string("20261210093015-").append(std::to_string(i)).append("-8f3a9c"));
    task.SetNumber("print_type", 1 + i % 3);
    task.SetText("print_sn", std::string("192.168.1.").append(std::to_string(100 + i)));
    task.SetNumber("print_num", 1);
    task.SetText("print_content", content);
    answer.AddElement("data", task.ToText(), qv::JsonValueKind::Json);
  }
  return answer.ToText();
}

void ReadPollAnswer(benchmark::State& state) {
  const std::string body = PollAnswer();
  for (auto _ : state) {
    qv::JsonDocument answer;
    qv::JsonParseError error;
    if (!answer.Parse(body, &error)) state.SkipWithError("answer does not parse");
    benchmark::DoNotOptimize(answer.SubDocumentText("code"));
    benchmark::DoNotOptimize(answer.SubDocumentText("total"));
    const qv::JsonDocument data = answer.SubDocument("data");
    const int n = data.Count("");
    for (int i = 0; i < n; ++i) {
      std::string at = "[";
      at.append(std::to_string(i)).append("]");
      benchmark::DoNotOptimize(data.SubDocumentText(at + "['app_id']"));
      benchmark::DoNotOptimize(data.SubDocumentText(at + "['store_id']"));
      benchmark::DoNotOptimize(data.GetText(at + "['uni_key']"));
      benchmark::DoNotOptimize(data.SubDocumentText(at + "['print_type']"));
      benchmark::DoNotOptimize(data.GetText(at + "['print_sn']"));
      benchmark::DoNotOptimize(data.SubDocumentText(at + "['print_num']"));
      benchmark::DoNotOptimize(data.SubDocumentText(at + "['print_content']"));
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * body.size()));
  state.counters["answer_bytes"] = static_cast<double>(body.size());
}
BENCHMARK(ReadPollAnswer)->Unit(benchmark::kMicrosecond);

// The same reads as polling makes them: each task found once and its members read there,
// data read in place.
void ReadPollAnswerInPlace(benchmark::State& state) {
  const std::string body = PollAnswer();
  for (auto _ : state) {
    qv::JsonDocument answer;
    qv::JsonParseError error;
    if (!answer.Parse(body, &error)) state.SkipWithError("answer does not parse");
    const qv::JsonNode root(answer);
    benchmark::DoNotOptimize(root.Member("code").SubDocumentText());
    benchmark::DoNotOptimize(root.Member("total").SubDocumentText());
    const qv::JsonNode data = root.Member("data");
    const int n = data.Count();
    for (int i = 0; i < n; ++i) {
      const qv::JsonNode task = data.Element(i);
      benchmark::DoNotOptimize(task.Member("app_id").SubDocumentText());
      benchmark::DoNotOptimize(task.Member("store_id").SubDocumentText());
      benchmark::DoNotOptimize(task.Member("uni_key").Text());
      benchmark::DoNotOptimize(task.Member("print_type").SubDocumentText());
      benchmark::DoNotOptimize(task.Member("print_sn").Text());
      benchmark::DoNotOptimize(task.Member("print_num").SubDocumentText());
      benchmark::DoNotOptimize(task.Member("print_content").SubDocumentText());
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * body.size()));
}
BENCHMARK(ReadPollAnswerInPlace)->Unit(benchmark::kMicrosecond);

// The parse alone, to show how the time divides.
void ParsePollAnswer(benchmark::State& state) {
  const std::string body = PollAnswer();
  for (auto _ : state) {
    qv::JsonDocument answer;
    benchmark::DoNotOptimize(answer.Parse(body));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * body.size()));
}
BENCHMARK(ParsePollAnswer)->Unit(benchmark::kMicrosecond);

// Writing the parsed answer back as JSON text, the other half of taking data out.
void WritePollAnswer(benchmark::State& state) {
  const std::string body = PollAnswer();
  qv::JsonDocument answer;
  answer.Parse(body);
  for (auto _ : state) benchmark::DoNotOptimize(answer.ToText());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * body.size()));
}
BENCHMARK(WritePollAnswer)->Unit(benchmark::kMicrosecond);

// One print content (30 lines) read out of its string and written back, 20 of which make up
// most of ReadPollAnswer: through a document of its own (many small values, so allocation
// shows) and rewritten straight from the string as polling does.
void ReadPrintContentThroughDocument(benchmark::State& state) {
  qv::JsonDocument task;
  task.SetText("print_content", PrintContent());
  for (auto _ : state) benchmark::DoNotOptimize(task.SubDocument("print_content").ToText());
}
BENCHMARK(ReadPrintContentThroughDocument)->Unit(benchmark::kMicrosecond);

void RewritePrintContent(benchmark::State& state) {
  qv::JsonDocument task;
  task.SetText("print_content", PrintContent());
  for (auto _ : state) benchmark::DoNotOptimize(task.SubDocumentText("print_content"));
}
BENCHMARK(RewritePrintContent)->Unit(benchmark::kMicrosecond);

}  // namespace
