// Charset conversions through glibc's iconv.
#include "platform/text_codec.h"

#include <iconv.h>

#include <cerrno>
#include <string>

#include "util/text.h"
#include "util/utf8.h"

namespace qv::platform {
namespace {

// The Windows code page 936 is what the printers and files expect; glibc calls it CP936
// (GBK plus the euro sign at 0x80).
std::string IconvName(std::string_view charset) {
  const std::string lower = AsciiLower(charset);
  if (lower == "gbk" || lower == "cp936" || lower == "gb2312") return "CP936";
  return std::string(charset);
}

class Iconv {
 public:
  Iconv(const std::string& to, const std::string& from)
      : cd_(iconv_open(to.c_str(), from.c_str())) {}
  ~Iconv() {
    if (Ok()) iconv_close(cd_);
  }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;
  bool Ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // Converts as much as possible; returns false at an invalid or unconvertible sequence,
  // leaving `in`/`inLeft` at it.
  bool Convert(char*& in, size_t& inLeft, std::string& out) {
    char buffer[4096];
    while (inLeft > 0) {
      char* outPtr = buffer;
      size_t outLeft = sizeof buffer;
      const size_t rc = iconv(cd_, &in, &inLeft, &outPtr, &outLeft);
      out.append(buffer, sizeof buffer - outLeft);
      if (rc == static_cast<size_t>(-1) && errno != E2BIG) return false;
    }
    char* outPtr = buffer;
    size_t outLeft = sizeof buffer;
    iconv(cd_, nullptr, nullptr, &outPtr, &outLeft);
    out.append(buffer, sizeof buffer - outLeft);
    return true;
  }

 private:
  iconv_t cd_;
};

}  // namespace

bool EncodeCharset(std::string_view utf8, std::string_view charset, std::string& out) {
  out.clear();
  Iconv cd(IconvName(charset), "UTF-8");
  if (!cd.Ok()) return false;
  // Sanitising first means every failure below is a character the charset cannot hold.
  std::string input = SanitizeUtf8(utf8);
  char* in = input.data();
  size_t left = input.size();
  while (!cd.Convert(in, left, out)) {
    out += '?';
    const size_t skip = StepUtf8(in, in + left).length;
    in += skip;
    left -= skip;
  }
  return true;
}

bool DecodeCharset(std::string_view bytes, std::string_view charset, std::string& utf8) {
  utf8.clear();
  Iconv cd("UTF-8", IconvName(charset));
  if (!cd.Ok()) return false;
  std::string input(bytes);
  char* in = input.data();
  size_t left = input.size();
  while (!cd.Convert(in, left, utf8)) {
    utf8 += "\xEF\xBF\xBD";
    ++in;
    --left;
  }
  return true;
}

}  // namespace qv::platform
