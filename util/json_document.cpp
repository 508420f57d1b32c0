#include "util/json_document.h"

#include <charconv>
#include <cmath>
#include <utility>

#include "util/json_document_detail.h"
#include "util/text.h"

namespace qv {

using json_detail::kBackslashStandIn;
using json_detail::Value;

namespace {

// Empties every container below `value`, deepest first. nlohmann destroys a container by
// moving all its descendants onto a heap stack first, which costs more than building them;
// containers emptied beforehand are freed directly. Values never nest deeper than about
// kMaxDepth, so the recursion is bounded.
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

}  // namespace

struct JsonDocument::Root {
  Value value = Value::object();
  bool present = true;  // false after parsing an empty text: the root is absent, not null

  Root() = default;
  Root(const Root&) = delete;
  Root& operator=(const Root&) = delete;
  ~Root() { Release(value); }
};

namespace {

// One accessor of a path. Brackets with digits give an index, everything else a name; either
// may address an object member or an array element ("[0]" on an object reads member "0").
struct Step {
  std::string name;
  bool isIndex = false;
  std::size_t index = 0;
};

using Steps = std::vector<Step>;

constexpr std::size_t kNoIndex = static_cast<std::size_t>(-1);

// The array index a name stands for ("12"), or kNoIndex when it is not a plain decimal.
std::size_t IndexOf(std::string_view name) {
  if (name.empty() || name.size() > 9 || (name.size() > 1 && name[0] == '0')) return kNoIndex;
  std::size_t index = 0;
  for (char c : name) {
    if (c < '0' || c > '9') return kNoIndex;
    index = index * 10 + static_cast<std::size_t>(c - '0');
  }
  return index;
}

// Reads the accessors of `path`: an optional leading name, then ".name", "[n]", "['name']"
// or "[\"name\"]"; what follows the root name "da" starts straight with "." or "[". False on
// anything else.
bool ParsePath(std::string_view path, Steps& steps, bool afterRootName = false) {
  std::size_t i = 0;
  const auto readName = [&] {
    const std::size_t end = std::min(path.find_first_of(".[", i), path.size());
    Step step{std::string(path.substr(i, end - i))};
    i = end;
    return step;
  };
  if (!afterRootName && i < path.size() && path[i] != '[') {
    steps.push_back(readName());
    if (steps.back().name.empty()) return false;
  }
  while (i < path.size()) {
    if (path[i] == '.') {
      ++i;
      steps.push_back(readName());
      if (steps.back().name.empty()) return false;
      continue;
    }
    ++i;  // '['
    if (i < path.size() && (path[i] == '\'' || path[i] == '"')) {
      const char quote = path[i++];
      Step step;
      while (i < path.size() && path[i] != quote) {
        if (path[i] == '\\' && i + 1 < path.size()) ++i;
        step.name += path[i++];
      }
      if (i + 1 >= path.size() || path[i + 1] != ']') return false;
      i += 2;
      steps.push_back(std::move(step));
    } else {
      const std::size_t close = path.find(']', i);
      if (close == std::string_view::npos) return false;
      Step step{std::string(path.substr(i, close - i)), true};
      step.index = IndexOf(step.name);
      if (step.name.empty() || step.name.find_first_not_of("0123456789") != std::string::npos) {
        return false;
      }
      i = close + 1;
      steps.push_back(std::move(step));
    }
  }
  return true;
}

// The child that `step` addresses in `parent`, or nullptr.
Value* Child(Value* parent, const Step& step) {
  if (parent->is_object()) {
    auto& members = parent->get_ref<Value::object_t&>();
    auto it = members.find(step.name);
    return it == members.end() ? nullptr : &it->second;
  }
  if (parent->is_array()) {
    auto& elements = parent->get_ref<Value::array_t&>();
    const std::size_t index = step.isIndex ? step.index : IndexOf(step.name);
    return index < elements.size() ? &elements[index] : nullptr;
  }
  return nullptr;
}

// Follows the first `count` steps from `root`; nullptr when a value on the way is absent.
Value* Walk(Value* root, const Steps& steps, std::size_t count) {
  Value* value = root;
  for (std::size_t i = 0; value != nullptr && i < count; ++i) value = Child(value, steps[i]);
  return value;
}

bool IsPathDa(std::string_view path) {
  return path == "da" || path.starts_with("da.") || path.starts_with("da[");
}

enum class Purpose { Read, Write };

// Resolves `path` to steps below the root. A leading "da" names the root itself when the
// path so read leads somewhere (for a write: when the parent of the target exists);
// otherwise the leading name is a member of the root, so "data" and a member called "da"
// keep working.
bool Locate(Value* root, std::string_view path, Purpose purpose, Steps& steps,
            bool* rooted = nullptr) {
  if (rooted) *rooted = false;
  if (IsPathDa(path)) {
    Steps below;
    if (ParsePath(path.substr(2), below, /*afterRootName=*/true)) {
      bool found = false;
      if (purpose == Purpose::Read) {
        const Value* v = Walk(root, below, below.size());
        found = v != nullptr && !v->is_null();
      } else {
        const Value* parent = below.empty() ? nullptr : Walk(root, below, below.size() - 1);
        found = below.empty() || (parent != nullptr && !parent->is_null());
      }
      if (found) {
        steps = std::move(below);
        if (rooted) *rooted = true;
        return true;
      }
    }
  }
  steps.clear();
  return ParsePath(path, steps);
}

// Nesting depth that a value of depth `valueDepth` reaches when stored `pathDepth` levels
// below the root must stay within kMaxDepth, so that no operation recurses too deep.
bool DepthAllowed(std::size_t pathDepth, int valueDepth) {
  return pathDepth + static_cast<std::size_t>(valueDepth) <=
         static_cast<std::size_t>(JsonDocument::kMaxDepth);
}

// A value text handed in by a caller, as a value: a string, or parsed JSON text.
bool MakeValue(std::string_view text, JsonValueKind kind, Value& value, int& depth) {
  depth = 0;
  if (kind == JsonValueKind::String) {
    value = IsValidUtf8(text) ? std::string(text) : SanitizeUtf8(text);
    return true;
  }
  return json_detail::ParseJson(text.empty() ? "{}" : text, value, nullptr, depth) ==
         json_detail::ParseResult::Value;
}

// Merges `source` into `target`: members of a new object replace scalar members of the same
// name and are merged into object and array members; anything merged into an array is
// appended (an array's elements one by one). A non-object merged into an object replaces it.
void Merge(Value& target, Value&& source) {
  if (target.is_array()) {
    auto& elements = target.get_ref<Value::array_t&>();
    if (source.is_array()) {
      for (Value& element : source.get_ref<Value::array_t&>()) {
        elements.push_back(std::move(element));
      }
    } else {
      elements.push_back(std::move(source));
    }
    return;
  }
  if (!target.is_object() || !source.is_object()) {
    target = std::move(source);
    return;
  }
  auto& members = target.get_ref<Value::object_t&>();
  for (auto& [name, value] : source.get_ref<Value::object_t&>()) {
    auto it = members.find(name);
    if (it == members.end()) {
      members.emplace(name, std::move(value));
    } else if (it->second.is_object() || it->second.is_array()) {
      Merge(it->second, std::move(value));
    } else {
      it->second = std::move(value);
    }
  }
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

// The operations' shared steps, with access to the root.
struct JsonDocumentAccess {
  static Value* RootOf(const JsonDocument& doc) {
    return doc.root_->present ? &doc.root_->value : nullptr;
  }

  // The value at `path` (null included), or nullptr when absent.
  static Value* Find(const JsonDocument& doc, std::string_view path) {
    Steps steps;
    if (!Locate(RootOf(doc), path, Purpose::Read, steps)) return nullptr;
    return Walk(RootOf(doc), steps, steps.size());
  }

  // Element `index` of the array at `path`, or nullptr.
  static Value* Element(const JsonDocument& doc, int32_t index, std::string_view path) {
    Value* array = Find(doc, path);
    if (array == nullptr || !array->is_array() || index < 0) return nullptr;
    auto& elements = array->get_ref<Value::array_t&>();
    return static_cast<std::size_t>(index) < elements.size() ? &elements[index] : nullptr;
  }

  // Stores `value` at the located `steps`: the root itself, a member of an object (added at
  // the end when new) or an element of an array (index == count appends). False when the
  // parent is absent or not a container.
  static bool StoreAt(const JsonDocument& doc, const Steps& steps, Value&& value) {
    if (steps.empty()) {
      doc.root_->value = std::move(value);
      doc.root_->present = true;
      return true;
    }
    Value* parent = Walk(RootOf(doc), steps, steps.size() - 1);
    if (parent == nullptr) return false;
    const Step& last = steps.back();
    if (parent->is_object()) {
      const std::string& name = last.name;
      parent->get_ref<Value::object_t&>()[IsValidUtf8(name) ? name : SanitizeUtf8(name)] =
          std::move(value);
      return true;
    }
    if (!parent->is_array()) return false;
    auto& elements = parent->get_ref<Value::array_t&>();
    const std::size_t index = last.isIndex ? last.index : IndexOf(last.name);
    if (index < elements.size()) {
      elements[index] = std::move(value);
    } else if (index == elements.size()) {
      elements.push_back(std::move(value));
    } else {
      return false;
    }
    return true;
  }

  // Sets the value at `path`; with Merge, an object there takes the value's members instead.
  enum class Mode { Replace, Merge };
  static bool Store(const JsonDocument& doc, std::string_view path, Value&& value, int depth,
                    Mode mode) {
    Steps steps;
    if (!Locate(RootOf(doc), path, Purpose::Write, steps)) return false;
    if (!DepthAllowed(steps.size(), depth)) return false;
    if (mode == Mode::Merge) {
      Value* target = Walk(RootOf(doc), steps, steps.size());
      if (target != nullptr && target->is_object()) {
        Merge(*target, std::move(value));
        return true;
      }
    }
    return StoreAt(doc, steps, std::move(value));
  }

  // An independent document holding `value`; a string is read as the JSON text it holds.
  static JsonDocument Detach(const Value* value) {
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
};

using Access = JsonDocumentAccess;

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

bool JsonDocument::SetText(std::string_view path, std::string_view value, JsonValueKind kind) {
  Value v;
  int depth = 0;
  if (!MakeValue(value, kind, v, depth)) return false;
  const auto mode = kind == JsonValueKind::Json ? Access::Mode::Merge : Access::Mode::Replace;
  return Access::Store(*this, path, std::move(v), depth, mode);
}

bool JsonDocument::SetParsed(std::string_view path, std::string_view text) {
  Value v;
  int depth = 0;
  if (json_detail::ParseJson(text, v, nullptr, depth) != json_detail::ParseResult::Value) {
    return false;
  }
  return Access::Store(*this, path, std::move(v), depth, Access::Mode::Replace);
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
  const Value* value = Access::Find(*this, path);
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

std::string JsonDocument::SubDocumentText(std::string_view path) const {
  const Value* value = Access::Find(*this, path);
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
  return SubDocument(path).ToText();
}

bool JsonDocument::AddElement(std::string_view path, std::string_view value, JsonValueKind kind,
                              JsonInsert where) {
  Value v;
  int depth = 0;
  if (!MakeValue(value, kind, v, depth)) return false;
  Steps steps;
  if (!Locate(Access::RootOf(*this), path, Purpose::Write, steps)) return false;
  if (!DepthAllowed(steps.size() + 1, depth)) return false;
  Value* target = Walk(Access::RootOf(*this), steps, steps.size());
  if (target == nullptr || !target->is_array()) {
    if (!Access::StoreAt(*this, steps, Value::array())) return false;
    target = Walk(Access::RootOf(*this), steps, steps.size());
  }
  auto& elements = target->get_ref<Value::array_t&>();
  if (where == JsonInsert::Front) {
    elements.insert(elements.begin(), std::move(v));
  } else {
    elements.push_back(std::move(v));
  }
  return true;
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

bool JsonDocument::SetElement(int32_t index, std::string_view path, std::string_view value,
                              JsonValueKind kind) {
  Steps steps;
  if (!Locate(Access::RootOf(*this), path, Purpose::Read, steps)) return false;
  Value* array = Walk(Access::RootOf(*this), steps, steps.size());
  if (array == nullptr || !array->is_array() || index < 0) return false;
  auto& elements = array->get_ref<Value::array_t&>();
  if (static_cast<std::size_t>(index) > elements.size()) return false;
  Value v;
  int depth = 0;
  if (!MakeValue(value, kind, v, depth) || !DepthAllowed(steps.size() + 1, depth)) return false;
  if (static_cast<std::size_t>(index) == elements.size()) {
    elements.push_back(std::move(v));
  } else {
    elements[index] = std::move(v);
  }
  return true;
}

bool JsonDocument::RemoveElement(int32_t index, std::string_view path) {
  Value* array = Access::Find(*this, path);
  if (array == nullptr || !array->is_array() || index < 0) return false;
  auto& elements = array->get_ref<Value::array_t&>();
  if (static_cast<std::size_t>(index) >= elements.size()) return false;
  elements.erase(elements.begin() + index);
  return true;
}

bool JsonDocument::RemoveMember(std::string_view path) {
  Steps steps;
  if (!Locate(Access::RootOf(*this), path, Purpose::Read, steps) || steps.empty()) return false;
  Value* parent = Walk(Access::RootOf(*this), steps, steps.size() - 1);
  if (parent == nullptr || !parent->is_object()) return false;
  return parent->get_ref<Value::object_t&>().erase(steps.back().name) > 0;
}

bool JsonDocument::SetNumber(std::string_view path, double number) {
  return Access::Store(*this, path, Value(number), 0, Access::Mode::Replace);
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
