// JsonDocument: one JSON value (the root) read and written by path, text in and text out.
// Every cloud answer, print task and print content is read through it.
//
// Paths: names joined by "." with bracket accessors, "[3]", "['name']" or "[\"name\"]";
// for example "code", "data", "[3]['app_id']", "[2].type". An empty path, and the root name
// "da" ("da", "da.code", "da[0]"), denote the root; a path that begins with "[" applies to the
// root ("[0]" is the root's first element); any other leading name is a member of the root
// ("data" is the member named data, not "da" followed by "ta").
//
// Text forms (GetText, ElementText, LeafValues): a string as it is; a number as the shortest
// decimal that reads back as the same double, in exponent form at 1e21 and above and below
// 1e-6 ("1e+21", "1e-7"), integral values without a point; "true"/"false"; an object as
// "[object Object]"; an array as its elements' text forms joined by ","; null or absent as "".
// JSON text (ToText, GetJsonText): compact, members in insertion order.
//
// All texts are UTF-8; a text with ill-formed UTF-8 is still parsed (the bad bytes become
// U+FFFD). A U+2400 character in a stored string or name reads back as a backslash.
//
// Nothing here throws: a missing member, a wrong kind or a failed conversion gives the neutral
// result (empty text, 0, false, no names, or a document with an absent or null root).
//
// Copying a JsonDocument gives a second handle on the same root; SubDocument and
// ElementDocument give independent documents. A document is used by one thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

// Where and why Parse failed. After a successful parse every field is 0 or empty.
struct JsonParseError {
  int32_t Number = 0;       // parser error code; 0 without error
  std::string Source;       // component that reported the error
  std::string Description;  // what was wrong
  std::string Text;         // the input line on which the error lies, without its line break
  int32_t Line = 0;         // 1-based line of the error
  int32_t Column = 0;       // 1-based column (in characters) of the error within that line
};

// Type codes of TypeOf.
enum class JsonType : int32_t {
  Null = 0,  // absent or null
  Boolean = 1,
  Number = 2,
  Object = 4,
  Array = 5,
  String = 6,
  Other = -1,
};

enum class JsonTextForm { Plain, Json };        // GetText, ElementText: text form or JSON text
enum class JsonValueKind { String, Json };      // a value text is a plain string or JSON text
enum class JsonInsert { Back, Front };          // AddElement: append or insert at index 0
enum class JsonLeaves { TopLevel, Recursive };  // LeafValues: descend into objects and arrays

class JsonDocument {
 public:
  // Nesting deeper than this is a parse error, so that no operation can recurse too deep.
  static constexpr int kMaxDepth = 512;

  // A new document holds an empty object.
  JsonDocument();

  // Reads `text` as one JSON value and makes it the root. True when the root is present and
  // not null: an empty (or all-blank) text gives an absent root and "null" a null root, both
  // false without an error. On a syntax error the root is null and `error`, when given, says
  // where; without an error it is cleared.
  bool Parse(std::string_view text, JsonParseError* error = nullptr);

  // Makes the root an empty object.
  void Clear();

  // The root as JSON text; empty when the root is absent.
  std::string ToText() const;

  // Sets the value at `path` to `value`: a string, or (JsonValueKind::Json) the parsed JSON
  // text, where an empty text counts as "{}" and a value set on an existing object is merged
  // into it. False when the value does not parse or the parent of `path` is absent.
  bool SetText(std::string_view path, std::string_view value,
               JsonValueKind kind = JsonValueKind::String);

  // Sets the value at `path` to the parsed `text` (no merging). False as for SetText.
  bool SetParsed(std::string_view path, std::string_view text);

  // True when `path` denotes a present, non-null value; `path` is rewritten to its rooted form
  // ("code" -> "da.code", "[0]" -> "da[0]", "" -> "da").
  bool ResolvePath(std::string& path) const;

  // True when `path` denotes a present, non-null value.
  bool Exists(std::string_view path) const;

  // The type code of the value at `path`.
  JsonType TypeOf(std::string_view path) const;

  // The value at `path` in its text form, or as JSON text; empty when absent or null.
  std::string GetText(std::string_view path, JsonTextForm form = JsonTextForm::Plain) const;

  // Member names of the object at `path` in insertion order; none for any other value.
  std::vector<std::string> MemberNames(std::string_view path) const;

  // Number of elements of the array at `path`; 0 for every other value.
  int32_t Count(std::string_view path) const;

  // An independent document holding the value at `path`. A string holding JSON text gives
  // that value, a string holding anything else a null root; an absent value an absent root.
  JsonDocument SubDocument(std::string_view path) const;

  // SubDocument(path).ToText(), written without building that document.
  std::string SubDocumentText(std::string_view path) const;

  // Appends `value` (a string, or parsed JSON) to the array at `path`, or inserts it first;
  // a value at `path` that is not an array is replaced by an empty array first.
  bool AddElement(std::string_view path, std::string_view value,
                  JsonValueKind kind = JsonValueKind::String, JsonInsert where = JsonInsert::Back);

  // SubDocument of element `index` (0-based) of the array at `path`.
  JsonDocument ElementDocument(int32_t index, std::string_view path) const;

  // GetText of element `index` (0-based) of the array at `path`.
  std::string ElementText(int32_t index, std::string_view path,
                          JsonTextForm form = JsonTextForm::Plain) const;

  // Replaces element `index` of the array at `path` (index == count appends). False when
  // there is no such array or element, or the value does not parse.
  bool SetElement(int32_t index, std::string_view path, std::string_view value,
                  JsonValueKind kind = JsonValueKind::String);

  // Removes element `index` of the array at `path`; later elements move down. False when
  // there is no such element.
  bool RemoveElement(int32_t index, std::string_view path);

  // Removes the member at `path` from its parent object. False when there is no such member.
  bool RemoveMember(std::string_view path);

  // Sets the value at `path` to a number. False when the parent of `path` is absent.
  bool SetNumber(std::string_view path, double number);

  // The value at `path` as a number: a number as it is, a string holding a decimal number
  // converted; 0 for everything else.
  double GetNumber(std::string_view path) const;

  // The value at `path` as JSON text; empty when absent.
  std::string GetJsonText(std::string_view path) const;

  // The text forms of the strings, numbers and booleans among the members (or elements) of
  // the value at `path`, in order; with JsonLeaves::Recursive objects and arrays are walked
  // depth first where they stand. Nulls contribute nothing.
  std::vector<std::string> LeafValues(std::string_view path,
                                      JsonLeaves depth = JsonLeaves::TopLevel) const;

 private:
  struct Root;
  friend struct JsonDocumentAccess;
  std::shared_ptr<Root> root_;
};

}  // namespace qv
