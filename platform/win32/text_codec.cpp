// Charset conversions through MultiByteToWideChar / WideCharToMultiByte.
#include "platform/text_codec.h"

#include <windows.h>

#include "platform/win32/wide.h"
#include "util/text.h"

namespace qv::platform {
namespace {

struct CharsetCodePage {
  const char* name;
  UINT codePage;
};

constexpr CharsetCodePage kCodePages[] = {
    {"utf-8", CP_UTF8},        {"utf8", CP_UTF8},         {"gbk", 936},
    {"gb2312", 936},           {"cp936", 936},            {"gb18030", 54936},
    {"big5", 950},             {"shift_jis", 932},        {"sjis", 932},
    {"euc-jp", 20932},         {"euc-kr", 51949},         {"iso-8859-1", 28591},
    {"latin1", 28591},         {"us-ascii", 20127},       {"windows-1252", 1252},
    {"windows-1251", 1251},    {"koi8-r", 20866},         {"utf-16", 1200},
};

UINT CodePageOf(std::string_view charset) {
  const std::string lower = AsciiLower(charset);
  for (const CharsetCodePage& c : kCodePages) {
    if (lower == c.name) return c.codePage;
  }
  return 0;
}

// Legacy code pages hold no character outside the Basic Multilingual Plane, and the system
// would write one "?" per surrogate half; one character should become one "?".
std::wstring WithoutSupplementaryCharacters(std::wstring wide) {
  std::wstring out;
  out.reserve(wide.size());
  for (size_t i = 0; i < wide.size(); ++i) {
    const wchar_t c = wide[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 &&
        wide[i + 1] <= 0xDFFF) {
      out += L'?';
      ++i;
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

bool EncodeCharset(std::string_view utf8, std::string_view charset, std::string& out) {
  out.clear();
  const UINT cp = CodePageOf(charset);
  if (cp == 0) return false;
  std::wstring wide = win32::Wide(utf8);
  if (wide.empty()) return true;
  if (cp == CP_UTF8) {
    out = win32::Narrow(wide);
    return true;
  }
  if (cp != 54936 && cp != 1200) wide = WithoutSupplementaryCharacters(std::move(wide));
  const int n = WideCharToMultiByte(cp, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                    "?", nullptr);
  if (n <= 0) return false;
  out.resize(static_cast<size_t>(n));
  WideCharToMultiByte(cp, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n, "?",
                      nullptr);
  return true;
}

bool DecodeCharset(std::string_view bytes, std::string_view charset, std::string& utf8) {
  utf8.clear();
  const UINT cp = CodePageOf(charset);
  if (cp == 0) return false;
  if (bytes.empty()) return true;
  if (cp == CP_UTF8) {
    utf8 = SanitizeUtf8(bytes);
    return true;
  }
  const int n = MultiByteToWideChar(cp, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  if (n <= 0) return false;
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(cp, 0, bytes.data(), static_cast<int>(bytes.size()), wide.data(), n);
  utf8 = win32::Narrow(wide);
  return true;
}

}  // namespace qv::platform
