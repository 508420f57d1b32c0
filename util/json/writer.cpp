// The text form and the JSON text of document values.
#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "util/json/string_text.h"
#include "util/json/value.h"
#include "util/json/word_scan.h"
#include "util/text.h"
#include "util/utf8.h"

namespace qv::json_detail {
namespace {

// Integers up to 2^53 are exact doubles, so their shortest text is their decimal text.
constexpr int64_t kExactIntegerLimit = int64_t{1} << 53;

void AppendInteger(std::string& out, int64_t value) {
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, result.ptr);
}

void AppendNumberValue(std::string& out, const Value& value) {
  if (value.is_number_integer() && !value.is_number_unsigned()) {
    const int64_t v = value.get<int64_t>();
    if (v >= -kExactIntegerLimit && v <= kExactIntegerLimit) return AppendInteger(out, v);
  } else if (value.is_number_unsigned()) {
    const uint64_t v = value.get<uint64_t>();
    if (v <= static_cast<uint64_t>(kExactIntegerLimit)) {
      return AppendInteger(out, static_cast<int64_t>(v));
    }
  }
  out += NumberText(value.get<double>());
}

void AppendTextForm(std::string& out, const Value& value) {
  switch (value.type()) {
    case Value::value_t::string:
      out += RestoreBackslashes(value.get_ref<const std::string&>());
      break;
    case Value::value_t::boolean:
      out += value.get<bool>() ? "true" : "false";
      break;
    case Value::value_t::number_integer:
    case Value::value_t::number_unsigned:
    case Value::value_t::number_float:
      AppendNumberValue(out, value);
      break;
    case Value::value_t::object:
      out += "[object Object]";
      break;
    case Value::value_t::array: {
      bool first = true;
      for (const Value& element : value) {
        if (!first) out += ',';
        first = false;
        AppendTextForm(out, element);
      }
      break;
    }
    default:
      break;
  }
}

// Code points that JSON text writes as \uXXXX although JSON would allow them raw: controls,
// format characters and line separators that some readers mangle or drop.
bool NeedsUnicodeEscape(uint32_t cp) {
  return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F) || cp == 0xAD || (cp >= 0x600 && cp <= 0x604) ||
         cp == 0x70F || cp == 0x17B4 || cp == 0x17B5 || (cp >= 0x200C && cp <= 0x200F) ||
         (cp >= 0x2028 && cp <= 0x202F) || (cp >= 0x2060 && cp <= 0x206F) || cp == 0xFEFF ||
         (cp >= 0xFFF0 && cp <= 0xFFFF);
}

// The high bit of each of the 8 bytes at `p` that may need an escape (those that end a plain
// run of string text, and DEL); the lowest set bit marks the first such byte exactly.
inline uint64_t SpecialBytes(const char* p) {
  const uint64_t word = LoadWord(p);
  return StringStopBytes(word) | HasByte(word, 0x7F);
}

// Writes the escape of the character `cp` (`length` bytes at `from`) to `dst` when it needs
// one; otherwise copies its bytes. Returns the end of what it wrote.
char* PutCharacter(char* dst, const char* from, std::size_t length, uint32_t cp) {
  static constexpr char kHex[] = "0123456789abcdef";
  char letter = 0;
  switch (cp) {
    case '"':
      letter = '"';
      break;
    case '\\':
      letter = '\\';
      break;
    case '\b':
      letter = 'b';
      break;
    case '\t':
      letter = 't';
      break;
    case '\n':
      letter = 'n';
      break;
    case '\f':
      letter = 'f';
      break;
    case '\r':
      letter = 'r';
      break;
    // The stand-in reads as a backslash everywhere; written escaped, the JSON text reads back
    // to the same string.
    case 0x2400:
      letter = '\\';
      break;
    default:
      break;
  }
  if (letter != 0) {
    dst[0] = '\\';
    dst[1] = letter;
    return dst + 2;
  }
  if (NeedsUnicodeEscape(cp)) {
    const char u[] = {
        '\\',          'u', kHex[(cp >> 12) & 0xF], kHex[(cp >> 8) & 0xF], kHex[(cp >> 4) & 0xF],
        kHex[cp & 0xF]};
    std::memcpy(dst, u, sizeof u);
    return dst + sizeof u;
  }
  std::memcpy(dst, from, length);
  return dst + length;
}

void PutNumberValue(JsonTextSink& out, const Value& value) {
  int64_t exact = 0;
  if (value.is_number_integer() && !value.is_number_unsigned()) {
    exact = value.get<int64_t>();
    if (exact < -kExactIntegerLimit || exact > kExactIntegerLimit) {
      return out.Put(NumberText(value.get<double>()));
    }
  } else {
    const uint64_t v = value.get<uint64_t>();
    if (v > static_cast<uint64_t>(kExactIntegerLimit))
      return out.Put(NumberText(value.get<double>()));
    exact = static_cast<int64_t>(v);
  }
  char* at = out.Room(24);
  out.Commit(std::to_chars(at, at + 24, exact).ptr);
}

// The text goes in slices, each given room for its longest escaping (6 bytes for each byte,
// plus a word store and a character that straddles the slice's end). One template for both
// sets of escapes, so that a text written outside a document is escaped by the same code as
// every document's strings; the set is a template argument to keep the document path as fast
// as it was.
template <JsonEscapes kEscapes>
void PutQuotedWith(JsonTextSink& out, std::string_view s) {
  constexpr bool kTextForm = kEscapes == JsonEscapes::TextForm;
  constexpr std::size_t kSlice = 256;
  out.Put('"');
  const char* const end = s.data() + s.size();
  for (const char* p = s.data(); p != end;) {
    const std::size_t slice = std::min<std::size_t>(kSlice, end - p);
    const char* const stop = p + slice;
    char* dst = out.Room(slice * 6 + 16);
    while (p < stop) {
      // Plain ASCII, most of any text, goes a word at a time.
      if (end - p >= 8) {
        const uint64_t special = SpecialBytes(p);
        std::memcpy(dst, p, 8);
        if (special == 0) {
          p += 8;
          dst += 8;
          continue;
        }
        const int plain = std::countr_zero(special) / 8;
        p += plain;
        dst += plain;
        if (p >= stop) break;
      }
      const unsigned char c = static_cast<unsigned char>(*p);
      if (c == '"' || c == '\\') {  // the common escapes, in a print content sent as a string
        dst[0] = '\\';
        dst[1] = static_cast<char>(c);
        dst += 2;
        ++p;
        continue;
      }
      if (c >= 0x20 && (c < 0x7F || (!kTextForm && c == 0x7F))) {
        *dst++ = static_cast<char>(c);
        ++p;
        continue;
      }
      // CJK text, the bulk of a receipt, is copied without decoding; so is every character
      // beyond ASCII of a text that gets only the escapes JSON requires.
      if (kTextForm ? !MayBeWrittenEscaped(c) : c >= 0x80) {
        const std::size_t length = std::min<std::size_t>(end - p, c >= 0xF0   ? 4
                                                                  : c >= 0xE0 ? 3
                                                                              : 2);
        dst = CopyCharacter(dst, p, end, length);
        p += length;
        continue;
      }
      // Strings in a document are well-formed UTF-8, and so is a text with the required
      // escapes by the time it gets here.
      const Utf8Step step = StepUtf8(p, end);
      const char32_t cp = step.wellFormed ? CodePointAt(p, step.length) : kReplacementCharacter;
      dst = PutCharacter(dst, p, step.length, cp);
      p += step.length;
    }
    out.Commit(dst);
  }
  out.Put('"');
}

}  // namespace

void PutQuoted(JsonTextSink& out, std::string_view text, JsonEscapes escapes) {
  if (escapes == JsonEscapes::TextForm) return PutQuotedWith<JsonEscapes::TextForm>(out, text);
  // JSON text is UTF-8: one byte that is no part of a character (a queue name the system took
  // as it stood) would make the whole text unreadable for the cloud. The copy above also takes
  // a character's length from its first byte, which holds only for well-formed text.
  if (IsValidUtf8(text)) return PutQuotedWith<JsonEscapes::Required>(out, text);
  PutQuotedWith<JsonEscapes::Required>(out, SanitizeUtf8(text));
}

bool WrittenEscaped(uint32_t cp) {
  return cp == '"' || cp == '\\' || cp == 0x2400 || NeedsUnicodeEscape(cp);
}

std::string NumberText(double number) {
  if (std::isnan(number)) return "NaN";
  if (std::isinf(number)) return number < 0 ? "-Infinity" : "Infinity";
  if (number == 0) return "0";  // -0 as well

  // Shortest round-trip digits and decimal exponent, e.g. "-1.2345e+20".
  char buffer[64];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, number, std::chars_format::scientific);
  const std::string_view sci(buffer, result.ptr - buffer);
  const std::size_t e = sci.find('e');
  std::string digits;
  for (char c : sci.substr(0, e)) {
    if (c >= '0' && c <= '9') digits += c;
  }
  const int k = static_cast<int>(digits.size());
  const int n = std::atoi(std::string(sci.substr(e + 1)).c_str()) + 1;  // value = 0.digits * 10^n

  std::string out = number < 0 ? "-" : "";
  if (k <= n && n <= 21) {
    out += digits;
    out.append(n - k, '0');
  } else if (0 < n && n <= 21) {
    out.append(digits, 0, n).append(".").append(digits, n);
  } else if (-6 < n && n <= 0) {
    out.append("0.").append(-n, '0').append(digits);
  } else {
    out += digits[0];
    if (k > 1) out.append(".").append(digits, 1);
    out += n - 1 >= 0 ? "e+" : "e-";
    out += std::to_string(std::abs(n - 1));
  }
  return out;
}

std::string RestoreBackslashes(std::string_view text) {
  return ReplaceAll(text, kBackslashStandIn, "\\");
}

std::string TextForm(const Value& value) {
  std::string out;
  AppendTextForm(out, value);
  return out;
}

void PutJson(JsonTextSink& out, const Value& value) {
  switch (value.type()) {
    case Value::value_t::null:
      out.Put("null");
      break;
    case Value::value_t::boolean:
      out.Put(value.get<bool>() ? "true" : "false");
      break;
    case Value::value_t::number_integer:
    case Value::value_t::number_unsigned:
      PutNumberValue(out, value);
      break;
    case Value::value_t::number_float: {
      const double number = value.get<double>();
      out.Put(std::isfinite(number) ? NumberText(number) : "null");
      break;
    }
    case Value::value_t::string:
      PutQuoted(out, value.get_ref<const std::string&>());
      break;
    case Value::value_t::array: {
      out.Put('[');
      bool first = true;
      for (const Value& element : value.get_ref<const Value::array_t&>()) {
        if (!first) out.Put(',');
        first = false;
        PutJson(out, element);
      }
      out.Put(']');
      break;
    }
    case Value::value_t::object: {
      out.Put('{');
      bool first = true;
      for (const auto& [name, member] : value.get_ref<const Value::object_t&>()) {
        if (!first) out.Put(',');
        first = false;
        PutQuoted(out, name);
        out.Put(':');
        PutJson(out, member);
      }
      out.Put('}');
      break;
    }
    default:  // binary and discarded values have no JSON form
      out.Put("null");
      break;
  }
}

void AppendJsonText(std::string& out, const Value& value) {
  JsonTextSink sink(out);
  PutJson(sink, value);
  sink.Finish();
}

}  // namespace qv::json_detail

namespace qv {

std::string JsonQuoted(std::string_view text) {
  std::string out;
  json_detail::JsonTextSink sink(out);
  json_detail::PutQuoted(sink, text, json_detail::JsonEscapes::Required);
  sink.Finish();
  return out;
}

}  // namespace qv
