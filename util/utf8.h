// Decoding and encoding one UTF-8 character at a time, for every part of the program that
// walks a text by characters.
#pragma once

#include <string>
#include <string_view>

namespace qv {

inline constexpr char32_t kReplacementCharacter = 0xFFFD;

// Decodes the code point at `i` and advances past it; an ill-formed sequence yields U+FFFD
// and advances by its maximal ill-formed prefix (at least one byte), as Unicode recommends.
char32_t DecodeUtf8(std::string_view s, size_t& i);

// Appends the UTF-8 form of `cp`.
void AppendUtf8(std::string& out, char32_t cp);

}  // namespace qv
