// A decoded receipt laid out on paper the way the printer puts it there: one row per printed
// line, long lines wrapped at the paper's edge, codes and images as labelled boxes. Both the
// text drawing and the program's preview window draw these rows, so they wrap alike.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "printer/preview/escpos_decoder.h"

namespace qv::preview {

// Half-width characters on 80 mm paper at the printers' normal font.
inline constexpr int kPaperColumns = 48;

// One paper row: the block it comes from, for a text row with the part of its text that fits
// the paper at its magnification (1..8 each way); other kinds keep the whole block (a QR
// code's data, a barcode's symbology in `note`, ...) and are centred.
struct PaperRow : ReceiptBlock {
  int columns = 0;  // text rows: display columns the text takes at its width
};

struct ReceiptLayout {
  std::vector<PaperRow> rows;
  int paperColumns = kPaperColumns;
  int cuts = 0;
  bool truncated = false;  // the bytes ended inside a command
};

// Rows of `receipt` on paper `columns` half-width characters wide (at least 1).
ReceiptLayout LayOut(const Receipt& receipt, int columns = kPaperColumns);

// Decodes a whole ticket's bytes (as they were sent) and lays it out; never fails: bytes it
// cannot read become note rows.
ReceiptLayout LayOutBytes(std::string_view bytes, int columns = kPaperColumns);

// What a box row says in a preview ("QR M module 6: https://...", "barcode CODE39: A1");
// empty for text and cut rows.
std::string BoxLabel(const PaperRow& row);

// Display columns of a UTF-8 text: CJK and full-width characters count 2.
int DisplayWidth(std::string_view utf8);

}  // namespace qv::preview
