// Internals shared by the files of util/json: the value store, the readers and the two text
// forms. Not for use outside util/json and its tests; everyone else uses util/json/document.h.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "util/json/document.h"

namespace qv::json_detail {

// nlohmann's ordered_json keeps object members in insertion order, which is the order every
// listing and every JSON text of a document must follow.
using Value = nlohmann::ordered_json;

enum class ParseResult { Value, Empty, Error };

// Reads `text` as one JSON value into `out`. Empty when the text is empty or all blank (out is
// null); Error on a syntax error or nesting deeper than JsonDocument::kMaxDepth (out is null
// and `error`, when given, is filled); `error` is cleared otherwise. `depth` receives the
// nesting depth of the value (0 for a scalar).
ParseResult ParseJson(std::string_view text, Value& out, JsonParseError* error, int& depth);

// The two readers behind ParseJson. The quick one reads well-formed JSON in valid UTF-8 only
// and returns false on anything else (out may then hold anything); where it returns true, the
// careful one gives the same value. The careful one is nlohmann's parser: it also reads texts
// with ill-formed UTF-8 and fills the error record. Both read a lone surrogate escape as
// U+FFFD, which nlohmann alone would refuse.
bool ReadJsonQuickly(std::string_view text, Value& out, int& depth);
ParseResult ParseJsonCarefully(std::string_view text, Value& out, JsonParseError* error,
                               int& depth);

// Replaces, inside the strings of a JSON text, each \u escape of a surrogate that is not
// part of a pair with \ufffd, in place (the text keeps its length, so positions in it stay
// those of the original); true when it replaced any. What nlohmann reads of the result is
// what the quick reader reads of the original.
bool ReplaceLoneSurrogates(std::string& text);

// The text form of a value (strings as they are, numbers in their shortest form, arrays
// joined by ",", objects as "[object Object]", null as "").
std::string TextForm(const Value& value);

// JSON text under construction. The string grows ahead of what is written (zero-filled
// room, doubled when short) so that bytes are stored through a plain pointer; Finish cuts it
// back to what was written.
class JsonTextSink {
 public:
  explicit JsonTextSink(std::string& out) : out_(out), length_(out.size()) {}

  // A pointer to at least `n` writable bytes after what was written; Commit says how far
  // they were used.
  char* Room(std::size_t n) {
    if (out_.size() - length_ < n) out_.resize(std::max(out_.size() * 2, length_ + n + 64));
    return out_.data() + length_;
  }
  void Commit(const char* end) { length_ = static_cast<std::size_t>(end - out_.data()); }

  void Put(char c) { *Room(1) = c, ++length_; }
  void Put(std::string_view text) {
    std::memcpy(Room(text.size()), text.data(), text.size());
    length_ += text.size();
  }
  void Finish() { out_.resize(length_); }

 private:
  std::string& out_;
  std::size_t length_;
};

// Writes the compact JSON text of a value.
void PutJson(JsonTextSink& out, const Value& value);

// True when the JSON text form writes the character `cp` as an escape, not as it is.
bool WrittenEscaped(uint32_t cp);

// False when no character whose UTF-8 form begins with `byte` (0x80 or above) is written
// escaped: only these lead bytes begin the forms of such characters.
constexpr bool MayBeWrittenEscaped(unsigned char byte) {
  return byte < 0xC3 || byte == 0xD8 || byte == 0xDC || byte == 0xE1 || byte == 0xE2 ||
         byte == 0xEF;
}

// Which characters a JSON string is written with escapes for. TextForm: those of the
// document's JSON text (WrittenEscaped), with each backslash stand-in written as a backslash;
// `text` must be well-formed UTF-8. Required: only what JSON itself requires ('"', '\\' and
// characters below U+0020); `text` may hold any bytes, each ill-formed sequence becoming U+FFFD.
enum class JsonEscapes { TextForm, Required };

// Writes `text` as a JSON string: quoted, with the escapes `escapes` names.
void PutQuoted(JsonTextSink& out, std::string_view text,
               JsonEscapes escapes = JsonEscapes::TextForm);

// Appends the compact JSON text of a value.
void AppendJsonText(std::string& out, const Value& value);

// Writes the JSON text that ReadJsonQuickly followed by AppendJsonText would give for `text`,
// without building the value. False, with `out` holding anything, wherever ReadJsonQuickly
// would give up, and also for an object that repeats a name or has very many members.
bool RewriteJsonQuickly(std::string_view text, std::string& out);

// The shortest decimal text that reads back as `number`, laid out as JavaScript writes
// numbers: exponent form at 1e21 and above and below 1e-6, no point for integral values.
std::string NumberText(double number);

// U+2400 (SYMBOL FOR NULL) in UTF-8. Stored strings use it as a stand-in for a backslash.
inline constexpr std::string_view kBackslashStandIn = "\xE2\x90\x80";

// Returns `text` with every U+2400 character turned into a backslash.
std::string RestoreBackslashes(std::string_view text);

}  // namespace qv::json_detail
