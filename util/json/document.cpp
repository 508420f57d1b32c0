#include "util/json/document.h"

#include <charconv>
#include <cmath>
#include <utility>

#include "util/json/access.h"
#include "util/text.h"

namespace qv {
namespace json_detail {

void Release(Value& value) {
  if (value.is_array()) {
    auto& elements = value.get_ref<Value::array_t&>();
    for (Value& element : elements) {
      if (element.is_structured()) Release(element);
    }
    elements.clear();
  } else if (value.is_object()) {
    auto& members = value.get_ref<Value::object_t&>();
    for (auto& member : members) {
      if (member.second.is_structured()) Release(member.second);
    }
    members.clear();
  }
}

}  // namespace json_detail

using json_detail::kBackslashStandIn;
using json_detail::Locate;
using json_detail::Purpose;
using json_detail::Release;
using json_detail::Steps;
using json_detail::Value;
using json_detail::Walk;

namespace {

// True when the first byte of `text` after blanks is one that begins no JSON text: a plain
// word such as a store code, which reads as a null root. (A byte above 0x7F may begin a byte
// order mark, which the careful reader skips.)
bool StartsWithNoJsonValue(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return false;
  const auto c = static_cast<unsigned char>(text[first]);
  if (c >= 0x80) return false;
  return std::string_view("{[\"-0123456789tfn").find(static_cast<char>(c)) ==
         std::string_view::npos;
}

// Reads a number the way a script converts text: surrounding blanks ignored, an empty text is
// 0, anything that is not entirely a decimal number is 0.
double TextToNumber(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return 0;
  text = text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
  const bool negative = text[0] == '-';
  if (text[0] == '+' || text[0] == '-') text.remove_prefix(1);
  if (text.empty() || text[0] == '+' || text[0] == '-') return 0;
  if (text == "Infinity") return negative ? -HUGE_VAL : HUGE_VAL;
  double number = 0;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), number);
  if (result.ec != std::errc() || result.ptr != text.data() + text.size()) return 0;
  return negative ? -number : number;
}

void CollectLeaves(const Value& value, JsonLeaves depth, std::vector<std::string>& out) {
  const auto visit = [&](const Value& child) {
    if (child.is_object() || child.is_array()) {
      if (depth == JsonLeaves::Recursive) CollectLeaves(child, depth, out);
    } else if (!child.is_null()) {
      out.push_back(json_detail::TextForm(child));
    }
  };
  if (value.is_object()) {
    for (const auto& [name, child] : value.get_ref<const Value::object_t&>()) visit(child);
  } else if (value.is_array()) {
    for (const Value& child : value.get_ref<const Value::array_t&>()) visit(child);
  }
}

}  // namespace

JsonDocument Access::Detach(const Value* value) {
  JsonDocument doc;
  if (value == nullptr) {
    doc.root_->value = nullptr;
    doc.root_->present = false;
  } else if (value->is_string()) {
    const std::string& text = value->get_ref<const std::string&>();
    if (text.find(kBackslashStandIn) == std::string::npos) {
      doc.Parse(text);  // the common case reads the stored text without a copy
    } else {
      doc.Parse(json_detail::RestoreBackslashes(text));
    }
  } else {
    doc.root_->value = *value;
  }
  return doc;
}

JsonDocument::JsonDocument() : root_(std::make_shared<Root>()) {}

bool JsonDocument::Parse(std::string_view text, JsonParseError* error) {
  Release(root_->value);
  int depth = 0;
  const auto result = json_detail::ParseJson(text, root_->value, error, depth);
  root_->present = result != json_detail::ParseResult::Empty;
  return result == json_detail::ParseResult::Value && !root_->value.is_null();
}

void JsonDocument::Clear() {
  Release(root_->value);
  root_->value = Value::object();
  root_->present = true;
}

std::string JsonDocument::ToText() const {
  if (!root_->present) return {};
  std::string out;
  json_detail::AppendJsonText(out, root_->value);
  return out;
}

bool JsonDocument::ResolvePath(std::string& path) const {
  Steps steps;
  bool rooted = false;
  Value* root = Access::RootOf(*this);
  const Value* value =
      Locate(root, path, Purpose::Read, steps, &rooted) ? Walk(root, steps, steps.size()) : nullptr;
  if (!rooted) path = path.empty() ? "da" : path[0] == '[' ? "da" + path : "da." + path;
  return value != nullptr && !value->is_null();
}

bool JsonDocument::Exists(std::string_view path) const {
  const Value* value = Access::Find(*this, path);
  return value != nullptr && !value->is_null();
}

JsonType JsonDocument::TypeOf(std::string_view path) const {
  return Access::TypeOf(Access::Find(*this, path));
}

JsonType Access::TypeOf(const Value* value) {
  if (value == nullptr) return JsonType::Null;
  switch (value->type()) {
    case Value::value_t::null:
      return JsonType::Null;
    case Value::value_t::boolean:
      return JsonType::Boolean;
    case Value::value_t::number_integer:
    case Value::value_t::number_unsigned:
    case Value::value_t::number_float:
      return JsonType::Number;
    case Value::value_t::object:
      return JsonType::Object;
    case Value::value_t::array:
      return JsonType::Array;
    case Value::value_t::string:
      return JsonType::String;
    default:
      return JsonType::Other;
  }
}

std::string JsonDocument::GetText(std::string_view path, JsonTextForm form) const {
  const Value* value = Access::Find(*this, path);
  if (value == nullptr) return {};
  if (form == JsonTextForm::Plain) return json_detail::TextForm(*value);
  std::string out;
  json_detail::AppendJsonText(out, *value);
  return out;
}

std::vector<std::string> JsonDocument::MemberNames(std::string_view path) const {
  std::vector<std::string> names;
  const Value* value = Access::Find(*this, path);
  if (value == nullptr || !value->is_object()) return names;
  for (const auto& member : value->get_ref<const Value::object_t&>()) {
    names.push_back(json_detail::RestoreBackslashes(member.first));
  }
  return names;
}

int32_t JsonDocument::Count(std::string_view path) const {
  const Value* value = Access::Find(*this, path);
  return value != nullptr && value->is_array() ? static_cast<int32_t>(value->size()) : 0;
}

JsonDocument JsonDocument::SubDocument(std::string_view path) const {
  return Access::Detach(Access::Find(*this, path));
}

std::string Access::SubDocumentTextOf(const Value* value) {
  if (value == nullptr) return {};
  std::string out;
  if (!value->is_string()) {
    json_detail::AppendJsonText(out, *value);
    return out;
  }
  // A string holding JSON text (a print content) is rewritten as it stands; anything the
  // rewriter leaves (text that does not read, stand-ins to restore, repeated names) takes
  // the way through a document.
  const std::string& text = value->get_ref<const std::string&>();
  if (StartsWithNoJsonValue(text)) return "null";
  if (text.find(kBackslashStandIn) == std::string::npos &&
      json_detail::RewriteJsonQuickly(text, out)) {
    return out;
  }
  return Detach(value).ToText();
}

std::string JsonDocument::SubDocumentText(std::string_view path) const {
  return Access::SubDocumentTextOf(Access::Find(*this, path));
}

JsonDocument JsonDocument::ElementDocument(int32_t index, std::string_view path) const {
  return Access::Detach(Access::Element(*this, index, path));
}

std::string JsonDocument::ElementText(int32_t index, std::string_view path,
                                      JsonTextForm form) const {
  const Value* element = Access::Element(*this, index, path);
  if (element == nullptr) return {};
  if (form == JsonTextForm::Plain) return json_detail::TextForm(*element);
  std::string out;
  json_detail::AppendJsonText(out, *element);
  return out;
}

double JsonDocument::GetNumber(std::string_view path) const {
  const Value* value = Access::Find(*this, path);
  if (value == nullptr) return 0;
  if (value->is_number()) return value->get<double>();
  if (value->is_string()) return TextToNumber(value->get_ref<const std::string&>());
  return 0;
}

std::string JsonDocument::GetJsonText(std::string_view path) const {
  return GetText(path, JsonTextForm::Json);
}

std::vector<std::string> JsonDocument::LeafValues(std::string_view path, JsonLeaves depth) const {
  std::vector<std::string> values;
  const Value* value = Access::Find(*this, path);
  if (value != nullptr) CollectLeaves(*value, depth, values);
  return values;
}

}  // namespace qv
