#include "printer/escpos.h"

#include <cstdint>

#include "platform/gbk.h"
#include "printer/escpos_commands.h"
#include "util/text.h"

namespace qv {
namespace {

// How long a printer gets to answer each status request.
constexpr int kPrinterStatusWaitMs = 200;
constexpr int kDrawerStatusWaitMs = 200;
constexpr int kPaperSensorWaitMs = 300;
constexpr int kFirmwareWaitMs = 500;

constexpr std::string_view kNotConnected = "请先连接打印机";

void AddEntry(std::string& report, std::string_view key, std::string_view value) {
  report += '"';
  report += key;
  report += "\":";
  report += value;
  report += ',';
}

void AddFlag(std::string& report, std::string_view key, bool value) {
  AddEntry(report, key, BoolText(value));
}

// A printer's text reply ends at its first NUL byte; the rest is padding.
std::string ReplyText(std::string_view reply) { return ToUtf8(reply.substr(0, reply.find('\0'))); }

}  // namespace

std::string EscPosPrinter::ReceiveReply(int /*timeoutMs*/) { return std::string(); }

bool EscPosPrinter::SendIfOpen(std::string_view bytes) { return isOpen() && Transfer(bytes); }

bool EscPosPrinter::lineFeed(int count) { return SendIfOpen(escpos::LineFeed(count)); }

bool EscPosPrinter::setAlignment(int code) {
  const auto bytes = escpos::Alignment(code);
  return bytes && SendIfOpen(*bytes);
}

bool EscPosPrinter::setBold(int on) { return SendIfOpen(escpos::Bold(on)); }

bool EscPosPrinter::setEsc4Mode(int on) { return SendIfOpen(escpos::Esc4Mode(on)); }

bool EscPosPrinter::setUnderline(int mode) {
  const auto bytes = escpos::Underline(mode);
  return bytes && SendIfOpen(*bytes);
}

bool EscPosPrinter::printText(std::string_view text, Newline newline) {
  if (!isOpen()) return false;
  // Printers read GBK; the conversion happens here so callers keep UTF-8 throughout.
  const std::string bytes = FromUtf8(text);
  bool ok = bytes.empty() || Transfer(bytes);
  if (newline == Newline::Yes) ok = Transfer(escpos::kLineEnd);
  return ok;
}

bool EscPosPrinter::cancelChineseMode() { return SendIfOpen(escpos::CancelChineseMode()); }

bool EscPosPrinter::setPrintModeSize(int sizeCode, int family) {
  const auto bytes = escpos::PrintModeSize(sizeCode, family);
  return bytes && SendIfOpen(*bytes);
}

bool EscPosPrinter::setCharacterSize(int width, int height, int mode) {
  const auto bytes = escpos::CharacterSize(width, height, mode);
  return bytes && SendIfOpen(*bytes);
}

bool EscPosPrinter::cut() { return SendIfOpen(escpos::Cut()); }

bool EscPosPrinter::close(int feedCount, int cutAfter) {
  if (!isOpen()) return false;
  if (feedCount > 0) lineFeed(feedCount);
  if (cutAfter == 1) cut();
  return ReleaseTransport();
}

bool EscPosPrinter::openDrawer(int pin) { return SendIfOpen(escpos::OpenDrawer(pin)); }

PrinterStatusReport EscPosPrinter::queryStatus(int kind, bool selective) {
  if (!selective) kind = 0;
  // A request that could not be sent has no reply to wait for.
  auto ask = [this](std::string_view request, int waitMs) {
    return Transfer(request) ? ReceiveReply(waitMs) : std::string();
  };
  std::string report = "{";
  if (kind == 0 || kind == 1) {
    const std::string reply = ask(escpos::kPrinterStatusRequest, kPrinterStatusWaitMs);
    if (!reply.empty()) {
      const auto b = static_cast<uint8_t>(reply[0]);
      AddFlag(report, "联机状态", (b & 0x01) == 0);
      AddFlag(report, "错误标志", (b & 0x04) != 0);
      AddFlag(report, "低纸预警", (b & 0x08) != 0);
      AddFlag(report, "缺纸状态", (b & 0x20) != 0);
    }
  }
  if (kind == 0 || kind == 2) {
    const std::string reply = ask(escpos::kDrawerStatusRequest, kDrawerStatusWaitMs);
    if (!reply.empty()) {
      const auto c = static_cast<uint8_t>(reply[0]);
      AddFlag(report, "钱箱状态", (c & 0x04) != 0);
      AddFlag(report, "切刀故障", (c & 0x40) != 0);
    }
  }
  if (kind == 0 || kind == 3) {
    const std::string reply = ask(escpos::kPaperSensorRequest, kPaperSensorWaitMs);
    if (!reply.empty()) {
      AddEntry(report, "打印头温度", std::to_string(static_cast<uint8_t>(reply[0])));
    }
  }
  if (kind == 0 || kind == 4) {
    const std::string reply = ask(escpos::kFirmwareRequest, kFirmwareWaitMs);
    if (reply.size() >= 2) AddEntry(report, "固件版本", '"' + ReplyText(reply) + '"');
  }
  if (report.back() == ',') report.pop_back();
  report += '}';
  return report;
}

bool EscPosPrinter::printQRCode(std::string_view text, int level, int moduleSize, int alignment,
                                int utf8) {
  if (!isOpen() && closedQrCode_ == ClosedQrCode::Refuse) {
    SetLastError(std::string(kNotConnected));
    return false;
  }
  const std::string data = utf8 == 1 ? std::string(text) : FromUtf8(text);
  const auto bytes = escpos::QrCode(data, level, moduleSize, alignment);
  return bytes && Transfer(*bytes);
}

bool EscPosPrinter::printCode39(std::string_view content, int width, int height, int alignment) {
  if (!isOpen()) {
    SetLastError(std::string(kNotConnected));
    return false;
  }
  if (width < 1 || width > 6) {
    SetLastError("条码宽度允许1-6个点之间");
    return false;
  }
  if (height < 1 || height > 255) {
    SetLastError("条码条码高度允许1-255个点之间");
    return false;
  }
  if (content.empty()) {
    SetLastError("条码必须大于1个字符");
    return false;
  }
  const std::string data = FromUtf8(content);
  if (data.empty()) {
    SetLastError("打印失败，请检查条码内容是否符合CODE39规范");
    return false;
  }
  setAlignment(alignment);
  // Each command goes out on its own, and a failed one does not stop the next: the result
  // is that of the barcode itself.
  Transfer(escpos::BarcodeHeight(height));
  Transfer(escpos::BarcodeWidth(width));
  return Transfer(escpos::Code39(data));
}

}  // namespace qv
