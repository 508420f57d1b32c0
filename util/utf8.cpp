// UTF-8 validation and UTF-8 <-> UTF-16 conversion, done in portable code because the rules
// are fixed and the OS adds nothing but another place for behaviour to differ.
#include "util/utf8.h"
#include "util/text.h"

namespace qv {

bool IsValidUtf8(std::string_view bytes) {
  const char* const end = bytes.data() + bytes.size();
  for (const char* p = bytes.data(); p != end;) {
    const Utf8Step step = StepUtf8(p, end);
    if (!step.wellFormed) return false;
    p += step.length;
  }
  return true;
}

std::string SanitizeUtf8(std::string_view bytes) {
  if (IsValidUtf8(bytes)) return std::string(bytes);
  std::string out;
  out.reserve(bytes.size() + 8);
  for (size_t i = 0; i < bytes.size();) AppendUtf8(out, DecodeUtf8(bytes, i));
  return out;
}

std::u16string Utf8ToUtf16(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    const char32_t cp = DecodeUtf8(utf8, i);
    if (cp >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
  std::string out;
  out.reserve(utf16.size() * 3);
  for (size_t i = 0; i < utf16.size(); ++i) {
    char32_t cp = utf16[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
        utf16[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = kReplacementCharacter;
    }
    AppendUtf8(out, cp);
  }
  return out;
}

}  // namespace qv
