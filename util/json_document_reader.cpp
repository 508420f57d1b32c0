// The quick reader of JSON text: builds document values straight from the text.
//
// Every poll answer is read several times over (the answer, its data member again, each task's
// print content), so reading is the hot path of the service's polling. This reader handles
// well-formed input only and gives up on anything else (a syntax error, ill-formed UTF-8, a
// number out of range, nesting too deep); the careful reader then decides and reports, so
// both give the same value for every text and the error record stays the careful reader's.
#include <bit>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "util/json_document_detail.h"
#include "util/json_word_scan.h"

namespace qv::json_detail {
namespace {

// The first byte of the 8 at `p` that ends a plain run of string text is at the lowest set
// bit.
inline uint64_t SpecialBytes(const char* p) { return StringStopBytes(LoadWord(p)); }

inline bool IsBlankByte(char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t'; }

inline bool InRange(const char* p, unsigned char low, unsigned char high) {
  const auto c = static_cast<unsigned char>(*p);
  return c >= low && c <= high;
}

// Length of the well-formed UTF-8 sequence at `p` (lead byte 0x80 or above), or 0 when it is
// ill-formed or cut off by `end`: the ranges of Unicode's table of well-formed byte sequences.
inline std::size_t Utf8SequenceLength(const char* p, const char* end) {
  const auto lead = static_cast<unsigned char>(*p);
  const std::size_t left = static_cast<std::size_t>(end - p);
  if (lead >= 0xC2 && lead <= 0xDF) return left >= 2 && InRange(p + 1, 0x80, 0xBF) ? 2 : 0;
  if (lead >= 0xE0 && lead <= 0xEF) {
    if (left < 3 || !InRange(p + 2, 0x80, 0xBF)) return 0;
    const unsigned char low = lead == 0xE0 ? 0xA0 : 0x80;
    const unsigned char high = lead == 0xED ? 0x9F : 0xBF;
    return InRange(p + 1, low, high) ? 3 : 0;
  }
  if (lead >= 0xF0 && lead <= 0xF4) {
    if (left < 4 || !InRange(p + 2, 0x80, 0xBF) || !InRange(p + 3, 0x80, 0xBF)) return 0;
    const unsigned char low = lead == 0xF0 ? 0x90 : 0x80;
    const unsigned char high = lead == 0xF4 ? 0x8F : 0xBF;
    return InRange(p + 1, low, high) ? 4 : 0;
  }
  return 0;
}

// Writes the UTF-8 form of `cp` at `dst`; returns the end of what it wrote.
char* EncodeUtf8(uint32_t cp, char* dst) {
  const auto byte = [](uint32_t b) { return static_cast<char>(b); };
  if (cp < 0x80) {
    *dst++ = byte(cp);
  } else if (cp < 0x800) {
    *dst++ = byte(0xC0 | (cp >> 6));
    *dst++ = byte(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    *dst++ = byte(0xE0 | (cp >> 12));
    *dst++ = byte(0x80 | ((cp >> 6) & 0x3F));
    *dst++ = byte(0x80 | (cp & 0x3F));
  } else {
    *dst++ = byte(0xF0 | (cp >> 18));
    *dst++ = byte(0x80 | ((cp >> 12) & 0x3F));
    *dst++ = byte(0x80 | ((cp >> 6) & 0x3F));
    *dst++ = byte(0x80 | (cp & 0x3F));
  }
  return dst;
}

class QuickReader {
 public:
  explicit QuickReader(std::string_view text) : p_(text.data()), end_(text.data() + text.size()) {}

  bool Read(Value& out, int& depth) {
    SkipBlanks();
    if (!ReadValue(out)) return false;
    SkipBlanks();
    depth = maxDepth_;
    return p_ == end_;
  }

 private:
  void SkipBlanks() {
    while (p_ != end_ && IsBlankByte(*p_)) ++p_;
  }

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

  bool ReadWord(std::string_view word, Value&& value, Value& out) {
    if (static_cast<std::size_t>(end_ - p_) < word.size() ||
        std::memcmp(p_, word.data(), word.size()) != 0) {
      return false;
    }
    p_ += word.size();
    out = std::move(value);
    return true;
  }

  bool Open() {
    ++p_;
    if (++depth_ > JsonDocument::kMaxDepth) return false;
    if (depth_ > maxDepth_) maxDepth_ = depth_;
    SkipBlanks();
    return true;
  }

  // After an element or member: true with `more` set when a "," or the `close` byte follows.
  bool NextOrClose(char close, bool& more) {
    SkipBlanks();
    if (p_ == end_) return false;
    if (*p_ == ',') {
      ++p_;
      SkipBlanks();
      more = true;
      return true;
    }
    if (*p_ != close) return false;
    ++p_;
    --depth_;
    more = false;
    return true;
  }

  // Elements and members gather on shared stacks and move into their container at its end,
  // so each container is allocated once at its final size.
  bool ReadArray(Value& out) {
    if (!Open()) return false;
    const std::size_t base = values_.size();
    bool more = p_ == end_ || *p_ != ']';
    if (!more) {
      ++p_;
      --depth_;
    }
    while (more) {
      Value element;
      if (!ReadValue(element)) return false;
      values_.push_back(std::move(element));
      if (!NextOrClose(']', more)) return false;
    }
    out = Value::array();
    auto& elements = out.get_ref<Value::array_t&>();
    elements.reserve(values_.size() - base);
    for (std::size_t i = base; i < values_.size(); ++i) elements.push_back(std::move(values_[i]));
    values_.resize(base);
    return true;
  }

  bool ReadObject(Value& out) {
    if (!Open()) return false;
    const std::size_t base = values_.size();
    bool more = p_ == end_ || *p_ != '}';
    if (!more) {
      ++p_;
      --depth_;
    }
    while (more) {
      if (p_ == end_ || *p_ != '"') return false;
      std::string_view name;
      if (!ReadString(name)) return false;
      names_.emplace_back(name);
      SkipBlanks();
      if (p_ == end_ || *p_ != ':') return false;
      ++p_;
      SkipBlanks();
      Value member;
      if (!ReadValue(member)) return false;
      values_.push_back(std::move(member));
      if (!NextOrClose('}', more)) return false;
    }
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
    for (;;) {
      while (end_ - p_ >= 8) {
        const uint64_t special = SpecialBytes(p_);
        if constexpr (kCopy) std::memcpy(dst, p_, 8);
        if (special != 0) {
          const int plain = std::countr_zero(special) / 8;
          p_ += plain;
          if constexpr (kCopy) dst += plain;
          break;
        }
        p_ += 8;
        if constexpr (kCopy) dst += 8;
      }
      if (p_ == end_) return false;
      const auto c = static_cast<unsigned char>(*p_);
      if (c == '"') return true;
      if (c == '\\') {
        if constexpr (!kCopy) return true;
        // The two-character escapes of a quote or a backslash are most of the escapes in a
        // print content sent as a string; take them here rather than leave the run.
        if (end_ - p_ >= 2 && (p_[1] == '"' || p_[1] == '\\')) {
          *dst++ = p_[1];
          p_ += 2;
          continue;
        }
        return true;
      }
      if (c < 0x20) return false;
      if (c < 0x80) {  // only in the last 7 bytes of the text
        if constexpr (kCopy) *dst++ = static_cast<char>(c);
        ++p_;
        continue;
      }
      // Non-ASCII characters come in runs (a dish name); take the run before the next word.
      do {
        const std::size_t length = Utf8SequenceLength(p_, end_);
        if (length == 0) return false;
        if constexpr (kCopy) {
          if (end_ - p_ >= 4) {
            std::memcpy(dst, p_, 4);  // a fixed size copies inline; the extra byte is overwritten
          } else {
            std::memcpy(dst, p_, length);
          }
          dst += length;
        }
        p_ += length;
      } while (p_ != end_ && static_cast<unsigned char>(*p_) >= 0x80);
    }
  }

  bool ReadHex4(uint32_t& value) {
    if (end_ - p_ < 4) return false;
    value = 0;
    for (int i = 0; i < 4; ++i) {
      const char c = *p_++;
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

  // Decodes the escape at the backslash under p_ to `dst`. A \u escape of a surrogate must be
  // a high one followed by a low one.
  bool ReadEscape(char*& dst) {
    if (++p_ == end_) return false;
    const char c = *p_++;
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
      case 'u':
        break;
      default:
        return false;
    }
    uint32_t cp;
    if (!ReadHex4(cp)) return false;
    if (cp >= 0xDC00 && cp <= 0xDFFF) return false;
    if (cp >= 0xD800 && cp <= 0xDBFF) {
      uint32_t low;
      if (end_ - p_ < 2 || p_[0] != '\\' || p_[1] != 'u') return false;
      p_ += 2;
      if (!ReadHex4(low) || low < 0xDC00 || low > 0xDFFF) return false;
      cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
    }
    dst = EncodeUtf8(cp, dst);
    return true;
  }

  bool SkipDigits() {
    const char* start = p_;
    while (p_ != end_ && *p_ >= '0' && *p_ <= '9') ++p_;
    return p_ != start;
  }

  // A number without fraction or exponent is an integer: unsigned when positive, signed when
  // negative, and a double only when it does not fit; any other number is a double.
  bool ReadNumber(Value& out) {
    const char* start = p_;
    if (*p_ == '-') ++p_;
    if (p_ == end_) return false;
    if (*p_ == '0') {
      ++p_;
    } else if (!SkipDigits()) {
      return false;
    }
    bool integral = true;
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
    if (integral) {
      if (*start == '-') {
        int64_t value;
        const auto result = std::from_chars(start, p_, value);
        if (result.ec == std::errc() && result.ptr == p_) {
          out = Value(value);
          return true;
        }
      } else {
        uint64_t value;
        const auto result = std::from_chars(start, p_, value);
        if (result.ec == std::errc() && result.ptr == p_) {
          out = Value(value);
          return true;
        }
      }
    }
    // Out of range (overflow to infinity, underflow) is left to the careful reader.
    double value;
    const auto result = std::from_chars(start, p_, value);
    if (result.ec != std::errc() || result.ptr != p_) return false;
    out = Value(value);
    return true;
  }

  const char* p_;
  const char* end_;
  int depth_ = 0;
  int maxDepth_ = 0;
  std::vector<Value> values_;
  std::vector<std::string> names_;
  std::unique_ptr<char[]> scratch_;  // decoded strings with escapes, allocated on first use
};

}  // namespace

bool ReadJsonQuickly(std::string_view text, Value& out, int& depth) {
  depth = 0;
  QuickReader reader(text);
  return reader.Read(out, depth);
}

}  // namespace qv::json_detail
