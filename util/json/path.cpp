#include "util/json/path.h"

#include <algorithm>
#include <type_traits>

namespace qv::json_detail {
namespace {

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

// The member named `name` of an object (the first of that name, as ordered_map::find gives
// it), or the element of an array at the decimal index `name`; nullptr otherwise. For
// documents being read and being edited alike.
template <typename V>
V* NamedChild(V* parent, std::string_view name) {
  using Object = std::conditional_t<std::is_const_v<V>, const Value::object_t, Value::object_t>;
  using Array = std::conditional_t<std::is_const_v<V>, const Value::array_t, Value::array_t>;
  if (parent == nullptr) return nullptr;
  if (parent->is_object()) {
    for (auto& member : parent->template get_ref<Object&>()) {
      if (member.first == name) return &member.second;
    }
    return nullptr;
  }
  if (parent->is_array()) {
    auto& elements = parent->template get_ref<Array&>();
    const std::size_t index = IndexOf(name);
    return index < elements.size() ? &elements[index] : nullptr;
  }
  return nullptr;
}

// The child that `step` addresses in `parent`, or nullptr.
Value* Child(Value* parent, const Step& step) {
  if (step.isIndex && parent->is_array()) {
    auto& elements = parent->get_ref<Value::array_t&>();
    return step.index < elements.size() ? &elements[step.index] : nullptr;
  }
  return NamedChild(parent, step.name);
}

bool IsPathDa(std::string_view path) {
  return path == "da" || path.starts_with("da.") || path.starts_with("da[");
}

}  // namespace

std::size_t IndexOf(std::string_view name) {
  if (name.empty() || name.size() > 9 || (name.size() > 1 && name[0] == '0')) return kNoIndex;
  std::size_t index = 0;
  for (char c : name) {
    if (c < '0' || c > '9') return kNoIndex;
    index = index * 10 + static_cast<std::size_t>(c - '0');
  }
  return index;
}

const Value* ChildByName(const Value* parent, std::string_view name) {
  return NamedChild(parent, name);
}

Value* Walk(Value* root, const Steps& steps, std::size_t count) {
  Value* value = root;
  for (std::size_t i = 0; value != nullptr && i < count; ++i) value = Child(value, steps[i]);
  return value;
}

bool Locate(Value* root, std::string_view path, Purpose purpose, Steps& steps, bool* rooted) {
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

}  // namespace qv::json_detail
