// JsonNode: a read-only place in a document (the root, or a member or element below it),
// found once, so that reading several members of one object walks to that object once
// instead of reading a path text for every member. Reading through a node gives exactly what
// JsonDocument's path operations give for the same place: Member("a") and Element(3) lead
// where the path accessors "['a']" and "[3]" lead.
//
// A node points into its document: it is valid while the document lives and its values are
// not edited. Copies are cheap.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include <nlohmann/json_fwd.hpp>

#include "util/json/document.h"

namespace qv {

class JsonNode {
 public:
  // The root of `doc`; absent when the document's root is absent.
  explicit JsonNode(const JsonDocument& doc);

  // The member named `name` of an object (an array's element whose decimal index `name` is);
  // absent for anything else or when there is none.
  JsonNode Member(std::string_view name) const;

  // Element `index` of an array (an object's member named by the index's decimal text);
  // absent for anything else or when there is none.
  JsonNode Element(int32_t index) const;

  // JsonDocument::Exists, TypeOf, Count, GetText (text form) and SubDocumentText of this
  // place.
  bool Exists() const;
  JsonType Type() const;
  int32_t Count() const;
  std::string Text() const;
  std::string SubDocumentText() const;

 private:
  explicit JsonNode(const nlohmann::ordered_json* value) : value_(value) {}

  const nlohmann::ordered_json* value_ = nullptr;  // nullptr: absent
};

}  // namespace qv
