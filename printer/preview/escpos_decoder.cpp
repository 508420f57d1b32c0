#include "printer/preview/escpos_decoder.h"

#include <algorithm>

#include "platform/gbk.h"
#include "util/text.h"

namespace qv::preview {
namespace {

constexpr unsigned char kEsc = 0x1B;
constexpr unsigned char kGs = 0x1D;
constexpr unsigned char kFs = 0x1C;
constexpr unsigned char kDle = 0x10;

unsigned char At(std::string_view buf, size_t pos) { return static_cast<unsigned char>(buf[pos]); }

std::string Hex(unsigned char byte) {
  static const char* digits = "0123456789ABCDEF";
  return std::string{digits[byte >> 4], digits[byte & 15]};
}

std::string CommandName(unsigned char prefix, unsigned char code) {
  std::string name = prefix == kEsc ? "ESC " : prefix == kGs ? "GS " : "FS ";
  if (code > 0x20 && code < 0x7F) return name + static_cast<char>(code);
  return name + "0x" + Hex(code);
}

std::string BarcodeName(int m) {
  static const char* names[] = {"UPC-A", "UPC-E",   "EAN13",  "EAN8",   "CODE39",
                                "ITF",   "CODABAR", "CODE93", "CODE128"};
  if (m >= 0 && m <= 6) return names[m];
  if (m >= 65 && m <= 73) return names[m - 65];
  return "type " + std::to_string(m);
}

// The QR data is whatever bytes the sender chose: UTF-8 when it converted, GBK otherwise.
std::string ReadableData(std::string_view bytes) {
  return IsValidUtf8(bytes) ? std::string(bytes) : ToUtf8(bytes);
}

// Bytes a command with a two-byte little-endian length after `pos + lenAt` occupies, or 0
// when the buffer does not hold it all yet.
size_t WithLength(std::string_view buf, size_t pos, size_t lenAt, size_t factor = 1) {
  if (buf.size() < pos + lenAt + 2) return 0;
  size_t len = (At(buf, pos + lenAt) | (At(buf, pos + lenAt + 1) << 8)) * factor;
  size_t total = lenAt + 2 + len;
  return buf.size() - pos >= total ? total : 0;
}

}  // namespace

std::string StatusQueryName(const StatusQuery& query) {
  switch (query.kind) {
    case StatusQueryKind::PrinterStatus:
      return "GS r 1";
    case StatusQueryKind::DrawerStatus:
      return "GS r 2";
    case StatusQueryKind::PaperSensor:
      return "ESC v";
    case StatusQueryKind::PrinterId:
      return "GS I " + std::to_string(query.argument);
    case StatusQueryKind::RealTime:
      return "DLE EOT " + std::to_string(query.argument);
  }
  return "?";
}

std::vector<StatusQuery> EscposDecoder::Feed(std::string_view bytes) {
  pending_.append(bytes);
  std::vector<StatusQuery> queries;
  std::string_view buf = pending_;
  size_t pos = 0;
  while (pos < buf.size()) {
    unsigned char c = At(buf, pos);
    if (c == kEsc || c == kGs || c == kFs || c == kDle) {
      size_t used = TakeCommand(buf, pos, queries);
      if (used == 0) break;  // the rest of the command comes with the next chunk
      pos += used;
      continue;
    }
    ++pos;
    if (c == '\n' || c == 0x0C) {
      EndLine();
    } else if (c == '\t') {
      if (lineText_.empty()) lineStyle_ = style_;
      lineText_.append(8 - lineText_.size() % 8, ' ');
    } else if (c >= 0x20) {
      if (lineText_.empty()) lineStyle_ = style_;
      lineText_.push_back(static_cast<char>(c));
    }
    // CR and the other control bytes move nothing on a receipt printer.
  }
  pending_.erase(0, pos);
  receipt_.statusQueries.insert(receipt_.statusQueries.end(), queries.begin(), queries.end());
  return queries;
}

Receipt EscposDecoder::Finish() {
  if (!pending_.empty()) {
    receipt_.truncated = true;
    AddNote("stream ended inside a command (" + std::to_string(pending_.size()) +
            " bytes: " + Hex(At(pending_, 0)) + "...)");
    pending_.clear();
  }
  if (!lineText_.empty()) EndLine();
  Receipt done = std::move(receipt_);
  receipt_ = Receipt{};
  return done;
}

size_t EscposDecoder::TakeCommand(std::string_view buf, size_t pos,
                                  std::vector<StatusQuery>& queries) {
  if (buf.size() - pos < 2) return 0;
  switch (At(buf, pos)) {
    case kEsc:
      return TakeEsc(buf, pos, queries);
    case kGs:
      return TakeGs(buf, pos, queries);
    case kFs:
      return TakeFs(buf, pos);
    default:
      return TakeDle(buf, pos, queries);
  }
}

size_t EscposDecoder::TakeEsc(std::string_view buf, size_t pos, std::vector<StatusQuery>& queries) {
  const unsigned char code = At(buf, pos + 1);
  const size_t avail = buf.size() - pos;
  switch (code) {
    case '@':
      style_ = Style{};
      return 2;
    case 'm':
    case 'i':
      if (!lineText_.empty()) EndLine();
      AddBlock(BlockKind::Cut, "", code == 'm' ? "ESC m" : "ESC i");
      ++receipt_.cuts;
      return 2;
    case 'v':
      queries.push_back({StatusQueryKind::PaperSensor, 0});
      return 2;
    case '2':
    case '<':
    case 'L':
    case 'S':
    case 0x0C:
      return 2;
    case 'p':
      if (avail < 5) return 0;
      AddBlock(BlockKind::Drawer, "", "pin " + std::string(At(buf, pos + 2) & 1 ? "5" : "2"));
      return 5;
    case '$':
    case '\\':
      return avail < 4 ? 0 : 4;
    case 'c':
    case 'B':
      return avail < 4 ? 0 : 4;
    case 'W':
      return avail < 10 ? 0 : 10;
    case '*': {
      if (avail < 5) return 0;
      int m = At(buf, pos + 2);
      size_t used = WithLength(buf, pos, 3, m >= 32 ? 3 : 1);
      if (used) AddBlock(BlockKind::Image, "", "bit image");
      return used;
    }
    default:
      break;
  }
  if (avail < 3) return 0;
  const int n = At(buf, pos + 2);
  switch (code) {
    case 'a':
      style_.align = (n % 48) == 1 ? Align::Centre : (n % 48) == 2 ? Align::Right : Align::Left;
      return 3;
    case 'E':
    case 'G':
      style_.bold = (n & 1) != 0;
      return 3;
    case '-':
      style_.underline = (n % 48) != 0;
      return 3;
    case '!':
      style_.bold = (n & 0x08) != 0;
      style_.heightTimes = (n & 0x10) ? 2 : 1;
      style_.widthTimes = (n & 0x20) ? 2 : 1;
      style_.underline = (n & 0x80) != 0;
      return 3;
    case 'd':
      feedLines(n);
      return 3;
    case 'J':
      feedLines(1);
      return 3;
    case '4':
    case '#':
    case 't':
    case 'R':
    case '3':
    case 'M':
    case '{':
    case 'V':
    case 'U':
    case ' ':
    case '=':
    case 'T':
    case 'e':
    case 'r':
    case '%':
      return 3;
    default:
      AddNote("unknown command " + CommandName(kEsc, code));
      return 2;
  }
}

size_t EscposDecoder::TakeGs(std::string_view buf, size_t pos, std::vector<StatusQuery>& queries) {
  const unsigned char code = At(buf, pos + 1);
  const size_t avail = buf.size() - pos;
  switch (code) {
    case 'k':
      return TakeGsK(buf, pos);
    case '(':
      return TakeGsParenK(buf, pos);
    case 'V': {
      if (avail < 3) return 0;
      int m = At(buf, pos + 2);
      size_t used = (m == 65 || m == 66 || m >= 97) ? 4 : 3;
      if (avail < used) return 0;
      if (!lineText_.empty()) EndLine();
      AddBlock(BlockKind::Cut, "", "GS V");
      ++receipt_.cuts;
      return used;
    }
    case 'v': {
      if (avail < 8) return 0;
      size_t width = At(buf, pos + 4) | (At(buf, pos + 5) << 8);
      size_t height = At(buf, pos + 6) | (At(buf, pos + 7) << 8);
      size_t total = 8 + width * height;
      if (avail < total) return 0;
      AddBlock(
          BlockKind::Image, "",
          "raster image " + std::to_string(width * 8) + "x" + std::to_string(height) + " dots");
      return total;
    }
    case '8': {
      if (avail < 7) return 0;
      size_t len = At(buf, pos + 3) | (At(buf, pos + 4) << 8) | (At(buf, pos + 5) << 16) |
                   (size_t{At(buf, pos + 6)} << 24);
      if (avail < 7 + len) return 0;
      AddBlock(BlockKind::Image, "", "graphics data");
      return 7 + len;
    }
    case 'L':
    case 'W':
    case '$':
    case '\\':
    case 'P':
      return avail < 4 ? 0 : 4;
    default:
      break;
  }
  if (avail < 3) return 0;
  const int n = At(buf, pos + 2);
  switch (code) {
    case '!':
      style_.widthTimes = ((n >> 4) & 7) + 1;
      style_.heightTimes = (n & 7) + 1;
      return 3;
    case 'r':
      if (n == 1 || n == 49) {
        queries.push_back({StatusQueryKind::PrinterStatus, 1});
      } else if (n == 2 || n == 50) {
        queries.push_back({StatusQueryKind::DrawerStatus, 2});
      } else {
        AddNote("status request GS r " + std::to_string(n) + " not supported");
      }
      return 3;
    case 'I':
      queries.push_back({StatusQueryKind::PrinterId, n});
      return 3;
    case 'B':  // reverse printing is not drawn
    case 'h':
    case 'w':
    case 'H':
    case 'f':
    case 'b':
    case 'a':
    case '/':
    case 'T':
      return 3;
    default:
      AddNote("unknown command " + CommandName(kGs, code));
      return 2;
  }
}

size_t EscposDecoder::TakeFs(std::string_view buf, size_t pos) {
  const unsigned char code = At(buf, pos + 1);
  const size_t avail = buf.size() - pos;
  switch (code) {
    case '.':
    case '&':
      return 2;
    case '!':
    case '-':
    case 'C':
    case 'W':
      return avail < 3 ? 0 : 3;
    case 'S':
    case 'p':
      return avail < 4 ? 0 : 4;
    default:
      AddNote("unknown command " + CommandName(kFs, code));
      return 2;
  }
}

size_t EscposDecoder::TakeDle(std::string_view buf, size_t pos, std::vector<StatusQuery>& queries) {
  const unsigned char code = At(buf, pos + 1);
  const size_t avail = buf.size() - pos;
  if (code == 0x04 || code == 0x05) {
    if (avail < 3) return 0;
    if (code == 0x04) queries.push_back({StatusQueryKind::RealTime, At(buf, pos + 2)});
    return 3;
  }
  if (code == 0x14) return avail < 5 ? 0 : 5;
  return 1;  // a lone DLE is an ordinary control byte
}

size_t EscposDecoder::TakeGsK(std::string_view buf, size_t pos) {
  const size_t avail = buf.size() - pos;
  if (avail < 3) return 0;
  const int m = At(buf, pos + 2);
  std::string_view data;
  size_t used = 0;
  if (m <= 6) {
    size_t end = buf.find('\0', pos + 3);
    if (end == std::string_view::npos) return 0;
    data = buf.substr(pos + 3, end - pos - 3);
    used = end - pos + 1;
  } else {
    if (avail < 4) return 0;
    size_t n = At(buf, pos + 3);
    if (avail < 4 + n) return 0;
    data = buf.substr(pos + 4, n);
    used = 4 + n;
  }
  if (!lineText_.empty()) EndLine();
  AddBlock(BlockKind::Barcode, ReadableData(data), BarcodeName(m));
  return used;
}

size_t EscposDecoder::TakeGsParenK(std::string_view buf, size_t pos) {
  size_t used = WithLength(buf, pos, 3);
  if (buf.size() - pos < 3) return 0;
  if (used == 0) return 0;
  const unsigned char fnGroup = At(buf, pos + 2);
  if (fnGroup != 'k' || used < 7) return used;  // graphics and other groups: skipped
  const unsigned char cn = At(buf, pos + 5);
  const unsigned char fn = At(buf, pos + 6);
  if (cn != '1') {
    if (fn == 'Q') AddBlock(BlockKind::QrCode, "", "2D symbol (not QR)");
    return used;
  }
  switch (fn) {
    case 'C':
      if (used > 7) qrModule_ = At(buf, pos + 7);
      break;
    case 'E':
      if (used > 7) qrLevel_ = "LMQH"[std::clamp(At(buf, pos + 7) - 48, 0, 3)];
      break;
    case 'P':
      qrData_ = std::string(buf.substr(pos + 8, used > 8 ? used - 8 : 0));
      break;
    case 'Q':
      if (!lineText_.empty()) EndLine();
      AddBlock(BlockKind::QrCode, ReadableData(qrData_),
               "QR " + std::string(1, qrLevel_) + " module " + std::to_string(qrModule_));
      break;
    default:
      break;
  }
  return used;
}

void EscposDecoder::EndLine() {
  if (lineText_.empty()) lineStyle_ = style_;
  ReceiptBlock block;
  block.kind = BlockKind::Text;
  block.text = ToUtf8(lineText_);
  block.align = lineStyle_.align;
  block.bold = lineStyle_.bold;
  block.underline = lineStyle_.underline;
  block.widthTimes = lineStyle_.widthTimes;
  block.heightTimes = lineStyle_.heightTimes;
  if (!lineText_.empty()) ++receipt_.textLines;
  receipt_.blocks.push_back(std::move(block));
  lineText_.clear();
}

void EscposDecoder::feedLines(int count) {
  if (!lineText_.empty()) {
    EndLine();
    --count;
  }
  for (int i = 0; i < count; ++i) EndLine();
}

void EscposDecoder::AddBlock(BlockKind kind, std::string text, std::string note) {
  ReceiptBlock block;
  block.kind = kind;
  block.text = std::move(text);
  block.note = std::move(note);
  block.align = style_.align;
  receipt_.blocks.push_back(std::move(block));
}

void EscposDecoder::AddNote(std::string note) { AddBlock(BlockKind::Note, "", std::move(note)); }

}  // namespace qv::preview
