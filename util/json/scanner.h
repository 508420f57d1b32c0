// The scanning half of the quick JSON reader: blanks, strings, numbers, words and the nesting
// count, shared by the reader that builds values and the one that rewrites JSON text. Each
// step reads well-formed JSON in valid UTF-8 only and returns false on anything else, leaving
// the decision and the error record to the careful reader.
#pragma once

#include <bit>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

#include "util/json/value.h"
#include "util/json/word_scan.h"
#include "util/utf8.h"

namespace qv::json_detail {

// The first byte of the 8 at `p` that ends a plain run of string text is at the lowest set
// bit.
inline uint64_t ReadStopBytes(const char* p) { return StringStopBytes(LoadWord(p)); }

inline bool IsBlankByte(char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t'; }

// The value of the four hexadecimal digits at `p`; false when there are fewer or others.
inline bool ReadHex4(const char* p, const char* end, uint32_t& value) {
  if (end - p < 4) return false;
  value = 0;
  for (int i = 0; i < 4; ++i) {
    const char c = p[i];
    uint32_t digit;
    if (c >= '0' && c <= '9') {
      digit = static_cast<uint32_t>(c - '0');
    } else if (c >= 'a' && c <= 'f') {
      digit = static_cast<uint32_t>(c - 'a' + 10);
    } else if (c >= 'A' && c <= 'F') {
      digit = static_cast<uint32_t>(c - 'A' + 10);
    } else {
      return false;
    }
    value = (value << 4) | digit;
  }
  return true;
}

// A \u escape read: the character and the length of its text (0 when it is not an escape).
struct UnicodeEscape {
  char32_t cp = 0;
  std::size_t length = 0;
};

inline constexpr std::size_t kUnicodeEscapeLength = 6;  // \uXXXX

// Reads the \u escape at `p` (its backslash). A high surrogate followed by the escape of a
// low one is one character of two escapes. Any other surrogate stands alone: JSON's grammar
// allows it (a note cut in the middle of an emoji), Unicode text cannot hold it, so it reads
// as U+FFFD and what follows it is read on its own.
inline UnicodeEscape ReadUnicodeEscape(const char* p, const char* end) {
  uint32_t cp = 0;
  if (end - p < 2 || p[0] != '\\' || p[1] != 'u' || !ReadHex4(p + 2, end, cp)) return {};
  if (cp < 0xD800 || cp > 0xDFFF) return {cp, kUnicodeEscapeLength};
  const char* next = p + kUnicodeEscapeLength;
  uint32_t low = 0;
  if (cp <= 0xDBFF && end - next >= 2 && next[0] == '\\' && next[1] == 'u' &&
      ReadHex4(next + 2, end, low) && low >= 0xDC00 && low <= 0xDFFF) {
    return {0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00), 2 * kUnicodeEscapeLength};
  }
  return {kReplacementCharacter, kUnicodeEscapeLength};
}

class JsonScanner {
 protected:
  explicit JsonScanner(std::string_view text) : p_(text.data()), end_(text.data() + text.size()) {}

  void SkipBlanks() {
    while (p_ != end_ && IsBlankByte(*p_)) ++p_;
  }

  // Steps over `word` ("true", "false" or "null") at p_.
  bool SkipWord(std::string_view word) {
    if (static_cast<std::size_t>(end_ - p_) < word.size() ||
        std::memcmp(p_, word.data(), word.size()) != 0) {
      return false;
    }
    p_ += word.size();
    return true;
  }

  // Steps over the container whose '[' or '{' is under p_: counts the level (false when too
  // deep), calls `item` for each element or member, which reads it, and steps over the ","
  // between them and the `close` byte after them. `skipGap` steps over blanks.
  template <typename SkipGap, typename Item>
  bool Items(char close, SkipGap skipGap, Item item) {
    ++p_;
    if (++depth_ > JsonDocument::kMaxDepth) return false;
    if (depth_ > maxDepth_) maxDepth_ = depth_;
    skipGap();
    if (p_ != end_ && *p_ == close) return Close();
    for (;;) {
      if (!item()) return false;
      skipGap();
      if (p_ == end_) return false;
      if (*p_ == close) return Close();
      if (*p_ != ',') return false;
      ++p_;
      skipGap();
    }
  }

  // After a member's name: steps over the ':' and the gaps around it.
  template <typename SkipGap>
  bool NameSeparator(SkipGap skipGap) {
    skipGap();
    if (p_ == end_ || *p_ != ':') return false;
    ++p_;
    skipGap();
    return true;
  }

  // Reads the string that starts at the quote under p_; `text` shows its characters until
  // the next string is read. A string without escapes is shown where it stands in the input;
  // one with escapes is decoded into the scratch buffer, so that the string made of it is
  // allocated once at its final size.
  bool ReadString(std::string_view& text) {
    const char* start = ++p_;
    char* unused = nullptr;
    if (!ReadRun<false>(unused)) return false;
    if (*p_ == '"') {
      text = std::string_view(start, p_ - start);
      ++p_;
      return true;
    }
    // Decoding never lengthens a text, so the decoded string fits in the text's size; the
    // run copier stores whole words and needs 8 bytes more.
    if (!scratch_) scratch_ = std::make_unique_for_overwrite<char[]>((end_ - start) + 16);
    char* dst = scratch_.get();
    std::memcpy(dst, start, p_ - start);
    dst += p_ - start;
    while (*p_ == '\\') {
      if (!ReadEscape(dst) || !ReadRun<true>(dst)) return false;
    }
    text = std::string_view(scratch_.get(), dst - scratch_.get());
    ++p_;  // the closing quote
    return true;
  }

  // Steps over string text up to a quote or backslash, copying it to `dst` when kCopy; false
  // at the end of the text, at a control character or at ill-formed UTF-8. Plain ASCII goes
  // a word at a time.
  template <bool kCopy>
  bool ReadRun(char*& dst) {
    // Working on local copies keeps both pointers in registers: stores through `dst` could
    // otherwise alias the members.
    const char* p = p_;
    char* out = dst;
    const bool ok = RunFrom<kCopy>(p, out);
    p_ = p;
    dst = out;
    return ok;
  }

  template <bool kCopy>
  bool RunFrom(const char*& p, char*& dst) const {
    const char* const end = end_;
    for (;;) {
      while (end - p >= 8) {
        const uint64_t special = ReadStopBytes(p);
        if constexpr (kCopy) std::memcpy(dst, p, 8);
        if (special != 0) {
          const int plain = std::countr_zero(special) / 8;
          p += plain;
          if constexpr (kCopy) dst += plain;
          break;
        }
        p += 8;
        if constexpr (kCopy) dst += 8;
      }
      if (p == end) return false;
      const auto c = static_cast<unsigned char>(*p);
      if (c == '"') return true;
      if (c == '\\') {
        if constexpr (!kCopy) return true;
        // The two-character escapes of a quote or a backslash are most of the escapes in a
        // print content sent as a string; take them here rather than leave the run.
        if (end - p >= 2 && (p[1] == '"' || p[1] == '\\')) {
          *dst++ = p[1];
          p += 2;
          continue;
        }
        return true;
      }
      if (c < 0x20) return false;
      if (c < 0x80) {  // only in the last 7 bytes of the text
        if constexpr (kCopy) *dst++ = static_cast<char>(c);
        ++p;
        continue;
      }
      // Non-ASCII characters come in runs (a dish name); take the run before the next word.
      do {
        const Utf8Step step = StepUtf8(p, end);
        if (!step.wellFormed) return false;
        if constexpr (kCopy) dst = CopyCharacter(dst, p, end, step.length);
        p += step.length;
      } while (p != end && static_cast<unsigned char>(*p) >= 0x80);
    }
  }

  // Decodes the escape at the backslash under p_ to `dst`.
  bool ReadEscape(char*& dst) {
    if (end_ - p_ < 2) return false;
    if (p_[1] == 'u') {
      const UnicodeEscape escape = ReadUnicodeEscape(p_, end_);
      if (escape.length == 0) return false;
      p_ += escape.length;
      dst = EncodeUtf8(escape.cp, dst);
      return true;
    }
    const char c = p_[1];
    p_ += 2;
    switch (c) {
      case '"':
      case '\\':
      case '/':
        *dst++ = c;
        return true;
      case 'b':
        *dst++ = '\b';
        return true;
      case 'f':
        *dst++ = '\f';
        return true;
      case 'n':
        *dst++ = '\n';
        return true;
      case 'r':
        *dst++ = '\r';
        return true;
      case 't':
        *dst++ = '\t';
        return true;
      default:
        return false;
    }
  }

  // Steps over the close byte under p_, one level up.
  bool Close() {
    ++p_;
    --depth_;
    return true;
  }

  bool SkipDigits() {
    const char* start = p_;
    while (p_ != end_ && *p_ >= '0' && *p_ <= '9') ++p_;
    return p_ != start;
  }

  // Steps over the number at p_; `integral` says whether it has neither fraction nor
  // exponent.
  bool SkipNumber(bool& integral) {
    if (*p_ == '-') ++p_;
    if (p_ == end_) return false;
    if (*p_ == '0') {
      ++p_;
    } else if (!SkipDigits()) {
      return false;
    }
    integral = true;
    if (p_ != end_ && *p_ == '.') {
      ++p_;
      if (!SkipDigits()) return false;
      integral = false;
    }
    if (p_ != end_ && (*p_ == 'e' || *p_ == 'E')) {
      ++p_;
      if (p_ != end_ && (*p_ == '+' || *p_ == '-')) ++p_;
      if (!SkipDigits()) return false;
      integral = false;
    }
    return true;
  }

  bool ReadNumber(Value& out) {
    const char* start = p_;
    bool integral = false;
    return SkipNumber(integral) && NumberValue(start, p_, integral, out);
  }

  // The value of the number text [start, end): an integer without fraction or exponent,
  // unsigned when positive, signed when negative, and a double only when it does not fit;
  // any other number is a double.
  static bool NumberValue(const char* start, const char* end, bool integral, Value& out) {
    if (integral) {
      if (*start == '-') {
        int64_t value;
        const auto result = std::from_chars(start, end, value);
        if (result.ec == std::errc() && result.ptr == end) {
          out = Value(value);
          return true;
        }
      } else {
        uint64_t value;
        const auto result = std::from_chars(start, end, value);
        if (result.ec == std::errc() && result.ptr == end) {
          out = Value(value);
          return true;
        }
      }
    }
    // Out of range (overflow to infinity, underflow) is left to the careful reader.
    double value;
    const auto result = std::from_chars(start, end, value);
    if (result.ec != std::errc() || result.ptr != end) return false;
    out = Value(value);
    return true;
  }

  const char* p_;
  const char* end_;
  int depth_ = 0;
  int maxDepth_ = 0;
  std::unique_ptr<char[]> scratch_;  // decoded strings with escapes, allocated on first use
};

}  // namespace qv::json_detail
