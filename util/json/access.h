// The document's root and the steps its operations share. Internal to util/json.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "util/json/document.h"
#include "util/json/path.h"
#include "util/json/value.h"

namespace qv {
namespace json_detail {

// Empties every container below `value`, deepest first. nlohmann destroys a container by
// moving all its descendants onto a heap stack first, which costs more than building them;
// containers emptied beforehand are freed directly. Values never nest deeper than about
// kMaxDepth, so the recursion is bounded.
void Release(Value& value);

}  // namespace json_detail

struct JsonDocument::Root {
  json_detail::Value value = json_detail::Value::object();
  bool present = true;  // false after parsing an empty text: the root is absent, not null

  Root() = default;
  Root(const Root&) = delete;
  Root& operator=(const Root&) = delete;
  ~Root() { json_detail::Release(value); }
};

// The operations' shared steps, with access to the root.
struct JsonDocumentAccess {
  using Value = json_detail::Value;

  static Value* RootOf(const JsonDocument& doc) {
    return doc.root_->present ? &doc.root_->value : nullptr;
  }

  // The value at `path` (null included), or nullptr when absent.
  static Value* Find(const JsonDocument& doc, std::string_view path) {
    json_detail::Steps steps;
    if (!json_detail::Locate(RootOf(doc), path, json_detail::Purpose::Read, steps)) return nullptr;
    return json_detail::Walk(RootOf(doc), steps, steps.size());
  }

  // Element `index` of the array at `path`, or nullptr.
  static Value* Element(const JsonDocument& doc, int32_t index, std::string_view path) {
    Value* array = Find(doc, path);
    if (array == nullptr || !array->is_array() || index < 0) return nullptr;
    auto& elements = array->get_ref<Value::array_t&>();
    return static_cast<std::size_t>(index) < elements.size() ? &elements[index] : nullptr;
  }

  // JsonDocument::TypeOf of the place holding `value` (nullptr: absent).
  static JsonType TypeOf(const Value* value);

  // JsonDocument::SubDocumentText of the place holding `value` (nullptr: absent).
  static std::string SubDocumentTextOf(const Value* value);

  // An independent document holding `value`; a string is read as the JSON text it holds.
  static JsonDocument Detach(const Value* value);

  // Stores `value` at the located `steps`: the root itself, a member of an object (added at
  // the end when new) or an element of an array (index == count appends). False when the
  // parent is absent or not a container.
  static bool StoreAt(const JsonDocument& doc, const json_detail::Steps& steps, Value&& value);

  // Sets the value at `path`; with Merge, an object there takes the value's members instead.
  enum class Mode { Replace, Merge };
  static bool Store(const JsonDocument& doc, std::string_view path, Value&& value, int depth,
                    Mode mode);
};

using Access = JsonDocumentAccess;

}  // namespace qv
