// Internals shared by the files of JsonDocument: the value store, the readers and the two text
// forms. Not for use outside util/json_document*.cpp and their tests.
#pragma once

#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "util/json_document.h"

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
// with ill-formed UTF-8 and fills the error record.
bool ReadJsonQuickly(std::string_view text, Value& out, int& depth);
ParseResult ParseJsonCarefully(std::string_view text, Value& out, JsonParseError* error,
                               int& depth);

// The text form of a value (strings as they are, numbers in their shortest form, arrays
// joined by ",", objects as "[object Object]", null as "").
std::string TextForm(const Value& value);

// Appends the compact JSON text of a value.
void AppendJsonText(std::string& out, const Value& value);

// The shortest decimal text that reads back as `number`, laid out as JavaScript writes
// numbers: exponent form at 1e21 and above and below 1e-6, no point for integral values.
std::string NumberText(double number);

// U+2400 (SYMBOL FOR NULL) in UTF-8. Stored strings use it as a stand-in for a backslash.
inline constexpr std::string_view kBackslashStandIn = "\xE2\x90\x80";

// Returns `text` with every U+2400 character turned into a backslash.
std::string RestoreBackslashes(std::string_view text);

}  // namespace qv::json_detail
