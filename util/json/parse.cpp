// Reading JSON text into a document value, with the error record that callers log.
#include <cstring>
#include <exception>
#include <vector>

#include "util/json/scanner.h"
#include "util/json/value.h"
#include "util/text.h"

namespace qv::json_detail {
namespace {

constexpr int32_t kTooDeepNumber = 1001;

bool IsBlank(std::string_view text) {
  return text.find_first_not_of(" \t\r\n") == std::string_view::npos;
}

// Builds the value from nlohmann's SAX events. Doing it here rather than with nlohmann's own
// DOM builder lets the nesting depth be refused while parsing: every other operation on a
// document recurses over its values, so a value must never be deeper than kMaxDepth.
class ValueBuilder {
 public:
  explicit ValueBuilder(Value& root) : root_(&root) {}

  bool null() { return Put(nullptr) != nullptr; }
  bool boolean(bool v) { return Put(v) != nullptr; }
  bool number_integer(Value::number_integer_t v) { return Put(v) != nullptr; }
  bool number_unsigned(Value::number_unsigned_t v) { return Put(v) != nullptr; }
  bool number_float(Value::number_float_t v, const std::string&) { return Put(v) != nullptr; }
  bool string(std::string& v) { return Put(std::move(v)) != nullptr; }
  bool binary(Value::binary_t&) { return false; }
  bool start_object(std::size_t) { return Open(Value::object()); }
  bool start_array(std::size_t) { return Open(Value::array()); }
  bool end_object() { return Close(); }
  bool end_array() { return Close(); }

  bool key(std::string& name) {
    // Repeated names keep the first position and the last value, as JSON.parse does.
    member_ = &(*open_.back())[name];
    return true;
  }

  bool parse_error(std::size_t position, const std::string&, const nlohmann::detail::exception& e) {
    errorPosition_ = position;
    errorId_ = e.id;
    errorMessage_ = e.what();
    return false;
  }

  bool TooDeep() const { return tooDeep_; }
  int MaxDepth() const { return maxDepth_; }
  std::size_t ErrorPosition() const { return errorPosition_; }
  int ErrorId() const { return errorId_; }
  const std::string& ErrorMessage() const { return errorMessage_; }

 private:
  template <typename T>
  Value* Put(T&& v) {
    if (open_.empty()) {
      *root_ = Value(std::forward<T>(v));
      return root_;
    }
    Value& parent = *open_.back();
    if (parent.is_array()) {
      parent.get_ref<Value::array_t&>().emplace_back(std::forward<T>(v));
      return &parent.get_ref<Value::array_t&>().back();
    }
    *member_ = Value(std::forward<T>(v));
    return member_;
  }

  bool Open(Value&& container) {
    if (static_cast<int>(open_.size()) >= JsonDocument::kMaxDepth) {
      tooDeep_ = true;
      return false;
    }
    open_.push_back(Put(std::move(container)));
    maxDepth_ = std::max(maxDepth_, static_cast<int>(open_.size()));
    return true;
  }

  bool Close() {
    open_.pop_back();
    return true;
  }

  Value* root_;
  std::vector<Value*> open_;
  Value* member_ = nullptr;
  bool tooDeep_ = false;
  int maxDepth_ = 0;
  std::size_t errorPosition_ = 0;
  int errorId_ = 0;
  std::string errorMessage_;
};

// The byte offset at which the nesting first goes deeper than kMaxDepth.
std::size_t TooDeepOffset(std::string_view text) {
  int depth = 0;
  bool inString = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (inString) {
      if (c == '\\') ++i;
      if (c == '"') inString = false;
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      if (++depth > JsonDocument::kMaxDepth) return i;
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return text.size();
}

// nlohmann's messages read "[json.exception.parse_error.101] parse error at line 2,
// column 5: syntax error ..."; the record carries the position separately, so keep the rest.
std::string DescriptionOf(const std::string& message) {
  const std::size_t column = message.find("column ");
  const std::size_t colon = message.find(": ", column == std::string::npos ? 0 : column);
  return colon == std::string::npos ? message : message.substr(colon + 2);
}

// Fills the record for an error at byte `offset`: the 1-based line, the 1-based column in
// characters, and the text of that line.
void FillError(std::string_view text, std::size_t offset, int32_t number, std::string description,
               JsonParseError& error) {
  offset = std::min(offset, text.size());
  const std::size_t lineStart = offset == 0 ? 0 : text.rfind('\n', offset - 1) + 1;
  std::size_t lineEnd = text.find('\n', lineStart);
  if (lineEnd == std::string_view::npos) lineEnd = text.size();
  if (lineEnd > lineStart && text[lineEnd - 1] == '\r') --lineEnd;
  int32_t line = 1;
  for (std::size_t i = 0; i < lineStart; ++i) line += text[i] == '\n';
  int32_t column = 1;
  for (std::size_t i = lineStart; i < offset; ++i) {
    column += (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80;
  }
  error = JsonParseError{};
  error.Number = number;
  error.Source = "JSON";
  error.Description = std::move(description);
  error.Text = std::string(text.substr(lineStart, lineEnd - lineStart));
  error.Line = line;
  error.Column = column;
}

// `text` with ill-formed UTF-8 and lone surrogate escapes replaced, in `repaired`; false
// when there was nothing to replace.
bool Repair(std::string_view text, std::string& repaired) {
  repaired = IsValidUtf8(text) ? std::string(text) : SanitizeUtf8(text);
  const bool sanitized = repaired != text;
  return ReplaceLoneSurrogates(repaired) || sanitized;
}

}  // namespace

bool ReplaceLoneSurrogates(std::string& text) {
  bool replaced = false;
  bool inString = false;
  char* const end = text.data() + text.size();
  for (char* p = text.data(); p < end; ++p) {
    if (*p == '"') {
      inString = !inString;
    } else if (inString && *p == '\\') {
      const UnicodeEscape escape = ReadUnicodeEscape(p, end);
      uint32_t unit = 0;
      if (escape.length == kUnicodeEscapeLength && ReadHex4(p + 2, end, unit) && unit >= 0xD800 &&
          unit <= 0xDFFF) {
        std::memcpy(p + 2, "fffd", 4);
        replaced = true;
      }
      // Past the escape (the loop steps over its last character): a quote in it is no end.
      p += escape.length == 0 ? 1 : escape.length - 1;
    }
  }
  return replaced;
}

ParseResult ParseJsonCarefully(std::string_view text, Value& out, JsonParseError* error,
                               int& depth) {
  out = nullptr;
  depth = 0;
  if (error) *error = JsonParseError{};
  if (IsBlank(text)) return ParseResult::Empty;

  ValueBuilder builder(out);
  bool ok = false;
  std::string repaired;
  try {
    ok = Value::sax_parse(text.data(), text.data() + text.size(), &builder);
    // Two things nlohmann refuses outright are read here as the quick reader reads them:
    // ill-formed UTF-8 (the cloud's answers are meant to be UTF-8; one that is not is still
    // read, each bad sequence standing as U+FFFD) and lone surrogate escapes. Checking only
    // after a failure keeps the extra pass off the common path.
    if (!ok && !builder.TooDeep() && Repair(text, repaired)) {
      text = repaired;
      if (ReadJsonQuickly(text, out, depth)) return ParseResult::Value;
      builder = ValueBuilder(out);
      ok = Value::sax_parse(text.data(), text.data() + text.size(), &builder);
    }
  } catch (const std::exception& e) {
    // Only an allocation failure can get here; report it like any other failed parse.
    out = nullptr;
    if (error) FillError(text, 0, 1, e.what(), *error);
    return ParseResult::Error;
  }
  if (ok) {
    depth = builder.MaxDepth();
    return ParseResult::Value;
  }
  out = nullptr;
  if (error) {
    if (builder.TooDeep()) {
      FillError(text, TooDeepOffset(text), kTooDeepNumber,
                "nesting deeper than " + std::to_string(JsonDocument::kMaxDepth) + " levels",
                *error);
    } else {
      // nlohmann counts characters read, so the offending one is the last of them.
      const std::size_t read = builder.ErrorPosition();
      FillError(text, read == 0 ? 0 : read - 1, builder.ErrorId(),
                DescriptionOf(builder.ErrorMessage()), *error);
    }
  }
  return ParseResult::Error;
}

ParseResult ParseJson(std::string_view text, Value& out, JsonParseError* error, int& depth) {
  if (error) *error = JsonParseError{};
  if (!IsBlank(text) && ReadJsonQuickly(text, out, depth)) return ParseResult::Value;
  return ParseJsonCarefully(text, out, error, depth);
}

}  // namespace qv::json_detail
