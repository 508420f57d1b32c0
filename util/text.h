// Text helpers shared by every module: UTF-8 checks and UTF-16 conversion, percent-encoding,
// Base64, MD5 and the small text rules of the service. Every text inside the program is UTF-8
// in a std::string; GBK, at the edges of the program, is platform/gbk.h's.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qv {

// UTF-8 <-> UTF-16 (used by the Windows backends). Invalid UTF-8 becomes U+FFFD;
// unpaired surrogates become U+FFFD on the way back.
std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);

// True when `bytes` is well-formed UTF-8.
bool IsValidUtf8(std::string_view bytes);

// Returns `bytes` with every ill-formed UTF-8 sequence replaced by U+FFFD, so that a text
// from outside can be read leniently instead of being rejected.
std::string SanitizeUtf8(std::string_view bytes);

enum class UrlEncodeMode {
  KeepSafe,  // A-Z a-z 0-9 - . _ ' ( ) * copied, space -> "+", the rest %XX
  All,       // space -> "+", every other byte %XX
};

// Percent-encodes bytes: zero bytes dropped, upper-case hex digits.
std::string UrlEncode(std::string_view bytes, UrlEncodeMode mode);

// Base64 with the standard alphabet and "=" padding (RFC 4648).
std::string Base64Encode(std::string_view bytes);

// Decodes standard Base64 (padding optional, no whitespace); false on any invalid input.
bool Base64Decode(std::string_view text, std::string& bytes);

// MD5 digest (RFC 1321) as 32 lower-case hex digits.
std::string Md5Hex(std::string_view bytes);

// The leading decimal number of the text (optional spaces and sign first), 0 when there is
// none; clamped to the 32-bit range.
int32_t TextToInt(std::string_view text);

// `text` with every occurrence of `from` (not empty) replaced by `to`, left to right.
std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to);

// Without leading and trailing spaces and tabs.
std::string_view TrimBlanks(std::string_view text);

// Removes leading and trailing ASCII spaces and full-width spaces (U+3000).
std::string TrimSpaces(std::string_view text);

// "真" for true, "假" for false.
std::string BoolText(bool value);

// The ASCII letter in lower case; every other byte as it is.
constexpr char LowerAscii(char c) { return static_cast<char>(c + (c >= 'A' && c <= 'Z' ? 32 : 0)); }
// Lower-cases ASCII letters only; other bytes are kept.
std::string AsciiLower(std::string_view text);

// Case-insensitive (ASCII) equality and substring search.
bool EqualsIgnoreCase(std::string_view a, std::string_view b);
bool ContainsIgnoreCase(std::string_view haystack, std::string_view needle);

}  // namespace qv
