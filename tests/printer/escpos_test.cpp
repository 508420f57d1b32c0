// The operation set over a recording transport: exact bytes, argument rules, guards.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "printer/escpos.h"
#include "tests/fakes/recording_printer.h"

namespace qv {
namespace {

using testing::RecordingPrinter;
using Transfers = std::vector<std::string>;

std::string B(std::initializer_list<int> bytes) {
  std::string out;
  for (int b : bytes) out += static_cast<char>(b);
  return out;
}

struct Case {
  const char* name;
  std::function<bool(EscPosPrinter&)> op;
  bool ok;
  Transfers sent;
};

TEST(EscPos, OperationsSendExactBytes) {
  const std::vector<Case> cases = {
      {"feed 0", [](auto& p) { return p.lineFeed(0); }, true, {"\r\n"}},
      {"feed -5", [](auto& p) { return p.lineFeed(-5); }, true, {"\r\n"}},
      {"feed 3", [](auto& p) { return p.lineFeed(3); }, true, {"\r\n\r\n\r\n"}},
      {"align 0", [](auto& p) { return p.setAlignment(0); }, false, {}},
      {"align 1", [](auto& p) { return p.setAlignment(1); }, true, {B({0x1b, 0x61, 0})}},
      {"align 2", [](auto& p) { return p.setAlignment(2); }, true, {B({0x1b, 0x61, 1})}},
      {"align 3", [](auto& p) { return p.setAlignment(3); }, true, {B({0x1b, 0x61, 2})}},
      {"align 4", [](auto& p) { return p.setAlignment(4); }, false, {}},
      {"bold 1", [](auto& p) { return p.setBold(1); }, true, {B({0x1b, 0x45, 1})}},
      {"bold 2", [](auto& p) { return p.setBold(2); }, true, {B({0x1b, 0x45, 0})}},
      {"esc4 1", [](auto& p) { return p.setEsc4Mode(1); }, true, {B({0x1b, 0x34, 1})}},
      {"esc4 5", [](auto& p) { return p.setEsc4Mode(5); }, true, {B({0x1b, 0x34, 0})}},
      {"underline 2", [](auto& p) { return p.setUnderline(2); }, true, {B({0x1b, 0x2d, 2})}},
      {"underline 3", [](auto& p) { return p.setUnderline(3); }, false, {}},
      {"underline -1", [](auto& p) { return p.setUnderline(-1); }, false, {}},
      {"cancel chinese", [](auto& p) { return p.cancelChineseMode(); }, true, {B({0x1c, 0x2e})}},
      {"mode size 0/1",
       [](auto& p) { return p.setPrintModeSize(0, 1); },
       true,
       {B({0x1b, 0x21, 0x00})}},
      {"mode size 3/-4",
       [](auto& p) { return p.setPrintModeSize(3, -4); },
       true,
       {B({0x1b, 0x21, 0x30})}},
      {"mode size 2/2",
       [](auto& p) { return p.setPrintModeSize(2, 2); },
       true,
       {B({0x1d, 0x21, 0x20})}},
      {"mode size 4", [](auto& p) { return p.setPrintModeSize(4, 1); }, false, {}},
      {"size 1 1 1",
       [](auto& p) { return p.setCharacterSize(1, 1, 1); },
       true,
       {B({0x1d, 0x21, 0x11})}},
      {"size 0 0 1",
       [](auto& p) { return p.setCharacterSize(0, 0, 1); },
       true,
       {B({0x1d, 0x21, 0x00})}},
      {"size 7 7 1",
       [](auto& p) { return p.setCharacterSize(7, 7, 1); },
       true,
       {B({0x1d, 0x21, 0x77})}},
      {"size 8 0 1", [](auto& p) { return p.setCharacterSize(8, 0, 1); }, false, {}},
      {"size 0 8 1", [](auto& p) { return p.setCharacterSize(0, 8, 1); }, false, {}},
      {"size -3 2 0",
       [](auto& p) { return p.setCharacterSize(-3, 2, 0); },
       true,
       {B({0x1d, 0x21, 0x02})}},
      {"size 2 1 9",
       [](auto& p) { return p.setCharacterSize(2, 1, 9); },
       true,
       {B({0x1d, 0x21, 0x21})}},
      {"size 0 0 2", [](auto& p) { return p.setCharacterSize(0, 0, 2); }, true, {B({0x00})}},
      {"size 1 0 2", [](auto& p) { return p.setCharacterSize(1, 0, 2); }, false, {}},
      {"cut", [](auto& p) { return p.cut(); }, true, {B({0x1b, 0x6d})}},
      {"drawer 1", [](auto& p) { return p.openDrawer(1); }, true, {B({0x1b, 0x70, 0, 0x3c, 0xff})}},
      {"drawer 5", [](auto& p) { return p.openDrawer(5); }, true, {B({0x1b, 0x70, 1, 0x3c, 0xff})}},
      {"text abc", [](auto& p) { return p.printText("abc", Newline::Yes); }, true, {"abc", "\r\n"}},
      {"text no newline", [](auto& p) { return p.printText("abc", Newline::No); }, true, {"abc"}},
      {"text GBK",
       [](auto& p) { return p.printText("合计：￥12", Newline::No); },
       true,
       {B({0xba, 0xcf, 0xbc, 0xc6, 0xa3, 0xba, 0xa3, 0xa4, '1', '2'})}},
      {"text without GBK form",
       [](auto& p) { return p.printText("a😀b", Newline::No); },
       true,
       {"a?b"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RecordingPrinter p;
    p.SetOpenState(true);
    EXPECT_EQ(c.op(p), c.ok);
    EXPECT_EQ(p.Transfers(), c.sent);

    // Closed, every one of these refuses and sends nothing.
    RecordingPrinter closed;
    EXPECT_FALSE(c.op(closed));
    EXPECT_TRUE(closed.Transfers().empty());
  }
}

TEST(EscPos, PrintTextSendsTheLineEndEvenWhenTheTextFailed) {
  RecordingPrinter p;
  p.SetOpenState(true);
  p.FailTransfers(true);
  EXPECT_FALSE(p.printText("abc", Newline::Yes));
  EXPECT_EQ(p.Transfers(), (Transfers{"abc", "\r\n"}));
}

TEST(EscPos, CloseFeedsCutsAndReleasesButStaysOpen) {
  RecordingPrinter p;
  EXPECT_FALSE(p.close(3, 1));
  EXPECT_EQ(p.Releases(), 0);

  p.SetOpenState(true);
  EXPECT_TRUE(p.close(2, 1));
  EXPECT_EQ(p.Transfers(), (Transfers{"\r\n\r\n", B({0x1b, 0x6d})}));
  EXPECT_EQ(p.Releases(), 1);
  EXPECT_TRUE(p.isOpen());

  p.Clear();
  p.FailRelease(true);
  EXPECT_FALSE(p.close(0, 0));
  EXPECT_TRUE(p.Transfers().empty());
}

std::string QrBytes(std::string_view data, char align, char module, char level) {
  std::string out = B({0x1b, 0x61}) + align;
  out += B({0x1d, 0x28, 0x6b, 3, 0, 0x31, 0x43}) + module;
  out += B({0x1d, 0x28, 0x6b, 3, 0, 0x31, 0x45}) + level;
  const size_t size = data.size() + 3;
  out += B({0x1d, 0x28, 0x6b, static_cast<int>(size & 0xff), static_cast<int>(size >> 8), 0x31,
            0x50, 0x30});
  out += data;
  out += B({0x1d, 0x28, 0x6b, 3, 0, 0x31, 0x51, 0x30});
  return out;
}

TEST(EscPos, QrCodeClampsAndEncodes) {
  struct QrCase {
    std::string text;
    int level, module, align, utf8;
    std::string bytes;
  };
  const std::string gbkName = B({0xb2, 0xe2, 0xca, 0xd4});  // 测试 in GBK
  const std::string longText(300, 'x');
  for (const QrCase& c : std::vector<QrCase>{
           {"hi", 1, 3, 2, 0, QrBytes("hi", 1, 3, '0')},
           {"hi", 9, 20, 0, 0, QrBytes("hi", 0, 16, '1')},
           {"hi", 0, -2, 4, 0, QrBytes("hi", 0, 1, '1')},
           {"hi", 4, 16, 3, 0, QrBytes("hi", 2, 16, '3')},
           {"测试", 2, 4, 1, 0, QrBytes(gbkName, 0, 4, '1')},
           {"测试", 2, 4, 1, 1, QrBytes("测试", 0, 4, '1')},
           // 303 = 0x012F: the high length byte carries what one byte cannot.
           {longText, 2, 4, 1, 0, QrBytes(longText, 0, 4, '1')},
       }) {
    SCOPED_TRACE(c.text.substr(0, 10));
    RecordingPrinter p;
    p.SetOpenState(true);
    EXPECT_TRUE(p.printQRCode(c.text, c.level, c.module, c.align, c.utf8));
    EXPECT_EQ(p.Transfers(), Transfers{c.bytes});
  }
}

TEST(EscPos, QrCodeRefusesDataNoLengthCanDescribe) {
  RecordingPrinter p;
  p.SetOpenState(true);
  EXPECT_TRUE(p.printQRCode(std::string(65532, '1'), 2, 4, 1, 0));
  EXPECT_FALSE(p.printQRCode(std::string(65533, '1'), 2, 4, 1, 0));
  EXPECT_EQ(p.Transfers().size(), 1u);
}

TEST(EscPos, QrCodeOnAClosedPrinterFollowsTheDriver) {
  RecordingPrinter network(RecordingPrinter::ClosedQrCode::Refuse);
  EXPECT_FALSE(network.printQRCode("hi", 2, 4, 1, 0));
  EXPECT_EQ(network.lastError(), "请先连接打印机");
  EXPECT_TRUE(network.Transfers().empty());

  // The spooler and port drivers hand the bytes on; their transport then refuses.
  RecordingPrinter spooler(RecordingPrinter::ClosedQrCode::HandToTransport);
  spooler.FailTransfers(true);
  EXPECT_FALSE(spooler.printQRCode("hi", 2, 4, 1, 0));
  EXPECT_EQ(spooler.lastError(), "");
  EXPECT_EQ(spooler.Transfers().size(), 1u);
}

TEST(EscPos, Code39SendsAlignmentHeightWidthAndData) {
  RecordingPrinter p;
  p.SetOpenState(true);
  EXPECT_TRUE(p.printCode39("A1", 2, 80, 2));
  EXPECT_EQ(p.Transfers(), (Transfers{B({0x1b, 0x61, 1}), B({0x1d, 0x68, 0x50}), B({0x1d, 0x77, 2}),
                                      B({0x1d, 0x6b, 4, 'A', '1', 0})}));

  // A bad alignment only drops the alignment command; a failed transport still gets every
  // command, and the result is the barcode's.
  p.Clear();
  p.FailTransfers(true);
  EXPECT_FALSE(p.printCode39("X", 1, 1, 0));
  EXPECT_EQ(p.Transfers().size(), 3u);
}

TEST(EscPos, Code39RefusalsSetTheirMessage) {
  struct RefusalCase {
    bool open;
    std::string content;
    int width, height;
    const char* message;
  };
  for (const RefusalCase& c : std::vector<RefusalCase>{
           {false, "A1", 2, 80, "请先连接打印机"},
           {true, "A1", 7, 80, "条码宽度允许1-6个点之间"},
           {true, "A1", 0, 80, "条码宽度允许1-6个点之间"},
           {true, "A1", 2, 0, "条码条码高度允许1-255个点之间"},
           {true, "A1", 2, 256, "条码条码高度允许1-255个点之间"},
           {true, "", 2, 80, "条码必须大于1个字符"},
           {true, std::string("\0A", 2), 2, 80, "打印失败，请检查条码内容是否符合CODE39规范"},
       }) {
    SCOPED_TRACE(c.message);
    RecordingPrinter p;
    p.SetOpenState(c.open);
    EXPECT_FALSE(p.printCode39(c.content, c.width, c.height, 1));
    EXPECT_EQ(p.lastError(), c.message);
    EXPECT_TRUE(p.Transfers().empty());
  }
}

TEST(EscPos, ConvertBase) {
  struct BaseCase {
    std::string number;
    int from, to;
    std::string result;
  };
  for (const BaseCase& c : std::vector<BaseCase>{
           {"ff", 16, 10, "255"},
           {"ＦＦ", 16, 10, "255"},
           {"41", 16, 10, "65"},
           {"0", 16, 10, "0"},
           {"255", 10, 2, "11111111"},
           {"zz", 36, 36, "ZZ"},
           {"G1", 16, 10, "参数错误-G1不是一个有效的16进制数！"},
           {"12", 1, 10, "参数错误-进制只能在2-36之间"},
           {"12", 10, 37, "参数错误-进制只能在2-36之间"},
       }) {
    EXPECT_EQ(convertBase(c.number, c.from, c.to), c.result) << c.number;
  }
}

TEST(EscPos, StatusReportDecodesRepliesInKeyOrder) {
  struct StatusCase {
    int kind;
    bool selective;
    std::vector<std::string> replies;
    std::vector<int> waits;
    std::string report;
  };
  for (const StatusCase& c : std::vector<StatusCase>{
           {3, true, {"\x2d"}, {300}, "{\"打印头温度\":45}"},
           {1,
            true,
            {"\x2c"},
            {200},
            "{\"联机状态\":真,\"错误标志\":真,\"低纸预警\":真,\"缺纸状态\":真}"},
           {1,
            true,
            {"\x01"},
            {200},
            "{\"联机状态\":假,\"错误标志\":假,\"低纸预警\":假,\"缺纸状态\":假}"},
           {2, true, {"\x44"}, {200}, "{\"钱箱状态\":真,\"切刀故障\":真}"},
           {4, true, {"V1"}, {500}, "{\"固件版本\":\"V1\"}"},
           {4, true, {"V"}, {500}, "{}"},  // a firmware reply needs two bytes
           {4, true, {std::string("V2.1\0xx", 7)}, {500}, "{\"固件版本\":\"V2.1\"}"},
           {3,
            false,
            {"\x00", "\x00", "\xc8", "AB"},
            {200, 200, 300, 500},
            "{\"联机状态\":真,\"错误标志\":假,\"低纸预警\":假,\"缺纸状态\":假,"
            "\"钱箱状态\":假,\"切刀故障\":假,\"打印头温度\":200,\"固件版本\":\"AB\"}"},
           {0, true, {}, {200, 200, 300, 500}, "{}"},
           {7, true, {}, {}, "{}"},
       }) {
    SCOPED_TRACE(c.report);
    RecordingPrinter p;  // not open: status requests are sent regardless
    for (const std::string& r : c.replies) p.QueueReply(r.empty() ? std::string(1, '\0') : r);
    EXPECT_EQ(p.queryStatus(c.kind, c.selective), c.report);
    EXPECT_EQ(p.ReplyWaits(), c.waits);
  }
}

TEST(EscPos, StatusRequestsGoOutEvenWithoutReplies) {
  RecordingPrinter p;
  EXPECT_EQ(p.queryStatus(0, false), "{}");
  EXPECT_EQ(p.Transfers(), (Transfers{B({0x1d, 0x72, 1}), B({0x1d, 0x72, 2}), B({0x1b, 0x76}),
                                      B({0x1d, 0x49, 0x41})}));
}

}  // namespace
}  // namespace qv
