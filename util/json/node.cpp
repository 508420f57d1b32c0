#include "util/json/node.h"

#include <string>

#include "util/json/access.h"

namespace qv {

using json_detail::Value;

JsonNode::JsonNode(const JsonDocument& doc) : value_(Access::RootOf(doc)) {}

JsonNode JsonNode::Member(std::string_view name) const {
  return JsonNode(json_detail::ChildByName(value_, name));
}

JsonNode JsonNode::Element(int32_t index) const {
  if (value_ == nullptr || index < 0) return JsonNode(nullptr);
  if (value_->is_array()) {
    const auto& elements = value_->get_ref<const Value::array_t&>();
    const auto at = static_cast<std::size_t>(index);
    return JsonNode(at < elements.size() ? &elements[at] : nullptr);
  }
  // An index accessor on an object names the member with that decimal name.
  return JsonNode(json_detail::ChildByName(value_, std::to_string(index)));
}

bool JsonNode::Exists() const { return value_ != nullptr && !value_->is_null(); }

JsonType JsonNode::Type() const { return Access::TypeOf(value_); }

int32_t JsonNode::Count() const {
  return value_ != nullptr && value_->is_array() ? static_cast<int32_t>(value_->size()) : 0;
}

std::string JsonNode::Text() const {
  return value_ == nullptr ? std::string() : json_detail::TextForm(*value_);
}

std::string JsonNode::SubDocumentText() const { return Access::SubDocumentTextOf(value_); }

}  // namespace qv
