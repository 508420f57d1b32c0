#include "platform/gbk.h"

#include <array>
#include <atomic>
#include <cstdint>

#include "platform/text_codec.h"
#include "util/text.h"
#include "util/utf8.h"

namespace qv {
namespace {

// Conversions take a text up to its terminating zero, as the C-string APIs of the
// operating system do; a zero byte never reaches a printer or a file name.
std::string_view UpToZero(std::string_view s) {
  const size_t zero = s.find('\0');
  return zero == std::string_view::npos ? s : s.substr(0, zero);
}

// Every request's header block passes here: looking at all the bytes without stopping early
// lets the compiler take many of them at a time.
bool IsAsciiOnly(std::string_view s) {
  unsigned char seen = 0;
  for (unsigned char c : s) seen |= c;
  return seen < 0x80;
}

// Every receipt line goes through FromUtf8, and asking the system codec for each line costs
// far more than building the printer bytes. The GBK form of each character of the Basic
// Multilingual Plane is therefore asked for once, on first sight, and remembered here.
// Entries: 0 = not known yet; 0xFFbb = the single byte bb; otherwise the two bytes (GBK lead
// bytes are 0x81..0xFE, so the two kinds cannot meet). Atomics, because several threads call
// this at once (the printer lane's receipts, the UI thread's run log, the simulator's
// servers); a race only means asking the codec twice.
class GbkEncodeCache {
 public:
  void Append(char32_t cp, std::string& out) {
    if (cp > 0xFFFF) {
      out += '?';
      return;
    }
    uint16_t entry = table_[cp].load(std::memory_order_relaxed);
    if (entry == 0) {
      entry = Lookup(cp);
      table_[cp].store(entry, std::memory_order_relaxed);
    }
    if ((entry >> 8) == 0xFF) {
      out += static_cast<char>(entry & 0xFF);
    } else {
      out += static_cast<char>(entry >> 8);
      out += static_cast<char>(entry & 0xFF);
    }
  }

 private:
  static uint16_t Lookup(char32_t cp) {
    std::string utf8, gbk;
    AppendUtf8(utf8, cp);
    if (!platform::EncodeCharset(utf8, "GBK", gbk)) return 0xFF00 | '?';
    if (gbk.size() == 1) return static_cast<uint16_t>(0xFF00 | static_cast<uint8_t>(gbk[0]));
    if (gbk.size() == 2 && static_cast<uint8_t>(gbk[0]) >= 0x81 &&
        static_cast<uint8_t>(gbk[0]) <= 0xFE) {
      return static_cast<uint16_t>((static_cast<uint8_t>(gbk[0]) << 8) |
                                   static_cast<uint8_t>(gbk[1]));
    }
    return 0xFF00 | '?';
  }

  std::array<std::atomic<uint16_t>, 0x10000> table_{};
};

GbkEncodeCache& EncodeCache() {
  static GbkEncodeCache cache;
  return cache;
}

}  // namespace

std::string ToUtf8(std::string_view gbk) {
  gbk = UpToZero(gbk);
  if (IsAsciiOnly(gbk)) return std::string(gbk);
  std::string out;
  if (!platform::DecodeCharset(gbk, "GBK", out)) return SanitizeUtf8(gbk);
  return out;
}

std::string FromUtf8(std::string_view utf8) {
  utf8 = UpToZero(utf8);
  if (IsAsciiOnly(utf8)) return std::string(utf8);
  std::string out;
  out.reserve(utf8.size());
  GbkEncodeCache& cache = EncodeCache();
  for (size_t i = 0; i < utf8.size();) {
    const unsigned char c = static_cast<unsigned char>(utf8[i]);
    if (c < 0x80) {
      out += static_cast<char>(c);
      ++i;
      continue;
    }
    // Invalid UTF-8 decodes to U+FFFD, which GBK cannot hold: it becomes "?" like any other
    // character without a GBK form.
    cache.Append(DecodeUtf8(utf8, i), out);
  }
  return out;
}

}  // namespace qv
