// Exact comparison of two JSON values, for checks that one way of building a value gives
// what another gives.
#pragma once

#include <cstddef>
#include <cstring>

#include "util/json/value.h"

namespace qv::testing {

// Same kind and same content all the way down; nlohmann's == would let 1 equal 1.0 and
// ignores the order of members.
inline bool SameValue(const json_detail::Value& a, const json_detail::Value& b) {
  using Value = json_detail::Value;
  if (a.type() != b.type()) return false;
  if (a.is_number_float()) {
    const double x = a.get<double>(), y = b.get<double>();
    return std::memcmp(&x, &y, sizeof x) == 0;
  }
  if (a.is_array()) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
      if (!SameValue(a[i], b[i])) return false;
    }
    return true;
  }
  if (a.is_object()) {
    const auto& x = a.get_ref<const Value::object_t&>();
    const auto& y = b.get_ref<const Value::object_t&>();
    if (x.size() != y.size()) return false;
    for (auto i = x.begin(), j = y.begin(); i != x.end(); ++i, ++j) {
      if (i->first != j->first || !SameValue(i->second, j->second)) return false;
    }
    return true;
  }
  return a == b;
}

}  // namespace qv::testing
