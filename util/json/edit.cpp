// The operations that change a document: setting, merging, adding and removing values.
#include <string>
#include <utility>

#include "util/json/access.h"
#include "util/text.h"

namespace qv {

using json_detail::IndexOf;
using json_detail::Locate;
using json_detail::Purpose;
using json_detail::Step;
using json_detail::Steps;
using json_detail::Value;
using json_detail::Walk;

namespace {

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

}  // namespace

bool Access::StoreAt(const JsonDocument& doc, const Steps& steps, Value&& value) {
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

bool Access::Store(const JsonDocument& doc, std::string_view path, Value&& value, int depth,
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

}  // namespace qv
