// UTF-8 code-point decoding and encoding shared by the text helpers (not a public interface).
#pragma once

#include <string>
#include <string_view>

namespace qv::detail {

inline constexpr char32_t kReplacement = 0xFFFD;

// Decodes the code point at `i` and advances past it; an ill-formed sequence yields U+FFFD
// and advances by its maximal ill-formed prefix (at least one byte).
char32_t DecodeUtf8(std::string_view s, size_t& i);

// Appends the UTF-8 form of `cp`.
void AppendUtf8(std::string& out, char32_t cp);

}  // namespace qv::detail
