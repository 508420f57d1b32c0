#include "printer/preview/receipt_layout.h"

#include <algorithm>

#include "util/utf8.h"

namespace qv::preview {
namespace {

bool IsWide(char32_t cp) {
  return (cp >= 0x1100 && cp <= 0x115F) || (cp >= 0x2E80 && cp <= 0xA4CF) ||
         (cp >= 0xAC00 && cp <= 0xD7A3) || (cp >= 0xF900 && cp <= 0xFAFF) ||
         (cp >= 0xFE30 && cp <= 0xFE4F) || (cp >= 0xFF00 && cp <= 0xFF60) ||
         (cp >= 0xFFE0 && cp <= 0xFFE6) || cp >= 0x20000;
}

PaperRow TextRow(const ReceiptBlock& block, int times) {
  PaperRow row{block};
  row.text.clear();
  row.widthTimes = times;
  row.heightTimes = std::clamp(block.heightTimes, 1, 8);
  return row;
}

// The printer wraps a line that does not fit the paper onto the next row; a single character
// wider than the paper still takes a row of its own.
void AddTextRows(const ReceiptBlock& block, int columns, std::vector<PaperRow>& rows) {
  const int times = std::clamp(block.widthTimes, 1, 8);
  PaperRow row = TextRow(block, times);
  size_t pos = 0;
  while (pos < block.text.size()) {
    const size_t start = pos;
    const int width = (IsWide(DecodeUtf8(block.text, pos)) ? 2 : 1) * times;
    if (row.columns + width > columns && !row.text.empty()) {
      rows.push_back(std::move(row));
      row = TextRow(block, times);
    }
    row.text.append(block.text, start, pos - start);
    row.columns += width;
  }
  rows.push_back(std::move(row));
}

}  // namespace

int DisplayWidth(std::string_view utf8) {
  int width = 0;
  size_t pos = 0;
  while (pos < utf8.size()) width += IsWide(DecodeUtf8(utf8, pos)) ? 2 : 1;
  return width;
}

ReceiptLayout LayOut(const Receipt& receipt, int columns) {
  ReceiptLayout layout;
  layout.paperColumns = std::max(1, columns);
  layout.cuts = receipt.cuts;
  layout.truncated = receipt.truncated;
  for (const ReceiptBlock& block : receipt.blocks) {
    if (block.kind == BlockKind::Text) {
      AddTextRows(block, layout.paperColumns, layout.rows);
      continue;
    }
    PaperRow row{block};
    row.align = Align::Centre;
    layout.rows.push_back(std::move(row));
  }
  return layout;
}

ReceiptLayout LayOutBytes(std::string_view bytes, int columns) {
  EscposDecoder decoder;
  decoder.Feed(bytes);
  return LayOut(decoder.Finish(), columns);
}

std::string BoxLabel(const PaperRow& row) {
  switch (row.kind) {
    case BlockKind::QrCode:
      return row.note + ": " + row.text;
    case BlockKind::Barcode:
      return "barcode " + row.note + ": " + row.text;
    case BlockKind::Image:
    case BlockKind::Drawer:
    case BlockKind::Note:
      return row.note;
    case BlockKind::Text:
    case BlockKind::Cut:
      break;
  }
  return {};
}

}  // namespace qv::preview
