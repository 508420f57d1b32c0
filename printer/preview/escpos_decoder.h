// Turns the raw ESC/POS bytes a receipt printer receives into a readable receipt, and spots
// the status requests a printer must answer while the connection is still open. The virtual
// printers of the simulator and the program's receipt preview both read tickets with it.
//
// The decoder is fed the stream in whatever chunks the socket delivers: a command cut at the
// end of a chunk waits for the rest. Text is taken as GBK, the printers' code page, and kept
// as UTF-8.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qv::preview {

enum class Align { Left, Centre, Right };

// One request that expects an answer from the printer.
enum class StatusQueryKind {
  PrinterStatus,  // GS r 1
  DrawerStatus,   // GS r 2
  PaperSensor,    // ESC v
  PrinterId,      // GS I n (n in `argument`)
  RealTime,       // DLE EOT n (n in `argument`)
};

struct StatusQuery {
  StatusQueryKind kind = StatusQueryKind::PrinterStatus;
  int argument = 0;
};

// Name of the request as an ESC/POS manual writes it ("GS r 1", "ESC v").
std::string StatusQueryName(const StatusQuery& query);

enum class BlockKind {
  Text,     // one printed line (possibly empty: a blank line fed)
  Cut,      // the paper was cut
  QrCode,   // a QR code printed; `text` holds its data
  Barcode,  // a barcode printed; `text` holds its data, `note` its symbology
  Image,    // a raster or bit image; `note` describes its size
  Drawer,   // cash drawer pulse
  Note,     // something the decoder could not interpret; `note` says what
};

struct ReceiptBlock {
  BlockKind kind = BlockKind::Text;
  std::string text;  // UTF-8
  std::string note;
  Align align = Align::Left;
  bool bold = false;
  bool underline = false;
  int widthTimes = 1;   // horizontal magnification, 1..8
  int heightTimes = 1;  // vertical magnification, 1..8
};

struct Receipt {
  std::vector<ReceiptBlock> blocks;
  std::vector<StatusQuery> statusQueries;
  int cuts = 0;
  int textLines = 0;       // lines with printed characters
  bool truncated = false;  // the stream ended inside a command
};

class EscposDecoder {
 public:
  // Consumes the next chunk; returns the status requests completed by it, in order.
  std::vector<StatusQuery> Feed(std::string_view bytes);

  // Ends the stream: text not yet ended by a line feed is printed as a last line (a real
  // printer prints its buffer when the job ends) and an unfinished command is noted.
  Receipt Finish();

 private:
  struct Style {
    Align align = Align::Left;
    bool bold = false;
    bool underline = false;
    int widthTimes = 1;
    int heightTimes = 1;
  };

  // Tries to take one command at `pos`; returns the bytes it used, 0 when incomplete.
  size_t TakeCommand(std::string_view buf, size_t pos, std::vector<StatusQuery>& queries);
  size_t TakeEsc(std::string_view buf, size_t pos, std::vector<StatusQuery>& queries);
  size_t TakeGs(std::string_view buf, size_t pos, std::vector<StatusQuery>& queries);
  size_t TakeFs(std::string_view buf, size_t pos);
  size_t TakeDle(std::string_view buf, size_t pos, std::vector<StatusQuery>& queries);
  size_t TakeGsK(std::string_view buf, size_t pos);
  size_t TakeGsParenK(std::string_view buf, size_t pos);

  void EndLine();
  void feedLines(int count);
  void AddBlock(BlockKind kind, std::string text, std::string note);
  void AddNote(std::string note);

  std::string pending_;   // bytes not yet decoded (an incomplete command)
  std::string lineText_;  // GBK bytes of the line being printed
  Style style_;
  Style lineStyle_;  // style when the current line's first character arrived
  std::string qrData_;
  int qrModule_ = 3;
  char qrLevel_ = 'L';
  Receipt receipt_;
};

// The receipt drawn as text for a paper of `columns` half-width characters (48 on 80 mm
// paper): lines aligned as printed, bold and enlarged lines marked on the right, cuts as a
// dashed line.
std::string RenderReceipt(const Receipt& receipt, int columns = 48);

}  // namespace qv::preview
