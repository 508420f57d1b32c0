#include "printer/preview/escpos_decoder.h"
#include "printer/preview/receipt_layout.h"

#include <gtest/gtest.h>

#include "platform/gbk.h"

namespace qv::preview {
namespace {

std::string Gbk(std::string_view utf8) { return FromUtf8(utf8); }

// The bytes the print service sends for one styled content line.
std::string StyledLine(int bold, int align, int width, int height, std::string_view utf8) {
  std::string bytes = "\x1b\x45" + std::string(1, static_cast<char>(bold));
  bytes += "\x1b\x61" + std::string(1, static_cast<char>(align - 1));
  bytes += "\x1d\x21" + std::string(1, static_cast<char>((width << 4) | height));
  return bytes + Gbk(utf8) + "\r\n";
}

Receipt Decode(std::string_view bytes) {
  EscposDecoder decoder;
  decoder.Feed(bytes);
  return decoder.Finish();
}

std::vector<const ReceiptBlock*> TextBlocks(const Receipt& r) {
  std::vector<const ReceiptBlock*> blocks;
  for (const ReceiptBlock& b : r.blocks) {
    if (b.kind == BlockKind::Text) blocks.push_back(&b);
  }
  return blocks;
}

TEST(EscposDecoder, StyledLinesKeepTheirAlignmentBoldAndSize) {
  struct Case {
    int bold, align, width, height;
    std::string text;
    Align expectedAlign;
  };
  const std::vector<Case> cases = {
      {1, 2, 1, 1, "桂香楼川菜馆", Align::Centre},
      {0, 1, 0, 0, "宫保鸡丁  x1  38.00", Align::Left},
      {0, 3, 0, 1, "合计：178.00", Align::Right},
      {1, 1, 7, 7, "大", Align::Left},
  };
  std::string bytes;
  for (const Case& c : cases) bytes += StyledLine(c.bold, c.align, c.width, c.height, c.text);
  Receipt receipt = Decode(bytes);
  auto lines = TextBlocks(receipt);
  ASSERT_EQ(lines.size(), cases.size());
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(cases[i].text);
    EXPECT_EQ(lines[i]->text, cases[i].text);
    EXPECT_EQ(lines[i]->align, cases[i].expectedAlign);
    EXPECT_EQ(lines[i]->bold, cases[i].bold == 1);
    EXPECT_EQ(lines[i]->widthTimes, cases[i].width + 1);
    EXPECT_EQ(lines[i]->heightTimes, cases[i].height + 1);
  }
  EXPECT_EQ(receipt.textLines, 4);
  EXPECT_FALSE(receipt.truncated);
}

TEST(EscposDecoder, FeedsCutsCodesAndStatusRequestsInOrder) {
  std::string bytes = StyledLine(0, 1, 0, 0, "麻婆豆腐");
  bytes += "\r\n\r\n\x1b\x64\x02";   // two line feeds, then ESC d 2
  bytes += "\x1d\x72\x01";           // GS r 1
  bytes += "\x1bm";                  // cut
  bytes += std::string("\x1b\x76");  // ESC v
  const std::string url = "https://q.cn/1";
  bytes += std::string(
      "\x1d(k\x03\x00"
      "1C\x06",
      8);
  bytes += std::string(
      "\x1d(k\x03\x00"
      "1E1",
      8);
  bytes += std::string("\x1d(k", 3) + static_cast<char>(url.size() + 3) +
           std::string(
               "\x00"
               "1P0",
               4) +
           url;
  bytes += std::string(
      "\x1d(k\x03\x00"
      "1Q0",
      8);
  bytes += std::string(
      "\x1dk\x04"
      "A1\x00",
      6);  // CODE39
  bytes += std::string("\x1dI\x41\x10\x04\x04\x1dr\x02", 9);

  EscposDecoder decoder;
  std::vector<StatusQuery> queries = decoder.Feed(bytes);
  Receipt receipt = decoder.Finish();

  std::vector<std::string> names;
  for (const StatusQuery& q : queries) names.push_back(StatusQueryName(q));
  EXPECT_EQ(names, (std::vector<std::string>{"GS r 1", "ESC v", "GS I 65", "DLE EOT 4", "GS r 2"}));

  std::vector<BlockKind> kinds;
  for (const ReceiptBlock& b : receipt.blocks) kinds.push_back(b.kind);
  using K = BlockKind;
  EXPECT_EQ(kinds, (std::vector<K>{K::Text, K::Text, K::Text, K::Text, K::Text, K::Cut, K::QrCode,
                                   K::Barcode}));
  EXPECT_EQ(receipt.cuts, 1);
  EXPECT_EQ(receipt.blocks[6].text, url);
  EXPECT_EQ(receipt.blocks[6].note, "QR M module 6");
  EXPECT_EQ(receipt.blocks[7].text, "A1");
  EXPECT_EQ(receipt.blocks[7].note, "CODE39");
}

// The socket hands the printer whatever chunks it likes: a command or a GBK character cut in
// two must decode exactly as the whole stream does.
TEST(EscposDecoder, ByteByByteFeedingDecodesLikeOneChunk) {
  std::string bytes = StyledLine(1, 2, 1, 1, "后厨单（热菜）") + "\x1d\x72\x01" +
                      StyledLine(0, 1, 0, 0, "水煮鱼 x1 备注：加麻加辣") + "\x1b\x64\x03\x1bm";
  Receipt whole = Decode(bytes);

  EscposDecoder decoder;
  size_t queries = 0;
  for (char c : bytes) queries += decoder.Feed(std::string_view(&c, 1)).size();
  Receipt pieces = decoder.Finish();

  EXPECT_EQ(queries, 1u);
  EXPECT_EQ(RenderReceipt(pieces), RenderReceipt(whole));
  EXPECT_EQ(pieces.textLines, 2);
  EXPECT_EQ(pieces.cuts, 1);
}

TEST(EscposDecoder, UnfinishedCommandAndUnendedTextAreKept) {
  Receipt receipt = Decode(Gbk("米饭 x4") + "\x1d");
  ASSERT_GE(receipt.blocks.size(), 2u);
  EXPECT_TRUE(receipt.truncated);
  auto lines = TextBlocks(receipt);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0]->text, "米饭 x4");
}

TEST(ReceiptRender, PlacesTextByAlignmentAndMagnifiedWidth) {
  Receipt receipt = Decode(StyledLine(0, 2, 1, 1, "桂香") + StyledLine(0, 3, 0, 0, "ab") + "\x1bm");
  const std::string drawn = RenderReceipt(receipt, 20);
  // 2 wide characters doubled = 8 columns, centred in 20: 6 spaces on each side.
  EXPECT_NE(drawn.find("|      桂  香        | 2x2\n"), std::string::npos) << drawn;
  EXPECT_NE(drawn.find("|                  ab|\n"), std::string::npos) << drawn;
  EXPECT_NE(drawn.find(" cut "), std::string::npos);
  EXPECT_EQ(DisplayWidth("桂香ab"), 6);
}

// The preview window draws the layout's rows; they must wrap where the printer wraps and keep
// each line's style on every row it takes.
TEST(ReceiptLayout, WrapsAtThePaperEdgeAndKeepsStyleAndBoxes) {
  const std::string bytes = StyledLine(1, 3, 1, 0, "宫保鸡丁宫保") + "\x1b\x64\x01" +
                            "\x1d\x6b\x04" + "A1" + std::string(1, '\0') + "\x1bm";
  const ReceiptLayout layout = LayOutBytes(bytes, 20);
  ASSERT_GE(layout.rows.size(), 4u);
  // Six wide characters at double width take 24 columns: 5 fit on 20, the sixth wraps.
  EXPECT_EQ(layout.rows[0].text, "宫保鸡丁宫");
  EXPECT_EQ(layout.rows[0].columns, 20);
  EXPECT_EQ(layout.rows[1].text, "保");
  for (int i : {0, 1}) {
    EXPECT_TRUE(layout.rows[i].bold);
    EXPECT_EQ(layout.rows[i].align, Align::Right);
    EXPECT_EQ(layout.rows[i].widthTimes, 2);
    EXPECT_EQ(layout.rows[i].heightTimes, 1);
  }
  std::vector<BlockKind> kinds;
  for (const PaperRow& row : layout.rows) kinds.push_back(row.kind);
  EXPECT_EQ(kinds.back(), BlockKind::Cut);
  const PaperRow& barcode = layout.rows[layout.rows.size() - 2];
  EXPECT_EQ(BoxLabel(barcode), "barcode CODE39: A1");
  EXPECT_EQ(layout.cuts, 1);
  EXPECT_FALSE(layout.truncated);

  // Bytes cut inside a command still give the rows before it, marked as cut off; a paper too
  // narrow for a cut mark's text does not break the drawing.
  const ReceiptLayout cutOff = LayOutBytes(Gbk("米饭") + "\x1d\x21", 0);
  EXPECT_TRUE(cutOff.truncated);
  EXPECT_EQ(cutOff.paperColumns, 1);
  std::vector<std::string> texts;
  for (const PaperRow& row : cutOff.rows) {
    if (row.kind == BlockKind::Text) texts.push_back(row.text);
  }
  EXPECT_EQ(texts, (std::vector<std::string>{"米", "饭"}));
  EXPECT_NE(RenderReceipt(Decode("ab\x1bm"), 2).find("cut"), std::string::npos);
}

}  // namespace
}  // namespace qv::preview
