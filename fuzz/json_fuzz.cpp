// libFuzzer target: arbitrary bytes through JsonDocument. Whatever the input, parsing must not
// crash, the quick reader must build what nlohmann's parser builds wherever it reads a text at
// all (lone surrogate escapes, which nlohmann refuses, read as U+FFFD), the rewriter must write
// what the writer writes of that value, and a parsed document written as JSON text must read back
// to the same text.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "tests/util/json/same_value.h"
#include "util/json/document.h"
#include "util/json/value.h"

namespace {

// Aborts (which libFuzzer reports with the input) naming the broken expectation.
#define CHECK(condition)                                           \
  do {                                                             \
    if (!(condition)) {                                            \
      std::fprintf(stderr, "json_fuzz: failed: %s\n", #condition); \
      std::abort();                                                \
    }                                                              \
  } while (false)

using qv::json_detail::Value;

using qv::testing::SameValue;

// Reads a few paths the way the service reads a poll answer and a print content.
void ReadLikeThePoller(const qv::JsonDocument& doc) {
  for (const char* path : {"code", "data", "[0]['print_content']", "[0].text", "da[1]", "da"}) {
    qv::JsonDocument sub = doc.SubDocument(path);
    CHECK(doc.SubDocumentText(path) == sub.ToText());
    (void)doc.GetText(path);
    (void)doc.Count(path);
    (void)doc.LeafValues(path, qv::JsonLeaves::Recursive);
    (void)doc.GetNumber(path);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  Value quick;
  int quickDepth = 0;
  const bool quickRead = qv::json_detail::ReadJsonQuickly(input, quick, quickDepth);
  if (quickRead) {
    Value careful;
    int carefulDepth = 0;
    CHECK(qv::json_detail::ParseJsonCarefully(input, careful, nullptr, carefulDepth) ==
          qv::json_detail::ParseResult::Value);
    CHECK(SameValue(quick, careful));
    CHECK(quickDepth == carefulDepth);
    // nlohmann on its own refuses a lone surrogate escape, which the service reads as U+FFFD;
    // with those escapes written as \ufffd (nothing else changes), nlohmann's own parser must
    // read what the quick reader read.
    std::string repaired(input);
    qv::json_detail::ReplaceLoneSurrogates(repaired);
    CHECK(repaired.size() == input.size());
    const Value plain = Value::parse(repaired, nullptr, /*allow_exceptions=*/false);
    CHECK(!plain.is_discarded());
    CHECK(SameValue(quick, plain));
  }
  std::string rewritten;
  if (qv::json_detail::RewriteJsonQuickly(input, rewritten)) {
    CHECK(quickRead);
    std::string written;
    qv::json_detail::AppendJsonText(written, quick);
    CHECK(rewritten == written);
  }
  qv::JsonDocument doc;
  qv::JsonParseError error;
  const bool ok = doc.Parse(input, &error);
  CHECK(ok || error.Number != 0 || doc.ToText().empty() || doc.ToText() == "null");
  CHECK(error.Number == 0 || error.Line >= 1);
  ReadLikeThePoller(doc);

  const std::string text = doc.ToText();
  if (text.empty()) return 0;
  qv::JsonDocument again;
  qv::JsonParseError againError;
  again.Parse(text, &againError);
  CHECK(againError.Number == 0);
  // U+2400 reads as a backslash, so names "a\\" and "a\u2400" become one name on the way
  // round; with the stand-in in the input, the second generation must be stable instead.
  const bool hasStandIn = input.find("\xE2\x90\x80") != std::string_view::npos ||
                          input.find("2400") != std::string_view::npos;
  if (!hasStandIn) {
    CHECK(again.ToText() == text);
  } else {
    const std::string second = again.ToText();
    qv::JsonDocument third;
    third.Parse(second);
    CHECK(third.ToText() == second);
  }

  // Editing must keep the document writable and readable.
  doc.SetText("fuzz", input, qv::JsonValueKind::Json);
  doc.AddElement("list", input, qv::JsonValueKind::Json, qv::JsonInsert::Front);
  qv::JsonDocument edited;
  CHECK(edited.Parse(doc.ToText()) || doc.ToText() == "null");
  return 0;
}
