// The quick reader of JSON text: builds document values straight from the text.
//
// Every poll answer is read several times over (the answer, its data member again, each task's
// print content), so reading is the hot path of the service's polling. This reader handles
// well-formed input only and gives up on anything else (a syntax error, ill-formed UTF-8, a
// number out of range, nesting too deep); the careful reader then decides and reports, so
// both give the same value for every text and the error record stays the careful reader's.
#include <iterator>
#include <string>
#include <vector>

#include "util/json/scanner.h"

namespace qv::json_detail {
namespace {

class QuickReader : JsonScanner {
 public:
  explicit QuickReader(std::string_view text) : JsonScanner(text) {}

  bool Read(Value& out, int& depth) {
    SkipBlanks();
    if (!ReadValue(out)) return false;
    SkipBlanks();
    depth = maxDepth_;
    return p_ == end_;
  }

 private:
  bool ReadValue(Value& out) {
    if (p_ == end_) return false;
    switch (*p_) {
      case '{':
        return ReadObject(out);
      case '[':
        return ReadArray(out);
      case '"': {
        std::string_view text;
        if (!ReadString(text)) return false;
        out = Value(text);
        return true;
      }
      case 't':
        return ReadWord("true", Value(true), out);
      case 'f':
        return ReadWord("false", Value(false), out);
      case 'n':
        return ReadWord("null", Value(nullptr), out);
      default:
        return ReadNumber(out);
    }
  }

  auto Blanks() {
    return [this] { SkipBlanks(); };
  }

  bool ReadWord(std::string_view word, Value&& value, Value& out) {
    if (!SkipWord(word)) return false;
    out = std::move(value);
    return true;
  }

  // Elements and members gather on shared stacks and move into their container at its end,
  // so each container is allocated once at its final size.
  bool ReadArray(Value& out) {
    const std::size_t base = values_.size();
    if (!Items(']', Blanks(), [this] { return ReadElement(); })) return false;
    const auto first = values_.begin() + static_cast<std::ptrdiff_t>(base);
    out = Value::array();
    out.get_ref<Value::array_t&>().assign(std::make_move_iterator(first),
                                          std::make_move_iterator(values_.end()));
    values_.erase(first, values_.end());
    return true;
  }

  bool ReadElement() {
    Value element;
    if (!ReadValue(element)) return false;
    values_.push_back(std::move(element));
    return true;
  }

  bool ReadObject(Value& out) {
    const std::size_t base = values_.size();
    if (!Items('}', Blanks(), [this] { return ReadMember(); })) return false;
    out = Value::object();
    auto& members = out.get_ref<Value::object_t&>();
    members.reserve(values_.size() - base);
    const std::size_t nameBase = names_.size() - (values_.size() - base);
    for (std::size_t i = base, n = nameBase; i < values_.size(); ++i, ++n) {
      AddMember(members, std::move(names_[n]), std::move(values_[i]));
    }
    values_.resize(base);
    names_.resize(nameBase);
    return true;
  }

  bool ReadMember() {
    std::string_view name;
    if (p_ == end_ || *p_ != '"' || !ReadString(name)) return false;
    names_.emplace_back(name);
    return NameSeparator(Blanks()) && ReadElement();
  }

  // A repeated name keeps its first position and takes the last value, as JSON.parse does.
  static void AddMember(Value::object_t& members, std::string&& name, Value&& value) {
    for (auto& member : members) {
      if (member.first == name) {
        member.second = std::move(value);
        return;
      }
    }
    members.Value::object_t::Container::emplace_back(std::move(name), std::move(value));
  }

  std::vector<Value> values_;
  std::vector<std::string> names_;
};

}  // namespace

bool ReadJsonQuickly(std::string_view text, Value& out, int& depth) {
  depth = 0;
  QuickReader reader(text);
  return reader.Read(out, depth);
}

}  // namespace qv::json_detail
