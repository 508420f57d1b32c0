// Eight bytes of JSON string text looked at in one step, for the reader and the writer,
// whose loops copy plain runs of text and stop only where a byte needs handling.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace qv::json_detail {

inline constexpr uint64_t kOnes = 0x0101010101010101;
inline constexpr uint64_t kHighBits = 0x8080808080808080;

// The high bit of each byte of `word` that equals `byte` (bits above the first may be
// spurious).
constexpr uint64_t HasByte(uint64_t word, unsigned char byte) {
  const uint64_t x = word ^ (kOnes * byte);
  return (x - kOnes) & ~x & kHighBits;
}

// The 8 bytes at `p`, the first in the lowest byte.
inline uint64_t LoadWord(const char* p) {
  static_assert(std::endian::native == std::endian::little, "byte order of the word scan");
  uint64_t word;
  std::memcpy(&word, p, sizeof word);
  return word;
}

// The high bit of each byte of `word` that ends a plain run of string text (a control
// character, quote, backslash or non-ASCII byte); the lowest set bit marks the first such
// byte exactly (bits above it may be spurious).
constexpr uint64_t StringStopBytes(uint64_t word) {
  const uint64_t control = (word - kOnes * 0x20) & ~word & kHighBits;
  return (control | HasByte(word, '"') | HasByte(word, '\\') | word) & kHighBits;
}

// Copies the `length`-byte character at `p` (text ending at `end`) to `dst` and returns the
// end of the copy. With four bytes readable a fixed-size store copies inline; a byte stored
// past the character is overwritten by the next store.
inline char* CopyCharacter(char* dst, const char* p, const char* end, std::size_t length) {
  if (end - p >= 4) {
    std::memcpy(dst, p, 4);
  } else {
    std::memcpy(dst, p, length);
  }
  return dst + length;
}

}  // namespace qv::json_detail
