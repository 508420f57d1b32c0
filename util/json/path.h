// Paths into a document's value: the accessors of a path text and the value they lead to.
// Internal to util/json.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "util/json/value.h"

namespace qv::json_detail {

// One accessor of a path. Brackets with digits give an index, everything else a name; either
// may address an object member or an array element ("[0]" on an object reads member "0").
struct Step {
  std::string name;
  bool isIndex = false;
  std::size_t index = 0;
};

using Steps = std::vector<Step>;

inline constexpr std::size_t kNoIndex = static_cast<std::size_t>(-1);

// The array index a name stands for ("12"), or kNoIndex when it is not a plain decimal.
std::size_t IndexOf(std::string_view name);

// The member named `name` of an object, or the element of an array whose decimal index
// `name` is; nullptr for any other value, or when there is none.
const Value* ChildByName(const Value* parent, std::string_view name);

// Follows the first `count` steps from `root`; nullptr when a value on the way is absent.
Value* Walk(Value* root, const Steps& steps, std::size_t count);

enum class Purpose { Read, Write };

// Resolves `path` to steps below the root. A leading "da" names the root itself when the
// path so read leads somewhere (for a write: when the parent of the target exists);
// otherwise the leading name is a member of the root, so "data" and a member called "da"
// keep working. False when the path text is not a path; `rooted`, when given, tells whether
// the path began with the root's name.
bool Locate(Value* root, std::string_view path, Purpose purpose, Steps& steps,
            bool* rooted = nullptr);

}  // namespace qv::json_detail
