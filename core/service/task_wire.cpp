#include "core/service/task_wire.h"

#include <algorithm>

#include "util/json/node.h"
#include "util/text.h"

namespace qv {
namespace {

// The members of one object (an element of the answer's data, a content line, or the
// answer itself) as the cloud sends them. The object is found once; each member is then one
// lookup among its neighbours.
class WireObject {
 public:
  explicit WireObject(JsonNode at) : at_(at) {}

  // The member's compact JSON text; a string holding JSON text gives that text.
  std::string JsonText(std::string_view name) const { return at_.Member(name).SubDocumentText(); }
  // The member's text form: a string as it is, a number in its shortest form.
  std::string Text(std::string_view name) const { return at_.Member(name).Text(); }
  // The leading decimal number of the member's JSON text, so that 1 and "1" both give 1.
  int32_t Integer(std::string_view name) const { return TextToInt(JsonText(name)); }

 private:
  JsonNode at_;
};

PrintTask DecodeTask(JsonNode data, int32_t i) {
  const WireObject task(data.Element(i));
  PrintTask out;
  out.app_id = task.JsonText("app_id");
  out.store_id = task.JsonText("store_id");
  out.uni_key = task.Text("uni_key");
  out.print_type = task.Integer("print_type");
  out.print_sn = task.Text("print_sn");
  out.print_num = std::clamp(task.Integer("print_num"), kMinCopies, kMaxCopies);
  out.print_content = task.JsonText("print_content");
  return out;
}

}  // namespace

WaitAnswer DecodeWaitAnswer(std::string_view body) {
  WaitAnswer answer;
  JsonDocument doc;
  // The answer is meant to be UTF-8; a stray invalid byte must not cost the whole poll, so it
  // is read leniently instead of being rejected.
  if (!doc.Parse(SanitizeUtf8(body), &answer.error)) return answer;
  const WireObject root{JsonNode(doc)};
  answer.code = root.Integer("code");
  if (answer.code != kCodeOk) {
    answer.kind = WaitAnswer::Kind::CodeNotOk;
    return answer;
  }
  if (root.Integer("total") < 1) {
    answer.kind = WaitAnswer::Kind::NoTask;
    return answer;
  }
  // data is read where it stands; only data sent as a string holding JSON text is read into
  // a document of its own. Its one failure is an absent or null data, which has no syntax
  // error to point at.
  const JsonNode member = JsonNode(doc).Member("data");
  JsonDocument text;
  const bool asText = member.Type() == JsonType::String;
  if (asText) text = doc.SubDocument("data");
  const JsonNode data = asText ? JsonNode(text) : member;
  if (!data.Exists()) {
    answer.kind = WaitAnswer::Kind::DataUnreadable;
    return answer;
  }
  const int32_t count = data.Count();
  answer.kind = count < 1 ? WaitAnswer::Kind::DataEmpty : WaitAnswer::Kind::Tasks;
  answer.tasks.reserve(static_cast<size_t>(std::max(count, 0)));
  for (int32_t i = 0; i < count; ++i) answer.tasks.push_back(DecodeTask(data, i));
  return answer;
}

std::optional<std::vector<ContentLine>> DecodePrintContent(std::string_view content) {
  JsonDocument doc;
  JsonParseError error;
  if (!doc.Parse(content, &error)) return std::nullopt;
  std::vector<ContentLine> lines;
  const JsonNode root(doc);
  const int32_t count = root.Count();
  for (int32_t i = 0; i < count; ++i) {
    const WireObject line(root.Element(i));
    if (line.Integer("type") != 1) continue;
    ContentLine out;
    out.bold = line.Integer("bold") == 1;
    out.align = std::clamp(line.Integer("align"), kMinAlignment, kMaxAlignment);
    out.width = line.Integer("widthEnlarge");
    out.height = line.Integer("heightEnlarge");
    out.text = line.Text("text");
    lines.push_back(std::move(out));
  }
  return lines;
}

std::optional<AnswerCode> DecodeAnswerCode(std::string_view body) {
  // Read leniently: a stray invalid byte elsewhere must not turn a code 200 into a failure.
  JsonDocument doc;
  if (!doc.Parse(SanitizeUtf8(body))) return std::nullopt;
  AnswerCode code;
  code.text = WireObject(JsonNode(doc)).JsonText("code");
  code.value = TextToInt(code.text);
  return code;
}

}  // namespace qv
