// Draws a decoded receipt as terminal text.
#include <algorithm>

#include "tools/sim/escpos_decoder.h"
#include "util/utf8.h"

namespace qv::sim {
namespace {

bool IsWide(char32_t cp) {
  return (cp >= 0x1100 && cp <= 0x115F) || (cp >= 0x2E80 && cp <= 0xA4CF) ||
         (cp >= 0xAC00 && cp <= 0xD7A3) || (cp >= 0xF900 && cp <= 0xFAFF) ||
         (cp >= 0xFE30 && cp <= 0xFE4F) || (cp >= 0xFF00 && cp <= 0xFF60) ||
         (cp >= 0xFFE0 && cp <= 0xFFE6) || cp >= 0x20000;
}

struct Glyph {
  std::string bytes;
  int width;
};

std::vector<Glyph> Glyphs(std::string_view utf8) {
  std::vector<Glyph> glyphs;
  size_t pos = 0;
  while (pos < utf8.size()) {
    size_t start = pos;
    char32_t cp = DecodeUtf8(utf8, pos);
    glyphs.push_back({std::string(utf8.substr(start, pos - start)), IsWide(cp) ? 2 : 1});
  }
  return glyphs;
}

std::string StyleTag(const ReceiptBlock& block) {
  std::string tag;
  if (block.bold) tag += " bold";
  if (block.underline) tag += " underline";
  if (block.widthTimes != 1 || block.heightTimes != 1) {
    tag += " " + std::to_string(block.widthTimes) + "x" + std::to_string(block.heightTimes);
  }
  return tag;
}

// One paper row: the glyphs spread by the width magnification, placed by the alignment.
std::string Row(const std::vector<Glyph>& glyphs, int widthTimes, Align align, int columns,
                const std::string& tag) {
  std::string body;
  int used = 0;
  for (const Glyph& g : glyphs) {
    body += g.bytes;
    body.append(static_cast<size_t>(g.width * (widthTimes - 1)), ' ');
    used += g.width * widthTimes;
  }
  int room = std::max(0, columns - used);
  int left = align == Align::Centre ? room / 2 : align == Align::Right ? room : 0;
  return "|" + std::string(left, ' ') + body + std::string(room - left, ' ') + "|" + tag + "\n";
}

void RenderText(const ReceiptBlock& block, int columns, std::string& out) {
  const int times = std::clamp(block.widthTimes, 1, 8);
  std::vector<Glyph> row;
  int used = 0;
  const std::string tag = StyleTag(block);
  // The printer wraps a line that does not fit the paper onto the next row.
  for (Glyph& g : Glyphs(block.text)) {
    if (used + g.width * times > columns && !row.empty()) {
      out += Row(row, times, block.align, columns, tag);
      row.clear();
      used = 0;
    }
    used += g.width * times;
    row.push_back(std::move(g));
  }
  out += Row(row, times, block.align, columns, tag);
}

std::string Centred(const std::string& text, int columns) {
  std::vector<Glyph> glyphs = Glyphs(text);
  return Row(glyphs, 1, Align::Centre, columns, "");
}

}  // namespace

int DisplayWidth(std::string_view utf8) {
  int width = 0;
  for (const Glyph& g : Glyphs(utf8)) width += g.width;
  return width;
}

std::string RenderReceipt(const Receipt& receipt, int columns) {
  std::string out = "+" + std::string(columns, '-') + "+\n";
  for (const ReceiptBlock& block : receipt.blocks) {
    switch (block.kind) {
      case BlockKind::Text:
        RenderText(block, columns, out);
        break;
      case BlockKind::Cut:
        out += "+" + std::string(columns / 2 - 3, '~') + " cut " +
               std::string(columns - columns / 2 - 2, '~') + "+\n";
        break;
      case BlockKind::QrCode:
        out += Centred("[" + block.note + ": " + block.text + "]", columns);
        break;
      case BlockKind::Barcode:
        out += Centred("[barcode " + block.note + ": " + block.text + "]", columns);
        break;
      case BlockKind::Image:
        out += Centred("[" + block.note + "]", columns);
        break;
      case BlockKind::Drawer:
        out += "|" + std::string(columns, ' ') + "| (cash drawer pulse, " + block.note + ")\n";
        break;
      case BlockKind::Note:
        out += "|" + std::string(columns, ' ') + "| (" + block.note + ")\n";
        break;
    }
  }
  if (receipt.blocks.empty() || receipt.blocks.back().kind != BlockKind::Cut) {
    out += "+" + std::string(columns, '-') + "+\n";
  }
  return out;
}

}  // namespace qv::sim
