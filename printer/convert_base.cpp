// convertBase: the digit-text conversion the barcode operation is built on.
#include <cstdint>
#include <string>

#include "printer/escpos.h"

namespace qv {
namespace {

constexpr std::string_view kDigits = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";

// Full-width forms (U+FF01..U+FF5E, as typed with a Chinese input method) become their ASCII
// twins and letters become upper case, so "ｆｆ" and "FF" read the same.
std::string HalfWidthUpper(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const auto b0 = static_cast<uint8_t>(text[i]);
    if (b0 == 0xEF && i + 2 < text.size()) {
      const auto b1 = static_cast<uint8_t>(text[i + 1]);
      const auto b2 = static_cast<uint8_t>(text[i + 2]);
      const uint32_t cp = ((b0 & 0x0Fu) << 12) | ((b1 & 0x3Fu) << 6) | (b2 & 0x3Fu);
      if ((b1 & 0xC0) == 0x80 && (b2 & 0xC0) == 0x80 && cp >= 0xFF01 && cp <= 0xFF5E) {
        out += static_cast<char>(cp - 0xFEE0);
        i += 2;
        continue;
      }
    }
    out += text[i];
  }
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

}  // namespace

std::string convertBase(std::string_view number, int fromBase, int toBase) {
  if (fromBase < 2 || fromBase > 36 || toBase < 2 || toBase > 36) {
    return "参数错误-进制只能在2-36之间";
  }
  const std::string digits = HalfWidthUpper(number);
  const std::string_view allowed = kDigits.substr(0, static_cast<size_t>(fromBase));
  // Unsigned arithmetic: a number too long for 64 bits wraps instead of being undefined.
  uint64_t value = 0;
  for (char c : digits) {
    const size_t digit = allowed.find(c);
    if (digit == std::string_view::npos) {
      return "参数错误-" + std::string(number) + "不是一个有效的" + std::to_string(fromBase) +
             "进制数！";
    }
    value = value * static_cast<uint64_t>(fromBase) + digit;
  }
  if (fromBase == toBase) return digits;
  std::string out;
  do {
    out.insert(out.begin(), kDigits[value % static_cast<uint64_t>(toBase)]);
    value /= static_cast<uint64_t>(toBase);
  } while (value != 0);
  return out;
}

}  // namespace qv
