#include "core/service/task_wire.h"

#include <algorithm>

#include "util/text.h"

namespace qv {
namespace {

// The members of the object at `at` ("[3]", or "" for the root) as the cloud sends them.
class WireObject {
 public:
  WireObject(const JsonDocument& doc, std::string at) : doc_(doc), at_(std::move(at)) {}

  // The member's compact JSON text; a string holding JSON text gives that text.
  std::string JsonText(std::string_view name) const { return doc_.SubDocumentText(Path(name)); }
  // The member's text form: a string as it is, a number in its shortest form.
  std::string Text(std::string_view name) const { return doc_.GetText(Path(name)); }
  // The leading decimal number of the member's JSON text, so that 1 and "1" both give 1.
  int32_t Integer(std::string_view name) const { return TextToInt(JsonText(name)); }

 private:
  // Built by appending: g++ 12 at -O3 warns falsely (-Wrestrict) about "+" chains here.
  std::string Path(std::string_view name) const {
    std::string path = at_;
    if (path.empty()) return std::string(name);
    path.append("['").append(name).append("']");
    return path;
  }

  const JsonDocument& doc_;
  std::string at_;
};

// "[i]", the path of element i of the root array.
std::string ElementPath(int32_t i) {
  std::string path = "[";
  path += std::to_string(i);
  path += ']';
  return path;
}

PrintTask DecodeTask(const JsonDocument& data, int32_t i) {
  const WireObject task(data, ElementPath(i));
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
  const WireObject root(doc, "");
  answer.code = root.Integer("code");
  if (answer.code != kCodeOk) {
    answer.kind = WaitAnswer::Kind::CodeNotOk;
    return answer;
  }
  if (root.Integer("total") < 1) {
    answer.kind = WaitAnswer::Kind::NoTask;
    return answer;
  }
  // data taken out as a document of its own holds what its JSON text would read back as,
  // without writing and re-reading the whole answer. Its one failure is an absent or null
  // data, which has no syntax error to point at.
  const JsonDocument data = doc.SubDocument("data");
  if (!data.Exists("")) {
    answer.kind = WaitAnswer::Kind::DataUnreadable;
    return answer;
  }
  const int32_t count = data.Count("");
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
  const int32_t count = doc.Count("");
  for (int32_t i = 0; i < count; ++i) {
    const WireObject line(doc, ElementPath(i));
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
  code.text = WireObject(doc, "").JsonText("code");
  code.value = TextToInt(code.text);
  return code;
}

}  // namespace qv
