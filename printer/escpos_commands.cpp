#include "printer/escpos_commands.h"

namespace qv::escpos {
namespace {

constexpr char kEsc = '\x1b';
constexpr char kGs = '\x1d';
constexpr char kFs = '\x1c';

char Byte(int value) { return static_cast<char>(value & 0xff); }

// The GS ( k header of a QR function whose parameter block is `size` bytes long.
void AppendQrHeader(std::string& out, size_t size) {
  out += {kGs, '(', 'k', Byte(static_cast<int>(size)), Byte(static_cast<int>(size >> 8))};
}

}  // namespace

std::string LineFeed(int count) {
  if (count < 1) count = 1;
  std::string out;
  out.reserve(static_cast<size_t>(count) * 2);
  for (int i = 0; i < count; ++i) out += kLineEnd;
  return out;
}

std::optional<std::string> Alignment(int code) {
  if (code < 1 || code > 3) return std::nullopt;
  return std::string{kEsc, 'a', Byte(code - 1)};
}

std::string Bold(int on) { return {kEsc, 'E', Byte(on == 1 ? 1 : 0)}; }

std::string Esc4Mode(int on) { return {kEsc, '4', Byte(on == 1 ? 1 : 0)}; }

std::optional<std::string> Underline(int mode) {
  if (mode < 0 || mode > 2) return std::nullopt;
  return std::string{kEsc, '-', Byte(mode)};
}

std::string CancelChineseMode() { return {kFs, '.'}; }

std::optional<std::string> PrintModeSize(int sizeCode, int family) {
  if (sizeCode < 0 || sizeCode > 3) return std::nullopt;
  return std::string{family <= 1 ? kEsc : kGs, '!', Byte(sizeCode << 4)};
}

std::optional<std::string> CharacterSize(int width, int height, int mode) {
  if (mode < 1 || mode > 2) mode = 1;
  if (width < 1) width = 0;
  if (height < 1) height = 0;
  // Mode 1 magnifies up to eight times in each direction. Mode 2 has no command of its own:
  // only 0 x 0 passes, and then the size byte goes out without a prefix.
  const int largest = mode == 1 ? 7 : 0;
  if (width > largest || height > largest) return std::nullopt;
  const char size = Byte((width << 4) | height);
  if (mode == 1) return std::string{kGs, '!', size};
  return std::string(1, size);
}

std::string Cut() { return {kEsc, 'm'}; }

std::string OpenDrawer(int pin) { return {kEsc, 'p', Byte(pin == 1 ? 0 : 1), '\x3c', '\xff'}; }

std::optional<std::string> QrCode(std::string_view data, int level, int moduleSize, int alignment) {
  // The store command's length counts three parameter bytes besides the data.
  constexpr size_t kMaxData = 0xffff - 3;
  if (data.size() > kMaxData) return std::nullopt;
  if (level < 1 || level > 4) level = 2;
  if (alignment < 1 || alignment > 3) alignment = 1;
  if (moduleSize < 1) moduleSize = 1;
  if (moduleSize > 16) moduleSize = 16;

  std::string out = *Alignment(alignment);
  out.reserve(out.size() + 8 + 8 + 8 + data.size() + 8);
  AppendQrHeader(out, 3);
  out += {'1', 'C', Byte(moduleSize)};
  AppendQrHeader(out, 3);
  out += {'1', 'E', Byte('0' + level - 1)};
  AppendQrHeader(out, data.size() + 3);
  out += {'1', 'P', '0'};
  out += data;
  AppendQrHeader(out, 3);
  out += {'1', 'Q', '0'};
  return out;
}

std::string BarcodeHeight(int dots) { return {kGs, 'h', Byte(dots)}; }

std::string BarcodeWidth(int dots) { return {kGs, 'w', Byte(dots)}; }

std::string Code39(std::string_view data) {
  std::string out{kGs, 'k', '\x04'};
  out += data;
  out += '\0';
  return out;
}

std::string RasterImage(std::string_view data, int widthBytes, int heightDots, int alignment) {
  std::string out = Alignment(alignment).value_or(std::string());
  // GS v 0 takes a mode byte before the size; without it the printer reads the width's low
  // byte as the mode and every later byte one place off, so the image comes out garbled.
  out += {kGs,
          'v',
          '0',
          '\0',
          Byte(widthBytes),
          Byte(widthBytes >> 8),
          Byte(heightDots),
          Byte(heightDots >> 8)};
  out += data;
  return out;
}

std::string EscHashMode(int n) { return {kEsc, '#', Byte(n)}; }

}  // namespace qv::escpos
