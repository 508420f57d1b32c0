// Draws a decoded receipt as plain text: the simulator's log and any terminal view.
#include <algorithm>

#include "printer/preview/escpos_decoder.h"
#include "printer/preview/receipt_layout.h"
#include "util/utf8.h"

namespace qv::preview {
namespace {

std::string StyleTag(const PaperRow& row) {
  std::string tag;
  if (row.bold) tag += " bold";
  if (row.underline) tag += " underline";
  if (row.widthTimes != 1 || row.heightTimes != 1) {
    tag += " " + std::to_string(row.widthTimes) + "x" + std::to_string(row.heightTimes);
  }
  return tag;
}

// Each character followed by the blanks its magnified width takes on paper.
std::string Spread(std::string_view text, int widthTimes) {
  std::string body;
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t start = pos;
    DecodeUtf8(text, pos);
    const std::string_view glyph = text.substr(start, pos - start);
    body += glyph;
    body.append(static_cast<size_t>(DisplayWidth(glyph) * (widthTimes - 1)), ' ');
  }
  return body;
}

// One paper row between the paper's edges, placed by the alignment.
std::string Row(std::string_view body, int used, Align align, int columns, const std::string& tag) {
  int room = std::max(0, columns - used);
  int left = align == Align::Centre ? room / 2 : align == Align::Right ? room : 0;
  return "|" + std::string(left, ' ') + std::string(body) + std::string(room - left, ' ') + "|" +
         tag + "\n";
}

std::string Centred(const std::string& text, int columns) {
  return Row(text, DisplayWidth(text), Align::Centre, columns, "");
}

}  // namespace

std::string RenderReceipt(const Receipt& receipt, int columns) {
  const ReceiptLayout layout = LayOut(receipt, columns);
  columns = layout.paperColumns;
  std::string out = "+" + std::string(columns, '-') + "+\n";
  for (const PaperRow& row : layout.rows) {
    switch (row.kind) {
      case BlockKind::Text:
        out +=
            Row(Spread(row.text, row.widthTimes), row.columns, row.align, columns, StyleTag(row));
        break;
      case BlockKind::Cut:
        out += "+" + std::string(std::max(0, columns / 2 - 3), '~') + " cut " +
               std::string(std::max(0, columns - columns / 2 - 2), '~') + "+\n";
        break;
      case BlockKind::QrCode:
      case BlockKind::Barcode:
      case BlockKind::Image:
        out += Centred("[" + BoxLabel(row) + "]", columns);
        break;
      case BlockKind::Drawer:
        out += "|" + std::string(columns, ' ') + "| (cash drawer pulse, " + row.note + ")\n";
        break;
      case BlockKind::Note:
        out += "|" + std::string(columns, ' ') + "| (" + row.note + ")\n";
        break;
    }
  }
  if (layout.rows.empty() || layout.rows.back().kind != BlockKind::Cut) {
    out += "+" + std::string(columns, '-') + "+\n";
  }
  return out;
}

}  // namespace qv::preview
