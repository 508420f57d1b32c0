// UTF-8 one character at a time: the one decoder and encoder of the program. Everything that
// walks a text by characters (the JSON readers and writer, the text helpers, regular
// expressions, the charset codecs) steps with StepUtf8, so that all of them agree on what is
// well formed and on where an ill-formed sequence ends.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qv {

inline constexpr char32_t kReplacementCharacter = 0xFFFD;

// One step through UTF-8 text. An ill-formed sequence is as long as its maximal ill-formed
// prefix (at least one byte): Unicode's recommendation for replacing it with one U+FFFD.
struct Utf8Step {
  std::size_t length;
  bool wellFormed;
};

// The step at `p` in a text that ends at `end` (p < end), by Unicode's table of well-formed
// byte sequences: no overlong forms, no surrogates, nothing above U+10FFFF.
inline Utf8Step StepUtf8(const char* p, const char* end) {
  const auto lead = static_cast<unsigned char>(*p);
  if (lead < 0x80) return {1, true};
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return {1, false};
  }
  for (std::size_t k = 1; k < length; ++k) {
    if (end - p <= static_cast<std::ptrdiff_t>(k)) return {k, false};
    const auto byte = static_cast<unsigned char>(p[k]);
    if (byte < low || byte > high) return {k, false};
    low = 0x80, high = 0xBF;
  }
  return {length, true};
}

// The code point of the well-formed sequence of `length` bytes at `p`.
inline char32_t CodePointAt(const char* p, std::size_t length) {
  const auto byte = [p](std::size_t k) { return static_cast<unsigned char>(p[k]); };
  if (length == 1) return byte(0);
  char32_t cp = byte(0) & (0x7F >> length);
  for (std::size_t k = 1; k < length; ++k) cp = (cp << 6) | (byte(k) & 0x3F);
  return cp;
}

// Decodes the character at `i` and advances past it; an ill-formed sequence gives U+FFFD.
inline char32_t DecodeUtf8(std::string_view s, std::size_t& i) {
  const char* p = s.data() + i;
  const Utf8Step step = StepUtf8(p, s.data() + s.size());
  i += step.length;
  return step.wellFormed ? CodePointAt(p, step.length) : kReplacementCharacter;
}

// Writes the UTF-8 form of `cp` at `dst` (room for 4 bytes); returns the end of what it wrote.
inline char* EncodeUtf8(char32_t cp, char* dst) {
  const auto byte = [](char32_t b) { return static_cast<char>(b); };
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

// Appends the UTF-8 form of `cp`.
inline void AppendUtf8(std::string& out, char32_t cp) {
  char buffer[4];
  out.append(buffer, EncodeUtf8(cp, buffer));
}

}  // namespace qv
